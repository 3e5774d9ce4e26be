#include "engine/download_task.h"

#include <algorithm>

#include "engine/resume_state.h"
#include "engine/thread_stack.h"

namespace kavi {
namespace engine {
namespace {

using Clock = std::chrono::steady_clock;

bool IsPermanentStatus(int status) {
  return status >= 400 && status < 500 && status != 408 && status != 429;
}

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// Whole multiples of the smallest request: a server that holds each answer
// to a rate often lets its first second through at once (nginx does), so
// an answer of one second's worth is served fastest, and one a little
// longer waits for the next second.
int64_t NextRequestSize(int64_t bytes, Clock::duration took, Clock::duration roundTrip,
                        const TaskOptions& options) {
  const double seconds = std::max(Seconds(took), 1e-3);
  const int64_t unit = options.requestSize;
  const double span =
      std::max(options.requestSeconds, options.requestRoundTrips * Seconds(roundTrip));
  const double wanted = static_cast<double>(bytes) / seconds * span;
  const int64_t units = static_cast<int64_t>(wanted / static_cast<double>(unit));
  return std::clamp(units * unit, unit, std::max(unit, options.maxRequestSize));
}

}  // namespace

void RateLimiter::SetLimit(int64_t bytesPerSecond) {
  std::lock_guard<std::mutex> lock(mutex_);
  limit_ = bytesPerSecond > 0 ? bytesPerSecond : 0;
  tokens_ = 0;
  last_ = Clock::now();
}

void RateLimiter::Acquire(int64_t bytes) {
  for (;;) {
    std::chrono::duration<double> wait{0};
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (limit_ == 0) return;
      const auto now = Clock::now();
      tokens_ += std::chrono::duration<double>(now - last_).count() * limit_;
      tokens_ = std::min(tokens_, static_cast<double>(limit_));  // at most a second's burst
      last_ = now;
      if (tokens_ >= 0) {
        tokens_ -= static_cast<double>(bytes);  // may go negative: the next caller waits
        return;
      }
      wait = std::chrono::duration<double>(-tokens_ / limit_);
    }
    std::this_thread::sleep_for(std::min(wait, std::chrono::duration<double>(0.5)));
  }
}

DownloadTask::DownloadTask(std::wstring url, std::wstring fileName, bool resume,
                           std::unique_ptr<TaskStorage> storage, HttpClientFactory* clients,
                           RateLimiter* limiter, TaskOptions options)
    : url_(std::move(url)),
      fileName_(std::move(fileName)),
      resume_(resume),
      storage_(std::move(storage)),
      clients_(clients),
      limiter_(limiter),
      options_(options),
      savedName_(fileName_) {}

DownloadTask::~DownloadTask() {
  Stop();
}

void DownloadTask::Start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (controller_.joinable() || state_ == kStateFinished || state_ == kStateFailed) return;
  stopRequested_ = false;
  state_ = kStateRunning;
  controller_ = std::thread(&DownloadTask::Run, this);
}

void DownloadTask::Stop() {
  std::thread controller;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!controller_.joinable()) return;
    stopRequested_ = true;
    if (client_) client_->Abort();
    controller = std::move(controller_);
  }
  wake_.notify_all();
  controller.join();
}

TaskProgress DownloadTask::Progress() const {
  std::lock_guard<std::mutex> lock(mutex_);
  TaskProgress p;
  p.state = state_;
  p.failureCode = failureCode_;
  p.savedName = savedName_;
  if (mode_ == Mode::kRanges && map_) {
    p.totalSize = map_->TotalSize();
    p.downloaded = map_->WrittenBytes();
  } else {
    p.downloaded = singlePosition_;
    p.totalSize = total_ >= 0 ? total_ : singlePosition_;
  }
  if (state_ == kStateFinished) p.downloaded = p.totalSize;
  p.fraction =
      p.totalSize > 0
          ? static_cast<float>(static_cast<double>(p.downloaded) / static_cast<double>(p.totalSize))
          : (state_ == kStateFinished ? 1.0f : 0.0f);
  p.speed = state_ == kStateRunning ? speed_ : 0;
  p.received = received_.load();
  p.connections = connectionsUsed_;
  return p;
}

bool DownloadTask::Stopping() const {
  return stopRequested_ || failed_;
}

void DownloadTask::WaitFor(std::chrono::milliseconds delay) {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait_for(lock, delay, [this] { return Stopping(); });
}

void DownloadTask::Fail(int32_t code) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failed_ || stopRequested_) return;
    failed_ = true;
    failureCode_ = code;
    if (client_) client_->Abort();
  }
  wake_.notify_all();
}

bool DownloadTask::BackOff(int* attempts) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Stopping()) return false;
    // Each connection has its tries: a server falling silent fails every
    // connection at once, which is one failure of the line, not many.
    if (++consecutiveFailures_ > options_.retryLimit * std::max(1, liveWorkers_)) {
      failed_ = true;
      failureCode_ = kFailNetwork;
      if (client_) client_->Abort();
    }
  }
  wake_.notify_all();
  auto delay = options_.firstBackoff * (1 << std::min(*attempts, 10));
  ++*attempts;
  WaitFor(std::min<std::chrono::milliseconds>(delay, options_.maxBackoff));
  std::lock_guard<std::mutex> lock(mutex_);
  return !Stopping();
}

bool DownloadTask::Probe(HttpClient* client, HttpHead* head, std::unique_ptr<HttpStream>* stream,
                         Clock::duration* took) {
  int attempts = 0;
  for (;;) {
    *head = HttpHead();
    // The answer tells whether ranges work and how large the file is, and
    // its body is the first connection's first request; a server without
    // ranges sends the whole file, which is then used.
    const auto asked = Clock::now();
    *stream = client->Get(url_, 0, options_.smallestFirstRequest - 1, head);
    *took = Clock::now() - asked;
    if (*stream && (head->status == 200 || head->status == 206)) {
      std::lock_guard<std::mutex> lock(mutex_);
      target_ = head->finalUrl.empty() ? url_ : head->finalUrl;
      return true;
    }
    stream->reset();
    if (head->untrusted || IsPermanentStatus(head->status)) {
      Fail(head->untrusted ? kFailCertificate : head->status);
      return false;
    }
    if (!BackOff(&attempts)) return false;
  }
}

bool DownloadTask::PrepareRanges(const HttpHead& head) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int64_t total = head.rangeTotal;
  bool keep = false;
  if (map_ && map_->TotalSize() == total && validator_ == head.validator) {
    keep = true;  // a stop and start of this task
  } else {
    // A split never cuts into the request a connection is reading.
    map_ = std::make_unique<SegmentMap>(total, kMinPiece);
    std::string bytes;
    ResumeState saved;
    if (resume_ && storage_->LoadState(&bytes) && ParseResumeState(bytes, &saved) &&
        saved.totalSize == total && saved.validator == head.validator) {
      keep = map_->Restore(TrustedRanges(saved, storage_->BootTime()));
    }
  }
  validator_ = head.validator;
  if (!keep) map_->Reset();
  durable_ = map_->Written();
  return storage_->OpenData(keep);
}

void DownloadTask::SaveCheckpoint(bool flush) {
  ResumeState s;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (mode_ != Mode::kRanges || !map_) return;
    s.totalSize = map_->TotalSize();
    s.validator = validator_;
    s.written = map_->Written();
  }
  s.bootTime = storage_->BootTime();
  // What counted as written before the flush is on the disk after it.
  if (flush && storage_->Flush()) durable_ = s.written;
  s.durable = durable_;
  storage_->SaveState(SerializeResumeState(s));
}

void DownloadTask::SampleSpeed() {
  const auto now = Clock::now();
  const int64_t bytes = received_.load();
  samples_.emplace_back(now, bytes);
  while (samples_.size() > 2 && now - samples_.front().first > std::chrono::seconds(2)) {
    samples_.pop_front();
  }
  const double seconds = std::chrono::duration<double>(now - samples_.front().first).count();
  const int64_t delta = bytes - samples_.front().second;
  std::lock_guard<std::mutex> lock(mutex_);
  speed_ = seconds > 0.05 ? static_cast<int32_t>(std::min(delta / seconds, 2.0e9)) : 0;
}

void DownloadTask::Run() {
  ReleaseUnusedStack();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    client_ = clients_->Create();
    consecutiveFailures_ = 0;
    rangesLost_ = false;
    target_ = url_;
    connectionsUsed_ = 0;
  }
  HttpHead head;
  std::unique_ptr<HttpStream> probe;
  Clock::duration probeTook{};
  bool ready = Probe(client_.get(), &head, &probe, &probeTook);

  std::vector<std::thread> workers;
  if (ready) {
    const bool ranges = head.status == 206 && head.rangeFirst == 0 && head.rangeTotal >= 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      mode_ = ranges ? Mode::kRanges : Mode::kSingle;
      total_ = ranges ? head.rangeTotal : head.contentLength;
    }
    if (ranges) {
      if (!PrepareRanges(head)) {
        Fail(kFailFile);
      } else {
        std::lock_guard<std::mutex> lock(mutex_);
        // What an earlier run wrote is not fetched again: the probe's body
        // serves only where the file starts unwritten.
        const std::vector<ByteRange> written = map_->Written();
        if (written.empty() || written.front().begin > 0) {
          firstStream_ = std::move(probe);
          firstStreamEnd_ = head.contentLength >= 0 ? head.contentLength : 0;
          if (!written.empty()) firstStreamEnd_ = std::min(firstStreamEnd_, written.front().begin);
          if (firstStreamEnd_ <= 0) firstStream_.reset();
        }
        StartRanges(&workers, probeTook);
      }
      probe.reset();
    } else {
      // Without ranges nothing earlier can be continued.
      storage_->DeleteState();
      if (!storage_->OpenData(false)) {
        Fail(kFailFile);
      } else {
        std::lock_guard<std::mutex> lock(mutex_);
        singlePosition_ = 0;
        singleDone_ = false;
        workers.emplace_back(&DownloadTask::SingleWorker, this, std::move(probe));
      }
    }
  }

  // Watch the workers: speed, checkpoints, the end.
  auto lastState = Clock::now(), lastFlush = Clock::now();
  int64_t flushedAt = received_.load();
  samples_.clear();
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // The last byte wakes it at once: the file is committed without
      // waiting for the next look.
      auto finished = [this] {
        return (mode_ == Mode::kRanges && map_ && map_->Complete()) ||
               (mode_ == Mode::kSingle && singleDone_);
      };
      wake_.wait_for(lock, std::chrono::milliseconds(100),
                     [&] { return Stopping() || finished() || rangesLost_; });
      if (Stopping()) break;
      if (finished() || workers.empty() || rangesLost_) break;
    }
    SampleSpeed();
    Ramp(&workers);
    {
      // Workers leave when they find nothing to split off; should the last
      // one leave with a range unwritten (given up by a connection that
      // went), one starts again.
      std::lock_guard<std::mutex> lock(mutex_);
      if (mode_ == Mode::kRanges && map_ && liveWorkers_ == 0 && !map_->Complete() && !Stopping() &&
          !rangesLost_) {
        --wantedWorkers_;
        AddWorker(&workers);
      }
    }
    const auto now = Clock::now();
    const int64_t received = received_.load();
    if (now - lastFlush >= options_.flushInterval || received - flushedAt >= options_.flushBytes) {
      SaveCheckpoint(true);
      lastFlush = lastState = now;
      flushedAt = received;
    } else if (now - lastState >= options_.stateInterval) {
      SaveCheckpoint(false);
      lastState = now;
    }
  }
  {
    // Wake workers blocked in the network once the task is decided.
    std::lock_guard<std::mutex> lock(mutex_);
    if (Stopping() || rangesLost_) client_->Abort();
  }
  wake_.notify_all();
  for (std::thread& t : workers) t.join();
  firstStream_.reset();

  bool lost = false, complete = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lost = rangesLost_ && !Stopping();
    complete = !Stopping() && ((mode_ == Mode::kRanges && map_ && map_->Complete()) ||
                               (mode_ == Mode::kSingle && singleDone_));
  }
  if (lost) {
    // The server stopped honouring ranges: start over on one connection.
    storage_->CloseData();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      map_.reset();
      client_.reset();
    }
    Run();
    return;
  }
  if (complete) {
    std::wstring saved;
    if (storage_->Flush() && storage_->Commit(&saved)) {
      storage_->DeleteState();
      std::lock_guard<std::mutex> lock(mutex_);
      savedName_ = saved;
      state_ = kStateFinished;
      client_.reset();
      return;
    }
    Fail(kFailFile);
  }
  SaveCheckpoint(true);
  storage_->CloseData();
  std::lock_guard<std::mutex> lock(mutex_);
  state_ = failed_ ? kStateFailed : kStateStopped;
  client_.reset();
}

void DownloadTask::AddWorker(std::vector<std::thread>* workers) {
  ++liveWorkers_;
  ++wantedWorkers_;
  connectionsUsed_ = std::max(connectionsUsed_, wantedWorkers_);
  if (ramping_) rampAwaiting_ = nextWorkerId_;
  workers->emplace_back(&DownloadTask::RangeWorker, this, nextWorkerId_++);
}

void DownloadTask::StartRanges(std::vector<std::thread>* workers, Clock::duration probeTook) {
  // The probe's wait includes the connection's set-up: a round trip or two.
  roundTrip_ = probeTook;
  const int64_t left = map_->TotalSize() - map_->WrittenBytes();
  firstRequest_ =
      std::max(options_.smallestFirstRequest,
               std::min(options_.firstRequestSize, left / std::max(1, options_.firstShare)));
  // A file the ramp would not have the time to double on starts with the
  // most connections at once.
  const bool small = left <= options_.firstRequestSize * options_.maxConnections;
  const int wanted = probeTook < options_.shortRoundTrip ? options_.shortStartConnections
                     : small                             ? options_.maxConnections
                                                         : options_.startConnections;
  const int64_t pieces = std::max<int64_t>(1, left / firstRequest_);
  const int count = static_cast<int>(std::min<int64_t>(
      {pieces, static_cast<int64_t>(std::max(1, std::min(wanted, options_.maxConnections)))}));
  liveWorkers_ = wantedWorkers_ = 0;
  rampAwaiting_ = -1;
  ramping_ = count < options_.maxConnections;
  for (int i = 0; i < count; ++i) AddWorker(workers);
  rampMeasuring_ = false;
  rampAdded_ = 0;
  rampPreviousRate_ = 0;
}

void DownloadTask::Ramp(std::vector<std::thread>* workers) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto now = Clock::now();
  if (!ramping_ || rampAwaiting_ >= 0 || mode_ != Mode::kRanges || now < rampSince_) return;
  if (!rampMeasuring_) {
    // The connections of the last change have had their round trips to
    // set up: their throughput is measured from here.
    rampMeasuring_ = true;
    rampSince_ = now;
    rampBytes_ = received_.load();
    return;
  }
  const Clock::duration window =
      std::max<Clock::duration>(options_.rampWindow, roundTrip_ * options_.rampRoundTrips);
  if (now - rampSince_ < window) return;
  const double rate =
      static_cast<double>(received_.load() - rampBytes_) / Seconds(now - rampSince_);
  const int count = wantedWorkers_;
  if (rampAdded_ > 0) {
    // What the added connections would carry at the others' rate: on a
    // line that one or a few fill, they carry little of it.
    const int before = count - rampAdded_;
    const double theirs = rampPreviousRate_ / before * rampAdded_;
    if (rate - rampPreviousRate_ < theirs * options_.rampGain) {
      // Not worth their memory: they end after their requests and the
      // others take over their ranges.
      wantedWorkers_ = before;
      ramping_ = false;
      return;
    }
  }
  if (rate >= options_.enoughPerConnection * count) {
    ramping_ = false;
    return;
  }
  // Double, where each new one finds a request's worth to split off.
  const int64_t left = map_->TotalSize() - map_->WrittenBytes();
  const int64_t room = left / std::max<int64_t>(1, firstRequest_) - count;
  const int add =
      static_cast<int>(std::min<int64_t>({count, options_.maxConnections - count, room}));
  if (add <= 0) {
    ramping_ = false;
    return;
  }
  for (int i = 0; i < add; ++i) AddWorker(workers);
  rampAdded_ = add;
  rampPreviousRate_ = rate;
  rampMeasuring_ = false;
}

void DownloadTask::RangeWorker(int id) {
  ReleaseUnusedStack();
  int attempts = 0;
  bool counted = true;  // still among the live workers
  bool served = false;  // this connection has had a byte from the server
  HttpClient* client = client_.get();
  int64_t requestSize = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requestSize = firstRequest_;
  }
  for (;;) {
    // A broken connection continues its own range where it stopped.
    std::unique_ptr<HttpStream> stream;
    ByteRange range;
    int64_t requestEnd = 0;
    std::wstring target;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (Stopping() || rangesLost_) break;
      if (liveWorkers_ > wantedWorkers_) {
        --liveWorkers_;  // at once, so only one of several leaves
        counted = false;
        break;
      }
      if (!map_->ActiveRange(id, &range) && !map_->Claim(id, &range)) break;
      if (firstStream_ && range.begin == 0 && firstStreamEnd_ > 0) {
        // The probe's answer is this range's first request.
        stream = std::move(firstStream_);
        requestEnd = std::min(range.end, firstStreamEnd_);
      } else {
        // Never more than a connection's share of what is left, so ones
        // added later and the last ones at the end still find room to
        // split off.
        const int64_t share =
            (map_->TotalSize() - map_->WrittenBytes()) / std::max(1, options_.maxConnections);
        requestEnd = std::min(range.end, range.begin + std::max(options_.smallestFirstRequest,
                                                                std::min(requestSize, share)));
      }
      map_->Request(id, requestEnd);
      target = target_;
    }
    const auto requested = Clock::now();
    HttpHead head;
    Clock::duration roundTrip{};
    if (stream) {
      head.status = 206;
      head.rangeFirst = 0;
      std::lock_guard<std::mutex> lock(mutex_);
      roundTrip = roundTrip_;
    } else {
      stream = client->Get(target, range.begin, requestEnd - 1, &head);
      std::lock_guard<std::mutex> lock(mutex_);
      roundTrip_ = std::min(roundTrip_, Clock::now() - requested);
      roundTrip = roundTrip_;
    }
    if (stream && head.status == 206 && head.rangeFirst == range.begin) {
      if (target == url_ && !head.finalUrl.empty()) {
        std::lock_guard<std::mutex> lock(mutex_);
        target_ = head.finalUrl;  // redirected anew: the next requests go there
      }
      int64_t position = range.begin, end = requestEnd;
      while (position < end) {
        const char* data = nullptr;
        const int64_t got = stream->Next(&data);
        if (got <= 0) break;
        served = true;
        received_ += got;
        if (limiter_) limiter_->Acquire(got);
        // Never past the request: a split may give what follows to another.
        const size_t n = static_cast<size_t>(std::min(got, end - position));
        WriteResult written = storage_->WriteAt(position, data, n);
        if (written != WriteResult::kOk) {
          Fail(written == WriteResult::kDiskFull ? kFailDiskFull : kFailFile);
          break;
        }
        position += static_cast<int64_t>(n);
        std::lock_guard<std::mutex> lock(mutex_);
        if (rampAwaiting_ == id) {
          // The newest connection is set up; it is measured once its
          // first round trips of sending have passed.
          rampAwaiting_ = -1;
          rampMeasuring_ = false;
          rampSince_ = Clock::now() + roundTrip_ * options_.settleRoundTrips;
        }
        end = std::min(requestEnd, map_->Advance(id, position));
        if (map_->Complete()) wake_.notify_all();
        consecutiveFailures_ = 0;
        attempts = 0;
        if (Stopping()) break;
      }
      if (position >= end) {
        // Request done; the range goes on with one sized to this one's rate.
        requestSize =
            NextRequestSize(position - range.begin, Clock::now() - requested, roundTrip, options_);
        continue;
      }
    } else if (stream && head.status == 200) {
      // The server answers ranges with the whole file now.
      std::lock_guard<std::mutex> lock(mutex_);
      rangesLost_ = true;
      wake_.notify_all();
      break;
    } else if (head.untrusted) {
      Fail(kFailCertificate);
    } else if (target != url_) {
      // The address redirected to stopped answering: back to the first one,
      // which redirects anew.
      std::lock_guard<std::mutex> lock(mutex_);
      if (target_ == target) target_ = url_;
      continue;
    } else if (IsPermanentStatus(head.status)) {
      Fail(head.status);
    } else if (!served || head.status == 503 || head.status == 429) {
      // Refused while others work (a new connection that gets no answer, or
      // any told to come back later): the server wants no more of them.
      // This one leaves and no more are added.
      std::lock_guard<std::mutex> lock(mutex_);
      if (liveWorkers_ > 1) {
        ramping_ = false;
        wantedWorkers_ = std::min(wantedWorkers_, liveWorkers_ - 1);
        --liveWorkers_;
        counted = false;
        break;
      }
    }
    stream.reset();
    if (!BackOff(&attempts)) break;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  map_->Release(id);
  if (counted) --liveWorkers_;
  if (rampAwaiting_ == id) {
    // Gone before its first bytes: nothing to measure it by.
    rampAwaiting_ = -1;
    ramping_ = false;
  }
}

void DownloadTask::SingleWorker(std::unique_ptr<HttpStream> stream) {
  ReleaseUnusedStack();
  int attempts = 0;
  HttpClient* client = client_.get();
  for (;;) {
    if (!stream) {
      HttpHead head;
      stream = client->Get(url_, 0, -1, &head);
      if (!stream || (head.status != 200 && !(head.status == 206 && head.rangeFirst == 0))) {
        stream.reset();
        if (IsPermanentStatus(head.status)) {
          Fail(head.status);
          return;
        }
        if (!BackOff(&attempts)) return;
        continue;
      }
    }
    // Without ranges every attempt starts at the beginning.
    int64_t position = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      singlePosition_ = 0;
    }
    for (;;) {
      const char* data = nullptr;
      const int64_t n = stream->Next(&data);
      if (n < 0) break;
      if (n == 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (total_ < 0 || position == total_) {
          singleDone_ = true;
          wake_.notify_all();
          return;
        }
        break;  // the body ended early
      }
      received_ += n;
      if (limiter_) limiter_->Acquire(n);
      WriteResult written = storage_->WriteAt(position, data, static_cast<size_t>(n));
      if (written != WriteResult::kOk) {
        Fail(written == WriteResult::kDiskFull ? kFailDiskFull : kFailFile);
        return;
      }
      position += n;
      std::lock_guard<std::mutex> lock(mutex_);
      singlePosition_ = position;
      consecutiveFailures_ = 0;
      attempts = 0;
      if (Stopping()) return;
    }
    stream.reset();
    if (!BackOff(&attempts)) return;
  }
}

}  // namespace engine
}  // namespace kavi
