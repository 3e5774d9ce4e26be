#include "engine/download_task.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "engine/resume_state.h"
#include "tests/engine/fake_transport.h"

namespace kavi {
namespace engine {
namespace {

using std::chrono::milliseconds;
constexpr int64_t kBlockSize = 1 << 20;

std::string RandomBody(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string body(size, '\0');
  for (char& c : body) c = static_cast<char>(rng());
  return body;
}

TaskOptions FastOptions() {
  TaskOptions o;
  o.firstBackoff = milliseconds(5);
  o.maxBackoff = milliseconds(20);
  o.stateInterval = milliseconds(20);
  o.flushInterval = milliseconds(60);
  o.retryLimit = 6;
  return o;
}

class DownloadTaskTest : public ::testing::Test {
 protected:
  std::unique_ptr<DownloadTask> MakeTask(FakeDisk* disk, bool resume = true,
                                         TaskOptions options = FastOptions()) {
    return std::make_unique<DownloadTask>(L"http://host/win7.gho", L"win7.gho", resume,
                                          std::make_unique<FakeStorage>(disk, L"win7.gho"),
                                          &clients_, nullptr, options);
  }
  // Polls as the program does until the task ends or the time runs out.
  static TaskProgress WaitForEnd(DownloadTask& task, int seconds = 30) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
      TaskProgress p = task.Progress();
      if (p.state == kStateFinished || p.state == kStateFailed) return p;
      if (std::chrono::steady_clock::now() > until) return p;
      std::this_thread::sleep_for(milliseconds(5));
    }
  }
  static void WaitForBytes(DownloadTask& task, int64_t bytes) {
    for (int i = 0; i < 5000 && task.Progress().downloaded < bytes; ++i) {
      std::this_thread::sleep_for(milliseconds(1));
    }
  }

  FakeServer server_;
  FakeClients clients_{&server_};
  FakeDisk disk_;
};

TEST_F(DownloadTaskTest, SegmentedDownloadIsByteExact) {
  server_.body = RandomBody(7 * kBlockSize + 12345, 1);
  auto task = MakeTask(&disk_);
  task->Start();
  TaskProgress p = WaitForEnd(*task);
  ASSERT_EQ(kStateFinished, p.state);
  EXPECT_EQ(L"win7.gho", p.savedName);
  EXPECT_EQ(static_cast<int64_t>(server_.body.size()), p.totalSize);
  EXPECT_EQ(p.totalSize, p.downloaded);
  EXPECT_FLOAT_EQ(1.0f, p.fraction);
  EXPECT_TRUE(disk_.files[L"win7.gho"] == server_.body);
  EXPECT_FALSE(disk_.stateExists) << "the resume state goes with the finished file";
  EXPECT_EQ(static_cast<int64_t>(server_.body.size()), task->ReceivedBytes());
}

// Throughput is measured over 400 ms windows, which a loaded machine or a
// sanitizer can blur now and then: each link gets up to three downloads to
// show its count. A ramp that never adds connections, or never gives one
// up, fails all three. The fake server answers at once: a short line,
// here started with two connections.
TEST_F(DownloadTaskTest, ConnectionsAreAddedOnlyWhileTheyAddThroughput) {
  TaskOptions o = FastOptions();
  o.rampWindow = milliseconds(400);
  o.shortStartConnections = 2;
  o.maxConnections = 4;
  server_.readDelay = milliseconds(8);  // a 64 KiB piece every 8 ms
  auto connections = [&](int wanted) {
    int used = 0;
    for (int attempt = 0; attempt < 3 && used != wanted; ++attempt) {
      FakeDisk disk;
      auto task = MakeTask(&disk, true, o);
      task->Start();
      TaskProgress p = WaitForEnd(*task);
      EXPECT_EQ(kStateFinished, p.state);
      EXPECT_TRUE(disk.files[L"win7.gho"] == server_.body);
      used = p.connections;
    }
    return used;
  };
  // A server that holds each connection to a rate: every doubling helps,
  // up to the most allowed, which the file leaves room for however long a
  // busy machine stretches the windows.
  server_.body = RandomBody(64 * kBlockSize, 12);
  EXPECT_EQ(o.maxConnections, connections(o.maxConnections));
  // One link that all connections share: the doubling to four adds nothing
  // and is undone, well below the most allowed.
  o.maxConnections = 8;
  server_.body.resize(24 * kBlockSize);
  server_.sharedLink = true;
  EXPECT_EQ(4, connections(4));
}

// Over a long line (each answer's head comes 40 ms after its request) a
// small file starts with the most connections and is split among them at
// once, the first answer's body serving as the first piece
// (a file of one piece takes one request); a server that refuses
// connections over its limit is not asked again by the refused ones, and
// no more are added.
TEST_F(DownloadTaskTest, LongLinesStartSplitAndKeepToWhatTheServerAllows) {
  struct Case {
    int64_t size;
    int maxOpen;
    int connections;         // 0: not checked
    int64_t largestRequest;  // 0: not checked
    int refusedAtMost;
    int requests;  // 0: not checked
  };
  const TaskOptions o = FastOptions();
  const Case cases[] = {
      {8 * kBlockSize, 0, o.maxConnections, 8 * kBlockSize / o.firstShare, 0, 0},
      {24 * kBlockSize, 3, 0, 0, o.maxConnections - 1, 0},
      {o.smallestFirstRequest - 5, 0, 1, 0, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " bytes, " << c.maxOpen << " open at most");
    FakeServer server;
    FakeClients clients{&server};
    server.body = RandomBody(static_cast<size_t>(c.size), 13);
    server.headDelay = milliseconds(40);
    server.readDelay = milliseconds(8);
    server.maxOpen = c.maxOpen;
    FakeDisk disk;
    DownloadTask task(L"http://host/win7.gho", L"win7.gho", true,
                      std::make_unique<FakeStorage>(&disk, L"win7.gho"), &clients, nullptr, o);
    task.Start();
    TaskProgress p = WaitForEnd(task);
    ASSERT_EQ(kStateFinished, p.state);
    EXPECT_TRUE(disk.files[L"win7.gho"] == server.body);
    if (c.connections) {
      EXPECT_EQ(c.connections, p.connections);
    }
    if (c.largestRequest) {
      EXPECT_LE(server.largestRequest.load(), c.largestRequest);
    }
    EXPECT_LE(server.refused.load(), c.refusedAtMost);
    if (c.requests) {
      EXPECT_EQ(c.requests, server.requests.load());
    }
  }
}

TEST_F(DownloadTaskTest, ServerIgnoringRangesUsesOneConnection) {
  server_.body = RandomBody(3 * kBlockSize + 5, 2);
  server_.ranges = false;
  auto task = MakeTask(&disk_);
  task->Start();
  ASSERT_EQ(kStateFinished, WaitForEnd(*task).state);
  EXPECT_TRUE(disk_.files[L"win7.gho"] == server_.body);
  EXPECT_EQ(1, server_.requests.load());
}

TEST_F(DownloadTaskTest, DroppedConnectionsAreResumedWhereTheyBroke) {
  server_.body = RandomBody(6 * kBlockSize, 3);
  server_.dropAfter = 300 * 1024;
  auto task = MakeTask(&disk_);
  task->Start();
  ASSERT_EQ(kStateFinished, WaitForEnd(*task).state);
  EXPECT_TRUE(disk_.files[L"win7.gho"] == server_.body);
  // Each connection continues where it broke: nothing is fetched twice.
  EXPECT_EQ(static_cast<int64_t>(server_.body.size()), task->ReceivedBytes());
}

TEST_F(DownloadTaskTest, DroppedConnectionsWithoutRangesStartOver) {
  server_.body = RandomBody(kBlockSize, 4);
  server_.ranges = false;
  server_.failFirstRequests = 2;
  auto task = MakeTask(&disk_);
  task->Start();
  ASSERT_EQ(kStateFinished, WaitForEnd(*task).state);
  EXPECT_TRUE(disk_.files[L"win7.gho"] == server_.body);
}

TEST_F(DownloadTaskTest, NotFoundAndARefusedCertificateFailAtOnce) {
  server_.body = "x";
  server_.permanentStatus = 404;
  auto task = MakeTask(&disk_);
  task->Start();
  TaskProgress p = WaitForEnd(*task, 5);
  EXPECT_EQ(kStateFailed, p.state);
  EXPECT_EQ(404, p.failureCode);
  EXPECT_EQ(1, server_.requests.load()) << "a permanent error is not retried";

  server_.permanentStatus = 0;
  server_.untrusted = true;
  server_.requests = 0;
  task = MakeTask(&disk_);
  task->Start();
  p = WaitForEnd(*task, 5);
  EXPECT_EQ(kFailCertificate, p.failureCode);
  EXPECT_EQ(1, server_.requests.load()) << "the same certificate would come again";
}

TEST_F(DownloadTaskTest, ServerErrorsAreRetriedUntilTheyPass) {
  server_.body = RandomBody(2 * kBlockSize, 5);
  server_.failFirstRequests = 4;
  auto task = MakeTask(&disk_);
  task->Start();
  ASSERT_EQ(kStateFinished, WaitForEnd(*task).state);
  EXPECT_TRUE(disk_.files[L"win7.gho"] == server_.body);
}

TEST_F(DownloadTaskTest, NoNetworkFailsAfterBoundedRetries) {
  server_.body = "x";
  server_.networkDown = true;
  auto task = MakeTask(&disk_);
  task->Start();
  TaskProgress p = WaitForEnd(*task, 10);
  EXPECT_EQ(kStateFailed, p.state);
  EXPECT_EQ(kFailNetwork, p.failureCode);
}

TEST_F(DownloadTaskTest, FullDiskFails) {
  server_.body = RandomBody(4 * kBlockSize, 6);
  disk_.capacity = kBlockSize;
  auto task = MakeTask(&disk_);
  task->Start();
  TaskProgress p = WaitForEnd(*task);
  EXPECT_EQ(kStateFailed, p.state);
  EXPECT_EQ(kFailDiskFull, p.failureCode);
  EXPECT_TRUE(disk_.files.empty());
}

TEST_F(DownloadTaskTest, StopKeepsProgressAndStartContinues) {
  server_.body = RandomBody(8 * kBlockSize, 7);
  server_.readDelay = std::chrono::microseconds(500);
  auto task = MakeTask(&disk_);
  task->Start();
  WaitForBytes(*task, 3 * kBlockSize);
  task->Stop();
  TaskProgress stopped = task->Progress();
  EXPECT_EQ(kStateStopped, stopped.state);
  EXPECT_EQ(0, stopped.speed);
  const int64_t receivedAtStop = task->ReceivedBytes();
  EXPECT_GT(stopped.downloaded, 0);

  server_.readDelay = std::chrono::microseconds(0);
  task->Start();
  ASSERT_EQ(kStateFinished, WaitForEnd(*task).state);
  EXPECT_TRUE(disk_.files[L"win7.gho"] == server_.body);
  // Nothing written before the stop is fetched again.
  EXPECT_EQ(static_cast<int64_t>(server_.body.size()) - stopped.downloaded,
            task->ReceivedBytes() - receivedAtStop);
}

TEST_F(DownloadTaskTest, KilledProcessResumesFromItsStateFile) {
  server_.body = RandomBody(10 * kBlockSize, 8);
  server_.chunk = 16 * 1024;
  server_.readDelay = std::chrono::microseconds(1000);
  FakeDisk crashed;
  {
    auto task = MakeTask(&disk_);
    task->Start();
    WaitForBytes(*task, 3 * kBlockSize);
    for (int i = 0; i < 1000; ++i) {
      {
        std::lock_guard<std::mutex> lock(disk_.mutex);
        if (disk_.stateExists) break;
      }
      std::this_thread::sleep_for(milliseconds(1));
    }
    crashed.CopyFrom(disk_);  // what the disk holds when the process dies
  }
  ASSERT_TRUE(crashed.stateExists);
  ResumeState saved;
  ASSERT_TRUE(ParseResumeState(crashed.state, &saved));
  int64_t recorded = 0;
  for (const ByteRange& r : saved.written) recorded += r.end - r.begin;
  EXPECT_GT(recorded, 0);

  server_.readDelay = std::chrono::microseconds(0);
  auto task = MakeTask(&crashed);
  task->Start();
  ASSERT_EQ(kStateFinished, WaitForEnd(*task).state);
  EXPECT_TRUE(crashed.files[L"win7.gho"] == server_.body);
  EXPECT_EQ(static_cast<int64_t>(server_.body.size()) - recorded, task->ReceivedBytes())
      << "what the state file recorded is not fetched again";
}

TEST_F(DownloadTaskTest, AfterAPowerCutOnlyFlushedBlocksAreTrusted) {
  server_.body = RandomBody(4 * kBlockSize, 9);
  // The state says every block was written but none flushed, and the data
  // never reached the disk.
  ResumeState state;
  state.totalSize = static_cast<int64_t>(server_.body.size());
  state.bootTime = disk_.bootTime;
  state.validator = server_.validator;
  state.written = {{0, 4 * kBlockSize}};
  state.durable = {{0, kBlockSize}};
  disk_.state = SerializeResumeState(state);
  disk_.stateExists = true;
  disk_.data = server_.body.substr(0, kBlockSize) + std::string(3 * kBlockSize, '\0');
  disk_.dataExists = true;
  disk_.bootTime += 3600;  // the machine has started again since

  auto task = MakeTask(&disk_);
  task->Start();
  ASSERT_EQ(kStateFinished, WaitForEnd(*task).state);
  EXPECT_TRUE(disk_.files[L"win7.gho"] == server_.body);
  EXPECT_EQ(3 * kBlockSize, task->ReceivedBytes());
}

TEST_F(DownloadTaskTest, ChangedRemoteFileStartsOver) {
  server_.body = RandomBody(4 * kBlockSize, 10);
  server_.readDelay = std::chrono::microseconds(300);
  {
    auto task = MakeTask(&disk_);
    task->Start();
    WaitForBytes(*task, 2 * kBlockSize);
    task->Stop();
  }
  server_.body = RandomBody(4 * kBlockSize, 11);
  server_.validator = "\"v2\"";
  server_.readDelay = std::chrono::microseconds(0);
  auto task = MakeTask(&disk_);
  task->Start();
  ASSERT_EQ(kStateFinished, WaitForEnd(*task).state);
  EXPECT_TRUE(disk_.files[L"win7.gho"] == server_.body);
}

TEST_F(DownloadTaskTest, WithoutResumeTheStateFileIsIgnored) {
  server_.body = RandomBody(4 * kBlockSize, 12);
  server_.readDelay = std::chrono::microseconds(300);
  {
    auto task = MakeTask(&disk_);
    task->Start();
    WaitForBytes(*task, 2 * kBlockSize);
    task->Stop();
  }
  server_.readDelay = std::chrono::microseconds(0);
  auto task = MakeTask(&disk_, false);
  task->Start();
  ASSERT_EQ(kStateFinished, WaitForEnd(*task).state);
  EXPECT_EQ(static_cast<int64_t>(server_.body.size()), task->ReceivedBytes());
  EXPECT_TRUE(disk_.files[L"win7.gho"] == server_.body);
}

TEST_F(DownloadTaskTest, TakenNameIsReportedAsTheSavedName) {
  server_.body = RandomBody(1000, 13);
  disk_.files[L"win7.gho"] = "older";
  auto task = MakeTask(&disk_);
  task->Start();
  TaskProgress p = WaitForEnd(*task);
  ASSERT_EQ(kStateFinished, p.state);
  EXPECT_EQ(L"win7(1).gho", p.savedName);
  EXPECT_EQ("older", disk_.files[L"win7.gho"]);
}

TEST_F(DownloadTaskTest, EmptyFileFinishes) {
  server_.body.clear();
  auto task = MakeTask(&disk_);
  task->Start();
  TaskProgress p = WaitForEnd(*task);
  EXPECT_EQ(kStateFinished, p.state);
  EXPECT_EQ(0, p.totalSize);
}

TEST(RateLimiter, HoldsTheAverageRate) {
  RateLimiter limiter;
  limiter.SetLimit(1'000'000);
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 30; ++i) limiter.Acquire(100'000);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // 3 MB at 1 MB/s, with a second's burst allowed: at least about 2 s.
  EXPECT_GE(seconds, 1.5);
}

}  // namespace
}  // namespace engine
}  // namespace kavi
