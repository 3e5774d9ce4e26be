// A TextFetcher with canned answers that records what was asked.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "online/text_fetcher.h"

namespace kavi {

class FakeFetcher : public TextFetcher {
 public:
  std::map<std::wstring, std::wstring> answers;  // URL -> text; others get ""
  std::vector<std::wstring> requests;

  std::wstring GetText(const std::wstring& url) override {
    requests.push_back(url);
    auto it = answers.find(url);
    return it == answers.end() ? std::wstring() : it->second;
  }
};

}  // namespace kavi
