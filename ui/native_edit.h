// The native edit box that does the typing for a CEditUI: created over the
// control when it takes the focus, it copies every change back into the
// control and goes away when the focus leaves, on Enter, Esc or Tab. Win32
// only; used by WindowImplBase.
#pragma once

#include <windows.h>

#include "ui/controls.h"

namespace SkinUI {

class WindowImplBase;

class NativeEdit {
 public:
  // Posted to the window (wParam: the edit box) to end editing outside the
  // edit box's own handler.
  static constexpr UINT kEndMessage = WM_APP + 0x1F2;

  explicit NativeEdit(WindowImplBase& window) : window_(window) {}
  ~NativeEdit();
  NativeEdit(const NativeEdit&) = delete;
  NativeEdit& operator=(const NativeEdit&) = delete;

  void Begin(CEditUI* control);
  void End();
  CEditUI* Control() const { return control_; }
  HWND GetHWND() const { return hwnd_; }
  // WM_COMMAND and WM_CTLCOLOREDIT of the window; true when they were ours.
  bool HandleParentMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

 private:
  static LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  RECT EditRect(HFONT font) const;

  WindowImplBase& window_;
  CEditUI* control_ = nullptr;
  HWND hwnd_ = nullptr;
  WNDPROC oldProc_ = nullptr;
  HBRUSH brush_ = nullptr;
  bool updating_ = false;
};

}  // namespace SkinUI
