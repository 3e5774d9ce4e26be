// Firmware variables and the shim as Secure Boot's checks read them: the
// same bytes as a signature database, as a PE image, and as SBAT text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "boot/secure_boot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (const std::string& certificate : kavi::DatabaseCertificates(bytes)) {
    kavi::CertificateSubject(certificate);
  }
  kavi::DatabaseSha256Hashes(bytes);
  kavi::ImageCertificates(bytes);
  const auto hash = kavi::AuthenticodeSha256(bytes);
  if (hash && hash->size() != 32) __builtin_trap();
  kavi::SbatGeneration(bytes, "shim");
  kavi::RevocationOfImage(bytes, bytes, bytes, bytes);
  return 0;
}
