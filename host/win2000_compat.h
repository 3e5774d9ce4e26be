// The Windows 2000 stand-ins of win2000_compat_win32.cpp, callable directly:
// on XP and later the entry points use the system's own functions, so tests
// hold these against them.
#pragma once

#include <windows.h>

namespace kavi {
namespace win2000 {

// GetModuleHandleExW from VirtualQuery, GetModuleFileNameW and LoadLibraryW.
BOOL ModuleHandleEx(DWORD flags, LPCWSTR name, HMODULE* module);
// _fstat64 and _wstat64 (struct _stat64*) from msvcrt's _fstati64 and _wstati64.
int Fstat64(int fd, void* out);
int Wstat64(const wchar_t* path, void* out);

}  // namespace win2000
}  // namespace kavi
