// The download and verification steps of the reinstall, as the main window
// runs them: starting the download thread, its page, the size check, the
// verification thread and the hand-off of a verified image.
#include <windows.h>

#include <memory>

#include "app/app_messages.h"
#include "app/main_window_win32.h"
#include "app/taskbar_progress_win32.h"
#include "app/takeover_hooks_win32.h"
#include "host/working_state.h"
#include "download/check_code.h"
#include "download/down_wrapper.h"
#include "download/download_files_win32.h"
#include "download/download_monitor.h"
#include "download/download_start.h"
#include "host/text.h"
#include "host/win32_util.h"
#include "online/catalogue.h"
#include "online/statistics.h"
#include "ui/ui_thread.h"

namespace kavi {
namespace {

// The download page as the download thread sees it: every change is handed
// to the UI thread, which owns the controls.
class PostedDownloadPage : public DownloadPage {
 public:
  PostedDownloadPage(HWND window, const MainControls& controls) : window_(window), c_(controls) {}

  void ShowMessage(const std::wstring& text) override { Post(c_.labdownmsg, text); }
  void ShowStatus(const std::wstring& text) override {
    Post(c_.labdownstatus, text);
    PostMessageW(window_, WM_TASKBAR_PROGRESS, static_cast<WPARAM>(permille_), 1);  // paused
  }
  void ShowProgress(const ProgressTexts& t, float fraction) override {
    permille_ = static_cast<int>(fraction * 1000.0f);
    PostMessageW(window_, WM_TASKBAR_PROGRESS, static_cast<WPARAM>(permille_), 0);
    Post(c_.labfilesize, t.fileSize);
    Post(c_.labdownspeed, t.speed);
    SkinUI::CControlUI* link = c_.btnfilename;
    const std::wstring tip = t.pathTip;
    if (link) SkinUI::CallOnUiThread(window_, [link, tip] { link->SetToolTip(tip); });
    Post(c_.btnfilename, t.pathLink);
    Post(c_.labdownpro, t.percent);
    Post(c_.labdownstatus, t.status);
    Post(c_.labremaintime, t.remaining);
    Post(c_.labdownloaded, t.downloaded);
  }

 private:
  void Post(SkinUI::CControlUI* control, const std::wstring& text) {
    if (control) SkinUI::PostControlText(window_, control, text);
  }
  HWND window_;
  MainControls c_;
  int permille_ = 0;
};

struct DownloadMonitorContext {
  HWND window;
  MainControls controls;
  DownloadJob job;
  int index;
};

DWORD WINAPI RunDownloadMonitor(void* parameter) {
  std::unique_ptr<DownloadMonitorContext> context(static_cast<DownloadMonitorContext*>(parameter));
  // Statistics event 2, off the UI thread: a slow service host must not
  // freeze the window.
  ReportDownloadStart(context->index);
  int outcome = kDownloadFailed;
  if (DownWrapper* engine = GetDownloadEngine()) {
    PostedDownloadPage page(context->window, context->controls);
    Win32DownloadFiles files;
    outcome = RunDownload(context->job, *engine, page, DownloadControlFlags(), files);
  }
  SendMessageW(context->window, WM_DOWNLOAD_DONE, kDownloadDoneTag, outcome);
  return 0;
}

struct VerifyContext {
  HWND window;
  SkinUI::CControlUI* progressLabel;  // labcheckpro, may be null
};

DWORD WINAPI VerifyImageCheckCode(void* parameter) {
  std::unique_ptr<VerifyContext> context(static_cast<VerifyContext*>(parameter));
  int shown = -1;
  auto progress = [&](int64_t done, int64_t total) {
    const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
    if (percent == shown) return;
    shown = percent;
    PostMessageW(context->window, WM_TASKBAR_PROGRESS, static_cast<WPARAM>(percent * 10), 0);
    if (!context->progressLabel) return;
    SkinUI::PostControlText(context->window, context->progressLabel,
                            Format(L"已校验 %d%%", percent));
  };
  const bool valid = VerifyImageFile(Working().GetCurrentImagePath(),
                                     ToAnsi(Working().GetCurrentCheckCode()), progress);
  SendMessageW(context->window, WM_VERIFY_DONE, 0, valid ? 1 : 0);
  return 0;
}

bool StartThread(LPTHREAD_START_ROUTINE routine, void* parameter) {
  HANDLE thread = CreateThread(nullptr, 0, routine, parameter, 0, nullptr);
  if (!thread) return false;
  CloseHandle(thread);
  return true;
}

}  // namespace

void CFrameWindowWnd::StartImageDownload() {
  if (static_cast<unsigned>(selectedIndex_) >= Catalogue().Count()) return;
  const CatalogueEntry entry = Catalogue().At(static_cast<size_t>(selectedIndex_));

  // The window's side of the start; a local class, so it reaches the
  // window's own members.
  class WindowSteps : public DownloadStartSteps {
   public:
    WindowSteps(CFrameWindowWnd* window, const std::wstring& checkCode)
        : w_(window), checkCode_(checkCode) {}
    bool FileExists(const std::wstring& path) override {
      return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    bool AskOverwrite() override {
      return w_->Ask(L"当前镜像文件已存在，是否覆盖？", L"提示", MB_YESNO) == IDYES;
    }
    void DeleteImage(const std::wstring& path) override { DeleteFileW(path.c_str()); }
    bool EngineReady() override { return GetDownloadEngine() != nullptr; }
    void Refuse(const std::wstring& message) override {
      w_->Ask(message.c_str(), L"错误", MB_OK | MB_ICONERROR);
      w_->ResetToStartPage();
    }
    void CheckImage(const std::wstring& path) override {
      Working().SetCurrentImage(path, checkCode_);
      w_->CheckImageSize();
    }
    void StartDownload(const DownloadJob& job, const std::wstring& path) override {
      Working().SetCurrentImage(path, checkCode_);
      w_->SetText(w_->c_.btnpause, L"暂停下载");
      auto* context = new DownloadMonitorContext{w_->hwnd_, w_->c_, job, w_->selectedIndex_};
      if (w_->c_.gifprocess) w_->c_.gifprocess->PlayGif();
      w_->busy_ = 1;
      if (!StartThread(&RunDownloadMonitor, context)) {
        delete context;
        w_->ResetToStartPage();
        return;
      }
      if (w_->c_.tabmain) w_->c_.tabmain->SelectItem(2);
    }

   private:
    CFrameWindowWnd* w_;
    std::wstring checkCode_;
  } steps(this, entry.checkCode);

  kavi::StartImageDownload(
      {entry.url, entry.fileName, Working().GetDownloadFolder(), entry.imageMd5}, steps);
}

void CFrameWindowWnd::CheckImageSize() {
  if (c_.tabmain) c_.tabmain->SelectItem(3);
  if (c_.giffinish) c_.giffinish->SetVisible(true);
  const std::wstring path = Working().GetCurrentImagePath();
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  // After either refusal the window goes back to the start page: leaving it
  // on page 3 with `busy` set would leave the bottom menu dead.
  if (!file.Valid()) {
    Ask(L"下载文件文件不存在，可以使用“清理缓存”功能后重试！", L"提示", MB_OK);
    ResetToStartPage();
    return;
  }
  LARGE_INTEGER size = {};
  GetFileSizeEx(file.Get(), &size);
  const int64_t megabytes = size.QuadPart / 1024 / 1024;
  file.Reset();
  if (megabytes < 100) {
    Ask(L"下载文件小于100MB，可能已下载文件不正确！建议重启软件再试！", L"警告", MB_ICONWARNING);
    ResetToStartPage();
    return;
  }
  SkinUI::CControlUI* progressLabel = FindControl(L"labcheckpro");
  SetText(progressLabel, L"");
  auto* context = new VerifyContext{hwnd_, progressLabel};
  if (!StartThread(&VerifyImageCheckCode, context)) {
    delete context;
    ResetToStartPage();
  }
}

void CFrameWindowWnd::OnImageChecked(LPARAM valid) {
  if (c_.giffinish) c_.giffinish->SetVisible(false);
  if (!valid) {
    Ask(L"检验系统镜像失败，可能镜像已损坏，建议重新下载系统!", L"提示", MB_OK);
    ResetToStartPage();
    return;
  }
  ReportImageVerified();
  // The hand-off resolves both Ghost partitions first and tells the user
  // when it cannot; nothing is armed then.
  if (!HandOverImage(hwnd_, Working().GetCurrentImagePath())) ResetToStartPage();
}

}  // namespace kavi
