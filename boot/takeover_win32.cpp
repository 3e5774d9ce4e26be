#include "boot/takeover.h"

#include <windows.h>

#include "boot/boot_setup.h"
#include "host/win32_util.h"

namespace kavi {
namespace {

static_assert(kMbOk == MB_OK && kMbYesNoCancel == MB_YESNOCANCEL && kMbIconError == MB_ICONERROR &&
                  kMbIconWarning == MB_ICONWARNING,
              "message box types");
static_assert(kIdYes == IDYES && kIdNo == IDNO && kIdCancel == IDCANCEL, "message box answers");

class WindowTakeoverUi : public TakeoverUi {
 public:
  explicit WindowTakeoverUi(HWND owner) : owner_(owner) {}
  int Message(const std::wstring& text, const std::wstring& caption, uint32_t type) override {
    return MessageBoxW(owner_, text.c_str(), caption.c_str(), type);
  }
  // Started, not waited for, as WinExec would, but from the system folder.
  bool Restart() override {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!CreateSystemProcess(kRestartCommand, 0, &startup, &process)) return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
  }

 private:
  HWND owner_;
};

}  // namespace

void OnBackupSystem(void* owner) {
  BootMachine machine = SystemBootMachine();
  WindowTakeoverUi ui(static_cast<HWND>(owner));
  OnBackupSystem(machine, ui, Working().GetSystemBackupImagePath());
}

void OnRestoreSystem(void* owner, const MeasureFile& measure) {
  BootMachine machine = SystemBootMachine();
  WindowTakeoverUi ui(static_cast<HWND>(owner));
  OnRestoreSystem(machine, ui, Working().GetSystemBackupImagePath(), measure);
}

bool TakeOverForReinstall(void* owner, const std::wstring& imagePath, const std::string& md5) {
  BootMachine machine = SystemBootMachine();
  WindowTakeoverUi ui(static_cast<HWND>(owner));
  std::optional<ImageBinding> image;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!md5.empty() && GetFileAttributesExW(imagePath.c_str(), GetFileExInfoStandard, &data)) {
    image =
        ImageBinding{(static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow, md5};
  }
  return TakeOverForReinstall(machine, ui, imagePath, image);
}

BootSetUp& SystemBootSetUp() {
  static BootTakeoverSetUp setUp(SystemBootFiles(), SystemPayloadResources());
  return setUp;
}

}  // namespace kavi
