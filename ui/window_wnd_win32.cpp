#include "ui/window_wnd.h"

#include "ui/shadow.h"

namespace SkinUI {
namespace {

HINSTANCE g_instance = nullptr;
HINSTANCE g_resourceInstance = nullptr;

// Marks our windows, so that a message for any window (a native child
// included) finds the toolkit window above it.
const wchar_t kWindowProp[] = L"SkinUI.Window";

CWindowWnd* FromHandle(HWND hwnd) {
  return static_cast<CWindowWnd*>(GetPropW(hwnd, kWindowProp));
}

}  // namespace

void SetInstance(HINSTANCE instance) {
  g_instance = instance;
  CShadowUI::RegisterWindowClass(instance);
  // Vista and later; the manifest says the same, this covers a program
  // started without it. Windows 2000 and XP have no DPI virtualisation.
  auto setAware = reinterpret_cast<BOOL(WINAPI*)()>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32"), "SetProcessDPIAware")));
  if (setAware) setAware();
}

int SystemDpi() {
  static const int dpi = [] {
    HDC screen = GetDC(nullptr);
    int value = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return value > 0 ? value : 96;
  }();
  return dpi;
}

HINSTANCE GetInstance() {
  return g_instance ? g_instance : GetModuleHandleW(nullptr);
}

void SetResourceInstance(HINSTANCE instance) {
  g_resourceInstance = instance;
}

HINSTANCE GetResourceInstance() {
  return g_resourceInstance ? g_resourceInstance : GetInstance();
}

CWindowWnd::~CWindowWnd() {
  // The window outlives its object only when a program deletes the object
  // early; cut the window off so that no message reaches freed memory.
  if (hwnd_ && IsWindow(hwnd_)) {
    RemovePropW(hwnd_, kWindowProp);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  }
}

bool CWindowWnd::RegisterWindowClass() {
  WNDCLASSW wc = {};
  wc.style = ClassStyle();
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetInstance();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = ClassName();
  return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool CWindowWnd::RegisterSuperclass() {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  if (!GetClassInfoExW(nullptr, SuperClassName(), &wc) &&
      !GetClassInfoExW(GetInstance(), SuperClassName(), &wc)) {
    return false;
  }
  superProc_ = wc.lpfnWndProc;
  wc.lpfnWndProc = SuperclassProc;
  wc.hInstance = GetInstance();
  wc.lpszClassName = ClassName();
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CWindowWnd::Create(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle, int x, int y,
                        int cx, int cy, HMENU menu) {
  if (SuperClassName() ? !RegisterSuperclass() : !RegisterWindowClass()) return nullptr;
  // hwnd_ is set on WM_NCCREATE. A window destroyed while it is being
  // created may already have deleted this object in OnFinalMessage, so the
  // result is not stored here.
  return CreateWindowExW(exStyle, ClassName(), title, style, x, y, cx, cy, parent, menu,
                         GetInstance(), this);
}

LRESULT CWindowWnd::Route(CWindowWnd* self, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    self = static_cast<CWindowWnd*>(create->lpCreateParams);
    if (self) {
      self->hwnd_ = hwnd;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      SetPropW(hwnd, kWindowProp, self);
    }
  }
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    LRESULT result = self->OnMessage(message, wParam, lParam);
    RemovePropW(hwnd, kWindowProp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    self->OnFinalMessage(hwnd);
    return result;
  }
  return self->OnMessage(message, wParam, lParam);
}

LRESULT CALLBACK CWindowWnd::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return Route(self, hwnd, message, wParam, lParam);
}

LRESULT CALLBACK CWindowWnd::SuperclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return Route(self, hwnd, message, wParam, lParam);
}

LRESULT CWindowWnd::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (superProc_) return CallWindowProcW(superProc_, hwnd_, message, wParam, lParam);
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void CWindowWnd::ShowWindow(bool show, bool takeFocus) {
  if (!IsWindow(hwnd_)) return;
  ::ShowWindow(hwnd_, show ? (takeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

UINT CWindowWnd::ShowModal() {
  if (!IsWindow(hwnd_)) return 0;
  HWND window = hwnd_;
  UINT result = 0;
  HWND owner = GetWindow(window, GW_OWNER);
  ::ShowWindow(window, SW_SHOWNORMAL);
  if (owner) EnableWindow(owner, FALSE);
  MSG msg = {};
  bool quit = false;
  while (IsWindow(window)) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      quit = got == 0;
      break;
    }
    if (msg.message == WM_CLOSE && msg.hwnd == window) {
      result = static_cast<UINT>(msg.wParam);
      // Enabled before the window goes, so the owner gets the activation.
      if (owner) {
        EnableWindow(owner, TRUE);
        SetFocus(owner);
      }
    }
    if (!PreTranslateToolkitMessage(msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  if (owner) {
    EnableWindow(owner, TRUE);
    SetFocus(owner);
  }
  if (quit) PostQuitMessage(static_cast<int>(msg.wParam));
  return result;
}

void CWindowWnd::Close(UINT code) {
  if (IsWindow(hwnd_)) PostMessageW(hwnd_, WM_CLOSE, code, 0);
}

void CWindowWnd::CenterWindow() {
  if (!IsWindow(hwnd_)) return;
  RECT window;
  GetWindowRect(hwnd_, &window);
  HWND owner = GetWindow(hwnd_, GW_OWNER);
  MONITORINFO info = {};
  info.cbSize = sizeof(info);
  GetMonitorInfoW(MonitorFromWindow(owner ? owner : hwnd_, MONITOR_DEFAULTTONEAREST), &info);
  RECT work = info.rcWork;
  RECT center = work;
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &center);
  int cx = window.right - window.left;
  int cy = window.bottom - window.top;
  int x = (center.left + center.right - cx) / 2;
  int y = (center.top + center.bottom - cy) / 2;
  if (x + cx > work.right) x = work.right - cx;
  if (y + cy > work.bottom) y = work.bottom - cy;
  if (x < work.left) x = work.left;
  if (y < work.top) y = work.top;
  SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWindowWnd::ResizeClient(int cx, int cy) {
  if (!IsWindow(hwnd_)) return;
  RECT rc = {0, 0, cx, cy};
  AdjustWindowRectEx(&rc, GetWindowLongW(hwnd_, GWL_STYLE), FALSE,
                     GetWindowLongW(hwnd_, GWL_EXSTYLE));
  SetWindowPos(hwnd_, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CWindowWnd::SendMsg(UINT message, WPARAM wParam, LPARAM lParam) {
  return SendMessageW(hwnd_, message, wParam, lParam);
}

bool CWindowWnd::PostMsg(UINT message, WPARAM wParam, LPARAM lParam) {
  return PostMessageW(hwnd_, message, wParam, lParam) != FALSE;
}

bool PreTranslateToolkitMessage(MSG& msg) {
  for (HWND h = msg.hwnd; h; h = GetAncestor(h, GA_PARENT)) {
    if (CWindowWnd* window = FromHandle(h)) {
      return window->PreTranslate(msg);
    }
  }
  return false;
}

}  // namespace SkinUI
