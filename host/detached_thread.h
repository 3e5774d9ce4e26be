// A thread nobody waits for. Created detached rather than detached after
// its start: with mingw-w64's winpthreads, a thread that ends before
// pthread_detach reaches it can have its record handed out twice, and a
// later thread then starts with another's (or no) function, or crashes.
#pragma once

#include <functional>

namespace kavi {

// Runs `body` on a new detached thread; false when none could be had.
bool StartDetachedThread(std::function<void()> body);

}  // namespace kavi
