#include "app/main_window_win32.h"

#include <ctime>
#include <cwchar>

#include "app/app_messages.h"
#include "app/environment_panel.h"
#include "app/startup_check.h"
#include "app/startup_trace_win32.h"
#include "app/startup_thread_win32.h"
#include "app/takeover_hooks_win32.h"
#include "download/download_monitor.h"
#include "host/shell_folders.h"
#include "host/host_facts.h"
#include "host/text.h"
#include "host/working_paths.h"
#include "online/catalogue.h"
#include "online/service_host.h"

namespace kavi {
namespace {

constexpr const wchar_t* kCaption = L"Kavi一键重装系统 7.8.12正式版";

}  // namespace

CFrameWindowWnd::CFrameWindowWnd() = default;
CFrameWindowWnd::~CFrameWindowWnd() = default;

const wchar_t* CFrameWindowWnd::ClassName() const {
  return kMainWindowClass;
}

void CFrameWindowWnd::OnFinalMessage(HWND hwnd) {
  WindowImplBase::OnFinalMessage(hwnd);
  delete this;
}

void CFrameWindowWnd::BindControls() {
  // Every control is in the shipped skin (a test builds it and binds); a
  // skin that lacks one or has it as another kind leaves it null, and the
  // window goes on without it.
  for (const std::wstring& problem :
       BindMainControls([this](const wchar_t* name) { return FindControl(name); }, &c_)) {
    OutputDebugStringW((L"skin.xml: " + problem + L"\n").c_str());
  }
}

void CFrameWindowWnd::SetText(SkinUI::CControlUI* control, const std::wstring& text) {
  if (control) control->SetText(text);
}

int CFrameWindowWnd::Ask(const wchar_t* text, const wchar_t* caption, UINT flags) {
  return MessageBoxW(hwnd_, text, caption, flags);
}

// Only what the start page shows comes before the first paint; the rest
// follows it (FinishStartup).
void CFrameWindowWnd::OnInitWindow() {
  StartupMark("window built");
  BindControls();
  SetText(c_.labcaption, kCaption);
  // The host facts, work drive and folders, which the start page shows. The
  // set-up ends before the start-up thread starts, so that thread sees the
  // edition and system drive it stores.
  WaitForWorkingPathSetUp();
  StartStartupThread(hwnd_);
  StartToolTileThread(hwnd_);
  // Also the latest moment for FinishStartup, should no paint come.
  ::SetTimer(hwnd_, kStartupTimer, 3000, nullptr);
  ResetToStartPage();
  FocusPageDefault(0);
  StartupMark("window initialised");
}

// Neither the tray icon, the boot takeover's set-up nor the restore report
// change the start page: they wait until it is on screen.
void CFrameWindowWnd::FinishStartup() {
  if (startupFinished_) return;
  startupFinished_ = true;
  StartBootSetUp();
  CreateTrayIcon();
  StartupMark("start-up finished");
  PostMsg(WM_RESTORE_REPORT);
}

void CFrameWindowWnd::ResetToStartPage() {
  taskbar_.Show(hwnd_, -1, false);
  RefreshEnvironmentPanel();
  busy_ = 0;
  ::KillTimer(hwnd_, kCountdownTimer);
  if (c_.tabmain) c_.tabmain->SelectItem(0);
}

void CFrameWindowWnd::FocusPageDefault(int page) {
  SkinUI::CControlUI* const defaults[] = {c_.btninstall, c_.listsystem, c_.btnpause, nullptr};
  if (page >= 0 && page < 4) m_pm.SetFocus(defaults[page]);
}

void CFrameWindowWnd::RefreshEnvironmentPanel() {
  const WorkingFields f = Working().Snapshot();
  EnvironmentTexts t = MakeEnvironmentTexts(f.windowsEdition, GetTotalPhysicalMemory(),
                                            f.systemDrive, f.downloadFolder);
  SetText(c_.labcursystem, t.currentSystem);
  SetText(c_.labmemory, t.memory);
  SetText(c_.labsystempath, t.systemPartition);
  SetText(c_.labdownpath, t.downloadPath);
  if (c_.labdownpath) c_.labdownpath->SetToolTip(f.downloadFolder);
  RefreshReminder();
}

void CFrameWindowWnd::RefreshReminder() {
  ReminderTexts t = MakeReminderTexts(static_cast<int64_t>(std::time(nullptr)), ReadInstallDate());
  SetText(c_.labbackstatus, t.backStatus);
  SetText(c_.labtips1, t.tips1);
  SetText(c_.labtips2, t.tips2);
}

void CFrameWindowWnd::ShowSystemListPage() {
  FillSystemList();
  SetText(c_.labrecommand, RecommendationFor(IsLargeMemory()).text);
  countdown_ = 15;
  ::SetTimer(hwnd_, kCountdownTimer, 1000, nullptr);
  SetText(c_.btnselectandnext, CountdownText(15));
  if (c_.tabmain) c_.tabmain->SelectItem(1);
}

void CFrameWindowWnd::FillSystemList() {
  if (!c_.listsystem) return;
  c_.listsystem->RemoveAll();
  const size_t count = Catalogue().Count();
  const int preselected = PreselectedRow(IsLargeMemory(), count);
  for (size_t i = 0; i < count; ++i) {
    const CatalogueEntry entry = Catalogue().At(i);
    SkinUI::SkinBuilder builder;
    SkinUI::CControlUI* row = builder.Create(L"item1.xml");
    if (!row) continue;
    row->SetFixedHeight(70);
    if (!c_.listsystem->AddAt(row, static_cast<int>(i))) {
      delete row;
      break;
    }
    SystemRowControls r;
    BindSystemRow(row, &r);
    SkinUI::COptionUI* option = r.optselectsystem;
    const std::wstring info = RowText(entry.infoText, kRowDetailLimit);
    row->SetToolTip(info);
    if (option) option->SetUserData(Format(L"%d", static_cast<int>(i)));
    SetText(r.labsize, RowText(entry.sizeText, kRowTitleLimit));
    SetText(r.labdata, info);
    if (r.labpic) {
      r.labpic->SetText(L"");
      r.labpic->SetBkImage(L"xt.png");
    }
    SetText(r.labsystemname, RowText(entry.name, kRowTitleLimit));
    if (static_cast<int>(i) == preselected && option) {
      option->Select(true);  // "selectchanged" stores the index
      c_.listsystem->SelectItem(static_cast<int>(i), false);
    }
  }
}

void CFrameWindowWnd::OnOptionSelected(SkinUI::CControlUI* sender) {
  selectedIndex_ = static_cast<int>(std::wcstol(sender->GetUserData().c_str(), nullptr, 10));
  if (c_.listsystem) c_.listsystem->SelectItem(selectedIndex_, false);
}

void CFrameWindowWnd::OnCountdownStep() {
  --countdown_;
  std::wstring text = CountdownText(countdown_);
  if (countdown_ == 0) {
    ::KillTimer(hwnd_, kCountdownTimer);
    StartImageDownload();
  }
  SetText(c_.btnselectandnext, text);
}

void CFrameWindowWnd::OnInstall() {
  const int status = StartupStatusValue().load(std::memory_order_relaxed);
  if (status == kStartupReady) {
    ShowSystemListPage();
    return;
  }
  UserMessage refusal = InstallRefusal(status);
  Ask(refusal.text, refusal.caption, refusal.flags);
}

void CFrameWindowWnd::QuitWithConfirmation() {
  if (Ask(L"是否确定退出软件？", L"提示", MB_YESNO) == IDYES) PostMsg(WM_DESTROY);
}

void CFrameWindowWnd::ShowMainWindow() {
  if (IsWindow(hwnd_)) ::ShowWindow(hwnd_, SW_SHOWNORMAL);
}

void CFrameWindowWnd::OnNotify(SkinUI::TNotifyUI& msg) {
  if (msg.sType == L"click") {
    OnClick(msg.pSender);
  } else if (msg.sType == L"selectchanged" && msg.pSender &&
             msg.pSender->GetName() == L"optselectsystem") {
    OnOptionSelected(msg.pSender);
  } else if (msg.sType == L"tabselect" && msg.pSender == c_.tabmain) {
    FocusPageDefault(static_cast<int>(msg.wParam));
  } else if (msg.sType == L"itemactivate" && msg.pSender && c_.listsystem &&
             msg.pSender->GetParent() == c_.listsystem) {
    // Enter or Space on a row (or a double click) turns its switch on.
    SystemRowControls row;
    BindSystemRow(msg.pSender, &row);
    if (row.optselectsystem) row.optselectsystem->Select(true);
  }
}

void CFrameWindowWnd::OnClick(SkinUI::CControlUI* sender) {
  if (!sender) return;
  if (sender == c_.btnfeedback) {
    ShellExecuteW(nullptr, L"open", FeedbackUrl().c_str(), nullptr, nullptr, SW_SHOW);
  } else if (sender == c_.btnmin) {
    SendMsg(WM_SYSCOMMAND, SC_MINIMIZE);
  } else if (sender == c_.btnclose) {
    if (busy_) {
      ::ShowWindow(hwnd_, SW_HIDE);
    } else {
      QuitWithConfirmation();
    }
  } else if (sender == c_.btnmain) {
    if (!busy_) ResetToStartPage();
  } else if (sender == c_.btninstall) {
    OnInstall();
  } else if (sender == c_.btnselectandnext) {
    ::KillTimer(hwnd_, kCountdownTimer);
    StartImageDownload();
  } else if (sender == c_.btnfilename) {
    OpenContainingFolder(Working().GetCurrentImagePath());
  } else if (sender == c_.btnstop) {
    if (Ask(L"是否确定停止下载?", L"提示", MB_YESNO) == IDYES) {
      DownloadControlFlags().stopRequested = 1;
    }
  } else if (sender == c_.btnpause) {
    DownloadFlags& flags = DownloadControlFlags();
    if (flags.paused) {
      SetText(c_.btnpause, L"暂停下载");
      if (c_.gifprocess) c_.gifprocess->PlayGif();
      flags.paused = 0;
    } else {
      SetText(c_.btnpause, L"继续下载");
      if (c_.gifprocess) c_.gifprocess->PauseGif();
      flags.paused = 1;
    }
  } else if (sender == c_.btnbacksys) {
    if (!busy_) RunSystemBackup(hwnd_);
  } else if (sender == c_.btnrecosys) {
    if (!busy_) RunSystemRestore(hwnd_);
  } else if (sender->GetName() == L"btnsoft") {
    OnToolTile(static_cast<int>(std::wcstol(sender->GetUserData().c_str(), nullptr, 10)));
  }
}

void CFrameWindowWnd::OnDownloadDone(WPARAM wParam, LPARAM outcome) {
  if (wParam != kDownloadDoneTag) return;
  switch (outcome) {
    case kDownloadComplete:
      CheckImageSize();
      break;
    case kDownloadFailed:
      Ask(L"下载文件出错,请检查网络链接后重启软件！", L"提示", MB_OK);
      ResetToStartPage();
      break;
    case kDownloadStopped:
      ResetToStartPage();
      break;
    case kDownloadMd5Mismatch:
      if (MessageBoxW(nullptr, L"文件校验失败", L"警告", MB_OKCANCEL) == IDOK) {
        CheckImageSize();
      } else {
        PostMsg(WM_DESTROY);
      }
      break;
    default:
      break;
  }
}

LRESULT CFrameWindowWnd::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      if (!startupFinished_) {
        const LRESULT result = WindowImplBase::OnMessage(message, wParam, lParam);
        StartupMark("first paint");
        PostMsg(WM_FINISH_STARTUP);
        return result;
      }
      break;
    case WM_FINISH_STARTUP:
      FinishStartup();
      return 0;
    case WM_DESTROY:
      startupFinished_ = true;  // no tray icon may come after this
      Shell_NotifyIconW(NIM_DELETE, &trayIcon_);
      PostQuitMessage(0);
      break;
    case WM_TIMER:
      if (wParam == kCountdownTimer) {
        OnCountdownStep();
      } else if (wParam == kStartupTimer) {
        ::KillTimer(hwnd_, kStartupTimer);
        FinishStartup();
      }
      break;
    case WM_TOOLTILES_READY:
      BuildToolTiles();
      break;
    case WM_VERIFY_DONE:
      OnImageChecked(lParam);
      break;
    case WM_DOWNLOAD_DONE:
      OnDownloadDone(wParam, lParam);
      break;
    case WM_TRAYICON:
      OnTrayIcon(lParam);
      break;
    case WM_RESTORE_REPORT:
      ReportLastRestoreFailure(hwnd_);
      AllowUpdateQuestion();
      break;
    case WM_TASKBAR_PROGRESS:
      taskbar_.Show(hwnd_, static_cast<int>(wParam), lParam != 0);
      break;
    default:
      break;
  }
  return WindowImplBase::OnMessage(message, wParam, lParam);
}

}  // namespace kavi
