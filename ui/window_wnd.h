// CWindowWnd: the Win32 window wrapper under every toolkit window. It
// registers the window class, creates the window, routes its messages to the
// virtual OnMessage, centres it, runs it modally and closes it with a code.
// Win32 only.
#pragma once

#include <windows.h>

namespace SkinUI {

bool PreTranslateToolkitMessage(MSG& msg);

// The program hands its instance to the toolkit once at start: window
// classes are registered with it, the shadow window class is registered
// then, the process is declared DPI-aware (the toolkit draws its windows at
// the system's DPI itself; Windows would otherwise stretch them blurred),
// and the skin resource is looked up in it (unless a resource module is set
// apart, as tests do).
void SetInstance(HINSTANCE instance);
HINSTANCE GetInstance();
// The system's DPI (96 at 100 %, 144 at 150 %), read once.
int SystemDpi();
void SetResourceInstance(HINSTANCE instance);
HINSTANCE GetResourceInstance();

class CWindowWnd {
 public:
  CWindowWnd() = default;
  CWindowWnd(const CWindowWnd&) = delete;
  CWindowWnd& operator=(const CWindowWnd&) = delete;

  HWND GetHWND() const { return hwnd_; }
  operator HWND() const { return hwnd_; }

  // The overridable operations, in this order.
  virtual const wchar_t* ClassName() const = 0;
  // Non-null to register the class as a superclass of an existing one.
  virtual const wchar_t* SuperClassName() const { return nullptr; }
  virtual UINT ClassStyle() const { return CS_DBLCLKS; }
  virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // Called after WM_NCDESTROY, when the window is gone; may delete this.
  virtual void OnFinalMessage(HWND hwnd) { (void)hwnd; }
  virtual ~CWindowWnd();

  // Creates the window; null on failure.
  HWND Create(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle, int x = CW_USEDEFAULT,
              int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT,
              HMENU menu = nullptr);
  void ShowWindow(bool show = true, bool takeFocus = true);
  // Shows the window, disables its owner and pumps messages while the
  // window exists. Returns the wParam of the WM_CLOSE that closed it (0 when
  // it went another way). A WM_QUIT seen on the way ends the loop and is
  // posted again for the outer loop.
  UINT ShowModal();
  // Asks the window to close; ShowModal returns `code`.
  void Close(UINT code = IDOK);
  // Centres over the owner, or over the work area of the nearest monitor,
  // keeping the window inside the work area; no resize, no activation.
  void CenterWindow();
  // Sets the client area's size (the window has no frame of its own).
  void ResizeClient(int cx, int cy);
  LRESULT SendMsg(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  bool PostMsg(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

 protected:
  // Offers a message of the modal loop to the window before translation;
  // true when it was consumed.
  virtual bool PreTranslate(MSG& msg) {
    (void)msg;
    return false;
  }

  HWND hwnd_ = nullptr;

 private:
  friend bool PreTranslateToolkitMessage(MSG& msg);
  bool RegisterWindowClass();
  bool RegisterSuperclass();
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK SuperclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT Route(CWindowWnd* self, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  WNDPROC superProc_ = nullptr;
};

// Offers a message to the toolkit windows' pre-translation (the modal loop
// does this); true when one consumed it. For programs with their own loop.
bool PreTranslateToolkitMessage(MSG& msg);

}  // namespace SkinUI
