#include "app/takeover_hooks_win32.h"

#include "boot/boot_setup.h"
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

}  // namespace kavi
