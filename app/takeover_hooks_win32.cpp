#include "app/takeover_hooks_win32.h"

#include "boot/boot_setup.h"
#include "boot/disk_map.h"
#include "boot/restore_log.h"
#include "boot/takeover.h"
#include "host/working_paths.h"
#include "host/working_state.h"

namespace kavi {
namespace {

HANDLE g_setUpThread = nullptr;  // UI thread only
bool g_setUpDone = false;

DWORD WINAPI BootSetUpThread(void*) {
  EnumerateDisks();
  SetUpToolPaths();
  const WorkingFields fields = Working().Snapshot();
  SystemBootSetUp().WriteBootTools(fields);
  SystemBootSetUp().InitBootSettings(fields);
  return 0;
}

// The worker's stores are seen once it has ended; without a worker the set-up
// runs here.
void WaitForBootSetUp() {
  if (g_setUpDone) return;
  if (g_setUpThread) {
    WaitForSingleObject(g_setUpThread, INFINITE);
    CloseHandle(g_setUpThread);
    g_setUpThread = nullptr;
  } else {
    BootSetUpThread(nullptr);
  }
  g_setUpDone = true;
}

}  // namespace

void StartBootSetUp() {
  if (g_setUpThread || g_setUpDone) return;
  g_setUpThread = CreateThread(nullptr, 0, &BootSetUpThread, nullptr, 0, nullptr);
}

void RunSystemBackup(HWND mainWindow) {
  WaitForBootSetUp();
  OnBackupSystem(mainWindow);
}

void RunSystemRestore(HWND mainWindow) {
  WaitForBootSetUp();
  OnRestoreSystem(mainWindow);
}

bool HandOverImage(HWND mainWindow, const std::wstring& imagePath) {
  WaitForBootSetUp();
  return TakeOverForReinstall(mainWindow, imagePath);
}

void ReportLastRestoreFailure(HWND mainWindow) {
  const std::optional<std::wstring> text =
      TakeUnreportedRestoreFailure(Working().GetWorkFolder(), Working().SystemDrive());
  if (text) MessageBoxW(mainWindow, text->c_str(), L"错误", MB_OK | MB_ICONERROR);
}

}  // namespace kavi
