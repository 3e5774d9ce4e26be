#include "engine/wininet_client_win32.h"

#include <windows.h>
#include <wininet.h>

#include <set>
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

// One client per run of a task. Abort closes every handle it gave out, which
// makes WinINet calls blocked in other threads return.
class WinInetClient : public HttpClient {
 public:
  explicit WinInetClient(const std::wstring& agent) {
    session_ = InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (session_) {
      DWORD connect = kConnectTimeoutMs, receive = kReceiveTimeoutMs;
      InternetSetOptionW(session_, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(connect));
      InternetSetOptionW(session_, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof(receive));
      InternetSetOptionW(session_, INTERNET_OPTION_SEND_TIMEOUT, &receive, sizeof(receive));
    }
  }
  ~WinInetClient() override { Abort(); }

  std::unique_ptr<HttpStream> Get(const std::wstring& url, int64_t first, int64_t last,
                                  HttpHead* head) override;
  void Abort() override {
    std::lock_guard<std::mutex> lock(mutex_);
    aborted_ = true;
    for (HINTERNET h : live_) InternetCloseHandle(h);
    live_.clear();
    if (session_) InternetCloseHandle(session_);
    session_ = nullptr;
  }

  // Closes a request unless Abort already did.
  void Close(HINTERNET request) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (live_.erase(request)) InternetCloseHandle(request);
  }

 private:
  std::mutex mutex_;
  HINTERNET session_ = nullptr;
  std::set<HINTERNET> live_;
  bool aborted_ = false;
};

class WinInetStream : public HttpStream {
 public:
  WinInetStream(WinInetClient* client, HINTERNET request) : client_(client), request_(request) {}
  ~WinInetStream() override { client_->Close(request_); }
  int64_t Read(void* buffer, size_t size) override {
    DWORD read = 0;
    if (!InternetReadFile(request_, buffer, static_cast<DWORD>(size), &read)) return -1;
    return read;
  }

 private:
  WinInetClient* client_;
  HINTERNET request_;
};

std::unique_ptr<HttpStream> WinInetClient::Get(const std::wstring& url, int64_t first, int64_t last,
                                               HttpHead* head) {
  HINTERNET session;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (aborted_ || !session_) return nullptr;
    session = session_;
  }
  std::wstring headers = last >= 0
                             ? Format(L"Range: bytes=%lld-%lld\r\n", static_cast<long long>(first),
                                      static_cast<long long>(last))
                             : Format(L"Range: bytes=%lld-\r\n", static_cast<long long>(first));
  const DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD |
                      INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_KEEP_CONNECTION |
                      INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
  HINTERNET request = InternetOpenUrlW(session, url.c_str(), headers.c_str(),
                                       static_cast<DWORD>(headers.size()), flags, 0);
  if (!request) return nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (aborted_) {
      InternetCloseHandle(request);
      return nullptr;
    }
    live_.insert(request);
  }

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

  if (head->status != 200 && head->status != 206) {
    Close(request);
    return nullptr;
  }
  return std::make_unique<WinInetStream>(this, request);
}

}  // namespace

std::unique_ptr<HttpClient> WinInetClients::Create() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::make_unique<WinInetClient>(userAgent_);
}

void WinInetClients::SetUserAgent(const std::wstring& agent) {
  std::lock_guard<std::mutex> lock(mutex_);
  userAgent_ = agent;
}

}  // namespace engine
}  // namespace kavi
