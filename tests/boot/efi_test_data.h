// Recorded firmware and loader bytes: the db variable of Debian's
// OVMF_VARS_4M.ms.fd (Microsoft Windows Production PCA 2011 and Microsoft
// Corporation UEFI CA 2011) and the security directory of Debian's signed
// shimx64.efi (two Authenticode signatures, under Microsoft's UEFI CAs 2011
// and 2023), put back into the smallest PE32+ image that carries it.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

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
// end, as a file offset.
inline std::string ImageWithSignatures(const std::string& table) {
  using testing_disks::PutLe;
  const size_t pe = 0x80;
  const size_t optional = pe + 24;
  const size_t directories = optional + 112;
  const size_t tableAt = (directories + 16 * 8 + 7) & ~size_t{7};
  testing_disks::Bytes b(tableAt);
  b[0] = 'M';
  b[1] = 'Z';
  PutLe(b, 0x3C, pe, 4);
  b[pe] = 'P';
  b[pe + 1] = 'E';
  PutLe(b, optional, 0x20B, 2);
  PutLe(b, optional + 108, 16, 4);  // NumberOfRvaAndSizes
  PutLe(b, directories + 4 * 8, tableAt, 4);
  PutLe(b, directories + 4 * 8 + 4, table.size(), 4);
  return std::string(b.begin(), b.end()) + table;
}

inline std::string SignedShim() {
  return ImageWithSignatures(ReadFile(std::string(KAVI_BOOT_TEST_DATA) + "shim_signatures.bin"));
}

}  // namespace testing_efi
}  // namespace kavi
