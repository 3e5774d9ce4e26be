#include "boot/ghost_script.h"

#include <windows.h>

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
