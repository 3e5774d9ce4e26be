// The Windows side of the screen-reader tree: IAccessible objects over the
// elements of ui/accessible.h, the answer to WM_GETOBJECT and the WinEvents
// that announce changes. oleacc, NotifyWinEvent and the BSTR functions are
// looked up at run time, so the program still starts where one is missing.
// Win32 only.
#pragma once

#include <windows.h>

#include <memory>

#include "ui/paint_manager.h"

namespace SkinUI {

class WindowImplBase;

class AccessibleWindow {
 public:
  // Posted by accDoDefaultAction, so a client never waits on what a press
  // starts (a message box); wParam: the element's id.
  static constexpr UINT kDefaultActionMessage = WM_APP + 0x1F3;

  explicit AccessibleWindow(WindowImplBase& window);
  // Objects clients still hold answer "disconnected" from then on.
  ~AccessibleWindow();
  AccessibleWindow(const AccessibleWindow&) = delete;
  AccessibleWindow& operator=(const AccessibleWindow&) = delete;

  // WM_GETOBJECT: answers OBJID_CLIENT with the window's IAccessible.
  bool Answer(WPARAM wParam, LPARAM lParam, LRESULT& result);
  // NotifyWinEvent for the change, with the element's id as the child.
  void Announce(AccessibleChange change, CControlUI* control);
  void RunDefaultAction(long id);

  // What the COM objects share with the window; cut when the window goes.
  struct Link;

 private:
  std::shared_ptr<Link> link_;
};

}  // namespace SkinUI
