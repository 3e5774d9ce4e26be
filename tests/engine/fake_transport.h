// In-memory substitutes for the engine's seams: a server with faults to
// order and a disk that outlives the task objects using it.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "engine/http_client.h"
#include "engine/task_storage.h"

namespace kavi {
namespace engine {

struct FakeServer {
  std::string body;
  bool ranges = true;
  std::string validator = "\"v1\"";
  int failFirstRequests = 0;  // these answer `failStatus`
  int failStatus = 500;
  int permanentStatus = 0;   // every request answers it
  bool networkDown = false;  // no answer at all
  bool untrusted = false;    // its certificate is refused
  int64_t dropAfter = 0;     // a connection breaks after this many bytes (0: never)
  // Per piece and connection, kept to a schedule from the connection's
  // first piece, as a server's rate limit is: a reader woken late on a busy
  // machine gets the pieces that fell due meanwhile at once.
  std::chrono::microseconds readDelay{0};
  bool sharedLink = false;                 // the delays of all connections queue on one link
  std::chrono::milliseconds headDelay{0};  // each answer's head, as over a long line
  int maxOpen = 0;                         // answers over this many at once get 503 (0: any)
  std::atomic<int> open{0};
  std::atomic<int> refused{0};
  std::atomic<int64_t> largestRequest{0};  // bytes asked for, past the first request
  std::mutex link;
  size_t chunk = 64 * 1024;
  std::atomic<int> requests{0};
  std::atomic<int64_t> sent{0};
};

class FakeStream : public HttpStream {
 public:
  FakeStream(FakeServer* server, std::atomic<bool>* aborted, int64_t first, int64_t end)
      : server_(server), aborted_(aborted), position_(first), end_(end) {
    ++server_->open;
  }
  ~FakeStream() override { --server_->open; }
  int64_t Next(const char** data) override {
    if (server_->readDelay.count() && server_->sharedLink) {
      std::lock_guard<std::mutex> link(server_->link);
      std::this_thread::sleep_for(server_->readDelay);
    } else if (server_->readDelay.count()) {
      const auto now = std::chrono::steady_clock::now();
      if (pieces_++ == 0) due_ = now;
      due_ += server_->readDelay;
      std::this_thread::sleep_until(due_);
    }
    if (*aborted_) return -1;
    if (position_ >= end_) return 0;
    int64_t n = std::min<int64_t>(end_ - position_, static_cast<int64_t>(server_->chunk));
    if (server_->dropAfter > 0) {
      if (served_ >= server_->dropAfter) return -1;
      n = std::min(n, server_->dropAfter - served_);
    }
    *data = server_->body.data() + position_;
    position_ += n;
    served_ += n;
    server_->sent += n;
    return n;
  }

 private:
  FakeServer* server_;
  std::atomic<bool>* aborted_;
  int64_t position_, end_, served_ = 0;
  int64_t pieces_ = 0;
  std::chrono::steady_clock::time_point due_;
};

class FakeClient : public HttpClient {
 public:
  explicit FakeClient(FakeServer* server) : server_(server) {}
  std::unique_ptr<HttpStream> Get(const std::wstring&, int64_t first, int64_t last,
                                  HttpHead* head) override {
    const int n = server_->requests++;
    std::this_thread::sleep_for(server_->headDelay);
    if (aborted_ || server_->networkDown) return nullptr;
    if (server_->untrusted) {
      head->untrusted = true;
      return nullptr;
    }
    if (server_->permanentStatus) {
      head->status = server_->permanentStatus;
      return nullptr;
    }
    if (n < server_->failFirstRequests) {
      head->status = server_->failStatus;
      return nullptr;
    }
    const int64_t size = static_cast<int64_t>(server_->body.size());
    head->validator = server_->validator;
    if (!server_->ranges) {
      head->status = 200;
      head->contentLength = size;
      return std::make_unique<FakeStream>(server_, &aborted_, 0, size);
    }
    if (server_->maxOpen > 0 && server_->open >= server_->maxOpen) {
      ++server_->refused;
      head->status = 503;
      return nullptr;
    }
    const int64_t end = last < 0 ? size : std::min(size, last + 1);
    if (n > 0) {
      int64_t largest = server_->largestRequest;
      while (end - first > largest &&
             !server_->largestRequest.compare_exchange_weak(largest, end - first)) {
      }
    }
    head->status = 206;
    head->rangeFirst = first;
    head->rangeTotal = size;
    head->contentLength = end - first;
    return std::make_unique<FakeStream>(server_, &aborted_, first, end);
  }
  void Abort() override { aborted_ = true; }

 private:
  FakeServer* server_;
  std::atomic<bool> aborted_{false};
};

class FakeClients : public HttpClientFactory {
 public:
  explicit FakeClients(FakeServer* server) : server_(server) {}
  std::unique_ptr<HttpClient> Create() override { return std::make_unique<FakeClient>(server_); }

 private:
  FakeServer* server_;
};

// What a disk holds: the partial file, its state file and finished files.
struct FakeDisk {
  std::mutex mutex;
  std::string data;
  bool dataExists = false;
  std::string state;
  bool stateExists = false;
  std::map<std::wstring, std::string> files;
  int64_t bootTime = 1'765'000'000;
  int64_t capacity = -1;  // bytes the partial file may grow to (-1: unlimited)
  int flushes = 0;

  // A copy as a power cut or a killed process would leave it.
  void CopyFrom(FakeDisk& other) {
    std::lock_guard<std::mutex> lock(other.mutex);
    data = other.data;
    dataExists = other.dataExists;
    state = other.state;
    stateExists = other.stateExists;
    files = other.files;
    bootTime = other.bootTime;
  }
};

class FakeStorage : public TaskStorage {
 public:
  FakeStorage(FakeDisk* disk, std::wstring name) : disk_(disk), name_(std::move(name)) {}
  bool OpenData(bool keep) override {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    if (!keep || !disk_->dataExists) disk_->data.clear();
    disk_->dataExists = true;
    return true;
  }
  WriteResult WriteAt(int64_t offset, const void* data, size_t size) override {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    const size_t end = static_cast<size_t>(offset) + size;
    if (disk_->capacity >= 0 && static_cast<int64_t>(end) > disk_->capacity) {
      return WriteResult::kDiskFull;
    }
    if (disk_->data.size() < end) disk_->data.resize(end);
    std::memcpy(&disk_->data[static_cast<size_t>(offset)], data, size);
    return WriteResult::kOk;
  }
  bool Flush() override {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    ++disk_->flushes;
    return true;
  }
  void CloseData() override {}
  bool LoadState(std::string* bytes) override {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    *bytes = disk_->state;
    return disk_->stateExists;
  }
  bool SaveState(const std::string& bytes) override {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    disk_->state = bytes;
    disk_->stateExists = true;
    return true;
  }
  void DeleteState() override {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    disk_->state.clear();
    disk_->stateExists = false;
  }
  bool Commit(std::wstring* savedName) override {
    std::lock_guard<std::mutex> lock(disk_->mutex);
    std::wstring name = name_;
    for (int n = 1; disk_->files.count(name); ++n) {
      size_t dot = name_.rfind(L'.');
      name = name_.substr(0, dot) + L"(" + std::to_wstring(n) + L")" + name_.substr(dot);
    }
    disk_->files[name] = disk_->data;
    disk_->data.clear();
    disk_->dataExists = false;
    *savedName = name;
    return true;
  }
  int64_t BootTime() override { return disk_->bootTime; }

 private:
  FakeDisk* disk_;
  std::wstring name_;
};

}  // namespace engine
}  // namespace kavi
