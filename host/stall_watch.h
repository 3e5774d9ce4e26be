// Runs a blocking transfer on a thread of its own and gives up on it when
// it stops making progress. Wine's WinINet, like some old WinINet
// versions, ignores the receive timeout on a body that stops arriving, and
// closing the handle from outside does not wake the read: the only way to
// get the caller back is to stop waiting for that thread.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace kavi {

// Handed to the work: it calls Alive() whenever bytes arrive and stops as
// soon as Abandoned() turns true (its result is then thrown away).
class TransferPulse {
 public:
  void Alive();
  bool Abandoned() const { return abandoned_.load(); }

  // For the watcher: 0 until the work has begun.
  long long LastAliveMs() const { return lastAlive_.load(); }
  void Abandon() { abandoned_.store(true); }

 private:
  std::atomic<long long> lastAlive_{0};  // steady clock, milliseconds
  std::atomic<bool> abandoned_{false};
};

// Runs `work` on its own thread and waits while it lives. True when the
// work finished, with its result in *result; false when no thread could be
// started, or when the work went `stallLimit` without a pulse: the thread is then left behind, told
// to stop at its next pulse, and must own everything it touches (capture by shared_ptr or by
// value). The limit counts from the work's own start: a loaded machine may start a thread
// seconds after it was asked for, and that is no silence of the transfer's. A thread that has
// not begun after several seconds is given up for another (a thread record reused too early
// once made new threads end before running anything); the work runs on one of them only.
bool RunWatched(std::function<bool(TransferPulse&)> work, std::chrono::milliseconds stallLimit,
                bool* result);

// Starts `body` on a detached thread; false when none could be had. Tests
// replace it to lose a thread.
using ThreadStarter = bool (*)(std::function<void()> body);
void SetThreadStarterForTesting(ThreadStarter starter);  // nullptr: the real one

}  // namespace kavi
