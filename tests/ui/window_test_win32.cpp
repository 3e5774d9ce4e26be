// Windows of the toolkit under Wine: skin loading from the resource archive,
// painting, input routing, the caption band, tooltips, scrolling, the edit
// box, animations, the modal loop, texts set from worker threads, the
// keyboard and what a screen reader sees through MSAA.
#include <windows.h>
// after windows.h
#include <commctrl.h>
#include <gtest/gtest.h>
#include <oleacc.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ui/skin_ui.h"
#include "ui/ui_thread.h"
#include "ui/window_impl_base.h"

namespace SkinUI {
namespace {

constexpr DWORD kStyle =
    WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;
constexpr UINT kPoke = WM_USER + 77;

// Runs the toolkit's message handling for `ms` milliseconds.
void Pump(DWORD ms = 30) {
  DWORD end = GetTickCount() + ms;
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return;
      }
      if (!PreTranslateToolkitMessage(msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    Sleep(5);
  } while (GetTickCount() < end);
}

class TestWindow : public WindowImplBase {
 public:
  explicit TestWindow(int resourceId = 141) : resourceId_(resourceId) {}
  const wchar_t* ClassName() const override { return L"KaviUiTestWindow"; }
  std::wstring SkinFolder() override { return L""; }
  std::wstring SkinFile() override { return L"test.xml"; }
  SkinResourceKind ResourceKind() const override { return SkinResourceKind::kZipResource; }
  int ResourceId() const override { return resourceId_; }
  void OnInitWindow() override { ++inits; }
  void OnNotify(TNotifyUI& msg) override {
    notes.push_back(msg.sType + L":" + (msg.pSender ? msg.pSender->GetName() : L""));
    WindowImplBase::OnNotify(msg);
  }
  LRESULT ResponseDefaultKeyEvent(WPARAM key) override {
    keys.push_back(key);
    return TRUE;  // even a "handled" answer must not stop the key
  }
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_TIMER) timers.push_back(wParam);
    if (message == kPoke && onPoke) onPoke();
    return WindowImplBase::OnMessage(message, wParam, lParam);
  }

  HWND Open(HWND owner = nullptr) {
    Create(owner, L"测试窗口", kStyle, WS_EX_WINDOWEDGE);
    Pump();
    return hwnd_;
  }
  POINT ScreenPoint(const CControlUI* c, int dx = 0, int dy = 0) {
    const UiRect& r = c->GetPos();
    POINT pt = {(r.left + r.right) / 2 + dx, (r.top + r.bottom) / 2 + dy};
    ClientToScreen(hwnd_, &pt);
    return pt;
  }
  LPARAM ClientParam(const CControlUI* c) {
    const UiRect& r = c->GetPos();
    return MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  }
  void Click(const CControlUI* c) {
    SendMsg(WM_MOUSEMOVE, 0, ClientParam(c));
    SendMsg(WM_LBUTTONDOWN, MK_LBUTTON, ClientParam(c));
    SendMsg(WM_LBUTTONUP, 0, ClientParam(c));
  }
  template <typename T>
  T* Find(const wchar_t* name) {
    return static_cast<T*>(FindControl(name));
  }

  int inits = 0;
  std::vector<std::wstring> notes;
  std::vector<WPARAM> keys;
  std::vector<WPARAM> timers;
  std::function<void()> onPoke;

 private:
  int resourceId_;
};

// The client area painted into a 32-bit bitmap, as WM_PRINTCLIENT does.
class Snapshot {
 public:
  explicit Snapshot(WindowImplBase& w) {
    RECT rc;
    GetClientRect(w.GetHWND(), &rc);
    width_ = rc.right;
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), rc.right, -rc.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ =
        CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    SelectObject(dc_, bitmap_);
    w.PaintTo(dc_);
    GdiFlush();
  }
  ~Snapshot() {
    DeleteDC(dc_);
    DeleteObject(bitmap_);
  }
  // 0xRRGGBB at a client point.
  unsigned At(int x, int y) const { return bits_[y * width_ + x] & 0xFFFFFF; }

 private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  unsigned* bits_ = nullptr;
  int width_ = 0;
};

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { SetInstance(GetModuleHandleW(nullptr)); }
  void TearDown() override {
    for (TestWindow* w : windows_) {
      if (IsWindow(w->GetHWND())) DestroyWindow(w->GetHWND());
      delete w;
    }
    Pump(10);
  }
  TestWindow* New(int resourceId = 141) {
    windows_.push_back(new TestWindow(resourceId));
    return windows_.back();
  }
  std::vector<TestWindow*> windows_;
};

TEST_F(WindowTest, BuildsTheSkinFromTheResourceAndPaintsIt) {
  TestWindow* w = New();
  ASSERT_NE(nullptr, w->Open());
  EXPECT_EQ(1, w->inits);
  RECT rc;
  GetClientRect(w->GetHWND(), &rc);
  EXPECT_EQ(400, rc.right);
  EXPECT_EQ(300, rc.bottom);
  EXPECT_EQ(0, GetWindowLongW(w->GetHWND(), GWL_STYLE) & WS_CAPTION);
  CControlUI* red = w->FindControl(L"labred");
  CControlUI* pic = w->FindControl(L"labpic");
  ASSERT_NE(nullptr, red);
  ASSERT_NE(nullptr, pic);
  EXPECT_EQ(nullptr, w->FindControl(L"LABRED"));  // names are case-sensitive

  Snapshot shot(*w);
  const UiRect& r = red->GetPos();
  EXPECT_EQ(0xFF0000u, shot.At(r.left + 5, r.top + 5));
  // The picture from the archive is drawn: the middle of xt.png is blue.
  const UiRect& p = pic->GetPos();
  unsigned px = shot.At((p.left + p.right) / 2, p.top + 10);
  EXPECT_GT(px & 0xFF, 0xC0u) << std::hex << px;
  EXPECT_LT((px >> 16) & 0xFF, 0xA0u) << std::hex << px;
}

TEST_F(WindowTest, MissingResourceLeavesAnEmptyWindowWithoutInit) {
  TestWindow* w = New(143);  // no such ZIPRES resource
  ASSERT_NE(nullptr, w->Open());
  EXPECT_TRUE(IsWindow(w->GetHWND()));
  EXPECT_EQ(0, w->inits);
  EXPECT_EQ(nullptr, w->FindControl(L"btnok"));
  EXPECT_EQ(nullptr, FindWindowW(L"#32770", L"SkinUI"));
  Pump();  // it paints and takes input without a tree
  w->SendMsg(WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
  w->SendMsg(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1));
  w->SendMsg(WM_LBUTTONUP, 0, MAKELPARAM(1, 1));
  EXPECT_TRUE(w->notes.empty());
}

// The host program carries an archive without "skin.xml" as resource 142.
TEST_F(WindowTest, MissingSkinFileShowsTheMessageAndEndsWithExitCode1) {
  std::wstring host = L"Z:" KAVI_SKIN_HOST_EXE;
  std::wstring command = L"\"" + host + L"\" --resource 142";
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(
      CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  // As long as the program lives, however late it starts.
  HWND box = nullptr;
  while (!(box = FindWindowW(L"#32770", L"SkinUI")) &&
         WaitForSingleObject(pi.hProcess, 50) == WAIT_TIMEOUT) {
  }
  ASSERT_NE(nullptr, box) << "no message box";
  std::wstring text;
  for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t buffer[128] = {};
    GetWindowTextW(c, buffer, 128);
    if (std::wstring(buffer).find(L"加载") != std::wstring::npos) text = buffer;
  }
  EXPECT_EQ(L"加载资源文件失败", text);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 30000));
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(1u, code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

TEST_F(WindowTest, EnterAndEscAreAskedAboutButHaveNoWindowLevelEffect) {
  TestWindow* w = New();
  ASSERT_NE(nullptr, w->Open());
  PostMessageW(w->GetHWND(), WM_KEYDOWN, VK_RETURN, 0);
  PostMessageW(w->GetHWND(), WM_KEYDOWN, VK_ESCAPE, 0);
  Pump();
  EXPECT_EQ((std::vector<WPARAM>{VK_RETURN, VK_ESCAPE}), w->keys);
  EXPECT_TRUE(IsWindow(w->GetHWND()));
  EXPECT_TRUE(IsWindowVisible(w->GetHWND()));
  EXPECT_TRUE(w->notes.empty());
}

std::vector<std::pair<DWORD, LONG>> g_focusEvents;  // event, child id
void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD event, HWND, LONG object, LONG child, DWORD, DWORD) {
  if (object == OBJID_CLIENT) g_focusEvents.push_back({event, child});
}

// "name/role" of an element of `acc` (a child id, or CHILDID_SELF).
std::wstring Describe(IAccessible* acc, LONG id) {
  VARIANT child;
  child.vt = VT_I4;
  child.lVal = id;
  BSTR name = nullptr;
  VARIANT role;
  acc->get_accName(child, &name);
  acc->get_accRole(child, &role);
  std::wstring text = (name ? name : L"") + std::wstring(L"/") + std::to_wstring(role.lVal);
  SysFreeString(name);
  return text;
}

TEST_F(WindowTest, TheKeyboardAndAScreenReaderReachTheControls) {
  TestWindow* w = New();
  ASSERT_NE(nullptr, w->Open());
  HWND hwnd = w->GetHWND();
  // The keys go where the focus is; a just-made prefix on a busy machine
  // may give the window the focus only after the display server answers.
  for (int i = 0; i < 3000 && GetFocus() != hwnd; ++i) {
    SetForegroundWindow(hwnd);
    SetFocus(hwnd);
    Pump(10);
  }
  ASSERT_EQ(hwnd, GetFocus());
  // A client asks first, as a screen reader does when it meets the window;
  // only then are changes told.
  ASSERT_EQ(S_OK, CoInitialize(nullptr));
  IAccessible* acc = nullptr;
  ASSERT_EQ(S_OK, AccessibleObjectFromWindow(hwnd, OBJID_CLIENT, __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&acc)));
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_FOCUS, nullptr, OnWinEvent,
                                       GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  g_focusEvents.clear();
  auto key = [&](WPARAM vk) {
    PostMessageW(GetFocus(), WM_KEYDOWN, vk, 0);
    Pump();
  };
  for (int i = 0; i < 4; ++i) key(VK_TAB);  // btncaption, btnok, btnmissing, optcheck
  key(VK_SPACE);
  EXPECT_EQ((std::vector<std::wstring>{L"click:optcheck", L"selectchanged:optcheck"}), w->notes);
  const UiRect& box = w->FindControl(L"optcheck")->GetPos();
  EXPECT_EQ(0x1B62C8u, Snapshot(*w).At(box.left, box.top));  // the focus mark
  key(VK_TAB);
  EXPECT_NE(nullptr, w->EditingWindow());
  key(VK_TAB);  // from the edit box on to the list
  EXPECT_EQ(nullptr, w->EditingWindow());
  EXPECT_EQ(w->FindControl(L"listmany"), w->PaintManager().GetFocus());

  long count = 0;
  acc->get_accChildCount(&count);
  std::vector<VARIANT> kids(count);
  LONG got = 0;
  EXPECT_EQ(S_OK, AccessibleChildren(acc, 0, count, kids.data(), &got));
  std::wstring outline;
  LONG okId = 0;
  for (LONG i = 0; i < got; ++i) {
    if (kids[i].vt == VT_DISPATCH) {
      IAccessible* sub = nullptr;
      kids[i].pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&sub));
      outline += Describe(sub, CHILDID_SELF) + L" ";
      sub->Release();
      kids[i].pdispVal->Release();
    } else {
      outline += Describe(acc, kids[i].lVal) + L" ";
      if (Describe(acc, kids[i].lVal) == L"确定/43") okId = kids[i].lVal;
    }
  }
  // Static text 41, graphic 40, push button 43, check box 44, text 42, list 33.
  EXPECT_EQ(L"标题/41 按钮/43 文字/41 /41 /40 确定/43 /43 选项/44 /42 提示/41 /40 /33 ", outline);

  // The focus is the list's, told with its id; the option reads as checked.
  VARIANT focus;
  ASSERT_EQ(S_OK, acc->get_accFocus(&focus));
  ASSERT_EQ(VT_DISPATCH, focus.vt);
  IAccessible* list = nullptr;
  focus.pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&list));
  EXPECT_EQ(L"/33", Describe(list, CHILDID_SELF));
  list->Release();
  focus.pdispVal->Release();
  ASSERT_FALSE(g_focusEvents.empty()) << "no EVENT_OBJECT_FOCUS reached the hook";
  EXPECT_EQ(L"/33", Describe(acc, g_focusEvents.back().second));
  VARIANT option = {}, state = {};
  ASSERT_EQ(S_OK, acc->accHitTest(w->ScreenPoint(w->FindControl(L"optcheck")).x,
                                  w->ScreenPoint(w->FindControl(L"optcheck")).y, &option));
  acc->get_accState(option, &state);
  EXPECT_EQ(STATE_SYSTEM_CHECKED | STATE_SYSTEM_FOCUSABLE, state.lVal);

  // Where "确定" is, what follows it, and pressing it.
  ASSERT_NE(0, okId);
  VARIANT ok = {}, next = {}, hit = {};
  ok.vt = VT_I4;
  ok.lVal = okId;
  long x = 0, y = 0, cx = 0, cy = 0;
  acc->accLocation(&x, &y, &cx, &cy, ok);
  POINT corner = {w->FindControl(L"btnok")->GetPos().left, w->FindControl(L"btnok")->GetPos().top};
  ClientToScreen(hwnd, &corner);
  EXPECT_EQ((std::vector<long>{corner.x, corner.y, 80, 26}), (std::vector<long>{x, y, cx, cy}));
  acc->accHitTest(x + 40, y + 13, &hit);
  EXPECT_EQ(okId, hit.lVal);
  acc->accNavigate(NAVDIR_NEXT, ok, &next);
  EXPECT_EQ(L"/43", Describe(acc, next.lVal));  // btnmissing: a picture without a tooltip
  w->notes.clear();
  EXPECT_EQ(S_OK, acc->accDoDefaultAction(ok));
  Pump();
  EXPECT_EQ(std::vector<std::wstring>{L"click:btnok"}, w->notes);

  // An object a client still holds answers "disconnected" once the window is gone.
  DestroyWindow(hwnd);
  EXPECT_EQ(RPC_E_DISCONNECTED, acc->get_accChildCount(&count));
  acc->Release();
  UnhookWinEvent(hook);
  CoUninitialize();
}

TEST_F(WindowTest, CaptionBandDragsExceptOverButtonsAndTexts) {
  TestWindow* w = New();
  ASSERT_NE(nullptr, w->Open());
  auto hit = [&](POINT pt) { return w->SendMsg(WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y)); };
  EXPECT_EQ(HTCAPTION, hit(w->ScreenPoint(w->FindControl(L"labtitle"))));
  EXPECT_EQ(HTCLIENT, hit(w->ScreenPoint(w->FindControl(L"btncaption"))));
  EXPECT_EQ(HTCLIENT, hit(w->ScreenPoint(w->FindControl(L"txtcaption"))));
  EXPECT_EQ(HTCLIENT, hit(w->ScreenPoint(w->FindControl(L"labred"))));  // below the band

  w->Click(w->FindControl(L"btncaption"));
  EXPECT_EQ((std::vector<std::wstring>{L"click:btncaption"}), w->notes);
}

TEST_F(WindowTest, HotAndPushedFollowTheMouseAndDisabledControlsIgnoreIt) {
  TestWindow* w = New();
  ASSERT_NE(nullptr, w->Open());
  auto* ok = w->Find<CButtonUI>(L"btnok");
  w->SendMsg(WM_MOUSEMOVE, 0, w->ClientParam(ok));
  EXPECT_TRUE(ok->IsHot());
  w->SendMsg(WM_LBUTTONDOWN, MK_LBUTTON, w->ClientParam(ok));
  EXPECT_TRUE(ok->IsPushed());
  w->SendMsg(WM_LBUTTONUP, 0, w->ClientParam(ok));
  EXPECT_FALSE(ok->IsPushed());
  w->SendMsg(WM_MOUSEMOVE, 0, w->ClientParam(w->FindControl(L"labred")));
  EXPECT_FALSE(ok->IsHot());
  EXPECT_EQ((std::vector<std::wstring>{L"click:btnok"}), w->notes);

  ok->SetEnabled(false);
  w->Click(ok);
  EXPECT_FALSE(ok->IsHot());
  EXPECT_EQ(1u, w->notes.size());
  Snapshot shot(*w);  // drawn as disabled, without trouble
}

TEST_F(WindowTest, AStateImageMissingFromTheArchiveFallsBackToTheNormalImage) {
  TestWindow* w = New();
  ASSERT_NE(nullptr, w->Open());
  auto* button = w->Find<CButtonUI>(L"btnmissing");
  const UiRect& r = button->GetPos();
  unsigned normal = Snapshot(*w).At(r.left + 4, r.top + 11);
  w->SendMsg(WM_MOUSEMOVE, 0, w->ClientParam(button));
  ASSERT_TRUE(button->IsHot());
  EXPECT_EQ(normal, Snapshot(*w).At(r.left + 4, r.top + 11));
  EXPECT_NE(0xFFFFFFu, normal);
}

TEST_F(WindowTest, TooltipUsesTheNativeControl) {
  TestWindow* w = New();
  ASSERT_NE(nullptr, w->Open());
  w->SendMsg(WM_MOUSEMOVE, 0, w->ClientParam(w->FindControl(L"labtip")));
  HWND tip = w->ToolTipWindow();
  ASSERT_NE(nullptr, tip);
  wchar_t cls[32] = {};
  GetClassNameW(tip, cls, 32);
  EXPECT_STREQ(TOOLTIPS_CLASSW, cls);
  ASSERT_EQ(1, SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0));
  wchar_t text[64] = {};
  TOOLINFOW ti = {};
  ti.cbSize = TTTOOLINFOW_V2_SIZE;
  ti.lpszText = text;
  SendMessageW(tip, TTM_ENUMTOOLS, 0, reinterpret_cast<LPARAM>(&ti));
  EXPECT_STREQ(L"这是提示", text);
  // Off the control, no tool is left.
  w->SendMsg(WM_MOUSEMOVE, 0, w->ClientParam(w->FindControl(L"labred")));
  EXPECT_EQ(0, SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0));
}

TEST_F(WindowTest, TheWheelAndSelectItemScrollTheList) {
  TestWindow* w = New();
  ASSERT_NE(nullptr, w->Open());
  auto* list = w->Find<CListUI>(L"listmany");
  for (int i = 0; i < 20; ++i) {
    SkinBuilder builder;
    CControlUI* row = builder.Create(L"row.xml");
    ASSERT_NE(nullptr, row);
    row->SetFixedHeight(30);
    ASSERT_TRUE(list->AddAt(row, i));
  }
  Pump();
  w->PaintManager().UpdateLayout();
  ASSERT_GT(list->GetScrollRange(), 0);
  POINT pt = w->ScreenPoint(list);
  w->SendMsg(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), MAKELPARAM(pt.x, pt.y));
  int down = list->GetScrollPos();
  EXPECT_GT(down, 0);
  w->SendMsg(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(pt.x, pt.y));
  EXPECT_EQ(0, list->GetScrollPos());

  ASSERT_TRUE(list->SelectItem(19, false));
  const UiRect& row = list->GetItemAt(19)->GetPos();
  EXPECT_LE(row.bottom, list->GetPos().bottom);
  EXPECT_GE(row.top, list->GetPos().top);
  Snapshot shot(*w);  // the bar is drawn from its sheet without trouble
}

TEST_F(WindowTest, GifPlaysWithItsFrameDelaysPausesAndResumes) {
  TestWindow* w = New();
  ASSERT_NE(nullptr, w->Open());
  auto* gif = w->Find<CGifAnimUI>(L"gifbar");  // "499.GIF" names the member "499.gif"
  gif->PlayGif();
  ASSERT_GT(gif->GetFrameCount(), 1);
  EXPECT_EQ(100, gif->FrameDelay(0));  // stored as 0
  Pump(450);
  int playedTo = gif->GetFrame();
  EXPECT_GE(playedTo, 2);
  gif->PauseGif();
  int pausedAt = gif->GetFrame();
  Pump(300);
  EXPECT_EQ(pausedAt, gif->GetFrame());
  gif->PlayGif();
  Pump(300);
  EXPECT_NE(pausedAt, gif->GetFrame());
}

TEST_F(WindowTest, TheEditIsARealTextInput) {
  TestWindow* w = New();
  ASSERT_NE(nullptr, w->Open());
  auto* edit = w->Find<CEditUI>(L"editname");
  w->Click(edit);
  HWND box = w->EditingWindow();
  ASSERT_NE(nullptr, box);
  wchar_t cls[16] = {};
  GetClassNameW(box, cls, 16);
  EXPECT_STREQ(L"Edit", cls);
  EXPECT_EQ(box, GetFocus());
  SendMessageW(box, WM_CHAR, L'x', 0);
  SendMessageW(box, WM_CHAR, L'中', 0);
  EXPECT_EQ(L"abcx中", edit->GetText());
  EXPECT_EQ(L"textchanged:editname", w->notes.back());
  PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0);
  Pump();
  EXPECT_EQ(nullptr, w->EditingWindow());
  EXPECT_FALSE(IsWindow(box));
  EXPECT_EQ(L"abcx中", edit->GetText());
  EXPECT_TRUE(IsWindow(w->GetHWND()));  // Enter did not close the window

  // Clicking elsewhere ends editing too.
  w->Click(edit);
  ASSERT_NE(nullptr, w->EditingWindow());
  w->Click(w->FindControl(L"labred"));
  Pump();
  EXPECT_EQ(nullptr, w->EditingWindow());
}

TEST_F(WindowTest, ProgramTimersReachOnMessage) {
  TestWindow* w = New();
  ASSERT_NE(nullptr, w->Open());
  SetTimer(w->GetHWND(), 1112, 10, nullptr);
  Pump(100);
  KillTimer(w->GetHWND(), 1112);
  ASSERT_FALSE(w->timers.empty());
  EXPECT_EQ(1112u, w->timers.front());
}

TEST_F(WindowTest, SystemCloseBecomesWmCloseAndDestroysTheWindow) {
  TestWindow* w = New();
  ASSERT_NE(nullptr, w->Open());
  w->SendMsg(WM_SYSCOMMAND, SC_CLOSE, 0);
  Pump();
  EXPECT_FALSE(IsWindow(w->GetHWND()));
}

TEST_F(WindowTest, AModalChildDisablesItsOwnerAndReturnsItsResult) {
  TestWindow* owner = New();
  ASSERT_NE(nullptr, owner->Open());
  TestWindow* child = New();
  ASSERT_NE(nullptr, child->Open(owner->GetHWND()));
  bool ownerEnabledDuring = true;
  child->onPoke = [&] {
    ownerEnabledDuring = IsWindowEnabled(owner->GetHWND()) != FALSE;
    child->Close(7);
  };
  child->CenterWindow();
  child->PostMsg(kPoke);
  UINT result = child->ShowModal();
  EXPECT_EQ(7u, result);
  EXPECT_FALSE(ownerEnabledDuring);
  EXPECT_TRUE(IsWindowEnabled(owner->GetHWND()));
  EXPECT_FALSE(IsWindow(child->GetHWND()));
}

TEST_F(WindowTest, QuitDuringAModalRunEndsItAndIsPostedAgain) {
  TestWindow* owner = New();
  ASSERT_NE(nullptr, owner->Open());
  TestWindow* child = New();
  ASSERT_NE(nullptr, child->Open(owner->GetHWND()));
  child->onPoke = [] { PostQuitMessage(3); };
  child->PostMsg(kPoke);
  child->ShowModal();
  EXPECT_TRUE(IsWindow(child->GetHWND()));
  EXPECT_TRUE(IsWindowEnabled(owner->GetHWND()));
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(3u, msg.wParam);
}

TEST_F(WindowTest, CentringKeepsTheWindowInsideTheWorkArea) {
  TestWindow* owner = New();
  ASSERT_NE(nullptr, owner->Open());
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  // An owner hanging off the bottom-right corner: the child is pulled back in.
  SetWindowPos(owner->GetHWND(), nullptr, work.right - 100, work.bottom - 50, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER);
  TestWindow* child = New();
  ASSERT_NE(nullptr, child->Open(owner->GetHWND()));
  child->CenterWindow();
  RECT rc;
  GetWindowRect(child->GetHWND(), &rc);
  EXPECT_EQ(work.right, rc.right);
  EXPECT_EQ(work.bottom, rc.bottom);

  TestWindow* alone = New();
  ASSERT_NE(nullptr, alone->Open());
  alone->CenterWindow();
  GetWindowRect(alone->GetHWND(), &rc);
  EXPECT_NEAR((work.left + work.right) / 2, (rc.left + rc.right) / 2, 1);
  EXPECT_NEAR((work.top + work.bottom) / 2, (rc.top + rc.bottom) / 2, 1);
}

TEST_F(WindowTest, WorkersSetTextsThroughTheUiThread) {
  TestWindow* w = New();
  ASSERT_NE(nullptr, w->Open());
  HWND hwnd = w->GetHWND();
  CControlUI* title = w->FindControl(L"labtitle");
  std::atomic<bool> allPosted{true};
  std::thread worker([&] {
    for (int i = 0; i <= 500; ++i) {
      if (!PostControlText(hwnd, title, L"第" + std::to_wstring(i) + L"次")) allPosted = false;
    }
  });
  // The UI thread keeps pumping while the worker writes.
  for (int i = 0; i < 20; ++i) Pump(5);
  worker.join();
  Pump();
  EXPECT_TRUE(allPosted);
  EXPECT_EQ(L"第500次", title->GetText());

  // A worker can read a control's state safely too.
  auto* option = w->Find<COptionUI>(L"optcheck");
  option->Select(true);
  bool seen = false, called = false;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    called = CallOnUiThread(hwnd, [&] { seen = option->IsSelected(); });
    done = true;
  });
  for (int i = 0; i < 400 && !done; ++i) Pump(5);
  reader.join();
  EXPECT_TRUE(called);
  EXPECT_TRUE(seen);
}

TEST_F(WindowTest, TextsForRemovedControlsOrClosedWindowsAreDropped) {
  TestWindow* w = New();
  ASSERT_NE(nullptr, w->Open());
  auto* list = w->Find<CListUI>(L"listmany");
  SkinBuilder builder;
  CControlUI* row = builder.Create(L"row.xml");
  ASSERT_TRUE(list->AddAt(row, 0));
  CControlUI* label = row->FindSubControl(L"labrow");
  HWND hwnd = w->GetHWND();
  std::thread([&] { PostControlText(hwnd, label, L"迟到的文字"); }).join();
  list->RemoveAll();  // the label is gone before the UI thread gets to it
  Pump();             // must not touch freed memory (ASan-less: no crash)
  EXPECT_EQ(0, list->GetCount());

  DestroyWindow(hwnd);
  bool posted = true, called = true;
  CControlUI* title = w->FindControl(L"labtitle");
  std::thread([&] {
    posted = PostControlText(hwnd, title, L"x");
    called = CallOnUiThread(hwnd, [] {});
  }).join();
  EXPECT_FALSE(posted);
  EXPECT_FALSE(called);
}

}  // namespace
}  // namespace SkinUI
