// Whether a Secure Boot firmware would start our first-stage loader: the
// firmware's signature database `db` must hold the certificate that issued
// the loader's signing certificate, and neither the revocation list `dbx`
// (the loader's Authenticode SHA-256, or a certificate of its chain) nor
// the SBAT level the shim keeps (a generation above the loader's) may
// revoke it. Pure functions over bytes: the EFI
// signature lists of db, a minimal DER walker for X.509 Names, and the
// Authenticode signatures in a PE image's security directory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kavi {

// EFI_CERT_X509_GUID: a signature list of DER certificates.
constexpr const char* kEfiCertX509Guid = "A5C059A1-94E4-4AA7-87B5-AB155C2BF072";
// EFI_CERT_SHA256_GUID: a signature list of 32-byte image hashes.
constexpr const char* kEfiCertSha256Guid = "C1C41626-504C-4092-ACA9-41F936934328";
// The shim's vendor GUID, under which it keeps "SbatLevelRT".
constexpr const char* kShimLockGuid = "605DAB50-E046-4300-ABB6-3DD810DD8B23";
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

// The SHA-256 hashes in a database's EFI_CERT_SHA256_GUID lists.
std::vector<std::string> DatabaseSha256Hashes(const std::string& db);

// Every certificate (DER) the image's Authenticode signatures carry.
std::vector<std::string> ImageCertificates(const std::string& image);

// The image's Authenticode SHA-256: the headers without the checksum and
// the security directory entry, the sections in file order, then what
// follows them up to the certificate table. None for no PE image.
std::optional<std::string> AuthenticodeSha256(const std::string& image);

// The raw bytes of the image's section `name` (".sbat"); none without one.
std::optional<std::string> ImageSection(const std::string& image, const std::string& name);

// The generation of `component` in SBAT text (lines "component,generation,
// ..."): the first line naming it; none when none does.
std::optional<uint32_t> SbatGeneration(const std::string& csv, const std::string& component);

// True when the SBAT level ("sbat,1,DATE\nshim,N\n...") asks a higher
// generation of some component than the image's .sbat section gives it.
bool SbatRevokesImage(const std::string& level, const std::string& image);

// The SBAT levels a shim (15.7 and later) carries in its ".sbatlevel"
// section: the "previous" and the "latest" revocations published up to its
// build, from shim's own SbatLevel_Variable.txt (rhboot/shim); as SBAT text
// ("sbat,1,2025051000\nshim,4\ngrub,5\n..."). None for an older shim.
std::vector<std::string> PublishedSbatLevels(const std::string& shim);

enum class ImageRevocation { kImageHash, kSigner, kSbatGeneration };

// Why the firmware would refuse the image despite db, if it would: its hash
// in dbx, a certificate it carries in dbx, or the db certificate that issued
// its signer in dbx too; or the SBAT level above its generation. None when
// nothing revokes it.
std::optional<ImageRevocation> RevocationOfImage(const std::string& dbx, const std::string& db,
                                                 const std::string& sbatLevel,
                                                 const std::string& image);

}  // namespace kavi
