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

namespace kavi {

void LimitDllSearch() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  if (setDefault && setDefault(kSearchSystem32)) return;
  auto setDirectory = reinterpret_cast<SetDllDirectoryFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryW")));
  if (setDirectory) setDirectory(L"");
}

}  // namespace kavi
