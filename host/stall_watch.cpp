#include "host/stall_watch.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace kavi {
namespace {

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Shared by the waiting caller and the worker, which may outlive it.
struct WatchedRun {
  TransferPulse pulse;
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool result = false;
};

}  // namespace

void TransferPulse::Alive() {
  lastAlive_.store(NowMs());
}

bool RunWatched(std::function<bool(TransferPulse&)> work, std::chrono::milliseconds stallLimit,
                bool* result) {
  auto run = std::make_shared<WatchedRun>();
  try {
    std::thread([run, work = std::move(work)]() mutable {
      run->pulse.Alive();
      const bool ok = work(run->pulse);
      std::lock_guard<std::mutex> lock(run->mutex);
      run->done = true;
      run->result = ok;
      run->finished.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return false;  // no thread to be had: the transfer never started
  }

  const auto slice = std::min<std::chrono::milliseconds>(stallLimit, std::chrono::seconds(1));
  std::unique_lock<std::mutex> lock(run->mutex);
  while (!run->finished.wait_for(lock, slice, [&] { return run->done; })) {
    const long long lastAlive = run->pulse.LastAliveMs();
    if (lastAlive != 0 && NowMs() - lastAlive >= stallLimit.count()) {
      run->pulse.Abandon();
      return false;
    }
  }
  *result = run->result;
  return true;
}

}  // namespace kavi
