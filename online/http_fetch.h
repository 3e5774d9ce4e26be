// Blocking HTTP GET over WinINet with its preconfigured settings (proxy,
// timeouts), without writing the response to WinINet's cache. Windows only.
#pragma once

#include <cstddef>
#include <string>

#include "online/text_fetcher.h"

namespace kavi {

// Text answers larger than this are refused rather than held in memory.
constexpr size_t kMaxTextBodyBytes = 64u * 1024 * 1024;
// File answers larger than this are refused, so an answer that never ends
// cannot fill the disk. Far above any installer the service host offers.
constexpr unsigned long long kMaxFileBodyBytes = 512ull * 1024 * 1024;

// Holds the last response of its text fetches. One process-wide client
// serves the statistics; the catalogue and the version check use their own.
class HttpTextClient : public TextFetcher {
 public:
  std::string GetBytes(const std::wstring& url) override;

  // The raw body of the last successful fetch (NUL-terminated by
  // std::string) and its text.
  const std::string& Body() const { return body_; }
  const std::wstring& Text() const { return text_; }

 private:
  friend std::wstring HttpGetText(HttpTextClient& client, const std::wstring& url);
  // Keeps the body and its text when the fetch succeeds.
  bool Fetch(const std::wstring& url);
  std::string body_;
  std::wstring text_;
};

// The body as text, decoded from the ANSI code page up to its first NUL.
// Empty on any failure: no session, no answer, a status other than 200, a
// body that breaks off or exceeds kMaxTextBodyBytes. A failure leaves the
// client's previous body and text in place.
std::wstring HttpGetText(HttpTextClient& client, const std::wstring& url);

// Results of HttpGetToFile.
enum HttpFileResult : int {
  kHttpFileSaved = 0,
  kHttpNoSession = -1,       // InternetOpenW gave no handle
  kHttpUrlNotOpened = -2,    // no answer for the URL
  kHttpNoBuffer = -3,        // the working buffer could not be allocated
  kHttpFileNotCreated = -4,  // the target file could not be created
  kHttpErrorStatus = -5,     // the server answered with a status other than 200
  kHttpTransferFailed = -6,  // the body broke off or could not be written
};

// Saves the body of a 200 answer to `path` (created or overwritten). On
// -5 the target is not touched; on -6 (also for a body over `maxBytes`) the
// partial file is removed, so a result other than 0 never leaves a file
// that looks complete.
int HttpGetToFile(const std::wstring& url, const std::wstring& path,
                  unsigned long long maxBytes = kMaxFileBodyBytes);

}  // namespace kavi
