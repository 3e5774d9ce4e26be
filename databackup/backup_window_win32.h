// The data backup window "UIBackUp": the user picks which of Documents,
// Favorites and Desktop to handle, may choose another root folder for the
// backups, and starts a backup or a restore, each of which runs the engine
// on a worker thread of its own while the window shows its progress texts.
//
// The window is modal over its owner (the main window):
//
//   kavi::ShowDataBackupWindow(mainHwnd);  // returns when it is closed
//
// Workers never touch controls: their texts reach `labdatamsg` through
// SkinUI::PostControlText and their end through WM_DATA_TASK_DONE. Closing
// the window while a worker runs cuts the worker off from the window and
// lets it finish in the background: a backup still replaces the previous
// one and writes "LastBack". The worker keeps what it uses alive until it
// ends; a process that quits through exit() asks running workers to stop
// and waits a while for them. Win32 only.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "databackup/data_backup.h"
#include "ui/window_impl_base.h"

namespace SkinUI {
class COptionUI;
}

namespace kavi {

// Sent by a worker to the window when its task has ended: wParam
// kDataTaskBackup or kDataTaskRestore, lParam 0.
constexpr UINT WM_DATA_TASK_DONE = WM_USER + 102;
constexpr WPARAM kDataTaskBackup = 1;
constexpr WPARAM kDataTaskRestore = 2;

// What the window uses from outside; empty members take the machine's own.
struct DataBackupWindowServices {
  // Must outlive every worker the window starts (see WaitForDataTasks).
  DataBackupHost* host = nullptr;                 // SystemDataBackupHost()
  std::function<std::wstring()> browseForFolder;  // BrowseForFolder(the window)
};

struct DataWindowLink;

class CBackRecoPage : public SkinUI::WindowImplBase {
 public:
  explicit CBackRecoPage(DataBackupWindowServices services = {});
  ~CBackRecoPage() override;

  const wchar_t* ClassName() const override { return L"UIBackUp"; }
  // WM_DATA_TASK_DONE re-enables the button of the task that ended; every
  // message then goes on to the base.
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  // The object deletes itself once its window is gone.
  void OnFinalMessage(HWND hwnd) override;
  void OnNotify(SkinUI::TNotifyUI& msg) override;
  // Esc closes the window, as its close button does.
  LRESULT ResponseDefaultKeyEvent(WPARAM key) override;
  std::wstring SkinFolder() override { return std::wstring(); }
  std::wstring SkinFile() override { return L"backuprecovery.xml"; }
  SkinUI::SkinResourceKind ResourceKind() const override {
    return SkinUI::SkinResourceKind::kZipResource;
  }
  int ResourceId() const override { return 141; }

  // Creates the window owned by `owner`, binds its controls, shows the root
  // folder and the last Documents backup time ("未备份" when there is
  // none), puts the keyboard focus on the first folder option and centres
  // it. Null when the window could not be created; the
  // object has then been deleted.
  HWND Open(HWND owner);

 private:
  void BindControls();
  // Copies the options' states to where the workers read them.
  void PublishOptions();
  void UpdateBackupButton();
  void StartTask(WPARAM task);
  void ChooseRootFolder();
  // The window is going: cut the workers off from it; they go on.
  void CutOffWorkers();

  DataBackupWindowServices services_;
  std::shared_ptr<DataWindowLink> link_;
  bool* deleted_ = nullptr;  // set by Open while the window is created
  bool backupRunning_ = false;
  bool restoreRunning_ = false;

  std::array<SkinUI::COptionUI*, 3> options_ = {};  // by DataItem
  SkinUI::CControlUI* editDataPath_ = nullptr;
  SkinUI::CControlUI* btnBrowserData_ = nullptr;
  SkinUI::CControlUI* btnBackupData_ = nullptr;
  SkinUI::CControlUI* btnRecoveryData_ = nullptr;
  SkinUI::CControlUI* labDataMsg_ = nullptr;
  SkinUI::CControlUI* btnClose_ = nullptr;
  SkinUI::CControlUI* labLastBack_ = nullptr;
};

// Opens `page` owned by `owner` and runs it modally: the owner is disabled
// until the window closes. Returns the close code (1 from its close button).
// Takes ownership of `page`.
UINT ShowDataBackupWindow(CBackRecoPage* page, HWND owner);
// The same with a page on this machine's folders.
UINT ShowDataBackupWindow(HWND owner);

// Waits until every backup and restore worker of the process has ended;
// false when `timeoutMs` passed first.
bool WaitForDataTasks(DWORD timeoutMs);

}  // namespace kavi
