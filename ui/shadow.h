// CShadowUI: the soft drop shadow around a skinned window, drawn in a
// layered window of its own that sits just below the window and follows it.
// Win32 only.
#pragma once

#include <windows.h>

#include "ui/ui_types.h"

namespace SkinUI {

class CShadowUI {
 public:
  // Registers the shadow window class; SetInstance calls it once.
  static bool RegisterWindowClass(HINSTANCE instance);

  CShadowUI() = default;
  ~CShadowUI();
  CShadowUI(const CShadowUI&) = delete;
  CShadowUI& operator=(const CShadowUI&) = delete;

  // `size` pixels wide around `parent`, moved by `offset`, in `color` (its
  // alpha byte is ignored); `darkness` 0 to 255 scales the opacity.
  bool Create(HWND parent, int size, UiPoint offset, UiColor color, int darkness = 255);
  // Follows the parent's position, size and visibility.
  void Update();
  void Destroy();
  HWND GetHWND() const { return hwnd_; }

 private:
  void Render(int cx, int cy);

  HWND parent_ = nullptr;
  HWND hwnd_ = nullptr;
  int size_ = 0;
  UiPoint offset_;
  UiColor color_ = 0;
  int darkness_ = 255;
  SIZE rendered_ = {0, 0};
};

}  // namespace SkinUI
