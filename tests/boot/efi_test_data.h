// Recorded firmware and loader bytes: the db variable of Debian's
// OVMF_VARS_4M.ms.fd (Microsoft Windows Production PCA 2011 and Microsoft
// Corporation UEFI CA 2011) and the security directory of Debian's signed
// shimx64.efi (two Authenticode signatures, under Microsoft's UEFI CAs 2011
// and 2023), put back into the smallest PE32+ image that carries it; and
// EFI signature lists made here.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "boot/guid.h"

#include "tests/boot/fake_disk_devices.h"

namespace kavi {
namespace testing_efi {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string OvmfDb() {
  return ReadFile(std::string(KAVI_BOOT_TEST_DATA) + "ovmf_ms_db.bin");
}

// MZ header with e_lfanew, "PE\0\0", a COFF header, a PE32+ optional header
// whose fifth data directory (security) points at the table appended at the
// end, as a file offset; the headers end where the table starts. With
// `sbat`, one section ".sbat" holding it comes before the table.
inline std::string ImageWithSignatures(const std::string& table, const std::string& sbat = "") {
  using testing_disks::PutLe;
  const size_t pe = 0x80;
  const size_t optional = pe + 24;
  const size_t directories = optional + 112;
  const size_t sections = directories + 16 * 8;
  const size_t headersEnd = (sections + (sbat.empty() ? 0 : 40) + 7) & ~size_t{7};
  const size_t tableAt = headersEnd + ((sbat.size() + 7) & ~size_t{7});
  testing_disks::Bytes b(tableAt);
  b[0] = 'M';
  b[1] = 'Z';
  PutLe(b, 0x3C, pe, 4);
  b[pe] = 'P';
  b[pe + 1] = 'E';
  PutLe(b, pe + 6, sbat.empty() ? 0 : 1, 2);  // NumberOfSections
  PutLe(b, pe + 20, sections - optional, 2);  // SizeOfOptionalHeader
  PutLe(b, optional, 0x20B, 2);
  PutLe(b, optional + 60, headersEnd, 4);  // SizeOfHeaders
  PutLe(b, optional + 108, 16, 4);         // NumberOfRvaAndSizes
  PutLe(b, directories + 4 * 8, tableAt, 4);
  PutLe(b, directories + 4 * 8 + 4, table.size(), 4);
  if (!sbat.empty()) {
    for (size_t i = 0; i < 5; ++i) b[sections + i] = ".sbat"[i];
    PutLe(b, sections + 16, sbat.size(), 4);  // SizeOfRawData
    PutLe(b, sections + 20, headersEnd, 4);   // PointerToRawData
    for (size_t i = 0; i < sbat.size(); ++i) b[headersEnd + i] = static_cast<uint8_t>(sbat[i]);
  }
  return std::string(b.begin(), b.end()) + table;
}

// Signature lists as in db and dbx: one EFI_SIGNATURE_LIST of `type` (a
// GUID text) holding each entry after a zero owner GUID.
inline std::string SignatureList(const char* type, const std::vector<std::string>& entries) {
  using testing_disks::PutLe;
  const size_t size = 16 + (entries.empty() ? 0 : entries[0].size());
  testing_disks::Bytes b(28);
  const Guid guid = *ParseGuid(type);
  for (size_t i = 0; i < guid.size(); ++i) b[i] = guid[i];
  PutLe(b, 16, 28 + size * entries.size(), 4);
  PutLe(b, 24, size, 4);
  std::string out(b.begin(), b.end());
  for (const std::string& entry : entries) out += std::string(16, '\0') + entry;
  return out;
}

inline std::string SignedShim() {
  return ImageWithSignatures(ReadFile(std::string(KAVI_BOOT_TEST_DATA) + "shim_signatures.bin"));
}

}  // namespace testing_efi
}  // namespace kavi
