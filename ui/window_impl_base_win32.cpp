#include "ui/window_impl_base.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

#include "host/win32_util.h"
#include "ui/accessible_win32.h"
#include "ui/gdiplus_painter.h"
#include "ui/native_edit.h"
#include "ui/skin_resources.h"
#include "ui/ui_thread.h"

namespace SkinUI {
namespace {

// Control timers run as window timers from here on, clear of the ids a
// program picks for its own timers.
constexpr UINT_PTR kTimerBase = 0x5C000000;

// Posted by the first paint: the common controls and the shadow follow once
// the window has painted and answered what waited for it meanwhile.
constexpr UINT kAfterFirstPaintMessage = WM_APP + 0x1F8;

// Where the process-wide skin source currently points, so that windows of
// the same source reuse it and a new source drops the decoded pictures.
const void* g_sourceData = nullptr;
// Whether the user's last input was the keyboard: a window opened then
// (the data backup window from its tile) shows focus cues from the start.
bool g_keyboardLast = false;
std::wstring g_sourceFolder;

std::wstring ProgramFolder() {
  std::wstring path = kavi::ModuleFileName(GetInstance());
  std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

void UseArchive(const void* data, std::size_t size) {
  if (g_sourceData == data && SkinResources::Process().kind() == SkinResources::Kind::kArchive)
    return;
  SkinImageCache::Process().Clear();  // before the source changes under a prefetch
  SkinResources::Process().UseArchive(data, size);
  g_sourceData = data;
  g_sourceFolder.clear();
}

// comctl32 (the tooltips; the manifest's themed edit boxes and message box
// buttons) loads after a window's first paint: at start-up its class
// registrations and theme set-up would come before it.
void InitCommonControlsOnce() {
  static bool done = [] {
    using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    HMODULE comctl = LoadLibraryW(L"comctl32.dll");
    auto init = comctl ? reinterpret_cast<InitFunction>(reinterpret_cast<void*>(
                             GetProcAddress(comctl, "InitCommonControlsEx")))
                       : nullptr;
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    return init && init(&icc) != FALSE;
  }();
  (void)done;
}

// Paints nothing: notes the pictures a paint would draw.
class PictureRecorder : public IPainter {
 public:
  std::vector<std::wstring> files;
  void FillRect(const UiRect&, UiColor) override {}
  void DrawBorder(const UiRect&, int, UiColor) override {}
  bool DrawImage(const ImageDraw& image) override {
    files.push_back(image.spec.file);
    return true;
  }
  void DrawText(const UiRect&, const std::vector<TextRun>&, const TextStyle&) override {}
  void PushClip(const UiRect&) override {}
  void PopClip() override {}
};

}  // namespace

// ---- CNotifyPump -------------------------------------------------------------

void CNotifyPump::AddNotifyHandler(const std::wstring& type, const std::wstring& name,
                                   Handler handler) {
  handlers_.push_back({type, name, std::move(handler)});
}

bool CNotifyPump::DispatchNotify(TNotifyUI& msg) {
  bool any = false;
  std::vector<Entry> handlers = handlers_;  // a handler may add handlers
  for (const Entry& e : handlers) {
    if (e.type != msg.sType) continue;
    if (!e.name.empty() && (!msg.pSender || msg.pSender->GetName() != e.name)) continue;
    e.handler(msg);
    any = true;
  }
  return any;
}

// ---- the window side of the manager ------------------------------------------

class WindowImplBase::Host : public IWindowHostUI {
 public:
  explicit Host(WindowImplBase& window) : window_(window) {}

  void Invalidate(const UiRect& logical) override {
    if (!window_.hwnd_) return;
    UiRect rect = window_.scale_.ToPixels(logical);
    RECT rc = {rect.left, rect.top, rect.right, rect.bottom};
    InvalidateRect(window_.hwnd_, &rc, FALSE);
  }
  void StartTimer(unsigned key, int elapseMs) override {
    if (window_.hwnd_) SetTimer(window_.hwnd_, kTimerBase + key, elapseMs, nullptr);
  }
  void StopTimer(unsigned key) override {
    if (window_.hwnd_) KillTimer(window_.hwnd_, kTimerBase + key);
  }
  void ResizeClient(int cx, int cy) override {
    // The window has no frame: its size is the client size.
    if (window_.hwnd_ && cx > 0 && cy > 0)
      SetWindowPos(window_.hwnd_, nullptr, 0, 0, window_.scale_.ToPixels(cx),
                   window_.scale_.ToPixels(cy), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  std::vector<int> ImageFrameDelays(const std::wstring& file) override {
    return SkinImageCache::Process().FrameDelays(file);
  }
  int ChooseItem(const UiRect& anchor, const std::vector<std::wstring>& items,
                 int current) override {
    HWND hwnd = window_.hwnd_;
    HMENU menu = hwnd ? CreatePopupMenu() : nullptr;
    if (!menu) return -1;
    for (std::size_t i = 0; i < items.size(); ++i) {
      UINT flags = MF_STRING | (static_cast<int>(i) == current ? MF_CHECKED : 0);
      AppendMenuW(menu, flags, i + 1, items[i].c_str());
    }
    RECT screen = window_.LogicalRectToScreen(anchor);
    POINT at = {screen.left, screen.bottom};
    int chosen = static_cast<int>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_NONOTIFY, at.x,
                       at.y, 0, hwnd, nullptr));
    DestroyMenu(menu);
    return chosen - 1;  // 0: nothing chosen
  }
  void AccessibleChanged(AccessibleChange change, CControlUI* control) override {
    if (window_.accessible_) window_.accessible_->Announce(change, control);
  }

 private:
  WindowImplBase& window_;
};

// ---- WindowImplBase ------------------------------------------------------------

WindowImplBase::WindowImplBase()
    : host_(new Host(*this)),
      fonts_(new FontCache(m_pm)),
      edit_(new NativeEdit(*this)),
      accessible_(new AccessibleWindow(*this)) {}

WindowImplBase::~WindowImplBase() {
  accessible_.reset();
  edit_.reset();
  // The manager outlives the members below it; it must not call back.
  m_pm.SetHost(nullptr);
  if (buffer_) DeleteObject(buffer_);
  if (bufferDc_) DeleteDC(bufferDc_);
}

void WindowImplBase::OnFinalMessage(HWND hwnd) {
  (void)hwnd;
}

void WindowImplBase::OnNotify(TNotifyUI& msg) {
  if (msg.sType == L"click" && msg.pSender) {
    const std::wstring& name = msg.pSender->GetName();
    if (name == L"closebtn") {
      Close(IDOK);
    } else if (name == L"minbtn") {
      SendMsg(WM_SYSCOMMAND, SC_MINIMIZE);
    } else if (name == L"maxbtn") {
      SendMsg(WM_SYSCOMMAND, SC_MAXIMIZE);
    } else if (name == L"restorebtn") {
      SendMsg(WM_SYSCOMMAND, SC_RESTORE);
    }
  }
  DispatchNotify(msg);
}

LRESULT WindowImplBase::ResponseDefaultKeyEvent(WPARAM key) {
  (void)key;
  return FALSE;
}

LRESULT WindowImplBase::OnClose(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnNcActivate(UINT, WPARAM wParam, LPARAM, BOOL& handled) {
  if (IsIconic(hwnd_)) handled = FALSE;
  return wParam == 0 ? TRUE : FALSE;
}

LRESULT WindowImplBase::OnNcCalcSize(UINT, WPARAM, LPARAM, BOOL&) {
  return 0;  // no frame: the client area is the whole window
}

LRESULT WindowImplBase::OnNcPaint(UINT, WPARAM, LPARAM, BOOL&) {
  return 0;
}

LRESULT WindowImplBase::OnNcHitTest(UINT, WPARAM, LPARAM lParam, BOOL&) {
  if (!built_) return HTCLIENT;
  m_pm.UpdateLayout();
  POINT pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  return m_pm.IsCaptionAt(ScreenToLogical(pt)) ? HTCAPTION : HTCLIENT;
}

LRESULT WindowImplBase::OnGetMinMaxInfo(UINT, WPARAM, LPARAM lParam, BOOL& handled) {
  auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &monitor);
  RECT work = monitor.rcWork;
  OffsetRect(&work, -monitor.rcMonitor.left, -monitor.rcMonitor.top);
  info->ptMaxPosition = {work.left, work.top};
  info->ptMaxSize = {work.right - work.left, work.bottom - work.top};
  info->ptMaxTrackSize = info->ptMaxSize;
  const UiSize& min = m_pm.GetWindowAttributes().minInfo;
  if (min.cx > 0) info->ptMinTrackSize.x = scale_.ToPixels(min.cx);
  if (min.cy > 0) info->ptMinTrackSize.y = scale_.ToPixels(min.cy);
  handled = TRUE;
  return 0;
}

LRESULT WindowImplBase::OnMouseWheel(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnMouseHover(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnSize(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnChar(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnSysCommand(UINT, WPARAM wParam, LPARAM, BOOL& handled) {
  if ((wParam & 0xFFF0) == SC_CLOSE) {
    PostMsg(WM_CLOSE);
    return 0;
  }
  handled = FALSE;
  return 0;
}

bool WindowImplBase::LoadSkinSource() {
  switch (ResourceKind()) {
    case SkinResourceKind::kFile: {
      std::wstring folder = ProgramFolder();
      if (SkinResources::Process().kind() != SkinResources::Kind::kFolder ||
          g_sourceFolder != folder) {
        SkinImageCache::Process().Clear();
        SkinResources::Process().UseFolder(folder);
        g_sourceFolder = folder;
        g_sourceData = nullptr;
      }
      return true;
    }
    case SkinResourceKind::kZip: {
      // Zip files read once and kept for the process, like the resource.
      static std::map<std::wstring, std::string> files;
      std::wstring path = ProgramFolder() + ZipFileName();
      auto it = files.find(path);
      if (it == files.end()) {
        std::ifstream in(path.c_str(), std::ios::binary);
        if (!in) return false;
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.empty()) return false;
        it = files.emplace(path, std::move(bytes)).first;
      }
      UseArchive(it->second.data(), it->second.size());
      return true;
    }
    case SkinResourceKind::kZipResource: {
      HINSTANCE module = GetResourceInstance();
      HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(ResourceId()), L"ZIPRES");
      if (!resource) return false;
      HGLOBAL loaded = LoadResource(module, resource);
      DWORD size = SizeofResource(module, resource);
      if (!loaded || size == 0) return false;
      const void* data = LockResource(loaded);
      if (!data) return false;
      UseArchive(data, size);  // resource memory lasts as long as the module
      return true;
    }
  }
  return false;
}

LRESULT WindowImplBase::OnCreate(UINT, WPARAM, LPARAM, BOOL&) {
  SetWindowLongW(hwnd_, GWL_STYLE, Style() | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
  SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  StartGdiplus();
  scale_ = DpiScale{SystemDpi()};
  fonts_->SetScale(scale_);
  m_pm.SetHost(host_.get());
  RECT client;
  GetClientRect(hwnd_, &client);
  SetClientPixels(client.right, client.bottom);
  AddMessageFilter(this);
  if (!LoadSkinSource()) return 0;  // no skin: an empty window

  SkinBuilder builder(&SkinResources::Process());
  CControlUI* root = builder.Create(SkinFolder() + SkinFile(), nullptr, this, &m_pm);
  if (!root) {
    MessageBoxW(nullptr, L"加载资源文件失败", L"SkinUI", MB_ICONERROR);
    ExitProcess(1);
  }
  m_pm.AttachDialog(root);
  GetClientRect(hwnd_, &client);
  SetClientPixels(client.right, client.bottom);
  m_pm.AddNotifier(this);
  built_ = true;
  // The pictures the first paint will draw are decoded on a worker while
  // the window is initialised and shown.
  PictureRecorder first;
  m_pm.Paint(first, scale_.CoverInLogical({0, 0, client.right, client.bottom}));
  SkinImageCache::Process().Prefetch(first.files);
  const WindowAttributes& w = m_pm.GetWindowAttributes();
  // Drawn around the window once the window itself is on screen.
  shadowPending_ = w.showShadow && w.shadowSize > 0;
  OnInitWindow();
  if (g_keyboardLast) m_pm.ShowFocusMark(true);
  return 0;
}

LRESULT WindowImplBase::OnKeyDown(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnKillFocus(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnSetFocus(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnLButtonDown(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnLButtonUp(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::OnMouseMove(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, BOOL& handled) {
  handled = FALSE;
  return 0;
}

LONG WindowImplBase::Style() {
  return GetWindowLongW(hwnd_, GWL_STYLE) & ~WS_CAPTION;
}

LRESULT WindowImplBase::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  BOOL handled = TRUE;
  switch (message) {
    case WM_CLOSE:
      result = OnClose(message, wParam, lParam, handled);
      break;
    case WM_DESTROY:
      result = OnDestroy(message, wParam, lParam, handled);
      break;
    case WM_NCACTIVATE:
      result = OnNcActivate(message, wParam, lParam, handled);
      break;
    case WM_NCCALCSIZE:
      result = OnNcCalcSize(message, wParam, lParam, handled);
      break;
    case WM_NCPAINT:
      result = OnNcPaint(message, wParam, lParam, handled);
      break;
    case WM_NCHITTEST:
      result = OnNcHitTest(message, wParam, lParam, handled);
      break;
    case WM_GETMINMAXINFO:
      result = OnGetMinMaxInfo(message, wParam, lParam, handled);
      break;
    case WM_MOUSEWHEEL:
      result = OnMouseWheel(message, wParam, lParam, handled);
      break;
    case WM_MOUSEHOVER:
      result = OnMouseHover(message, wParam, lParam, handled);
      break;
    case WM_SIZE:
      result = OnSize(message, wParam, lParam, handled);
      break;
    case WM_CHAR:
      result = OnChar(message, wParam, lParam, handled);
      break;
    case WM_SYSCOMMAND:
      result = OnSysCommand(message, wParam, lParam, handled);
      break;
    case WM_CREATE:
      result = OnCreate(message, wParam, lParam, handled);
      break;
    case WM_KEYDOWN:
      result = OnKeyDown(message, wParam, lParam, handled);
      break;
    case WM_KILLFOCUS:
      result = OnKillFocus(message, wParam, lParam, handled);
      break;
    case WM_SETFOCUS:
      result = OnSetFocus(message, wParam, lParam, handled);
      break;
    case WM_LBUTTONDOWN:
      result = OnLButtonDown(message, wParam, lParam, handled);
      break;
    case WM_LBUTTONUP:
      result = OnLButtonUp(message, wParam, lParam, handled);
      break;
    case WM_MOUSEMOVE:
      result = OnMouseMove(message, wParam, lParam, handled);
      break;
    default:
      handled = FALSE;
      break;
  }
  if (!handled) {
    handled = TRUE;
    result = HandleCustomMessage(message, wParam, lParam, handled);
  }
  if (handled) return result;
  if (HandleControlMessage(message, wParam, lParam, result)) return result;
  return CWindowWnd::OnMessage(message, wParam, lParam);
}

bool WindowImplBase::HandleControlMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                          LRESULT& result) {
  result = 0;
  switch (message) {
    case WM_PAINT:
      Paint();
      return true;
    case WM_PRINTCLIENT:
      PaintTo(reinterpret_cast<HDC>(wParam));
      return true;
    case WM_ERASEBKGND:
      result = 1;
      return true;
    case WM_SIZE:
      if (wParam != SIZE_MINIMIZED) SetClientPixels(LOWORD(lParam), HIWORD(lParam));
      return false;
    case WM_WINDOWPOSCHANGED:
      shadow_.Update();

      return false;
    case WM_MOUSEMOVE:
      if (!built_) return false;
      TrackMouse();
      m_pm.OnMouseMove(ClientToLogical(lParam));
      UpdateToolTip();
      return true;
    case WM_MOUSELEAVE:
      trackingMouse_ = false;
      if (!built_) return false;
      if (GetCapture() != hwnd_) m_pm.OnMouseLeave();
      UpdateToolTip();
      return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (!built_) return false;
      g_keyboardLast = false;
      // Takes the keyboard from a native edit box, which then ends.
      if (GetFocus() != hwnd_) SetFocus(hwnd_);
      SetCapture(hwnd_);
      m_pm.OnLButtonDown(ClientToLogical(lParam));
      UpdateEditing();
      return true;
    case WM_LBUTTONUP:
      if (!built_) return false;
      if (GetCapture() == hwnd_) ReleaseCapture();
      m_pm.OnLButtonUp(ClientToLogical(lParam));
      UpdateToolTip();
      return true;
    case WM_MOUSEWHEEL: {
      if (!built_) return false;
      UiPoint pt = ScreenToLogical({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      m_pm.OnMouseWheel(pt, GET_WHEEL_DELTA_WPARAM(wParam));
      m_pm.OnMouseMove(pt);  // what lies under the mouse moved
      return true;
    }
    case WM_KEYDOWN:
      return built_ && RouteKey(wParam, lParam);
    case WM_UPDATEUISTATE:
      // Windows shows focus cues once the keyboard is used (Tab, Alt).
      if (HIWORD(wParam) & UISF_HIDEFOCUS) {
        if (LOWORD(wParam) == UIS_CLEAR) m_pm.ShowFocusMark(true);
        if (LOWORD(wParam) == UIS_SET) m_pm.ShowFocusMark(false);
      }
      return false;
    case WM_SETFOCUS:
      if (built_) m_pm.AccessibleChanged(AccessibleChange::kFocus, m_pm.GetFocus());
      return false;
    case WM_GETOBJECT:
      return built_ && accessible_->Answer(wParam, lParam, result);
    case AccessibleWindow::kDefaultActionMessage:
      accessible_->RunDefaultAction(static_cast<long>(wParam));
      UpdateEditing();
      return true;
    case WM_TIMER:
      if (wParam < kTimerBase) return false;
      m_pm.OnTimer(static_cast<unsigned>(wParam - kTimerBase));
      return true;
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      return edit_->HandleParentMessage(message, wParam, lParam, result);
    case NativeEdit::kEndMessage:
      if (edit_->GetHWND() && reinterpret_cast<HWND>(wParam) == edit_->GetHWND()) edit_->End();
      return true;
    case detail::kFlushTextsMessage:
      for (auto& change : detail::TakeControlTexts(hwnd_)) {
        if (HoldsControl(change.first)) change.first->SetText(change.second);
      }
      return true;
    case detail::kCallMessage:
      (*reinterpret_cast<const std::function<void()>*>(lParam))();
      result = 1;
      return true;
    case kAfterFirstPaintMessage: {
      InitCommonControlsOnce();
      if (!shadowPending_) return true;
      shadowPending_ = false;
      const WindowAttributes& w = m_pm.GetWindowAttributes();
      UiPoint offset = {scale_.ToPixels(w.shadowPosition.x), scale_.ToPixels(w.shadowPosition.y)};
      shadow_.Create(hwnd_, scale_.ToPixelLength(w.shadowSize), offset, w.shadowColor,
                     w.shadowDarkness);
      return true;
    }
    case WM_NCDESTROY:
      edit_->End();
      shadow_.Destroy();
      detail::TakeControlTexts(hwnd_);
      fonts_->Clear();
      return false;
    default:
      return false;
  }
}

UiPoint WindowImplBase::ClientToLogical(LPARAM lParam) const {
  return scale_.ToLogical(UiPoint{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
}

UiPoint WindowImplBase::ScreenToLogical(POINT screen) const {
  ScreenToClient(hwnd_, &screen);
  return scale_.ToLogical(UiPoint{screen.x, screen.y});
}

RECT WindowImplBase::LogicalRectToScreen(const UiRect& rect) const {
  UiRect pixels = scale_.ToPixels(rect);
  return ClientRectToScreen({pixels.left, pixels.top, pixels.right, pixels.bottom});
}

void WindowImplBase::SetClientPixels(int cx, int cy) {
  m_pm.SetClientSize(scale_.ToLogical(cx), scale_.ToLogical(cy));
}

void WindowImplBase::PaintTo(HDC dc) {
  RECT client;
  GetClientRect(hwnd_, &client);
  UiRect all = scale_.CoverInLogical({0, 0, client.right, client.bottom});
  GdiplusPainter painter(dc, *fonts_, scale_);
  painter.FillRect(all, 0xFFFFFFFF);
  if (built_) m_pm.Paint(painter, all);
}

// Paints into a bitmap of the client's size and copies the dirty part to
// the screen in one go, so nothing flickers.
void WindowImplBase::Paint() {
  // What the layout invalidates joins the region this paint validates, so
  // it needs no second paint.
  if (built_) m_pm.UpdateLayout();
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  RECT client;
  GetClientRect(hwnd_, &client);
  if (!bufferDc_ || bufferSize_.cx != client.right || bufferSize_.cy != client.bottom) {
    if (buffer_) DeleteObject(buffer_);
    if (!bufferDc_) bufferDc_ = CreateCompatibleDC(dc);
    buffer_ = CreateCompatibleBitmap(dc, std::max<LONG>(1, client.right),
                                     std::max<LONG>(1, client.bottom));
    SelectObject(bufferDc_, buffer_);
    bufferSize_ = {client.right, client.bottom};
  }
  UiRect pixels = {ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom};
  if (!pixels.IsEmpty()) {
    // The tree paints the logical units that cover the dirty pixels.
    UiRect dirty = scale_.CoverInLogical(pixels);
    GdiplusPainter painter(bufferDc_, *fonts_, scale_);
    painter.PushClip(dirty);
    painter.FillRect(dirty, 0xFFFFFFFF);
    if (built_) m_pm.Paint(painter, dirty);
    painter.PopClip();
    BitBlt(dc, pixels.left, pixels.top, pixels.Width(), pixels.Height(), bufferDc_, pixels.left,
           pixels.top, SRCCOPY);
  }
  EndPaint(hwnd_, &ps);
  if (!painted_) {
    painted_ = true;
    PostMessageW(hwnd_, kAfterFirstPaintMessage, 0, 0);
  }
  // A page switch may have hidden the control being typed into.
  if (CEditUI* editing = edit_->Control()) {
    if (!HoldsControl(editing) || !editing->IsVisibleInTree()) edit_->End();
  }
}

void WindowImplBase::TrackMouse() {
  if (trackingMouse_) return;
  TRACKMOUSEEVENT tme = {};
  tme.cbSize = sizeof(tme);
  tme.dwFlags = TME_LEAVE | TME_HOVER;
  tme.hwndTrack = hwnd_;
  tme.dwHoverTime = HOVER_DEFAULT;
  trackingMouse_ = TrackMouseEvent(&tme) != FALSE;
}

void WindowImplBase::UpdateToolTip() {
  CControlUI* owner = nullptr;
  // A control a click has just hidden (the start button leaving its page)
  // keeps no tooltip.
  CControlUI* hover = m_pm.GetHover();
  for (CControlUI* c = hover && hover->IsVisibleInTree() ? hover : nullptr; c; c = c->GetParent()) {
    if (!c->GetToolTip().empty()) {
      owner = c;
      break;
    }
  }
  std::wstring text = owner ? owner->GetToolTip() : std::wstring();
  if (owner == toolTipOwner_ && text == toolTipText_) return;
  if (!toolTip_ && owner) {
    InitCommonControlsOnce();
    toolTip_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, GetInstance(), nullptr);
    if (toolTip_) SendMessageW(toolTip_, TTM_SETMAXTIPWIDTH, 0, 400);
  }
  if (!toolTip_) return;
  TOOLINFOW ti = {};
  ti.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by every comctl32 version
  ti.hwnd = hwnd_;
  ti.uId = 1;
  if (toolTipOwner_) SendMessageW(toolTip_, TTM_DELTOOL, 0, reinterpret_cast<LPARAM>(&ti));
  toolTipOwner_ = owner;
  toolTipText_ = text;
  if (!owner) return;
  const UiRect pos = scale_.ToPixels(owner->GetPos());
  ti.uFlags = TTF_SUBCLASS;
  ti.rect = {pos.left, pos.top, pos.right, pos.bottom};
  ti.lpszText = &toolTipText_[0];
  SendMessageW(toolTip_, TTM_ADDTOOL, 0, reinterpret_cast<LPARAM>(&ti));
  // The move that found the control came before the tool: hand it over, so
  // the tip shows even when the mouse rests from now on.
  POINT pt;
  GetCursorPos(&pt);
  ScreenToClient(hwnd_, &pt);
  MSG relay = {};
  relay.hwnd = hwnd_;
  relay.message = WM_MOUSEMOVE;
  relay.lParam = MAKELPARAM(pt.x, pt.y);
  relay.pt = pt;
  SendMessageW(toolTip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relay));
}

void WindowImplBase::UpdateEditing() {
  CControlUI* focus = m_pm.GetFocus();
  auto* edit = focus ? static_cast<CEditUI*>(focus->GetInterface(L"Edit")) : nullptr;
  if (edit_->Control() && edit_->Control() != edit) edit_->End();
  if (edit && edit->IsEnabled() && edit->IsVisibleInTree() && !edit_->Control()) edit_->Begin(edit);
}

HWND WindowImplBase::EditingWindow() const {
  return edit_->GetHWND();
}

RECT WindowImplBase::ClientRectToScreen(RECT rc) const {
  POINT corners[2] = {{rc.left, rc.top}, {rc.right, rc.bottom}};
  ClientToScreen(hwnd_, &corners[0]);
  ClientToScreen(hwnd_, &corners[1]);
  return {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
}

bool WindowImplBase::RouteKey(WPARAM key, LPARAM flags) {
  static const struct {
    WPARAM vk;
    UiKey key;
  } kKeys[] = {{VK_TAB, UiKey::kTab},   {VK_RETURN, UiKey::kReturn}, {VK_SPACE, UiKey::kSpace},
               {VK_LEFT, UiKey::kLeft}, {VK_UP, UiKey::kUp},         {VK_RIGHT, UiKey::kRight},
               {VK_DOWN, UiKey::kDown}, {VK_HOME, UiKey::kHome},     {VK_END, UiKey::kEnd}};
  const auto* found = std::find_if(std::begin(kKeys), std::end(kKeys),
                                   [key](const auto& k) { return k.vk == key; });
  if (found == std::end(kKeys)) return false;
  const UiKey uiKey = found->key;
  g_keyboardLast = true;
  const bool repeated = (flags & 0x40000000) != 0;
  if ((uiKey == UiKey::kReturn || uiKey == UiKey::kSpace) && repeated) return true;
  if (uiKey != UiKey::kReturn && uiKey != UiKey::kSpace) {
    // Moving with the keyboard turns the focus cues on, here and for
    // Windows (what DefWindowProc does for Alt).
    m_pm.ShowFocusMark(true);
    SendMessageW(hwnd_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
  }
  m_pm.OnKeyDown(uiKey, GetKeyState(VK_SHIFT) < 0);
  UpdateEditing();
  return true;
}

bool WindowImplBase::PreTranslate(MSG& msg) {
  // Tab leaves the edit box being typed into for the next control.
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && edit_->GetHWND() &&
      msg.hwnd == edit_->GetHWND()) {
    SetFocus(hwnd_);
    RouteKey(msg.wParam, msg.lParam);
    return true;
  }
  std::vector<IMessageFilterUI*> filters = filters_;
  for (IMessageFilterUI* filter : filters) {
    bool handled = false;
    filter->MessageHandler(msg.message, msg.wParam, msg.lParam, handled);
    if (handled) return true;
  }
  return false;
}

LRESULT WindowImplBase::MessageHandler(UINT message, WPARAM wParam, LPARAM, bool& handled) {
  if (message == WM_KEYDOWN && (wParam == VK_RETURN || wParam == VK_ESCAPE)) {
    ResponseDefaultKeyEvent(wParam);  // asked; the key goes on as usual
  }
  handled = false;
  return 0;
}

CControlUI* WindowImplBase::CreateControl(const wchar_t* className) {
  (void)className;
  return nullptr;
}

void WindowImplBase::AddMessageFilter(IMessageFilterUI* filter) {
  if (filter && std::find(filters_.begin(), filters_.end(), filter) == filters_.end())
    filters_.push_back(filter);
}

void WindowImplBase::RemoveMessageFilter(IMessageFilterUI* filter) {
  filters_.erase(std::remove(filters_.begin(), filters_.end(), filter), filters_.end());
}

bool WindowImplBase::HoldsControl(const CControlUI* control) const {
  if (!control || !m_pm.GetRoot()) return false;
  return m_pm.GetRoot()->FindControl([control](CControlUI* c) { return c == control; }) != nullptr;
}

}  // namespace SkinUI
