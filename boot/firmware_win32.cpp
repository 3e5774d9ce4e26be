// The firmware facts of this machine. Every function newer than Windows 2000
// is looked up at run time, so the program still starts there.
#include "boot/firmware.h"

#include <cpuid.h>
#include <windows.h>

#include <vector>

#include "boot/secure_boot.h"
#include "host/host_facts.h"
#include "host/win32_util.h"

namespace kavi {
namespace {

template <typename Fn>
Fn Kernel32Function(const char* name) {
  return reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

using GetFirmwareTypeFn = BOOL(WINAPI*)(DWORD*);
using GetFirmwareVariableFn = DWORD(WINAPI*)(LPCWSTR, LPCWSTR, PVOID, DWORD);
using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);

FirmwareType ReadFirmwareType() {
  std::optional<uint32_t> type;
  if (auto get = Kernel32Function<GetFirmwareTypeFn>("GetFirmwareType")) {
    DWORD value = 0;
    if (get(&value)) type = value;
  }
  std::optional<uint32_t> error;
  if (!type) {
    if (auto read = Kernel32Function<GetFirmwareVariableFn>("GetFirmwareEnvironmentVariableW")) {
      read(L"", L"{00000000-0000-0000-0000-000000000000}", nullptr, 0);
      error = GetLastError();
    }
  }
  return FirmwareTypeFrom(type, error);
}

std::optional<uint16_t> NativeMachine() {
  auto query = Kernel32Function<IsWow64Process2Fn>("IsWow64Process2");
  USHORT process = 0;
  USHORT native = 0;
  if (query == nullptr || !query(GetCurrentProcess(), &process, &native)) return std::nullopt;
  return native;
}

bool SecureBootEnabled() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\SecureBoot\\State", 0,
                    KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return false;
  }
  DWORD value = 0;
  DWORD size = sizeof(value);
  DWORD type = 0;
  const LONG result = RegQueryValueExW(key, L"UEFISecureBootEnabled", nullptr, &type,
                                       reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS && type == REG_DWORD && value != 0;
}

// Firmware variables can be read only with this privilege enabled.
bool EnableSystemEnvironmentPrivilege() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    return false;
  }
  UniqueHandle owned(token);
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueW(nullptr, SE_SYSTEM_ENVIRONMENT_NAME, &privileges.Privileges[0].Luid)) {
    return false;
  }
  AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  return GetLastError() == ERROR_SUCCESS;
}

// A firmware variable's data, read with the system-environment privilege.
std::optional<std::string> ReadVariable(const wchar_t* name, const wchar_t* vendor) {
  auto read = Kernel32Function<GetFirmwareVariableFn>("GetFirmwareEnvironmentVariableW");
  if (read == nullptr || !EnableSystemEnvironmentPrivilege()) return std::nullopt;
  // A db of a few certificates is a few kilobytes; the firmware's variable
  // store is far below a megabyte.
  for (DWORD size = 64 * 1024; size <= 1024 * 1024; size *= 4) {
    std::vector<char> buffer(size);
    const DWORD length = read(name, vendor, buffer.data(), size);
    if (length > 0) return std::string(buffer.data(), length);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
  }
  return std::nullopt;
}

bool ProcessorHasLongMode() {
  unsigned int a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(0x80000000, &a, &b, &c, &d) || a < 0x80000001) return false;
  __get_cpuid(0x80000001, &a, &b, &c, &d);
  return (d & (1u << 29)) != 0;
}

FirmwareFacts ReadFirmwareFacts() {
  FirmwareFacts facts;
  facts.cpuX64 = ProcessorHasLongMode();
  facts.type = ReadFirmwareType();
  if (facts.type != FirmwareType::kUefi) return facts;
  facts.x64 = WindowsIsX64(WindowsIs64Bit(), NativeMachine());
  facts.secureBoot = SecureBootEnabled();
  if (facts.secureBoot) {
    const wchar_t* database = L"{d719b2cb-3d3a-4596-a3bc-dad00e67656f}";
    facts.db = ReadVariable(L"db", database);
    facts.dbx = ReadVariable(L"dbx", database);
    facts.sbatLevel = ReadVariable(L"SbatLevelRT", L"{605dab50-e046-4300-abb6-3dd810dd8b23}");
  }
  return facts;
}

}  // namespace

const FirmwareFacts& SystemFirmwareFacts() {
  static const FirmwareFacts facts = ReadFirmwareFacts();
  return facts;
}

}  // namespace kavi
