#include "host/stall_watch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace kavi {
namespace {

using std::chrono::milliseconds;

TEST(StallWatch, FinishedWorkGivesItsResult) {
  bool result = false;
  // The program's own limit: only the verdict matters here.
  EXPECT_TRUE(RunWatched([](TransferPulse&) { return true; }, milliseconds(30000), &result));
  EXPECT_TRUE(result);
  EXPECT_TRUE(RunWatched([](TransferPulse&) { return false; }, milliseconds(30000), &result));
  EXPECT_FALSE(result);
}

TEST(StallWatch, WorkThatKeepsPulsingMayTakeLongerThanTheLimit) {
  bool result = false;
  // Pulses without sleeping, so no late wake-up on a loaded machine makes a
  // gap, and runs until its own clock has passed the limit by half.
  auto work = [](TransferPulse& pulse) {
    const auto begun = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - begun < milliseconds(1500)) {
      pulse.Alive();
      std::this_thread::yield();
    }
    return true;
  };
  EXPECT_TRUE(RunWatched(work, milliseconds(1000), &result));
  EXPECT_TRUE(result);
}

TEST(StallWatch, SilentWorkIsLeftBehindAndToldToStop) {
  auto release = std::make_shared<std::atomic<bool>>(false);
  auto sawAbandon = std::make_shared<std::atomic<int>>(0);
  auto work = [release, sawAbandon](TransferPulse& pulse) {
    pulse.Alive();
    while (!release->load()) std::this_thread::sleep_for(milliseconds(5));
    pulse.Alive();
    sawAbandon->store(pulse.Abandoned() ? 1 : 2);
    return true;
  };
  bool result = true;
  EXPECT_FALSE(RunWatched(work, milliseconds(100), &result));
  EXPECT_TRUE(result) << "untouched when abandoned";
  // The stuck transfer wakes later, after its caller has gone, and learns
  // that nobody wants its result.
  release->store(true);
  for (int i = 0; i < 6000 && sawAbandon->load() == 0; ++i) {
    std::this_thread::sleep_for(milliseconds(5));
  }
  EXPECT_EQ(1, sawAbandon->load());
}

// Under Wine a new thread now and then ends before it runs anything: the
// watcher starts another, and the lost one, should it begin after all, no
// longer runs the work.
std::function<void()> lostThread;

TEST(StallWatch, AThreadThatNeverBeginsIsReplacedAndTheWorkRunsOnce) {
  SetThreadStarterForTesting([](std::function<void()> body) {
    if (!lostThread) {
      lostThread = std::move(body);
      return true;
    }
    std::thread(std::move(body)).detach();
    return true;
  });
  auto runs = std::make_shared<std::atomic<int>>(0);
  bool result = false;
  EXPECT_TRUE(RunWatched(
      [runs](TransferPulse&) {
        ++*runs;
        return true;
      },
      milliseconds(30000), &result));
  SetThreadStarterForTesting(nullptr);
  EXPECT_TRUE(result);
  ASSERT_TRUE(lostThread);
  lostThread();
  EXPECT_EQ(1, runs->load());
}

}  // namespace
}  // namespace kavi
