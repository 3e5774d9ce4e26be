#include "host/stall_watch.h"

#include "host/detached_thread.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace kavi {
namespace {

using std::chrono::milliseconds;

// How long a thread may take to begin before another is started in its
// place, and how many are tried.
constexpr milliseconds kStartWindow(5000);
constexpr int kStartAttempts = 4;

long long NowMs() {
  return std::chrono::duration_cast<milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

ThreadStarter threadStarter = StartDetachedThread;

// Shared by the waiting caller and the worker, which may outlive it.
struct WatchedRun {
  std::function<bool(TransferPulse&)> work;
  TransferPulse pulse;
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool result = false;
};

// One thread asked for. Whoever takes `claimed` first decides: the thread,
// which then runs the work, or the watcher, which gives the start up.
bool StartAttempt(const std::shared_ptr<WatchedRun>& run,
                  const std::shared_ptr<std::atomic<bool>>& claimed) {
  return threadStarter([run, claimed] {
    if (claimed->exchange(true)) return;
    run->pulse.Alive();
    const bool ok = run->work(run->pulse);
    std::lock_guard<std::mutex> lock(run->mutex);
    run->done = true;
    run->result = ok;
    run->finished.notify_all();
  });
}

}  // namespace

void TransferPulse::Alive() {
  lastAlive_.store(NowMs());
}

void SetThreadStarterForTesting(ThreadStarter starter) {
  threadStarter = starter ? starter : StartDetachedThread;
}

bool RunWatched(std::function<bool(TransferPulse&)> work, milliseconds stallLimit, bool* result) {
  auto run = std::make_shared<WatchedRun>();
  run->work = std::move(work);
  auto claimed = std::make_shared<std::atomic<bool>>(false);
  if (!StartAttempt(run, claimed)) return false;  // the transfer never started
  int attempts = 1;
  long long asked = NowMs();

  const auto slice = std::min<milliseconds>(stallLimit, milliseconds(1000));
  std::unique_lock<std::mutex> lock(run->mutex);
  while (!run->finished.wait_for(lock, slice, [&] { return run->done; })) {
    const long long lastAlive = run->pulse.LastAliveMs();
    if (lastAlive != 0) {
      if (NowMs() - lastAlive < stallLimit.count()) continue;
      run->pulse.Abandon();
      return false;
    }
    if (NowMs() - asked < kStartWindow.count() || claimed->exchange(true)) continue;
    // That thread never began, and now never will run the work.
    if (attempts == kStartAttempts) return false;
    claimed = std::make_shared<std::atomic<bool>>(false);
    if (!StartAttempt(run, claimed)) return false;
    ++attempts;
    asked = NowMs();
  }
  *result = run->result;
  return true;
}

}  // namespace kavi
