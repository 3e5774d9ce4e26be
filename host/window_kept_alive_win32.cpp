#include "host/window_kept_alive_win32.h"

#include <vector>

#include "host/win32_util.h"

namespace kavi {
namespace {

DWORD WINAPI RunWork(void* work) {
  (*static_cast<const std::function<void()>*>(work))();
  return 0;
}

bool IsInputOrTimer(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
         (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK) || message == WM_TIMER;
}

bool IsPaint(UINT message) {
  return message == WM_PAINT || message == WM_NCPAINT || message == WM_SYNCPAINT;
}

// Hands back what was held in the order it came: a quit last, as the loop
// would have seen it.
void PostAgain(const std::vector<MSG>& held) {
  const MSG* quit = nullptr;
  for (const MSG& m : held) {
    if (m.message == WM_QUIT) {
      quit = &m;
    } else if (m.hwnd) {
      PostMessageW(m.hwnd, m.message, m.wParam, m.lParam);
    } else {
      PostThreadMessageW(GetCurrentThreadId(), m.message, m.wParam, m.lParam);
    }
  }
  if (quit) PostQuitMessage(static_cast<int>(quit->wParam));
}

}  // namespace

void RunKeepingWindowPainted(HWND window, const std::function<void()>& work) {
  // Disabled before the worker exists: a worker that starts at once must
  // already find the window closed to input.
  const BOOL wasDisabled = EnableWindow(window, FALSE);
  UniqueHandle worker(
      CreateThread(nullptr, 0, RunWork, const_cast<std::function<void()>*>(&work), 0, nullptr));
  if (!worker.Get()) {
    if (!wasDisabled) EnableWindow(window, TRUE);
    work();
    return;
  }
  std::vector<MSG> held;
  HANDLE handle = worker.Get();
  // Messages sent to the thread's windows (by the worker too) are answered
  // inside PeekMessageW; posted ones are sorted here.
  while (MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (IsPaint(m.message)) {
        DispatchMessageW(&m);
      } else if (!IsInputOrTimer(m.message)) {
        held.push_back(m);
      }
    }
  }
  WaitForSingleObject(handle, INFINITE);  // a failed wait above still waits here
  if (!wasDisabled) EnableWindow(window, TRUE);
  PostAgain(held);
}

}  // namespace kavi
