// The data backup window under Wine, with the program's skin: the modal run
// over an owner, the options and the backup button, backup and restore
// workers on real folders, the root folder picker and closing the window
// while a worker runs, which lets the worker finish.
//
// Documents, Favorites and Desktop are temporary folders of the test, and
// the work folder is a temporary folder too; the process-wide working state
// is put back after each test.
#include "databackup/backup_window_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "host/shell_folders.h"
#include "host/text.h"
#include "host/working_state.h"
#include "tests/databackup/redirected_host_win32.h"
#include "tests/support/win32_test_util.h"
#include "ui/controls.h"
#include "ui/window_wnd.h"

namespace kavi {
namespace {

using SkinUI::CControlUI;

// The system host with the special folders of a test. With the gate armed,
// a worker's look-up of a folder waits until the gate opens.
// The redirected host with a gate: a worker entering an item can be held.
class TestHost : public RedirectedHost {
 public:
  TestHost()
      : entered_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        open_(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}
  ~TestHost() override {
    CloseHandle(entered_);
    CloseHandle(open_);
  }

  void CloseGate() {
    ResetEvent(entered_);
    ResetEvent(open_);
  }
  void OpenGate() { SetEvent(open_); }
  // Bounds far above a loaded machine's thread start: only a worker that
  // never comes, or a test that never opens the gate, reaches them.
  bool WaitUntilAWorkerWaits() { return WaitForSingleObject(entered_, 60000) == WAIT_OBJECT_0; }

  bool SpecialFolder(int folderId, std::wstring* path) override {
    SetEvent(entered_);
    WaitForSingleObject(open_, 120000);
    return RedirectedHost::SpecialFolder(folderId, path);
  }

 private:
  HANDLE entered_;
  HANDLE open_;
};

// Runs the windows' message handling for `ms` milliseconds.
void Pump(DWORD ms = 30) {
  const DWORD end = GetTickCount() + ms;
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (!SkinUI::PreTranslateToolkitMessage(msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    Sleep(5);
  } while (GetTickCount() < end);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 60000) {
  const DWORD end = GetTickCount() + timeoutMs;
  while (!done()) {
    if (GetTickCount() > end) return false;
    Pump(10);
  }
  return true;
}

// A plain window standing in for the main window; a posted kRun runs the
// test's script inside whatever message loop is running.
constexpr UINT kRun = WM_APP + 5;
std::function<void()> g_script;

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRun && g_script) {
    std::function<void()> script = std::move(g_script);
    g_script = nullptr;
    script();
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND CreateOwner() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = OwnerProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"KaviTestMainWindow";
  RegisterClassW(&wc);
  return CreateWindowExW(0, wc.lpszClassName, L"main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100,
                         900, 637, nullptr, nullptr, wc.hInstance, nullptr);
}

// The open window of a test: its handle and controls, and mouse clicks.
class Window {
 public:
  Window() = default;
  explicit Window(CBackRecoPage* page) : page_(page), hwnd_(page->GetHWND()) {}
  HWND Handle() const { return hwnd_; }
  bool IsOpen() const { return IsWindow(hwnd_) != FALSE; }
  CControlUI* Control(const wchar_t* name) const { return page_->FindControl(name); }
  std::wstring Text(const wchar_t* name) const {
    CControlUI* c = Control(name);
    return c ? c->GetText() : L"<missing>";
  }
  bool Enabled(const wchar_t* name) const {
    CControlUI* c = Control(name);
    return c && c->IsEnabled();
  }
  bool Selected(const wchar_t* name) const {
    auto* o = static_cast<SkinUI::COptionUI*>(Control(name)->GetInterface(L"Option"));
    return o && o->IsSelected();
  }
  void Click(const wchar_t* name) {
    CControlUI* c = Control(name);
    ASSERT_NE(nullptr, c) << ToUtf8(name);
    const SkinUI::UiRect& r = c->GetPos();
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageW(hwnd_, WM_MOUSEMOVE, 0, at);
    SendMessageW(hwnd_, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(hwnd_, WM_LBUTTONUP, 0, at);
  }
  // Waits for a task's end: its text shown and its button usable again.
  bool WaitForEnd(const wchar_t* text, const wchar_t* button) {
    return PumpUntil([&] { return Text(L"labdatamsg") == text && Enabled(button); });
  }

 private:
  CBackRecoPage* page_ = nullptr;  // deletes itself with its window
  HWND hwnd_ = nullptr;
};

bool IsLastBackTime(const std::wstring& value) {
  return std::regex_match(ToUtf8(value), std::regex(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2})"));
}

class BackupWindowTest : public ::testing::Test {
 protected:
  // One main window for the suite: each window that goes costs Wine a wait
  // for its withdrawal under a display without a window manager.
  static void SetUpTestSuite() {
    SkinUI::SetInstance(GetModuleHandleW(nullptr));
    owner_ = CreateOwner();
  }
  static void TearDownTestSuite() { DestroyWindow(owner_); }

  void SetUp() override {
    saved_ = Working().Snapshot();
    host_.documents = live_ / L"Documents";
    host_.favorites = live_ / L"Favorites";
    host_.desktop = live_ / L"Desktop";
    for (const std::wstring* f : {&host_.documents, &host_.favorites, &host_.desktop}) {
      CreateDirectoryW(f->c_str(), nullptr);
    }
    root_ = work_ / L"DURozazo";
    CreateDirectoryW(root_.c_str(), nullptr);
    Working().SetWorkFolder(root_.c_str());
    ASSERT_NE(nullptr, owner_);
  }

  void TearDown() override {
    host_.OpenGate();
    for (HWND w : opened_) {
      if (IsWindow(w)) DestroyWindow(w);
    }
    EXPECT_TRUE(WaitForDataTasks(20000));
    Pump(10);
    Working().Reset(saved_);
  }

  CBackRecoPage* NewPage() {
    DataBackupWindowServices services;
    services.host = &host_;
    services.browseForFolder = [this] { return picked_; };
    return new CBackRecoPage(services);
  }

  Window Open() {
    CBackRecoPage* page = NewPage();
    if (!page->Open(owner_)) {
      ADD_FAILURE() << "the window was not created";
      return Window();
    }
    opened_.push_back(page->GetHWND());
    Pump();
    return Window(page);
  }

  void Close(Window& w) {
    w.Click(L"btnclose");
    EXPECT_TRUE(PumpUntil([&] { return !w.IsOpen(); }));
  }

  std::wstring Backup(const std::wstring& root, const wchar_t* item) {
    return root + L"\\DataBackup\\" + item;
  }

  WorkingFields saved_;
  TempFolder live_;
  TempFolder work_;
  std::wstring root_;
  TestHost host_;
  static HWND owner_;
  std::vector<HWND> opened_;
  std::wstring picked_;  // what the folder picker answers
};

HWND BackupWindowTest::owner_ = nullptr;

TEST_F(BackupWindowTest, OpensModalOverTheMainWindowTakesKeysAndClosesOnEsc) {
  CBackRecoPage* page = NewPage();
  bool ran = false;
  g_script = [&] {
    ran = true;
    Pump();  // lets the window lay out and paint
    HWND hwnd = FindWindowW(L"UIBackUp", L"UIBootManager");
    ASSERT_NE(nullptr, hwnd);
    EXPECT_EQ(owner_, GetWindow(hwnd, GW_OWNER));
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_FALSE(IsWindowEnabled(owner_)) << "the main window must ignore input meanwhile";
    RECT rc;
    GetClientRect(hwnd, &rc);
    EXPECT_EQ(404, rc.right);
    EXPECT_EQ(426, rc.bottom);

    Window w(page);
    EXPECT_EQ(root_, w.Text(L"editdatapath"));
    EXPECT_EQ(L"未备份", w.Text(L"lablastback"));
    EXPECT_EQ(L"", w.Text(L"labdatamsg"));
    for (const wchar_t* option : {L"optdocument", L"optfavorite", L"optdesktop"}) {
      EXPECT_FALSE(w.Selected(option)) << ToUtf8(option);
    }
    EXPECT_TRUE(w.Enabled(L"btnbackupdata"));
    EXPECT_TRUE(w.Enabled(L"btnrecoverydata"));
    // The first folder option has the keyboard: Space turns it on. Esc, seen
    // by the modal loop, closes the window as its close button does.
    PostMessageW(hwnd, WM_KEYDOWN, VK_SPACE, 0);
    Pump();
    EXPECT_TRUE(w.Selected(L"optdocument"));
    PostMessageW(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    // Behind the key: its WM_CLOSE must be on the way (else close it here,
    // so a failure does not leave the modal loop running).
    g_script = [hwnd, page] {
      MSG pending;
      if (!PeekMessageW(&pending, hwnd, WM_CLOSE, WM_CLOSE, PM_NOREMOVE)) {
        ADD_FAILURE() << "Esc did not close the window";
        Window(page).Click(L"btnclose");
      }
    };
    PostMessageW(owner_, kRun, 0, 0);
  };
  PostMessageW(owner_, kRun, 0, 0);
  EXPECT_EQ(1u, ShowDataBackupWindow(page, owner_));
  EXPECT_TRUE(ran);
  EXPECT_TRUE(IsWindowEnabled(owner_));
  EXPECT_EQ(nullptr, FindWindowW(L"UIBackUp", nullptr));
}

TEST_F(BackupWindowTest, TheOptionsEnableAndDisableOnlyTheBackupButton) {
  Window w = Open();
  w.Click(L"optdocument");
  EXPECT_TRUE(w.Selected(L"optdocument"));
  EXPECT_TRUE(w.Enabled(L"btnbackupdata"));
  w.Click(L"optdocument");
  EXPECT_FALSE(w.Selected(L"optdocument"));
  EXPECT_FALSE(w.Enabled(L"btnbackupdata"));
  EXPECT_TRUE(w.Enabled(L"btnrecoverydata"));

  w.Click(L"optfavorite");
  w.Click(L"optdesktop");
  EXPECT_TRUE(w.Enabled(L"btnbackupdata"));
  w.Click(L"optfavorite");
  EXPECT_TRUE(w.Enabled(L"btnbackupdata"));
  w.Click(L"optdesktop");
  EXPECT_FALSE(w.Enabled(L"btnbackupdata"));
  EXPECT_TRUE(w.Enabled(L"btnrecoverydata"));
}

TEST_F(BackupWindowTest, ABackupCopiesTheSelectedFoldersAndReenablesItsButton) {
  ASSERT_TRUE(WriteFileBytes(host_.documents + L"\\简历.txt", "doc"));
  ASSERT_TRUE(WriteFileBytes(host_.favorites + L"\\link.url", "fav"));
  ASSERT_TRUE(WriteFileBytes(host_.desktop + L"\\note.txt", "desk"));
  Window w = Open();
  w.Click(L"optdocument");
  w.Click(L"optdesktop");

  host_.CloseGate();  // holds the worker at its first folder
  w.Click(L"btnbackupdata");
  ASSERT_TRUE(host_.WaitUntilAWorkerWaits());
  Pump();
  EXPECT_FALSE(w.Enabled(L"btnbackupdata"));
  EXPECT_EQ(L"正在备份“我的文档”", w.Text(L"labdatamsg"));
  // Options changed while the backup runs do not make its button usable.
  w.Click(L"optfavorite");
  w.Click(L"optfavorite");
  EXPECT_FALSE(w.Enabled(L"btnbackupdata"));
  host_.OpenGate();

  ASSERT_TRUE(w.WaitForEnd(L"备份资料完成", L"btnbackupdata"));
  EXPECT_EQ("doc", ReadFileBytes(Backup(root_, L"我的文档\\简历.txt")));
  EXPECT_EQ("desk", ReadFileBytes(Backup(root_, L"桌面\\note.txt")));
  EXPECT_FALSE(FolderExists(Backup(root_, L"收藏夹")));
  // The time shown is the one read when the window opened.
  EXPECT_EQ(L"未备份", w.Text(L"lablastback"));
}

TEST_F(BackupWindowTest, ABackupWithNoOptionCopiesNothingAndEnds) {
  ASSERT_TRUE(WriteFileBytes(host_.documents + L"\\a.txt", "a"));
  Window w = Open();
  w.Click(L"btnbackupdata");
  ASSERT_TRUE(w.WaitForEnd(L"备份资料完成", L"btnbackupdata"));
  EXPECT_FALSE(FolderExists(Backup(root_, L"我的文档")));
}

TEST_F(BackupWindowTest, ARestoreMergesAndItsButtonIsUsableAgain) {
  ASSERT_TRUE(WriteFileBytes(host_.desktop + L"\\same.txt", "backed up"));
  Window w = Open();
  w.Click(L"optdesktop");
  w.Click(L"btnbackupdata");
  ASSERT_TRUE(w.WaitForEnd(L"备份资料完成", L"btnbackupdata"));

  ASSERT_TRUE(WriteFileBytes(host_.desktop + L"\\same.txt", "changed"));
  ASSERT_TRUE(WriteFileBytes(host_.desktop + L"\\extra.txt", "extra"));
  host_.CloseGate();
  w.Click(L"btnrecoverydata");
  ASSERT_TRUE(host_.WaitUntilAWorkerWaits());
  Pump();
  EXPECT_FALSE(w.Enabled(L"btnrecoverydata"));
  EXPECT_EQ(L"正在还原“桌面”", w.Text(L"labdatamsg"));
  host_.OpenGate();
  ASSERT_TRUE(w.WaitForEnd(L"还原资料完成", L"btnrecoverydata"));
  EXPECT_EQ("backed up", ReadFileBytes(host_.desktop + L"\\same.txt"));
  EXPECT_EQ("extra", ReadFileBytes(host_.desktop + L"\\extra.txt"));

  // And again, now that the button is usable.
  ASSERT_TRUE(DeleteFileW((host_.desktop + L"\\same.txt").c_str()));
  w.Click(L"btnrecoverydata");
  ASSERT_TRUE(PumpUntil([&] { return FileExists(host_.desktop + L"\\same.txt"); }));
  ASSERT_TRUE(w.WaitForEnd(L"还原资料完成", L"btnrecoverydata"));
}

TEST_F(BackupWindowTest, ReopeningShowsTheLastBackupTime) {
  ASSERT_TRUE(WriteFileBytes(host_.documents + L"\\a.txt", "a"));
  Window w = Open();
  w.Click(L"optdocument");
  w.Click(L"btnbackupdata");
  ASSERT_TRUE(w.WaitForEnd(L"备份资料完成", L"btnbackupdata"));
  Close(w);

  Window again = Open();
  const std::wstring shown = again.Text(L"lablastback");
  EXPECT_TRUE(IsLastBackTime(shown)) << ToUtf8(shown);
  EXPECT_EQ(ReadLastBackupTime(host_), shown);
  EXPECT_FALSE(again.Selected(L"optdocument"));
}

TEST_F(BackupWindowTest, AnotherRootFolderTakesTheLaterBackups) {
  ASSERT_TRUE(WriteFileBytes(host_.documents + L"\\a.txt", "a"));
  TempFolder other;
  Window w = Open();

  picked_.clear();  // the user cancels the picker
  w.Click(L"btnbrowserdata");
  EXPECT_EQ(root_, w.Text(L"editdatapath"));
  EXPECT_EQ(root_, Working().GetWorkFolder());

  picked_ = other.Path();
  w.Click(L"btnbrowserdata");
  EXPECT_EQ(other.Path(), w.Text(L"editdatapath"));
  EXPECT_EQ(other.Path(), Working().GetWorkFolder());

  // What is typed into the edit box does not decide where backups go.
  w.Control(L"editdatapath")->SetText(root_);
  w.Click(L"optdocument");
  w.Click(L"btnbackupdata");
  ASSERT_TRUE(w.WaitForEnd(L"备份资料完成", L"btnbackupdata"));
  EXPECT_EQ("a", ReadFileBytes(Backup(other.Path(), L"我的文档\\a.txt")));
  EXPECT_FALSE(FolderExists(Backup(root_, L"我的文档")));
  Close(w);

  Window again = Open();
  EXPECT_EQ(other.Path(), again.Text(L"editdatapath"));
  EXPECT_TRUE(IsLastBackTime(again.Text(L"lablastback")));
  Close(again);

  Working().SetWorkFolder(root_.c_str());
  Window back = Open();
  EXPECT_EQ(L"未备份", back.Text(L"lablastback"));
}

// The worker outlives its window: the backup completes and is recorded, and
// nothing of it reaches the window, nor a new one likely on the freed memory.
TEST_F(BackupWindowTest, ClosingWhileABackupRunsLetsItFinishUnseen) {
  ASSERT_TRUE(WriteFileBytes(host_.documents + L"\\a.txt", "a"));
  Window w = Open();
  w.Click(L"optdocument");
  host_.CloseGate();
  w.Click(L"btnbackupdata");
  ASSERT_TRUE(host_.WaitUntilAWorkerWaits());
  Close(w);  // the window and its controls are freed now

  Window next = Open();
  next.Click(L"optfavorite");
  next.Click(L"optfavorite");
  ASSERT_FALSE(next.Enabled(L"btnbackupdata"));
  host_.OpenGate();
  ASSERT_TRUE(WaitForDataTasks(20000));
  Pump(100);
  EXPECT_EQ(L"", next.Text(L"labdatamsg"));
  EXPECT_FALSE(next.Enabled(L"btnbackupdata"));

  EXPECT_EQ("a", ReadFileBytes(Backup(root_, L"我的文档\\a.txt")));
  EXPECT_TRUE(IsLastBackTime(ReadLastBackupTime(host_)));
}

TEST_F(BackupWindowTest, ClosingWhileARestoreRunsLetsItFinish) {
  ASSERT_TRUE(WriteFileBytes(host_.desktop + L"\\a.txt", "backed up"));
  Window w = Open();
  w.Click(L"optdesktop");
  w.Click(L"btnbackupdata");
  ASSERT_TRUE(w.WaitForEnd(L"备份资料完成", L"btnbackupdata"));
  ASSERT_TRUE(WriteFileBytes(host_.desktop + L"\\a.txt", "changed"));

  host_.CloseGate();
  w.Click(L"btnrecoverydata");
  ASSERT_TRUE(host_.WaitUntilAWorkerWaits());
  Close(w);
  host_.OpenGate();
  ASSERT_TRUE(WaitForDataTasks(20000));
  EXPECT_EQ("backed up", ReadFileBytes(host_.desktop + L"\\a.txt"));
}

// For a picture of the window after a backup (tests/databackup/screenshot.sh):
// with KAVI_BACKUP_WINDOW_READY naming a file, writes "left top right
// bottom" of the window into it and keeps the window on the screen until
// the file is deleted (at most a minute).
TEST_F(BackupWindowTest, PictureForReview) {
  const char* ready = std::getenv("KAVI_BACKUP_WINDOW_READY");
  if (!ready) GTEST_SKIP() << "KAVI_BACKUP_WINDOW_READY not set";
  ASSERT_TRUE(WriteFileBytes(host_.documents + L"\\a.txt", "a"));
  Window w = Open();
  w.Click(L"optdocument");
  w.Click(L"optdesktop");
  w.Click(L"btnbackupdata");
  ASSERT_TRUE(w.WaitForEnd(L"备份资料完成", L"btnbackupdata"));
  Pump(500);

  RECT rc;
  GetWindowRect(w.Handle(), &rc);
  FILE* f = std::fopen(ready, "w");
  ASSERT_NE(nullptr, f);
  std::fprintf(f, "%ld %ld %ld %ld\n", rc.left, rc.top, rc.right, rc.bottom);
  std::fclose(f);
  PumpUntil([ready] { return GetFileAttributesA(ready) == INVALID_FILE_ATTRIBUTES; }, 60000);
}

}  // namespace
}  // namespace kavi
