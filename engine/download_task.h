// One download: a controller thread that asks the server what the file is,
// restores what an earlier run left, and runs up to N connections that fetch
// ranges into the partial file, checkpointing the resume state as they go.
// Portable: the transport and the files come in through the two seams.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/http_client.h"
#include "engine/segment_map.h"
#include "engine/task_storage.h"

namespace kavi {
namespace engine {

// States reported to the program: 1 failed and 4 finished end a task; the
// others mean it is still there to be run.
enum TaskState : int32_t {
  kStateCreated = 0,
  kStateFailed = 1,
  kStateRunning = 2,
  kStateStopped = 3,
  kStateFinished = 4,
};

// Failure codes beside HTTP statuses (which are reported as themselves).
enum FailureCode : int32_t {
  kFailNone = 0,
  kFailNetwork = 1,  // retries exhausted without progress
  kFailDiskFull = 2,
  kFailFile = 3,         // the partial file could not be opened, written or renamed
  kFailCertificate = 4,  // the server's certificate was refused
};

struct TaskOptions {
  // Connections. A short line (the probe answered within
  // `shortRoundTrip`: its wait includes setting up the connection and, under
  // Wine, the session's first request, which a busy machine stretches to
  // tens of milliseconds) starts with `shortStartConnections`: a
  // connection there alternates between reading into its one buffer and
  // writing it to the file, and four keep two cores busier than two. A
  // long one starts with `startConnections`, or with `maxConnections` for a
  // file of at most that many first requests, which is over before a
  // doubling could be judged: there each connection is held back by its own slow start and losses,
  // so each added one nearly adds its share. Then the count doubles, up to
  // `maxConnections` (the most one server is asked to serve), while each
  // doubling raises the throughput by at least `rampGain` of what the added
  // ones would carry at the others' rate; one that does not is undone and
  // the ramp ends, as when a connection the server refuses ends it. Where
  // each connection has a bottleneck of its own (a lossy line, a server
  // holding each to a rate) a doubling nearly doubles the throughput; where
  // they share one it gains little, though a busy machine's noise can show
  // a quarter more, so half is asked. Each count is measured from
  // `settleRoundTrips` after the newest connection's first bytes, over
  // `rampRoundTrips` round trips and at least `rampWindow`. Connections that each carry
  // `enoughPerConnection` have no bottleneck of their own worth splitting
  // (a fast near mirror): more would only cost memory and CPU.
  int maxConnections = 16;
  int startConnections = 8;
  int shortStartConnections = 4;
  std::chrono::milliseconds shortRoundTrip{30};
  std::chrono::milliseconds rampWindow{400};
  int settleRoundTrips = 3;
  int rampRoundTrips = 10;
  double rampGain = 0.5;
  double enoughPerConnection = 16.0 * 1024 * 1024;  // bytes per second
  int retryLimit = 8;  // consecutive failures per connection without a byte of progress
  std::chrono::milliseconds firstBackoff{500};
  std::chrono::milliseconds maxBackoff{8000};
  std::chrono::milliseconds stateInterval{200};  // resume state for a killed process
  // Data and state for a power cut, after this long or this many bytes,
  // whichever comes first: on a fast link the bytes keep each flush short
  // and leave little for the one before the file is committed.
  std::chrono::milliseconds flushInterval{3000};
  int64_t flushBytes = 128 * 1024 * 1024;
  // Each connection asks for its range in requests and reads every answer
  // to its end: an HTTP client closing an answer early may have to drain
  // the rest of it, which costs more than a new request. The first request
  // of each connection is `firstRequestSize` or a `firstShare`th of the
  // file, whichever is smaller, and at least `smallestFirstRequest` (the
  // probe's size too), so even a small file is split among the first
  // connections and the slowest of them on a lossy line holds up little at
  // the end. Later ones carry what the connection's last one did in
  // `requestSeconds` or `requestRoundTrips` of its round trips, whichever
  // is longer (each request costs a round trip of silence), in whole
  // `requestSize`s up to `maxRequestSize`: what one connection has asked
  // for is not split off to another, so long requests would leave the
  // others idle at the end.
  int64_t requestSize = 1024 * 1024;
  int64_t firstRequestSize = 4 * 1024 * 1024;
  int64_t smallestFirstRequest = 512 * 1024;
  int firstShare = 16;
  int64_t maxRequestSize = 64 * 1024 * 1024;
  double requestSeconds = 1.0;
  int requestRoundTrips = 10;
};

struct TaskProgress {
  int32_t state = kStateCreated;
  int32_t failureCode = kFailNone;
  std::wstring savedName;
  int64_t totalSize = 0;
  int64_t downloaded = 0;
  float fraction = 0.0f;
  int32_t speed = 0;        // bytes per second over the last two seconds
  int64_t received = 0;     // bytes taken from the network by this task object
  int32_t connections = 0;  // the most connections that worked at once in this run
};

// Bytes per second shared by every connection of the process; 0 unlimited.
class RateLimiter {
 public:
  void SetLimit(int64_t bytesPerSecond);
  // Waits until `bytes` may pass.
  void Acquire(int64_t bytes);

 private:
  std::mutex mutex_;
  int64_t limit_ = 0;
  double tokens_ = 0;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

class DownloadTask {
 public:
  DownloadTask(std::wstring url, std::wstring fileName, bool resume,
               std::unique_ptr<TaskStorage> storage, HttpClientFactory* clients,
               RateLimiter* limiter = nullptr, TaskOptions options = TaskOptions());
  ~DownloadTask();
  DownloadTask(const DownloadTask&) = delete;
  DownloadTask& operator=(const DownloadTask&) = delete;

  // Starts or continues the transfer; nothing happens once it has ended.
  void Start();
  // Halts the transfer, keeping everything fetched; returns when halted.
  void Stop();
  TaskProgress Progress() const;

  // Bytes received from the network by this task object (for tests).
  int64_t ReceivedBytes() const { return received_.load(); }

 private:
  enum class Mode { kRanges, kSingle };

  void Run();
  // The first request, and how long its answer's head took to come.
  bool Probe(HttpClient* client, HttpHead* head, std::unique_ptr<HttpStream>* stream,
             std::chrono::steady_clock::duration* took);
  bool PrepareRanges(const HttpHead& head);
  // Adds or gives up connections while the ranges are fetched.
  void Ramp(std::vector<std::thread>* workers);
  // Starts the connections of a ranged download; called with the mutex held.
  void StartRanges(std::vector<std::thread>* workers,
                   std::chrono::steady_clock::duration probeTook);
  // Starts one more range worker; called with the mutex held.
  void AddWorker(std::vector<std::thread>* workers);
  void RangeWorker(int id);
  void SingleWorker(std::unique_ptr<HttpStream> first);
  void SaveCheckpoint(bool flush);
  void Fail(int32_t code);
  // Counts a failed attempt; false when the task has now failed or stops.
  bool BackOff(int* attempts);
  bool Stopping() const;
  void WaitFor(std::chrono::milliseconds delay);
  void SampleSpeed();

  const std::wstring url_;  // the first address, as the program gave it
  const std::wstring fileName_;
  const bool resume_;
  const std::unique_ptr<TaskStorage> storage_;
  HttpClientFactory* const clients_;
  RateLimiter* const limiter_;
  const TaskOptions options_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::thread controller_;
  std::unique_ptr<HttpClient> client_;
  // Where segment requests go: the address the first address redirected
  // to, followed once per run; the first address again when that one stops
  // answering (signed CDN addresses expire).
  std::wstring target_;
  // Range workers running and wanted: one over the number wanted ends
  // before its next request and leaves its range to the others.
  int liveWorkers_ = 0;
  int wantedWorkers_ = 0;
  int nextWorkerId_ = 0;
  int32_t connectionsUsed_ = 0;
  bool stopRequested_ = false;
  bool failed_ = false;
  int32_t state_ = kStateCreated;
  int32_t failureCode_ = kFailNone;
  std::wstring savedName_;
  Mode mode_ = Mode::kRanges;
  std::unique_ptr<SegmentMap> map_;
  std::string validator_;
  int64_t total_ = -1;
  int64_t singlePosition_ = 0;
  bool singleDone_ = false;
  bool rangesLost_ = false;
  int consecutiveFailures_ = 0;
  std::vector<ByteRange> durable_;

  std::atomic<int64_t> received_{0};
  std::deque<std::pair<std::chrono::steady_clock::time_point, int64_t>> samples_;
  int32_t speed_ = 0;
  // The ramp: whether it still adds connections, since when (or, before
  // `rampMeasuring_`, from when) and from how many received bytes the
  // current count is measured, how many the last step added and the rate
  // before it. The wait for the measure opens with the first bytes of the
  // newest connection (`rampAwaiting_`, -1 once they came): its thread's
  // start and its first request, slow on a loaded machine, are not counted
  // against it.
  bool ramping_ = false;
  bool rampMeasuring_ = false;
  int rampAwaiting_ = -1;
  std::chrono::steady_clock::time_point rampSince_;
  int64_t rampBytes_ = 0;
  int rampAdded_ = 0;
  double rampPreviousRate_ = 0;
  // The shortest wait for an answer's head seen in this run: about a round
  // trip of the line.
  std::chrono::steady_clock::duration roundTrip_{};
  int64_t firstRequest_ = 0;
  // The probe's answer from the file's start to `firstStreamEnd_`, for the
  // connection that takes the range there.
  std::unique_ptr<HttpStream> firstStream_;
  int64_t firstStreamEnd_ = 0;
};

}  // namespace engine
}  // namespace kavi
