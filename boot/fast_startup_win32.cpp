#include <windows.h>

#include "boot/fast_startup.h"

namespace kavi {
namespace {

constexpr const wchar_t* kPowerKey = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Power";
constexpr const wchar_t* kHiberboot = L"HiberbootEnabled";
// Under HKLM, which only administrators can write.
constexpr const wchar_t* kOwnKey = L"SOFTWARE\\Kavi";
constexpr const wchar_t* kKept = L"KeptHiberbootEnabled";

struct Key {
  HKEY key = nullptr;
  ~Key() {
    if (key) RegCloseKey(key);
  }
};

std::optional<uint32_t> ReadDword(const wchar_t* path, const wchar_t* name) {
  Key key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key.key) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD value = 0, size = sizeof value, type = 0;
  if (RegQueryValueExW(key.key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD) {
    return std::nullopt;
  }
  return value;
}

bool WriteDword(const wchar_t* path, const wchar_t* name, uint32_t value) {
  Key key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                      nullptr, &key.key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const DWORD data = value;
  return RegSetValueExW(key.key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                        sizeof data) == ERROR_SUCCESS;
}

class Win32PowerRegistry : public PowerRegistry {
 public:
  std::optional<uint32_t> Hiberboot() override { return ReadDword(kPowerKey, kHiberboot); }
  bool SetHiberboot(uint32_t value) override { return WriteDword(kPowerKey, kHiberboot, value); }
  std::optional<uint32_t> Kept() override { return ReadDword(kOwnKey, kKept); }
  bool SetKept(std::optional<uint32_t> value) override {
    if (value) return WriteDword(kOwnKey, kKept, *value);
    Key key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kOwnKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key.key) !=
        ERROR_SUCCESS) {
      return true;
    }
    const LONG result = RegDeleteValueW(key.key, kKept);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
  }
};

}  // namespace

PowerRegistry& SystemPowerRegistry() {
  static Win32PowerRegistry registry;
  return registry;
}

}  // namespace kavi
