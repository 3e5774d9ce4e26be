#include "online/http_fetch.h"

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <new>

#include "host/text.h"
#include "host/win32_util.h"

namespace kavi {
namespace {

constexpr DWORD kReadChunk = 1024;

class InternetHandle {
 public:
  explicit InternetHandle(HINTERNET h) : handle_(h) {}
  ~InternetHandle() {
    if (handle_) InternetCloseHandle(handle_);
  }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  HINTERNET Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HINTERNET handle_;
};

HINTERNET OpenSession() {
  return InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
}

HINTERNET OpenUrl(HINTERNET session, const std::wstring& url) {
  return InternetOpenUrlW(session, url.c_str(), nullptr, 0, INTERNET_FLAG_NO_CACHE_WRITE, 0);
}

DWORD StatusCode(HINTERNET request) {
  DWORD status = 0;
  DWORD length = sizeof(status);
  if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length,
                      nullptr)) {
    return 0;
  }
  return status;
}

// The announced body length; false when the answer has none (chunked or
// closed by the server).
bool ContentLength(HINTERNET request, unsigned long long* length) {
  wchar_t text[32] = {};
  DWORD size = sizeof(text);
  if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return false;
  wchar_t* end = nullptr;
  *length = wcstoull(text, &end, 10);
  return end != text;
}

// Reads the whole body in small pieces, handing each to `sink`. False when a
// read fails, the sink refuses, or the body is shorter than announced.
template <typename Sink>
bool ReadBody(HINTERNET request, char* buffer, Sink sink) {
  unsigned long long total = 0;
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(request, buffer, kReadChunk, &read)) return false;
    if (read == 0) break;
    if (!sink(buffer, read)) return false;
    total += read;
  }
  unsigned long long announced = 0;
  return !ContentLength(request, &announced) || total == announced;
}

}  // namespace

std::wstring HttpTextClient::GetText(const std::wstring& url) {
  return HttpGetText(*this, url);
}

std::wstring HttpGetText(HttpTextClient& client, const std::wstring& url) {
  InternetHandle session(OpenSession());
  if (!session) return std::wstring();
  InternetHandle request(OpenUrl(session.Get(), url));
  if (!request) return std::wstring();
  if (StatusCode(request.Get()) != HTTP_STATUS_OK) return std::wstring();
  // An announced oversized body is refused before any of it is read; one
  // without a length is cut off while reading.
  unsigned long long announced = 0;
  if (ContentLength(request.Get(), &announced) && announced > kMaxTextBodyBytes) {
    return std::wstring();
  }

  char buffer[kReadChunk];
  std::string body;
  const bool whole = ReadBody(request.Get(), buffer, [&body](const char* chunk, DWORD size) {
    if (body.size() + size > kMaxTextBodyBytes) return false;
    body.append(chunk, size);
    return true;
  });
  if (!whole) return std::wstring();

  // Up to the first NUL, as the body is a C string to the code page.
  client.text_ = FromAnsi(std::string(body.c_str()));
  client.body_ = std::move(body);
  return client.text_;
}

int HttpGetToFile(const std::wstring& url, const std::wstring& path) {
  InternetHandle session(OpenSession());
  if (!session) return kHttpNoSession;
  InternetHandle request(OpenUrl(session.Get(), url));
  if (!request) return kHttpUrlNotOpened;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kReadChunk]);
  if (!buffer) return kHttpNoBuffer;
  // Checked before the file is created, so an error page never replaces it.
  if (StatusCode(request.Get()) != HTTP_STATUS_OK) return kHttpErrorStatus;

  bool whole = false;
  {
    UniqueHandle file(CreateFileW(path.c_str(), FILE_ALL_ACCESS, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return kHttpFileNotCreated;
    whole = ReadBody(request.Get(), buffer.get(), [&file](const char* chunk, DWORD size) {
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

}  // namespace kavi
