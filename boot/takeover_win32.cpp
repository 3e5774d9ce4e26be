#include "boot/takeover.h"

#include <windows.h>

#include "boot/boot_setup.h"
#include "host/text.h"

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
  bool Restart() override { return WinExec(ToAnsi(kRestartCommand).c_str(), SW_HIDE) > 31; }

 private:
  HWND owner_;
};

}  // namespace

void OnBackupSystem(void* owner) {
  BootMachine machine = SystemBootMachine();
  WindowTakeoverUi ui(static_cast<HWND>(owner));
  OnBackupSystem(machine, ui, Working().GetSystemBackupImagePath());
}

void OnRestoreSystem(void* owner) {
  BootMachine machine = SystemBootMachine();
  WindowTakeoverUi ui(static_cast<HWND>(owner));
  OnRestoreSystem(machine, ui, Working().GetSystemBackupImagePath());
}

bool TakeOverForReinstall(void* owner, const std::wstring& imagePath) {
  BootMachine machine = SystemBootMachine();
  WindowTakeoverUi ui(static_cast<HWND>(owner));
  return TakeOverForReinstall(machine, ui, imagePath);
}

BootSetUp& SystemBootSetUp() {
  static BootTakeoverSetUp setUp(SystemBootFiles(), SystemPayloadResources());
  return setUp;
}

}  // namespace kavi
