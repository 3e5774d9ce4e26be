#include "host/host_facts.h"

#include <windows.h>

namespace kavi {
namespace {

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
using RtlGetNtVersionNumbersFn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);

// Looked up once; the export is missing before XP SP2.
IsWow64ProcessFn LookUpIsWow64Process() {
  static const IsWow64ProcessFn fn = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "IsWow64Process")));
  return fn;
}

// RegCloseKey on scope exit.
struct RegKey {
  HKEY key = nullptr;
  ~RegKey() {
    if (key) RegCloseKey(key);
  }
};

}  // namespace

bool IsWow64() {
  IsWow64ProcessFn fn = LookUpIsWow64Process();
  if (!fn) return false;
  BOOL wow64 = FALSE;
  if (!fn(GetCurrentProcess(), &wow64)) return false;
  return wow64 != FALSE;
}

bool WindowsIs64Bit() {
  return sizeof(void*) == 8 || IsWow64();
}

int32_t DetectWindowsEdition() {
  SYSTEM_INFO info = {};
  GetSystemInfo(&info);

  // Only the product type is taken from GetVersionEx: its version numbers
  // lie to programs without a compatibility manifest.
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  static_assert(sizeof(OSVERSIONINFOEXW) == 284, "OSVERSIONINFOEXW layout");
  GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));

  HMODULE ntdll = LoadLibraryW(L"ntdll.dll");
  if (!ntdll) return kEditionOther;
  auto getNumbers = reinterpret_cast<RtlGetNtVersionNumbersFn>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetNtVersionNumbers")));
  DWORD major = 0, minor = 0, build = 0;
  if (getNumbers) getNumbers(&major, &minor, &build);
  FreeLibrary(ntdll);
  if (!getNumbers) return kEditionOther;

  return EditionFromVersion(major, minor, version.wProductType, info.wProcessorArchitecture,
                            WindowsIs64Bit());
}

uint64_t GetTotalPhysicalMemory() {
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof(status);
  static_assert(sizeof(MEMORYSTATUSEX) == 64, "MEMORYSTATUSEX layout");
  GlobalMemoryStatusEx(&status);  // a failure reads as 0 bytes
  return status.ullTotalPhys;
}

bool IsLargeMemory() {
  return IsLargeMemoryBytes(GetTotalPhysicalMemory());
}

std::wstring GetRecommendationText() {
  return RecommendationFor(IsLargeMemory()).text;
}

uint64_t ReadInstallDate() {
  RegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                    KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key.key) != ERROR_SUCCESS) {
    return 0;
  }
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (RegQueryValueExW(key.key, L"InstallDate", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                       &size) != ERROR_SUCCESS) {
    return 0;
  }
  return value;
}

}  // namespace kavi
