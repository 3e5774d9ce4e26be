#include "online/http_fetch.h"

#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <memory>
#include <new>
#include <type_traits>

#include "host/stall_watch.h"
#include "host/text.h"
#include "host/win32_util.h"

namespace kavi {
namespace {

constexpr DWORD kReadChunk = 1024;
// A service host that accepts and then stays silent fails the fetch after
// this long instead of holding the caller's thread for good.
// Where WinINet ignores its receive timeout, the watcher gives up after
// the same time without a byte.
constexpr DWORD kConnectTimeoutMs = 15000;
constexpr DWORD kReceiveTimeoutMs = 30000;
constexpr std::chrono::milliseconds kStallLimit(kReceiveTimeoutMs);

// WinINet is loaded by the first fetch, on the thread that fetches: as an
// import it was loaded, with what it brings along, before the first window.
struct WinInetFunctions {
  decltype(&::InternetOpenW) open;
  decltype(&::InternetOpenUrlW) openUrl;
  decltype(&::InternetSetOptionW) setOption;
  decltype(&::HttpQueryInfoW) queryInfo;
  decltype(&::InternetReadFile) read;
  decltype(&::InternetCloseHandle) close;
};

// Null when wininet.dll or one of its functions is missing.
const WinInetFunctions* WinInet() {
  static const WinInetFunctions* const loaded = []() -> const WinInetFunctions* {
    HMODULE module = LoadLibraryW(L"wininet.dll");
    if (!module) return nullptr;
    auto find = [module](auto* slot, const char* name) {
      *slot = reinterpret_cast<std::remove_pointer_t<decltype(slot)>>(
          reinterpret_cast<void*>(GetProcAddress(module, name)));
      return *slot != nullptr;
    };
    static WinInetFunctions f;
    const bool all = find(&f.open, "InternetOpenW") && find(&f.openUrl, "InternetOpenUrlW") &&
                     find(&f.setOption, "InternetSetOptionW") &&
                     find(&f.queryInfo, "HttpQueryInfoW") && find(&f.read, "InternetReadFile") &&
                     find(&f.close, "InternetCloseHandle");
    return all ? &f : nullptr;
  }();
  return loaded;
}

class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET h) : handle_(h) {}
  ~InternetHandle() {
    if (handle_) WinInet()->close(handle_);  // a handle means WinINet is there
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  HINTERNET Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HINTERNET handle_;
};

HINTERNET OpenSession() {
  const WinInetFunctions* net = WinInet();
  if (!net) return nullptr;
  HINTERNET session = net->open(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (session) {
    DWORD connect = kConnectTimeoutMs, receive = kReceiveTimeoutMs;
    net->setOption(session, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(connect));
    net->setOption(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof(receive));
    net->setOption(session, INTERNET_OPTION_SEND_TIMEOUT, &receive, sizeof(receive));
  }
  return session;
}

HINTERNET OpenUrl(HINTERNET session, const std::wstring& url) {
  return WinInet()->openUrl(session, url.c_str(), nullptr, 0, INTERNET_FLAG_NO_CACHE_WRITE, 0);
}

DWORD StatusCode(HINTERNET request) {
  DWORD status = 0;
  DWORD length = sizeof(status);
  if (!WinInet()->queryInfo(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                            &length, nullptr)) {
    return 0;
  }
  return status;
}

// The announced body length; false when the answer has none (chunked or
// closed by the server).
bool ContentLength(HINTERNET request, unsigned long long* length) {
  wchar_t text[32] = {};
  DWORD size = sizeof(text);
  if (!WinInet()->queryInfo(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return false;
  wchar_t* end = nullptr;
  *length = wcstoull(text, &end, 10);
  return end != text;
}

// Reads the whole body in small pieces, handing each to `sink`. False when a
// read fails, the sink refuses, the body is shorter than announced, or the
// watcher has given up on the transfer.
template <typename Sink>
bool ReadBody(HINTERNET request, char* buffer, TransferPulse& pulse, Sink sink) {
  unsigned long long total = 0;
  for (;;) {
    DWORD read = 0;
    if (!WinInet()->read(request, buffer, kReadChunk, &read)) return false;
    if (pulse.Abandoned()) return false;
    pulse.Alive();
    if (read == 0) break;
    if (!sink(buffer, read)) return false;
    total += read;
  }
  unsigned long long announced = 0;
  return !ContentLength(request, &announced) || total == announced;
}

// Runs on the watched thread: owns its handles, writes only into `body`.
bool FetchText(const std::wstring& url, std::string* body, TransferPulse& pulse) {
  InternetHandle session(OpenSession());
  if (!session) return false;
  InternetHandle request(OpenUrl(session.Get(), url));
  if (!request || pulse.Abandoned()) return false;
  pulse.Alive();
  if (StatusCode(request.Get()) != HTTP_STATUS_OK) return false;
  // An announced oversized body is refused before any of it is read; one
  // without a length is cut off while reading.
  unsigned long long announced = 0;
  if (ContentLength(request.Get(), &announced) && announced > kMaxTextBodyBytes) return false;

  char buffer[kReadChunk];
  return ReadBody(request.Get(), buffer, pulse, [body](const char* chunk, DWORD size) {
    if (body->size() + size > kMaxTextBodyBytes) return false;
    body->append(chunk, size);
    return true;
  });
}

// Runs on the watched thread. A transfer given up by the watcher ends here
// when its read wakes, and removes its partial file itself.
int FetchToFile(const std::wstring& url, const std::wstring& path, unsigned long long maxBytes,
                TransferPulse& pulse) {
  InternetHandle session(OpenSession());
  if (!session) return kHttpNoSession;
  InternetHandle request(OpenUrl(session.Get(), url));
  if (!request) return kHttpUrlNotOpened;
  if (pulse.Abandoned()) return kHttpTransferFailed;
  pulse.Alive();
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kReadChunk]);
  if (!buffer) return kHttpNoBuffer;
  // Checked before the file is created, so an error page never replaces it.
  if (StatusCode(request.Get()) != HTTP_STATUS_OK) return kHttpErrorStatus;

  unsigned long long announced = 0;
  if (ContentLength(request.Get(), &announced) && announced > maxBytes) return kHttpTransferFailed;

  bool whole = false;
  unsigned long long saved = 0;
  {
    UniqueHandle file(CreateFileW(path.c_str(), FILE_ALL_ACCESS, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return kHttpFileNotCreated;
    whole = ReadBody(request.Get(), buffer.get(), pulse, [&](const char* chunk, DWORD size) {
      saved += size;
      if (saved > maxBytes) return false;
      DWORD written = 0;
      return WriteFile(file.Get(), chunk, size, &written, nullptr) && written == size;
    });
  }
  if (!whole) {
    DeleteFileW(path.c_str());
    return kHttpTransferFailed;
  }
  return kHttpFileSaved;
}

// The whole body of a 200 answer; false on any failure.
bool FetchWatched(const std::wstring& url, std::string* body) {
  auto shared = std::make_shared<std::string>();
  bool whole = false;
  const bool finished = RunWatched(
      [url, shared](TransferPulse& pulse) { return FetchText(url, shared.get(), pulse); },
      kStallLimit, &whole);
  if (!finished || !whole) return false;
  *body = std::move(*shared);
  return true;
}

}  // namespace

bool HttpTextClient::Fetch(const std::wstring& url) {
  std::string body;
  if (!FetchWatched(url, &body)) return false;
  // Up to the first NUL, as the body is a C string to the code page.
  text_ = FromAnsi(std::string(body.c_str()));
  body_ = std::move(body);
  return true;
}

std::string HttpTextClient::GetBytes(const std::wstring& url) {
  return Fetch(url) ? std::string(body_.c_str()) : std::string();
}

std::wstring HttpGetText(HttpTextClient& client, const std::wstring& url) {
  return client.Fetch(url) ? client.text_ : std::wstring();
}

int HttpGetToFile(const std::wstring& url, const std::wstring& path, unsigned long long maxBytes) {
  auto code = std::make_shared<int>(kHttpTransferFailed);
  bool unused = false;
  const bool finished = RunWatched(
      [url, path, maxBytes, code](TransferPulse& pulse) {
        *code = FetchToFile(url, path, maxBytes, pulse);
        return true;
      },
      kStallLimit, &unused);
  return finished ? *code : kHttpTransferFailed;
}

}  // namespace kavi
