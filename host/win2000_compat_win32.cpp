// Windows 2000 SP4 lacks four functions that mingw-w64's static runtime
// imports, which would keep every binary from loading there at all:
//   kernel32 AddVectoredExceptionHandler and RemoveVectoredExceptionHandler
//     (winpthreads, only to hand thread names to a debugger),
//   kernel32 GetModuleHandleExW (libstdc++, to keep a DLL loaded while a
//     thread_local destructor of it is pending),
//   msvcrt _fstat64 and _wstat64 (libstdc++'s file streams and filesystem,
//     and mingw's own stat and fstat).
// As xp_compat_win32.cpp does for GetTickCount64, this object defines those
// entry points and their import slots itself: the real function where the
// system DLL exports it (XP and later), else a stand-in built on what
// Windows 2000 has. Linked as an object into every binary that ships.
#include "host/win2000_compat.h"

#include <windows.h>

#include <cstddef>

namespace {

// Looked up on every call, with no function-local statics: winpthreads adds
// its handler from a TLS callback, before the runtime is up.
FARPROC Lookup(const wchar_t* dll, const char* name) {
  HMODULE module = GetModuleHandleW(dll);
  return module ? GetProcAddress(module, name) : nullptr;
}

template <typename Fn>
Fn Real(const wchar_t* dll, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(Lookup(dll, name)));
}

// --- kernel32 ---

using AddVehFn = PVOID(WINAPI*)(ULONG, PVECTORED_EXCEPTION_HANDLER);
using RemoveVehFn = ULONG(WINAPI*)(PVOID);
using ModuleHandleExFn = BOOL(WINAPI*)(DWORD, LPCWSTR, HMODULE*);

// Without vectored handlers there is no handle: winpthreads then names
// threads only while a debugger is attached, which is all it uses it for.
PVOID WINAPI AddVectoredHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler) {
  const auto real = Real<AddVehFn>(L"kernel32", "AddVectoredExceptionHandler");
  return real ? real(first, handler) : nullptr;
}

ULONG WINAPI RemoveVectoredHandler(PVOID handle) {
  const auto real = Real<RemoveVehFn>(L"kernel32", "RemoveVectoredExceptionHandler");
  return real ? real(handle) : 0;
}

BOOL WINAPI ModuleHandleEx(DWORD flags, LPCWSTR name, HMODULE* module) {
  const auto real = Real<ModuleHandleExFn>(L"kernel32", "GetModuleHandleExW");
  return real ? real(flags, name, module) : kavi::win2000::ModuleHandleEx(flags, name, module);
}

// --- msvcrt ---

// The two layouts of msvcrt's stat results (struct _stat64 of msvcrt 7.0,
// and struct _stati64, 32-bit times, which every msvcrt.dll fills).
struct Stat64 {
  unsigned int st_dev;
  unsigned short st_ino;
  unsigned short st_mode;
  short st_nlink;
  short st_uid;
  short st_gid;
  unsigned int st_rdev;
  __int64 st_size;
  __int64 st_atime;
  __int64 st_mtime;
  __int64 st_ctime;
};
struct Stat32i64 {
  unsigned int st_dev;
  unsigned short st_ino;
  unsigned short st_mode;
  short st_nlink;
  short st_uid;
  short st_gid;
  unsigned int st_rdev;
  __int64 st_size;
  long st_atime;
  long st_mtime;
  long st_ctime;
};
static_assert(offsetof(Stat64, st_size) == 24 && sizeof(Stat64) == 56, "msvcrt's _stat64");
static_assert(offsetof(Stat32i64, st_size) == 24 && sizeof(Stat32i64) == 48, "msvcrt's _stati64");

void Widen(const Stat32i64& from, Stat64* to) {
  to->st_dev = from.st_dev;
  to->st_ino = from.st_ino;
  to->st_mode = from.st_mode;
  to->st_nlink = from.st_nlink;
  to->st_uid = from.st_uid;
  to->st_gid = from.st_gid;
  to->st_rdev = from.st_rdev;
  to->st_size = from.st_size;
  to->st_atime = from.st_atime;
  to->st_mtime = from.st_mtime;
  to->st_ctime = from.st_ctime;
}

template <typename Arg>
int Stat64ViaI64(const char* namei64, Arg arg, Stat64* out) {
  const auto older = Real<int(__cdecl*)(Arg, Stat32i64*)>(L"msvcrt", namei64);
  Stat32i64 narrow;
  if (!older || !out) return -1;
  const int result = older(arg, &narrow);
  if (result == 0) Widen(narrow, out);
  return result;
}

}  // namespace

namespace kavi {
namespace win2000 {

// The module by name or by an address inside it. Windows 2000 cannot pin a
// module; a reference never given back (a second LoadLibraryW of the same
// file) keeps it loaded just as long.
BOOL ModuleHandleEx(DWORD flags, LPCWSTR name, HMODULE* module) {
  if (!module) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *module = nullptr;
  HMODULE found = nullptr;
  if (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(name, &info, sizeof info) == 0 || info.Type != MEM_IMAGE) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return FALSE;
    }
    found = static_cast<HMODULE>(info.AllocationBase);
  } else {
    found = GetModuleHandleW(name);
    if (!found) return FALSE;
  }
  if (!(flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT)) {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(found, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || LoadLibraryW(path) != found) return FALSE;
  }
  *module = found;
  return TRUE;
}

int Fstat64(int fd, void* out) {
  return Stat64ViaI64("_fstati64", fd, static_cast<Stat64*>(out));
}

int Wstat64(const wchar_t* path, void* out) {
  return Stat64ViaI64("_wstati64", path, static_cast<Stat64*>(out));
}

}  // namespace win2000
}  // namespace kavi

extern "C" {
int __cdecl kavi_fstat64(int fd, Stat64* out) __asm__("__fstat64");
int __cdecl kavi_fstat64(int fd, Stat64* out) {
  const auto real = Real<int(__cdecl*)(int, Stat64*)>(L"msvcrt", "_fstat64");
  return real ? real(fd, out) : kavi::win2000::Fstat64(fd, out);
}
int __cdecl kavi_wstat64(const wchar_t* path, Stat64* out) __asm__("__wstat64");
int __cdecl kavi_wstat64(const wchar_t* path, Stat64* out) {
  const auto real = Real<int(__cdecl*)(const wchar_t*, Stat64*)>(L"msvcrt", "_wstat64");
  return real ? real(path, out) : kavi::win2000::Wstat64(path, out);
}

// The import slots the runtime's objects call through.
int(__cdecl* kavi_fstat64_slot)(int, Stat64*) __asm__("__imp___fstat64") = kavi_fstat64;
int(__cdecl* kavi_wstat64_slot)(const wchar_t*, Stat64*) __asm__("__imp___wstat64") = kavi_wstat64;
AddVehFn kavi_add_veh_slot __asm__("__imp__AddVectoredExceptionHandler@8") = AddVectoredHandler;
RemoveVehFn kavi_remove_veh_slot __asm__("__imp__RemoveVectoredExceptionHandler@4") =
    RemoveVectoredHandler;
ModuleHandleExFn kavi_module_handle_ex_slot __asm__("__imp__GetModuleHandleExW@12") =
    ModuleHandleEx;
}
