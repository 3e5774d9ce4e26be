// Long work beside a window: the window answers while the work runs, and
// what was posted to it meanwhile waits until the work has ended.
#include "host/window_kept_alive_win32.h"

#include <gtest/gtest.h>

namespace kavi {
namespace {

constexpr UINT kAsked = WM_APP + 1;  // sent by the worker: must be answered
constexpr UINT kLater = WM_APP + 2;  // posted by the worker: must wait

int laterSeen = 0;

LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == kAsked) return laterSeen + 7;
  if (m == kLater) ++laterSeen;
  return DefWindowProcW(w, m, wp, lp);
}

TEST(RunKeepingWindowPainted, TheWindowAnswersAndPostedMessagesWaitForTheWork) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"KaviKeptAliveTest";
  RegisterClassW(&wc);
  HWND window = CreateWindowW(wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                              nullptr, wc.hInstance, nullptr);
  ASSERT_TRUE(window);

  const DWORD caller = GetCurrentThreadId();
  DWORD worker = caller;
  DWORD_PTR answer = 0;
  bool disabledMeanwhile = false;
  RunKeepingWindowPainted(window, [&] {
    worker = GetCurrentThreadId();
    disabledMeanwhile = !IsWindowEnabled(window);
    PostMessageW(window, kLater, 0, 0);
    PostThreadMessageW(caller, WM_QUIT, 3, 0);
    // Answered only while the window's thread pumps; a blocked thread
    // times out here.
    SendMessageTimeoutW(window, kAsked, 0, 0, SMTO_NORMAL, 20000, &answer);
  });
  EXPECT_NE(caller, worker);
  EXPECT_TRUE(disabledMeanwhile);
  EXPECT_TRUE(IsWindowEnabled(window));
  EXPECT_EQ(7u, answer) << "the posted message was handled during the work";

  MSG m;
  std::vector<UINT> after;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    after.push_back(m.message);
    if (m.message != WM_QUIT) DispatchMessageW(&m);
  }
  EXPECT_EQ(1, laterSeen);
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(static_cast<UINT>(WM_QUIT), after.back()) << "the quit comes back last";
  DestroyWindow(window);
}

}  // namespace
}  // namespace kavi
