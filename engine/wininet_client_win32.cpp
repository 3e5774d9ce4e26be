#include "engine/wininet_client_win32.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <vector>

#include "engine/http_head.h"
#include "engine/thread_stack.h"
#include "host/detached_thread.h"
#include "host/text.h"

namespace kavi {
namespace engine {
namespace {

constexpr DWORD kConnectTimeoutMs = 15000;
constexpr DWORD kReceiveTimeoutMs = 30000;

// Each line reads into one buffer of its own, and the file gets the bytes
// from the buffer WinINet wrote them to; the line reads again when the
// engine has written them. A second buffer would let WinINet fill one while
// the other is written, but the connections of a task already overlap each
// other's reads and writes, and a buffer per line is what a line costs.
// Each InternetReadFile costs the same whatever it carries, so on a fast
// link a read is as large as helps: under Wine 1 MiB reads took a fifth
// less time per GiB than 256 KiB ones, while 2 MiB ones were slower again.
// But a read returns only when its buffer is full, and only the pages reads
// reach are in memory, so its size follows the line's speed: a sixteenth
// of a second's worth. A connection of a few MiB/s, as on a real line, then
// reads a quarter of its buffer at a time and holds no more in memory, and
// progress, a pause and the stall watch see bytes as often on a slow link
// as on a fast one.
constexpr DWORD kBufferBytes = 1024 * 1024;
constexpr DWORD kSmallestRead = 64 * 1024;
constexpr double kReadSeconds = 1.0 / 16;

// The size of the next read after `bytes` took `seconds`.
DWORD NextReadSize(DWORD bytes, double seconds) {
  const double wanted = seconds > 0 ? bytes / seconds * kReadSeconds : kBufferBytes;
  if (wanted >= kBufferBytes) return kBufferBytes;
  const DWORD rounded = static_cast<DWORD>(wanted) / kSmallestRead * kSmallestRead;
  return std::max(kSmallestRead, rounded);
}
// Idle lines kept for the next request of a task; a line over this number
// ends when its request is done. As many as a task has connections, so no
// connection's next request waits for a new thread.
constexpr size_t kIdleLines = 16;
// How long a reader done with a whole answer waits for the line's thread
// to close it, so the line is idle for the connection's next request.
constexpr std::chrono::milliseconds kLineSettle{100};

using Clock = std::chrono::steady_clock;

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

// The address the request was answered from, after WinINet's redirects.
// Wine's WinINet writes "http://" before an https address, so the scheme
// comes from the connection itself.
std::wstring FinalUrl(HINTERNET request) {
  std::vector<wchar_t> buffer(INTERNET_MAX_URL_LENGTH + 1);
  DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (!InternetQueryOptionW(request, INTERNET_OPTION_URL, buffer.data(), &size)) {
    return std::wstring();
  }
  std::wstring url(buffer.data());
  const size_t rest = url.find(L"://");
  DWORD security = 0;
  size = sizeof(security);
  if (rest != std::wstring::npos && url.compare(0, rest, L"http") == 0 &&
      InternetQueryOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &security, &size) &&
      (security & SECURITY_FLAG_SECURE)) {
    url.replace(0, rest, L"https");
  }
  return url;
}

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
  head->finalUrl = FinalUrl(request);
}

// The session handle, shared by the client and every line, so it is
// closed only when the last of them is done with it.
using SharedSession = std::shared_ptr<void>;

void CloseInternetHandle(void* handle) {
  if (handle) InternetCloseHandle(handle);
}

// Set by Abort, seen by every wait of the client's streams.
struct AbortFlag {
  std::atomic<bool> raised{false};
};

// A line: one thread that performs requests one after another, with its
// buffer. Only the thread touches the request handle: it opens it, reads
// it and closes it. A reader that stops waiting (a stall, an abort, the
// end) sets `closed`, and the thread gives the request up at its next step.
// WinINet under Wine, and some old WinINet versions, ignore the receive
// timeout and are not woken by closing the handle from outside; this way a
// silent server holds only a line, never the engine's workers.
struct Line {
  std::mutex mutex;
  std::condition_variable changed;
  bool retired = false;  // idle and no longer wanted: the thread ends
  bool posted = false;   // a request is waiting for the thread
  // The thread has taken the request: silence counts from then on, not
  // from a new thread's start, which a loaded machine may hold for seconds.
  bool taken = false;
  std::wstring url, headers;

  bool headReady = false;
  HttpHead head;
  // Allocated on first use and never cleared: only the pages reads have
  // reached are in memory, so slow lines with small reads stay small.
  std::unique_ptr<char[]> buffer;
  DWORD filled = 0;
  bool ready = false;  // filled, for the reader to take
  bool lent = false;   // the reader is using it
  bool ended = false;
  bool broken = false;
  bool closed = false;  // the reader is done with the request
  bool done = false;    // so is the thread
  // When the thread last heard from the server or began a read it is
  // still waiting on.
  Clock::time_point silentSince = Clock::now();
  // Kept from one request to the next: the same connection to the same
  // server, so the next answer starts with reads the size the last ended.
  DWORD readSize = kSmallestRead;

  bool BufferFree() const { return !ready && !lent; }
};

// The idle lines of one client.
struct LinePool {
  std::mutex mutex;
  bool shut = false;
  std::vector<std::shared_ptr<Line>> idle;
};

// Called with the line's mutex held by the reader and by the thread when
// each is done with a request: the last of them makes the line idle, so
// the next request of the same connection finds it waiting.
void Finish(const std::shared_ptr<Line>& line, LinePool* pool, bool reader) {
  (reader ? line->closed : line->done) = true;
  line->changed.notify_all();
  if (!line->closed || !line->done) return;
  line->posted = line->taken = line->headReady = line->ended = line->broken = line->closed =
      line->done = false;
  line->ready = line->lent = false;
  line->head = HttpHead();
  std::lock_guard<std::mutex> lock(pool->mutex);
  if (pool->shut || pool->idle.size() >= kIdleLines) {
    line->retired = true;
  } else {
    pool->idle.push_back(line);
  }
}

// The certificate errors that come again on every attempt. A failed
// revocation check or a broken handshake may pass on the next one.
bool IsCertificateRefusal(DWORD error) {
  switch (error) {
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
      return true;
    default:
      return false;
  }
}

void PerformRequest(Line* line, HINTERNET session) {
  // Redirects between http and https are followed without a prompt on every
  // Windows version; certificate errors are never ignored.
  const DWORD flags =
      INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE |
      INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES |
      INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
  HINTERNET request = InternetOpenUrlW(session, line->url.c_str(), line->headers.c_str(),
                                       static_cast<DWORD>(line->headers.size()), flags, 0);
  HttpHead head;
  if (request) {
    FillHead(request, &head);
  } else {
    head.untrusted = IsCertificateRefusal(GetLastError());
  }
  const bool body = request && (head.status == 200 || head.status == 206);
  {
    std::lock_guard<std::mutex> lock(line->mutex);
    line->head = head;
    line->headReady = true;
    line->ended = !body;
    line->silentSince = Clock::now();
    line->changed.notify_all();
  }
  DWORD& readSize = line->readSize;  // only this thread uses it
  while (body) {
    {
      std::unique_lock<std::mutex> lock(line->mutex);
      line->changed.wait(lock, [&] { return line->closed || line->BufferFree(); });
      if (line->closed) break;
      // Silence counts from the start of a read, not from the last byte: a
      // full line waiting on a slow reader is not a silent server.
      line->silentSince = Clock::now();
    }
    std::unique_ptr<char[]>& buffer = line->buffer;
    if (!buffer) buffer.reset(new char[kBufferBytes]);
    DWORD read = 0;
    const auto started = Clock::now();
    const BOOL ok = InternetReadFile(request, buffer.get(), readSize, &read);
    readSize = NextReadSize(read, std::chrono::duration<double>(Clock::now() - started).count());
    std::lock_guard<std::mutex> lock(line->mutex);
    if (line->closed) break;
    line->silentSince = Clock::now();
    if (!ok || read == 0) {
      (ok ? line->ended : line->broken) = true;
      line->changed.notify_all();
      break;
    }
    line->filled = read;
    line->ready = true;
    line->changed.notify_all();
  }
  // Closed before the reader is done, so the connection goes back to
  // WinINet's pool at once.
  if (request) InternetCloseHandle(request);
}

// The thread of a line: requests until the line is retired.
void RunLine(std::shared_ptr<Line> line, std::shared_ptr<LinePool> pool, SharedSession session) {
  ReleaseUnusedStack();
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(line->mutex);
      // A request is new until the thread is done with it; the line waits
      // for its reader to close it before it takes another.
      line->changed.wait(lock, [&] { return (line->posted && !line->done) || line->retired; });
      if (line->retired) return;
      line->taken = true;
      line->silentSince = Clock::now();
    }
    PerformRequest(line.get(), static_cast<HINTERNET>(session.get()));
    std::lock_guard<std::mutex> lock(line->mutex);
    Finish(line, pool.get(), false);
  }
}

// Waits on `line` until `ready` holds, the client is aborted, or the line
// has been silent for `stallLimit` since its thread took the request;
// checks the abort flag between slices.
template <typename Ready>
bool WaitFor(Line* line, std::unique_lock<std::mutex>& lock, const AbortFlag& abort,
             std::chrono::milliseconds stallLimit, Ready ready) {
  for (;;) {
    if (ready()) return true;
    if (abort.raised.load()) return false;
    if (line->taken && Clock::now() - line->silentSince >= stallLimit) return false;
    line->changed.wait_for(lock, std::chrono::milliseconds(100));
  }
}

class WinInetStream : public HttpStream {
 public:
  WinInetStream(std::shared_ptr<Line> line, std::shared_ptr<LinePool> pool,
                std::shared_ptr<AbortFlag> abort, std::chrono::milliseconds stallLimit,
                int64_t announced)
      : line_(std::move(line)),
        pool_(std::move(pool)),
        abort_(std::move(abort)),
        stallLimit_(stallLimit),
        left_(announced) {}
  ~WinInetStream() override {
    std::unique_lock<std::mutex> lock(line_->mutex);
    if (finished_) return;
    if (left_ == 0) {
      // Read to its announced end: the thread is about to see the end and
      // close the request. Waiting that moment lets the connection's next
      // request take this line instead of a new thread and buffer.
      line_->lent = false;
      line_->changed.notify_all();
      line_->changed.wait_for(lock, kLineSettle, [&] { return line_->done; });
    }
    Finish(line_, pool_.get(), true);
  }

  int64_t Next(const char** data) override {
    if (finished_) return -1;
    Line* line = line_.get();
    std::unique_lock<std::mutex> lock(line->mutex);
    if (line->lent) {
      line->lent = false;  // the reader is done with it: the line may fill it again
      line->changed.notify_all();
    }
    const bool ready = WaitFor(line, lock, *abort_, stallLimit_,
                               [&] { return line->ready || line->ended || line->broken; });
    if (!ready || (!line->ready && line->broken)) {
      Finish(line_, pool_.get(), true);  // a silent or aborted request is given up
      finished_ = true;
      return -1;
    }
    if (!line->ready) return 0;
    line->ready = false;
    line->lent = true;
    *data = line->buffer.get();
    if (left_ > 0) left_ -= line->filled;
    return static_cast<int64_t>(line->filled);
  }

 private:
  std::shared_ptr<Line> line_;
  std::shared_ptr<LinePool> pool_;
  std::shared_ptr<AbortFlag> abort_;
  std::chrono::milliseconds stallLimit_;
  int64_t left_;           // of the announced body; -1 unknown
  bool finished_ = false;  // the line may serve another request already
};

// One client per run of a task. Abort makes every wait of its streams
// return at once; the lines end on their own.
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
  ~WinInetClient() override {
    Abort();
    std::vector<std::shared_ptr<Line>> idle;
    {
      std::lock_guard<std::mutex> lock(pool_->mutex);
      pool_->shut = true;
      idle.swap(pool_->idle);
    }
    for (auto& line : idle) {
      std::lock_guard<std::mutex> lock(line->mutex);
      line->retired = true;
      line->changed.notify_all();
    }
  }

  std::unique_ptr<HttpStream> Get(const std::wstring& url, int64_t first, int64_t last,
                                  HttpHead* head) override;
  void Abort() override { abort_->raised.store(true); }

 private:
  std::shared_ptr<Line> TakeLine();

  SharedSession session_;
  std::shared_ptr<AbortFlag> abort_ = std::make_shared<AbortFlag>();
  std::shared_ptr<LinePool> pool_ = std::make_shared<LinePool>();
  std::chrono::milliseconds stallLimit_;
};

std::shared_ptr<Line> WinInetClient::TakeLine() {
  {
    std::lock_guard<std::mutex> lock(pool_->mutex);
    if (!pool_->idle.empty()) {
      std::shared_ptr<Line> line = std::move(pool_->idle.back());
      pool_->idle.pop_back();
      return line;
    }
  }
  auto line = std::make_shared<Line>();
  if (!StartDetachedThread(
          [line, pool = pool_, session = session_] { RunLine(line, pool, session); })) {
    return nullptr;  // no thread to be had: like no answer
  }
  return line;
}

std::unique_ptr<HttpStream> WinInetClient::Get(const std::wstring& url, int64_t first, int64_t last,
                                               HttpHead* head) {
  if (abort_->raised.load() || !session_) return nullptr;
  std::shared_ptr<Line> line = TakeLine();
  if (!line) return nullptr;
  std::unique_lock<std::mutex> lock(line->mutex);
  line->url = url;
  line->headers = last >= 0 ? Format(L"Range: bytes=%lld-%lld\r\n", static_cast<long long>(first),
                                     static_cast<long long>(last))
                            : Format(L"Range: bytes=%lld-\r\n", static_cast<long long>(first));
  line->posted = true;
  line->silentSince = Clock::now();
  line->changed.notify_all();
  const bool answered =
      WaitFor(line.get(), lock, *abort_, stallLimit_, [&] { return line->headReady; });
  if (!answered || (line->head.status != 200 && line->head.status != 206)) {
    if (answered) *head = line->head;
    Finish(line, pool_.get(), true);
    return nullptr;
  }
  *head = line->head;
  lock.unlock();
  return std::make_unique<WinInetStream>(std::move(line), pool_, abort_, stallLimit_,
                                         head->contentLength);
}

// Lines may outlive every task, blocked in a read that never returns; the
// code they return to must stay mapped, so the engine stays loaded once it
// has made one.
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
