// An INI file path with the two settings the program keeps in INI files:
// the last personal-data backup time per folder (backups.ini) and the boot
// menu timeout of a boot.ini. Access follows the Windows private-profile
// functions (Windows side only).
#pragma once

#include <cstddef>
#include <string>

namespace kavi {

class CIniFile {
 public:
  CIniFile() = default;
  explicit CIniFile(std::wstring p) : path(std::move(p)) {}
  virtual ~CIniFile() = default;

  std::wstring path;
};

// The process-wide instance for backups.ini.
CIniFile& BackupsIni();

// Reads key "LastBack" of `section` from BackupsIni() into `destination`
// (at most 259 characters; empty when file, section or key is missing) and
// returns the count of characters read.
size_t GetLastBack(std::wstring& destination, const std::wstring& section);

// Writes timeout=3 into section [boot loader] of the instance's file,
// creating the section when it is missing.
bool SetBootLoaderTimeout(const CIniFile& ini);

}  // namespace kavi
