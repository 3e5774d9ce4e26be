#include "databackup/backup_window_win32.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "host/shell_folders.h"
#include "host/working_paths.h"
#include "host/working_state.h"
#include "ui/controls.h"
#include "ui/ui_thread.h"

namespace kavi {

// What the window shares with its workers. The window fills it in and, when
// it goes, clears `window` under the lock; a worker only reaches the window
// under the same lock, so it never posts to a window that is being destroyed
// nor names a control that has been freed. The worker itself goes on.
struct DataWindowLink {
  std::mutex mutex;
  HWND window = nullptr;
  SkinUI::CControlUI* message = nullptr;  // labdatamsg
  // The options' states, copied on the UI thread whenever they change, so a
  // worker reads an option when it reaches its item without touching it.
  std::array<std::atomic<bool>, 3> selected = {};
};

namespace {

// The count of running workers, for WaitForDataTasks, and the stop request
// of a process that is quitting.
struct RunningTasks {
  std::mutex mutex;
  std::condition_variable ended;
  int count = 0;
  std::atomic<bool> quitting{false};
};
RunningTasks& Running() {
  static RunningTasks running;
  return running;
}

// A worker outlives its window but not the process. When the process quits
// through exit(), the workers are asked to stop and given a while to do so
// before the objects they use are destroyed: a stopped backup leaves the
// previous one in place, while one cut off inside its swap or its
// backups.ini write would not end so cleanly.
constexpr DWORD kQuitWaitMs = 10000;
void StopDataTasksAtExit() {
  Running().quitting = true;
  WaitForDataTasks(kQuitWaitMs);
}
void StopDataTasksWhenQuitting() {
  static const bool registered = [] {
    Running();  // constructed first, so destroyed after the handler ran
    return std::atexit(StopDataTasksAtExit) == 0;
  }();
  (void)registered;
}

// Handed to a worker, which owns it.
struct DataTaskContext {
  std::shared_ptr<DataWindowLink> link;
  DataBackupHost* host;
  WPARAM task;
};

class WorkerObserver : public DataTaskObserver {
 public:
  explicit WorkerObserver(DataWindowLink& link) : link_(link) {}
  void Show(const std::wstring& text) override {
    std::lock_guard<std::mutex> lock(link_.mutex);
    if (link_.window) SkinUI::PostControlText(link_.window, link_.message, text);
  }
  bool StopRequested() override { return Running().quitting.load(); }
  bool IsSelected(DataItem item) override {
    return link_.selected[static_cast<size_t>(item)].load();
  }

 private:
  DataWindowLink& link_;
};

DWORD WINAPI DataTaskWorker(LPVOID parameter) {
  {
    std::unique_ptr<DataTaskContext> context(static_cast<DataTaskContext*>(parameter));
    WorkerObserver observer(*context->link);
    if (context->task == kDataTaskBackup) {
      RunBackupTask(*context->host, observer);
    } else {
      RunRestoreTask(*context->host, observer);
    }
    std::lock_guard<std::mutex> lock(context->link->mutex);
    // Posted, not sent: a worker holding the lock must never wait for the UI
    // thread, which takes the same lock when the window goes.
    if (context->link->window) {
      PostMessageW(context->link->window, WM_DATA_TASK_DONE, context->task, 0);
    }
  }
  RunningTasks& running = Running();
  std::lock_guard<std::mutex> lock(running.mutex);
  --running.count;
  running.ended.notify_all();
  return 0;
}

SkinUI::COptionUI* AsOption(SkinUI::CControlUI* control) {
  return control ? static_cast<SkinUI::COptionUI*>(control->GetInterface(L"Option")) : nullptr;
}

void SetEnabled(SkinUI::CControlUI* control, bool enabled) {
  if (control) control->SetEnabled(enabled);
}

void SetText(SkinUI::CControlUI* control, const std::wstring& text) {
  if (control) control->SetText(text);
}

}  // namespace

CBackRecoPage::CBackRecoPage(DataBackupWindowServices services)
    : services_(std::move(services)), link_(std::make_shared<DataWindowLink>()) {
  if (!services_.host) services_.host = &SystemDataBackupHost();
  if (!services_.browseForFolder) {
    services_.browseForFolder = [this] { return BrowseForFolder(hwnd_); };
  }
}

CBackRecoPage::~CBackRecoPage() {
  CutOffWorkers();
}

HWND CBackRecoPage::Open(HWND owner) {
  bool deleted = false;
  deleted_ = &deleted;
  HWND hwnd =
      Create(owner, L"UIBootManager",
             WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU,
             WS_EX_WINDOWEDGE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT);
  if (deleted) return nullptr;  // created and destroyed again on the way
  deleted_ = nullptr;
  if (!hwnd) {
    delete this;
    return nullptr;
  }
  BindControls();
  SetText(editDataPath_, Working().GetWorkFolder());
  const std::wstring lastBack = ReadLastBackupTime(*services_.host);
  SetText(labLastBack_, lastBack.empty() ? std::wstring(L"未备份") : lastBack);
  m_pm.SetFocus(options_[static_cast<size_t>(DataItem::kDocuments)]);
  CenterWindow();
  return hwnd;
}

void CBackRecoPage::BindControls() {
  options_[static_cast<size_t>(DataItem::kDocuments)] = AsOption(FindControl(L"optdocument"));
  options_[static_cast<size_t>(DataItem::kFavorites)] = AsOption(FindControl(L"optfavorite"));
  options_[static_cast<size_t>(DataItem::kDesktop)] = AsOption(FindControl(L"optdesktop"));
  editDataPath_ = FindControl(L"editdatapath");
  btnBrowserData_ = FindControl(L"btnbrowserdata");
  btnBackupData_ = FindControl(L"btnbackupdata");
  btnRecoveryData_ = FindControl(L"btnrecoverydata");
  labDataMsg_ = FindControl(L"labdatamsg");
  btnClose_ = FindControl(L"btnclose");
  labLastBack_ = FindControl(L"lablastback");

  std::lock_guard<std::mutex> lock(link_->mutex);
  link_->window = hwnd_;
  link_->message = labDataMsg_;
  PublishOptions();
}

void CBackRecoPage::PublishOptions() {
  for (size_t i = 0; i < options_.size(); ++i) {
    link_->selected[i] = options_[i] && options_[i]->IsSelected();
  }
}

void CBackRecoPage::UpdateBackupButton() {
  bool any = false;
  for (SkinUI::COptionUI* option : options_) any = any || (option && option->IsSelected());
  // A running backup keeps its button disabled until it has ended.
  SetEnabled(btnBackupData_, any && !backupRunning_);
}

void CBackRecoPage::StartTask(WPARAM task) {
  bool& running = task == kDataTaskBackup ? backupRunning_ : restoreRunning_;
  SkinUI::CControlUI* button = task == kDataTaskBackup ? btnBackupData_ : btnRecoveryData_;
  if (running) return;
  PublishOptions();
  StopDataTasksWhenQuitting();
  auto* context = new DataTaskContext{link_, services_.host, task};
  {
    std::lock_guard<std::mutex> lock(Running().mutex);
    ++Running().count;
  }
  HANDLE thread = CreateThread(nullptr, 0, DataTaskWorker, context, 0, nullptr);
  if (!thread) {
    delete context;
    std::lock_guard<std::mutex> lock(Running().mutex);
    --Running().count;
    Running().ended.notify_all();
    return;
  }
  CloseHandle(thread);
  running = true;
  SetEnabled(button, false);
}

void CBackRecoPage::ChooseRootFolder() {
  const std::wstring folder = services_.browseForFolder();
  if (folder.empty()) return;
  SetWorkFolder(folder.c_str());
  SetText(editDataPath_, folder);
}

void CBackRecoPage::OnNotify(SkinUI::TNotifyUI& msg) {
  SkinUI::CControlUI* sender = msg.pSender;
  if (sender) {
    if (msg.sType == L"click") {
      if (sender == btnBackupData_) {
        StartTask(kDataTaskBackup);
      } else if (sender == btnRecoveryData_) {
        StartTask(kDataTaskRestore);
      } else if (sender == btnBrowserData_) {
        ChooseRootFolder();
      } else if (sender == btnClose_) {
        Close(1);
      }
    } else if (msg.sType == L"selectchanged") {
      for (SkinUI::COptionUI* option : options_) {
        if (option && sender == option) {
          PublishOptions();
          UpdateBackupButton();
          break;
        }
      }
    }
  }
  WindowImplBase::OnNotify(msg);
}

LRESULT CBackRecoPage::ResponseDefaultKeyEvent(WPARAM key) {
  if (key == VK_ESCAPE) Close(1);
  return WindowImplBase::ResponseDefaultKeyEvent(key);
}

LRESULT CBackRecoPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DATA_TASK_DONE) {
    if (wParam == kDataTaskBackup) {
      backupRunning_ = false;
      SetEnabled(btnBackupData_, true);
    } else if (wParam == kDataTaskRestore) {
      restoreRunning_ = false;
      SetEnabled(btnRecoveryData_, true);
    }
  } else if (message == WM_DESTROY) {
    CutOffWorkers();
  }
  return WindowImplBase::OnMessage(message, wParam, lParam);
}

void CBackRecoPage::CutOffWorkers() {
  std::lock_guard<std::mutex> lock(link_->mutex);
  link_->window = nullptr;
  link_->message = nullptr;
}

void CBackRecoPage::OnFinalMessage(HWND hwnd) {
  WindowImplBase::OnFinalMessage(hwnd);
  if (deleted_) *deleted_ = true;
  delete this;
}

UINT ShowDataBackupWindow(CBackRecoPage* page, HWND owner) {
  if (!page || !page->Open(owner)) return 0;
  return page->ShowModal();
}

UINT ShowDataBackupWindow(HWND owner) {
  return ShowDataBackupWindow(new CBackRecoPage(), owner);
}

bool WaitForDataTasks(DWORD timeoutMs) {
  RunningTasks& running = Running();
  std::unique_lock<std::mutex> lock(running.mutex);
  return running.ended.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&running] { return running.count == 0; });
}

}  // namespace kavi
