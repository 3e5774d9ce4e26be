// A test host for the program's skins: shows the main window on one of its
// four pages, filled with sample data the way the program fills it, or the
// data backup window over it, so that screenshots can be taken. Also serves
// the tests that need a process of their own (a skin that cannot be built
// ends the process).
//
//   skin_host.exe [--page N] [--backup] [--resource ID] [--ready FILE]
//                 [--exit-after MS]
//
// --ready writes "left top right bottom" of the shown window to FILE once it
// has been painted and its animations have run a little; the host ends when
// the file is deleted (the screenshot is taken) or after --exit-after.
#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "ui/skin_ui.h"
#include "ui/window_impl_base.h"

namespace {

struct Options {
  int page = 0;
  bool backup = false;
  int resource = 141;
  std::wstring readyFile;
  int exitAfterMs = 0;
};
Options g_options;

constexpr UINT_PTR kReadyTimer = 7001;
constexpr UINT_PTR kExitTimer = 7002;
constexpr UINT_PTR kWatchTimer = 7003;
constexpr UINT kOpenBackup = WM_USER + 300;

struct SampleEntry {
  const wchar_t* name;
  const wchar_t* size;
  const wchar_t* description;
};
const SampleEntry kEntries[] = {
    {L"Windows 7 32位 旗舰版", L"3.12GB", L"稳定流畅"},
    {L"Windows 7 64位 旗舰版", L"4.05GB", L"大内存推荐"},
    {L"Windows 10 64位 专业版", L"4.76GB", L"驱动齐全"},
    {L"Windows 10 32位 专业版", L"3.58GB", L"兼容老软件"},
    {L"Windows 8.1 64位 专业版", L"4.21GB", L"开机快速"},
    {L"Windows XP SP3 专业版", L"0.68GB", L"经典之选"},
    {L"Windows 2003 企业版", L"0.72GB", L"老设备适用"},
};

void CALLBACK WatchReadyFile(HWND, UINT, UINT_PTR, DWORD) {
  if (GetFileAttributesW(g_options.readyFile.c_str()) == INVALID_FILE_ATTRIBUTES)
    PostQuitMessage(0);
}

void WriteReady(HWND hwnd) {
  if (g_options.readyFile.empty()) return;
  RECT rc;
  GetWindowRect(hwnd, &rc);
  FILE* f = _wfopen(g_options.readyFile.c_str(), L"w");
  if (!f) return;
  std::fprintf(f, "%ld %ld %ld %ld\n", rc.left, rc.top, rc.right, rc.bottom);
  std::fclose(f);
  SetTimer(nullptr, kWatchTimer, 100, WatchReadyFile);
}

void SetText(SkinUI::WindowImplBase& w, const wchar_t* name, const std::wstring& text) {
  if (SkinUI::CControlUI* c = w.FindControl(name)) c->SetText(text);
}

class BackupWindow : public SkinUI::WindowImplBase {
 public:
  const wchar_t* ClassName() const override { return L"KaviSkinHostBackup"; }
  std::wstring SkinFolder() override { return L""; }
  std::wstring SkinFile() override { return L"backuprecovery.xml"; }
  SkinUI::SkinResourceKind ResourceKind() const override {
    return SkinUI::SkinResourceKind::kZipResource;
  }
  int ResourceId() const override { return g_options.resource; }
  void OnInitWindow() override {
    SetText(*this, L"editdatapath", L"D:\\DURozazo");
    SetText(*this, L"lablastback", L"2016-12-06 21:40:12");
    SetText(*this, L"labdatamsg", L"正在备份“我的文档”");
    if (auto* o = static_cast<SkinUI::COptionUI*>(FindControl(L"optdocument"))) o->Select(true);
    if (auto* o = static_cast<SkinUI::COptionUI*>(FindControl(L"optdesktop"))) o->Select(true);
    if (SkinUI::CControlUI* b = FindControl(L"btnbackupdata")) b->SetEnabled(false);
    SetTimer(hwnd_, kReadyTimer, 1500, nullptr);
  }
  void OnNotify(SkinUI::TNotifyUI& msg) override {
    if (msg.sType == L"click" && msg.pSender && msg.pSender->GetName() == L"btnclose") Close(1);
    WindowImplBase::OnNotify(msg);
  }
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_TIMER && wParam == kReadyTimer) {
      KillTimer(hwnd_, kReadyTimer);
      WriteReady(hwnd_);
    }
    return WindowImplBase::OnMessage(message, wParam, lParam);
  }
  void OnFinalMessage(HWND) override { delete this; }
};

class MainWindow : public SkinUI::WindowImplBase {
 public:
  const wchar_t* ClassName() const override { return L"KaviSkinHostMain"; }
  std::wstring SkinFolder() override { return L""; }
  std::wstring SkinFile() override { return L"skin.xml"; }
  SkinUI::SkinResourceKind ResourceKind() const override {
    return SkinUI::SkinResourceKind::kZipResource;
  }
  int ResourceId() const override { return g_options.resource; }

  void OnInitWindow() override {
    SetText(*this, L"labcaption", L"Kavi一键重装系统 7.8.12正式版");
    SetText(*this, L"labcursystem", L"当前系统：Windows 7 64位");
    SetText(*this, L"labmemory", L"内存大小：8.00 GB");
    SetText(*this, L"labsystempath", L"系统分区：C:");
    SetText(*this, L"labdownpath", L"下载路径：D:\\DURozazo\\Download");
    if (SkinUI::CControlUI* c = FindControl(L"labdownpath"))
      c->SetToolTip(L"D:\\DURozazo\\Download");
    SetText(*this, L"labbackstatus", L"已经有86天没重装过系统啦。");
    SetText(*this, L"labtips1", L"如果系统卡，慢，或者有一些自己处理不了的问题");
    SetText(*this, L"labtips2", L"点击上方开始重装，立即帮您安装一个全新的系统！");
    BuildTiles();
    FillList();
    FillDownloadPage();
    if (g_options.page == 3) {
      if (auto* gif = static_cast<SkinUI::CGifAnimUI*>(FindControl(L"giffinish"))) {
        gif->SetVisible(true);
        gif->PlayGif();
      }
    }
    if (auto* tab = static_cast<SkinUI::CTabLayoutUI*>(FindControl(L"tabmain")))
      tab->SelectPage(g_options.page);
    if (g_options.backup)
      PostMsg(kOpenBackup);
    else
      SetTimer(hwnd_, kReadyTimer, 1500, nullptr);
    if (g_options.exitAfterMs > 0) SetTimer(hwnd_, kExitTimer, g_options.exitAfterMs, nullptr);
  }

  void OnNotify(SkinUI::TNotifyUI& msg) override {
    if (msg.sType == L"click" && msg.pSender) {
      const std::wstring& name = msg.pSender->GetName();
      if (name == L"btnclose") PostQuitMessage(0);
      if (name == L"btnmin") SendMsg(WM_SYSCOMMAND, SC_MINIMIZE);
    }
    WindowImplBase::OnNotify(msg);
  }

  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_TIMER && wParam == kReadyTimer) {
      KillTimer(hwnd_, kReadyTimer);
      WriteReady(hwnd_);
    } else if (message == WM_TIMER && wParam == kExitTimer) {
      PostQuitMessage(0);
    } else if (message == kOpenBackup) {
      auto* backup = new BackupWindow;
      backup->Create(
          hwnd_, L"UIBootManager",
          WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU,
          WS_EX_WINDOWEDGE);
      backup->CenterWindow();
      backup->ShowModal();
    } else if (message == WM_DESTROY) {
      PostQuitMessage(0);
    }
    return WindowImplBase::OnMessage(message, wParam, lParam);
  }

 private:
  void BuildTiles() {
    auto* tiles = static_cast<SkinUI::CTileLayoutUI*>(FindControl(L"tilesoft"));
    if (!tiles) return;
    const wchar_t* const kTiles[][3] = {
        {L"资料备份", L"备份或还原个人资料", L"data.png"},
        {L"清理缓存", L"清理本软件的缓存文件", L"clean.png"},
    };
    for (int i = 0; i < 2; ++i) {
      SkinUI::SkinBuilder builder;
      SkinUI::CControlUI* tile = builder.Create(L"tile.xml");
      if (!tile) continue;
      if (!tiles->AddAt(tile, i)) {
        delete tile;
        break;
      }
      // tile.xml's first control is the button itself.
      SkinUI::CControlUI* button =
          tile->GetName() == L"btnsoft" ? tile : tile->FindSubControl(L"btnsoft");
      if (button) {
        button->SetUserData(std::to_wstring(i));
        button->SetText(kTiles[i][0]);
        button->SetToolTip(kTiles[i][1]);
        std::wstring list = L"bkimage=\"file='" + std::wstring(kTiles[i][2]) +
                            L"' dest='26,16,62,52' source='0,0,0,0'\"";
        button->ApplyAttributeList(list.c_str());
      }
    }
  }

  void FillList() {
    auto* list = static_cast<SkinUI::CListUI*>(FindControl(L"listsystem"));
    if (!list) return;
    SetText(*this, L"labrecommand", L"推荐下载Windows 7 64位系统");
    SetText(*this, L"btnselectandnext", L"选择然后下一步 (15)");
    int index = 0;
    for (const SampleEntry& e : kEntries) {
      SkinUI::SkinBuilder builder;
      SkinUI::CControlUI* row = builder.Create(L"item1.xml");
      if (!row) continue;
      row->SetFixedHeight(70);
      if (!list->AddAt(row, index)) {
        delete row;
        break;
      }
      row->SetToolTip(e.description);
      if (SkinUI::CControlUI* c = row->FindSubControl(L"labsize")) c->SetText(e.size);
      if (SkinUI::CControlUI* c = row->FindSubControl(L"labdata")) c->SetText(e.description);
      if (SkinUI::CControlUI* c = row->FindSubControl(L"labsystemname")) c->SetText(e.name);
      if (SkinUI::CControlUI* c = row->FindSubControl(L"labpic")) c->SetBkImage(L"xt.png");
      auto* option = static_cast<SkinUI::COptionUI*>(row->FindSubControl(L"optselectsystem"));
      if (option) option->SetUserData(std::to_wstring(index));
      if (index == 1 && option) {
        option->Select(true);
        list->SelectItem(index, false);
      }
      ++index;
    }
  }

  void FillDownloadPage() {
    SetText(*this, L"labdownmsg", L"正在下载：Windows 7 64位 旗舰版");
    SetText(*this, L"labdownpro", L"37.52%");
    SetText(*this, L"labfilesize", L"文件大小：4147.25MB");
    SetText(*this, L"labdownspeed", L"下载速度：2.36MB/s");
    SetText(*this, L"labdownstatus", L"下载状态：下载中");
    SetText(*this, L"labdownloaded", L"已下载：1556.05MB");
    SetText(*this, L"labremaintime", L"剩余时间：0时18分18秒");
    SetText(*this, L"btnfilename",
            L"<f 1>保存路径：<u>D:\\DURozazo\\Download\\WIN7_64_QJ_20161206.GHO</u></f>");
    if (SkinUI::CControlUI* c = FindControl(L"btnfilename"))
      c->SetToolTip(L"D:\\DURozazo\\Download\\WIN7_64_QJ_20161206.GHO");
  }
};

void ParseOptions() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  for (int i = 1; argv && i < argc; ++i) {
    std::wstring a = argv[i];
    bool more = i + 1 < argc;
    if (a == L"--page" && more) {
      g_options.page = _wtoi(argv[++i]);
    } else if (a == L"--backup") {
      g_options.backup = true;
    } else if (a == L"--resource" && more) {
      g_options.resource = _wtoi(argv[++i]);
    } else if (a == L"--ready" && more) {
      g_options.readyFile = argv[++i];
    } else if (a == L"--exit-after" && more) {
      g_options.exitAfterMs = _wtoi(argv[++i]);
    }
  }
  LocalFree(argv);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  ParseOptions();
  SkinUI::SetInstance(instance);
  // A light desktop behind the windows, so that the shadow shows as it
  // would on a real desktop (the virtual screen is black).
  WNDCLASSW backdrop = {};
  backdrop.lpfnWndProc = DefWindowProcW;
  backdrop.hInstance = instance;
  backdrop.hbrBackground = CreateSolidBrush(RGB(0xE9, 0xEE, 0xF3));
  backdrop.lpszClassName = L"KaviSkinHostBackdrop";
  RegisterClassW(&backdrop);
  CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, backdrop.lpszClassName, L"",
                  WS_POPUP | WS_VISIBLE | WS_DISABLED, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                  GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, instance, nullptr);
  auto* window = new MainWindow;
  window->Create(
      nullptr, L"Kavi一键重装系统",
      WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU,
      WS_EX_WINDOWEDGE);
  window->CenterWindow();
  window->ShowModal();
  // The window is gone or the loop saw WM_QUIT; the process ends either way.
  return 0;
}
