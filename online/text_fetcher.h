// The one seam between the portable online logic and HTTP: a GET that gives
// the response body. The Windows implementation is HttpTextClient
// (http_fetch.h); tests substitute canned answers.
#pragma once

#include <string>

#include "host/text.h"

namespace kavi {

class TextFetcher {
 public:
  virtual ~TextFetcher() = default;
  // The body's bytes as the server sent them, up to its first NUL (the body
  // is a C string to the program); empty on any failure (no answer, a
  // status other than 200, an over-long body).
  virtual std::string GetBytes(const std::wstring& url) = 0;
  // The same body decoded from the ANSI code page.
  std::wstring GetText(const std::wstring& url) { return FromAnsi(GetBytes(url)); }
};

}  // namespace kavi
