// Whether a Secure Boot firmware would start our first-stage loader: the
// firmware's signature database `db` must hold the certificate that issued
// the loader's signing certificate. Pure functions over bytes: the EFI
// signature lists of db, a minimal DER walker for X.509 Names, and the
// Authenticode signatures in a PE image's security directory.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kavi {

// EFI_CERT_X509_GUID: a signature list of DER certificates.
constexpr const char* kEfiCertX509Guid = "A5C059A1-94E4-4AA7-87B5-AB155C2BF072";
// EFI_IMAGE_SECURITY_DATABASE_GUID, the vendor of db and dbx.
constexpr const char* kImageSecurityDatabaseGuid = "D719B2CB-3D3A-4596-A3BC-DAD00E67656F";

// The X.509 certificates (DER) in a signature database's
// EFI_SIGNATURE_LISTs; lists of other types (hashes) are passed over. A list
// whose sizes run past the data ends the walk.
std::vector<std::string> DatabaseCertificates(const std::string& db);

// The subject and issuer Names of a DER certificate, as their whole DER
// encoding; none when the certificate cannot be walked.
std::optional<std::string> CertificateSubject(const std::string& certificate);
std::optional<std::string> CertificateIssuer(const std::string& certificate);

// For every Authenticode signature (WIN_CERTIFICATE of PKCS#7 SignedData) in
// the security directory of a PE image: the issuer Name of the certificate
// its signer signed with, found among the SignedData's certificates by issuer
// and serial number.
std::vector<std::string> ImageSignerIssuers(const std::string& image);

// True when some certificate of db has a subject equal, byte for byte, to
// the issuer of one of the image's signing certificates.
bool DatabaseTrustsImage(const std::string& db, const std::string& image);

}  // namespace kavi
