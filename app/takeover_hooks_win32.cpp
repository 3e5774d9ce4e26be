#include "app/takeover_hooks_win32.h"

#include "boot/boot_setup.h"
#include "boot/disk_map.h"
#include "boot/restore_log.h"
#include "boot/takeover.h"
#include "download/check_code.h"
#include "download/md5.h"
#include "host/background_setup_win32.h"
#include "host/text.h"
#include "host/window_kept_alive_win32.h"
#include "host/working_paths.h"
#include "host/working_state.h"

namespace kavi {
namespace {

DWORD WINAPI BootSetUpThread(void*) {
  EnumerateDisks();
  SetUpToolPaths();
  const WorkingFields fields = Working().Snapshot();
  SystemBootSetUp().WriteBootTools(fields);
  SystemBootSetUp().InitBootSettings(fields);
  BootMachine machine = SystemBootMachine();
  PutBackFastStartupWhenNoTask(machine);
  return 0;
}

BackgroundSetUp g_bootSetUp(&BootSetUpThread);  // UI thread only

void WaitForBootSetUp() {
  g_bootSetUp.Wait();
}

}  // namespace

void StartBootSetUp() {
  g_bootSetUp.Start();
}

void RunSystemBackup(HWND mainWindow) {
  WaitForBootSetUp();
  OnBackupSystem(mainWindow);
}

void RunSystemRestore(HWND mainWindow) {
  WaitForBootSetUp();
  // One read of the backup, never a digest remembered for its name. A
  // backup of several GB takes minutes: the window stays painted meanwhile.
  OnRestoreSystem(mainWindow, [mainWindow](const std::wstring& path, ImageBinding* measured) {
    int64_t bytes = 0;  // as hashed
    bool read = false;
    RunKeepingWindowPainted(mainWindow, [&] {
      read = Md5OfFile(path, &measured->md5, [&](int64_t done, int64_t) { bytes = done; });
    });
    measured->size = static_cast<uint64_t>(bytes);
    return read;
  });
}

bool HandOverImage(HWND mainWindow, const std::wstring& imagePath) {
  WaitForBootSetUp();
  // The next boot writes the image only while it has the MD5 it was
  // checked against; the digest remembered for the file is not asked again.
  return TakeOverForReinstall(mainWindow, imagePath,
                              CheckCodeMd5(ToAnsi(Working().GetCurrentCheckCode())));
}

void ReportLastRestoreFailure(HWND mainWindow) {
  const std::optional<std::wstring> text =
      TakeUnreportedRestoreFailure(Working().GetWorkFolder(), Working().SystemDrive());
  if (text) MessageBoxW(mainWindow, text->c_str(), L"错误", MB_OK | MB_ICONERROR);
}

}  // namespace kavi
