#include "host/ini_file.h"

#include <windows.h>

#include "host/text.h"

namespace kavi {

CIniFile& BackupsIni() {
  static CIniFile instance;
  return instance;
}

size_t GetLastBack(std::wstring& destination, const std::wstring& section) {
  wchar_t buffer[260] = {};
  GetPrivateProfileStringW(section.c_str(), L"LastBack", L"", buffer, 260,
                           BackupsIni().path.c_str());
  destination.assign(buffer);
  return destination.size();
}

bool SetBootLoaderTimeout(const CIniFile& ini) {
  std::wstring value = Format(L"%d", 3);
  return WritePrivateProfileStringW(L"boot loader", L"timeout", value.c_str(), ini.path.c_str()) !=
         FALSE;
}

}  // namespace kavi
