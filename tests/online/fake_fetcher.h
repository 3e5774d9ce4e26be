// A TextFetcher with canned answers that records what was asked.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "host/text.h"
#include "online/text_fetcher.h"

namespace kavi {

class FakeFetcher : public TextFetcher {
 public:
  std::map<std::wstring, std::wstring> answers;  // URL -> text, sent in the ANSI code page
  std::map<std::wstring, std::string> bodies;    // URL -> bytes as they are; before answers
  std::vector<std::wstring> requests;            // others get ""

  std::string GetBytes(const std::wstring& url) override {
    requests.push_back(url);
    auto body = bodies.find(url);
    if (body != bodies.end()) return body->second;
    auto it = answers.find(url);
    return it == answers.end() ? std::string() : ToAnsi(it->second);
  }
};

}  // namespace kavi
