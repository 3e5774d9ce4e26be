#include "app/takeover_hooks_win32.h"

#include "boot/boot_setup.h"
#include "boot/restore_log.h"
#include "boot/takeover.h"
#include "host/working_state.h"

namespace kavi {

BootSetUp* ProgramBootSetUp() {
  return &SystemBootSetUp();
}

void RunSystemBackup(HWND mainWindow) {
  OnBackupSystem(mainWindow);
}

void RunSystemRestore(HWND mainWindow) {
  OnRestoreSystem(mainWindow);
}

bool HandOverImage(HWND mainWindow, const std::wstring& imagePath) {
  return TakeOverForReinstall(mainWindow, imagePath);
}

void ReportLastRestoreFailure(HWND mainWindow) {
  const std::optional<std::wstring> text =
      TakeUnreportedRestoreFailure(Working().GetWorkFolder(), Working().SystemDrive());
  if (text) MessageBoxW(mainWindow, text->c_str(), L"错误", MB_OK | MB_ICONERROR);
}

}  // namespace kavi
