// A set-up that runs once, on a worker of its own from Start(), which the
// thread that started it waits for before it reads what the set-up stores.
// Without a worker (never started, or no thread to be had) Wait() runs the
// set-up itself. Start and Wait belong to that one thread.
#pragma once

#include <windows.h>

namespace kavi {

class BackgroundSetUp {
 public:
  explicit BackgroundSetUp(LPTHREAD_START_ROUTINE routine) : routine_(routine) {}

  void Start() {
    if (thread_ || done_) return;
    thread_ = CreateThread(nullptr, 0, routine_, nullptr, 0, nullptr);
  }

  // The worker's stores are seen once it has ended.
  void Wait() {
    if (done_) return;
    if (thread_) {
      WaitForSingleObject(thread_, INFINITE);
      CloseHandle(thread_);
      thread_ = nullptr;
    } else {
      routine_(nullptr);
    }
    done_ = true;
  }

 private:
  const LPTHREAD_START_ROUTINE routine_;
  HANDLE thread_ = nullptr;
  bool done_ = false;
};

}  // namespace kavi
