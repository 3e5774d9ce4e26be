#include "host/win32_util.h"

#include <vector>

namespace kavi {

std::wstring WindowsDirectory() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    UINT n = GetWindowsDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
    if (n == 0) return std::wstring();
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(n + 1);
  }
}

std::wstring ModuleFileName(HMODULE module) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::wstring();
    // A full buffer means the name was cut (XP does not even terminate it).
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    if (buffer.size() >= 32768) return std::wstring();
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace kavi
