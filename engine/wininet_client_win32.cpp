#include "engine/wininet_client_win32.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/http_head.h"
#include "host/text.h"

namespace kavi {
namespace engine {
namespace {

constexpr DWORD kConnectTimeoutMs = 15000;
constexpr DWORD kReceiveTimeoutMs = 30000;

std::string QueryHeader(HINTERNET request, DWORD info) {
  std::vector<wchar_t> buffer(256);
  for (int i = 0; i < 4; ++i) {
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    DWORD index = 0;
    if (HttpQueryInfoW(request, info, buffer.data(), &size, &index)) {
      return ToUtf8(std::wstring(buffer.data(), size / sizeof(wchar_t)));
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size > 65536) return std::string();
    buffer.resize(size / sizeof(wchar_t) + 1);
  }
  return std::string();
}

using Clock = std::chrono::steady_clock;

// The session handle, shared by the client and every transfer thread, so
// it is closed only when the last of them is done with it.
using SharedSession = std::shared_ptr<void>;

void CloseInternetHandle(void* handle) {
  if (handle) InternetCloseHandle(handle);
}

// One request, shared by the thread that performs it and the stream that
// hands out its bytes. Only the thread touches the request handle: it
// opens it, reads it and closes it. A caller that stops waiting (a stall,
// an abort, the stream's end) sets `closed`, and the thread ends at its
// next step. WinINet under Wine, and some old WinINet versions, ignore the
// receive timeout and are not woken by closing the handle from outside;
// this way a silent server can hold only a thread of its own, never the
// engine's workers.
struct Transfer {
  std::mutex mutex;
  std::condition_variable changed;
  bool headReady = false;
  HttpHead head;
  std::deque<std::vector<char>> chunks;  // received, not yet handed out
  std::vector<std::vector<char>> spare;  // handed out, for reuse
  size_t offset = 0;                     // into chunks.front()
  bool ended = false;
  bool broken = false;
  bool closed = false;
  // When the thread last heard from the server or began a read it is
  // still waiting on.
  Clock::time_point silentSince = Clock::now();
};

constexpr size_t kQueuedChunks = 2;
constexpr DWORD kChunkBytes = 256 * 1024;

void FillHead(HINTERNET request, HttpHead* head) {
  DWORD status = 0, size = sizeof(status), index = 0;
  if (HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                     &index)) {
    head->status = static_cast<int>(status);
  } else {
    head->status = 200;  // not HTTP (ftp:// and the like): a plain stream
  }
  int64_t value = 0;
  if (ParseByteCount(QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH), &value)) {
    head->contentLength = value;
  }
  int64_t rangeFirst, rangeLast, rangeTotal;
  if (ParseContentRange(QueryHeader(request, HTTP_QUERY_CONTENT_RANGE), &rangeFirst, &rangeLast,
                        &rangeTotal)) {
    head->rangeFirst = rangeFirst;
    head->rangeTotal = rangeTotal;
  }
  head->validator =
      QueryHeader(request, HTTP_QUERY_ETAG) + "\n" + QueryHeader(request, HTTP_QUERY_LAST_MODIFIED);
}

// The transfer thread: the request, then its body into the queue, at most
// kQueuedChunks ahead of the reader.
void PerformTransfer(std::shared_ptr<Transfer> t, SharedSession session, std::wstring url,
                     std::wstring headers) {
  const DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD |
                      INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_KEEP_CONNECTION |
                      INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
  HINTERNET request = InternetOpenUrlW(session.get(), url.c_str(), headers.c_str(),
                                       static_cast<DWORD>(headers.size()), flags, 0);
  HttpHead head;
  if (request) FillHead(request, &head);
  const bool body = request && (head.status == 200 || head.status == 206);
  {
    std::lock_guard<std::mutex> lock(t->mutex);
    t->head = head;
    t->headReady = true;
    t->silentSince = Clock::now();
    t->changed.notify_all();
  }
  while (body) {
    std::vector<char> chunk;
    {
      std::unique_lock<std::mutex> lock(t->mutex);
      t->changed.wait(lock, [&] { return t->closed || t->chunks.size() < kQueuedChunks; });
      if (t->closed) break;
      if (!t->spare.empty()) {
        chunk = std::move(t->spare.back());
        t->spare.pop_back();
      }
      // Silence counts from the start of a read, not from the last byte: a
      // full queue waiting on a slow reader is not a silent server.
      t->silentSince = Clock::now();
    }
    chunk.resize(kChunkBytes);
    DWORD read = 0;
    const BOOL ok = InternetReadFile(request, chunk.data(), kChunkBytes, &read);
    std::lock_guard<std::mutex> lock(t->mutex);
    if (t->closed) break;
    t->silentSince = Clock::now();
    if (!ok || read == 0) {
      (ok ? t->ended : t->broken) = true;
      t->changed.notify_all();
      break;
    }
    chunk.resize(read);
    t->chunks.push_back(std::move(chunk));
    t->changed.notify_all();
  }
  if (request) InternetCloseHandle(request);
}

// Set by Abort, seen by every wait of the client's transfers.
struct AbortFlag {
  std::atomic<bool> raised{false};
};

// Waits on `t` until `ready` holds, the client is aborted, or the transfer
// has been silent for `stallLimit`; checks the abort flag between slices.
template <typename Ready>
bool WaitFor(Transfer* t, std::unique_lock<std::mutex>& lock, const AbortFlag& abort,
             std::chrono::milliseconds stallLimit, Ready ready) {
  for (;;) {
    if (ready()) return true;
    if (abort.raised.load() || Clock::now() - t->silentSince >= stallLimit) return false;
    t->changed.wait_for(lock, std::chrono::milliseconds(100));
  }
}

class WinInetStream : public HttpStream {
 public:
  WinInetStream(std::shared_ptr<Transfer> t, std::shared_ptr<AbortFlag> abort,
                std::chrono::milliseconds stallLimit)
      : t_(std::move(t)), abort_(std::move(abort)), stallLimit_(stallLimit) {}
  ~WinInetStream() override {
    std::lock_guard<std::mutex> lock(t_->mutex);
    t_->closed = true;
    t_->changed.notify_all();
  }

  int64_t Read(void* buffer, size_t size) override {
    std::unique_lock<std::mutex> lock(t_->mutex);
    const bool ready = WaitFor(t_.get(), lock, *abort_, stallLimit_,
                               [this] { return !t_->chunks.empty() || t_->ended || t_->broken; });
    if (!ready || (t_->chunks.empty() && t_->broken)) {
      t_->closed = true;  // a silent or aborted transfer is given up
      t_->changed.notify_all();
      return -1;
    }
    if (t_->chunks.empty()) return 0;
    std::vector<char>& front = t_->chunks.front();
    const size_t n = std::min(size, front.size() - t_->offset);
    std::memcpy(buffer, front.data() + t_->offset, n);
    t_->offset += n;
    if (t_->offset == front.size()) {
      t_->spare.push_back(std::move(front));
      t_->chunks.pop_front();
      t_->offset = 0;
      t_->changed.notify_all();
    }
    return static_cast<int64_t>(n);
  }

 private:
  std::shared_ptr<Transfer> t_;
  std::shared_ptr<AbortFlag> abort_;
  std::chrono::milliseconds stallLimit_;
};

// One client per run of a task. Abort makes every wait of its transfers
// return at once; the transfer threads end on their own.
class WinInetClient : public HttpClient {
 public:
  WinInetClient(const std::wstring& agent, std::chrono::milliseconds stallLimit)
      : stallLimit_(stallLimit) {
    HINTERNET session =
        InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (session) {
      DWORD connect = kConnectTimeoutMs, receive = kReceiveTimeoutMs;
      InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(connect));
      InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof(receive));
      InternetSetOptionW(session, INTERNET_OPTION_SEND_TIMEOUT, &receive, sizeof(receive));
      session_ = SharedSession(session, &CloseInternetHandle);
    }
  }
  ~WinInetClient() override { Abort(); }

  std::unique_ptr<HttpStream> Get(const std::wstring& url, int64_t first, int64_t last,
                                  HttpHead* head) override;
  void Abort() override { abort_->raised.store(true); }

 private:
  SharedSession session_;
  std::shared_ptr<AbortFlag> abort_ = std::make_shared<AbortFlag>();
  std::chrono::milliseconds stallLimit_;
};

std::unique_ptr<HttpStream> WinInetClient::Get(const std::wstring& url, int64_t first, int64_t last,
                                               HttpHead* head) {
  if (abort_->raised.load() || !session_) return nullptr;
  std::wstring headers = last >= 0
                             ? Format(L"Range: bytes=%lld-%lld\r\n", static_cast<long long>(first),
                                      static_cast<long long>(last))
                             : Format(L"Range: bytes=%lld-\r\n", static_cast<long long>(first));
  auto t = std::make_shared<Transfer>();
  try {
    std::thread(PerformTransfer, t, session_, url, std::move(headers)).detach();
  } catch (const std::system_error&) {
    return nullptr;  // no thread to be had: like no answer
  }

  std::unique_lock<std::mutex> lock(t->mutex);
  const bool answered = WaitFor(t.get(), lock, *abort_, stallLimit_, [&] { return t->headReady; });
  if (!answered || (t->head.status != 200 && t->head.status != 206)) {
    if (answered) *head = t->head;
    t->closed = true;
    t->changed.notify_all();
    return nullptr;
  }
  *head = t->head;
  lock.unlock();
  return std::make_unique<WinInetStream>(std::move(t), abort_, stallLimit_);
}

// Transfer threads may outlive every task, blocked in a read that never
// returns; the code they return to must stay mapped, so the engine stays
// loaded once it has made one.
void PinEngineModule() {
  static std::once_flag pinned;
  std::call_once(pinned, [] {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&PinEngineModule), &self);
  });
}

}  // namespace

std::unique_ptr<HttpClient> WinInetClients::Create() {
  PinEngineModule();
  std::lock_guard<std::mutex> lock(mutex_);
  return std::make_unique<WinInetClient>(userAgent_, stallLimit_);
}

void WinInetClients::SetStallLimit(std::chrono::milliseconds limit) {
  std::lock_guard<std::mutex> lock(mutex_);
  stallLimit_ = limit;
}

void WinInetClients::SetUserAgent(const std::wstring& agent) {
  std::lock_guard<std::mutex> lock(mutex_);
  userAgent_ = agent;
}

}  // namespace engine
}  // namespace kavi
