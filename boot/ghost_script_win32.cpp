#include "boot/ghost_script.h"

#include <windows.h>

#include "boot/disk_map.h"
#include "host/win32_util.h"
#include "host/working_state.h"

namespace kavi {
namespace {

// The boot drive comes from the working state until the boot takeover
// settings own it; it equals the system drive.
wchar_t BootDriveLetter() {
  return Working().BootDrive();
}

GhostPartitionLookup LookupAgainst(wchar_t bootDrive) {
  return [bootDrive](wchar_t letter) { return GhostPartitionId(letter, bootDrive); };
}

}  // namespace

bool WriteGhostScriptFile(const std::wstring& path, const std::string& bytes) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, 0, nullptr));
  if (!file.Valid()) return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  return ok && written == bytes.size();
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
