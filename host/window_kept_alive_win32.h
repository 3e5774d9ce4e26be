// Work too long for the window's thread (reading a whole backup) done on a
// worker while that thread keeps the window painted. The window takes no
// input meanwhile, its timers wait, and the messages posted to the thread
// (a quit included) are handed back afterwards in their order, so nothing
// the window would do on its own starts in the middle.
#pragma once

#include <windows.h>

#include <functional>

namespace kavi {

// Runs `work` on a worker and returns when it has ended. Without a thread
// to be had, runs it on the caller's.
void RunKeepingWindowPainted(HWND window, const std::function<void()>& work);

}  // namespace kavi
