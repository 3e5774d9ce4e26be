// The one seam between the portable online logic and HTTP: a GET that gives
// the response body as text. The Windows implementation is HttpTextClient
// (http_fetch.h); tests substitute canned answers.
#pragma once

#include <string>

namespace kavi {

class TextFetcher {
 public:
  virtual ~TextFetcher() = default;
  // The body decoded from the ANSI code page; empty on any failure (no
  // answer, a status other than 200, an over-long body).
  virtual std::wstring GetText(const std::wstring& url) = 0;
};

}  // namespace kavi
