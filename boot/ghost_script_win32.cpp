#include "boot/ghost_script.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "boot/boot_settings.h"
#include "boot/disk_map.h"
#include "host/win32_util.h"

namespace kavi {
namespace {

// The boot drive of the takeover settings (the system drive); 0 until the
// working-path set-up has initialised them.
wchar_t BootDriveLetter() {
  return BootSettings().bootDrive;
}

GhostPartitionLookup LookupAgainst(wchar_t bootDrive) {
  return [bootDrive](wchar_t letter) { return GhostPartitionId(letter, bootDrive); };
}

// The next boot runs a task only when no one but SYSTEM and Administrators
// can change its files (files in C:\\ otherwise inherit the root's entries,
// which let users modify them on Windows 7 and later): owner Administrators
// (refused without elevation; then the DACL alone), a protected DACL with
// SYSTEM and Administrators full control, Users read. A volume that keeps
// no security (FAT) has nothing to set.
bool ProtectTaskFile(const std::wstring& path) {
  DWORD flags = 0;
  const std::wstring root = path.substr(0, 3);
  if (path.size() > 3 && path[1] == L':' &&
      GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
      !(flags & FILE_PERSISTENT_ACLS)) {
    return true;
  }
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FRFX;;;BU)", SDDL_REVISION_1, &sd, nullptr)) {
    return false;
  }
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  PSID owner = nullptr;
  DWORD result = ERROR_INVALID_SECURITY_DESCR;
  std::wstring name = path;
  if (GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) &&
      GetSecurityDescriptorOwner(sd, &owner, &defaulted)) {
    SetNamedSecurityInfoW(&name[0], SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr,
                          nullptr, nullptr);
    result = SetNamedSecurityInfoW(&name[0], SE_FILE_OBJECT,
                                   DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                   nullptr, nullptr, dacl, nullptr);
  }
  LocalFree(sd);
  return result == ERROR_SUCCESS;
}

}  // namespace

bool WriteGhostScriptFile(const std::wstring& path, const std::string& bytes) {
  {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr));
    if (!file.Valid()) return false;
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
      return false;
    }
  }
  return ProtectTaskFile(path);
}

bool WriteGhostScript(const std::wstring& text) {
  const wchar_t bootDrive = BootDriveLetter();
  if (bootDrive == 0) return false;
  const std::optional<std::string> bytes = GhostScriptBytes(text);
  if (!bytes) return false;
  return WriteGhostScriptFile(GhostScriptPath(bootDrive), *bytes);
}

bool WriteGhostBackupScript(wchar_t sourceLetter, const std::wstring& imagePath) {
  const wchar_t bootDrive = BootDriveLetter();
  if (bootDrive == 0) return false;
  const std::optional<std::wstring> text =
      BuildGhostBackupScript(LookupAgainst(bootDrive), sourceLetter, imagePath);
  return text && WriteGhostScript(*text);
}

bool WriteGhostRestoreScript(const std::wstring& imagePath, wchar_t targetLetter) {
  const wchar_t bootDrive = BootDriveLetter();
  if (bootDrive == 0) return false;
  const std::optional<std::wstring> text =
      BuildGhostRestoreScript(LookupAgainst(bootDrive), imagePath, targetLetter);
  return text && WriteGhostScript(*text);
}

}  // namespace kavi
