// The taskbar button's progress (Windows 7 and later): the download and the
// verification show how far they are. Nothing happens where the taskbar
// offers no progress. UI thread only.
#pragma once

#include <windows.h>

struct ITaskbarList3;

namespace kavi {

class TaskbarProgress {
 public:
  ~TaskbarProgress();
  // permille 0..1000, or a negative value to remove the progress.
  void Show(HWND window, int permille, bool paused);

 private:
  ITaskbarList3* list_ = nullptr;
  bool tried_ = false;
};

// Posted by workers; handled by the main window: wParam the permille (or
// -1 to clear), lParam 1 when paused.
constexpr UINT WM_TASKBAR_PROGRESS = WM_USER + 130;

}  // namespace kavi
