#include "online/service_host.h"

#include <mutex>

#ifndef KAVI_SERVICE_URL
#define KAVI_SERVICE_URL "http://127.0.0.1:18080"
#endif
#ifndef KAVI_FEEDBACK_URL
#define KAVI_FEEDBACK_URL KAVI_SERVICE_URL "/kavi/feedback.html"
#endif
#define KAVI_WIDEN_(text) L##text
#define KAVI_WIDEN(text) KAVI_WIDEN_(text)

namespace kavi {
namespace {

std::mutex g_mutex;

std::wstring WithoutTrailingSlash(std::wstring url) {
  while (!url.empty() && url.back() == L'/') url.pop_back();
  return url;
}

std::wstring& Url() {
  static std::wstring url = WithoutTrailingSlash(KAVI_WIDEN(KAVI_SERVICE_URL));
  return url;
}

}  // namespace

std::wstring ServiceUrl() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return Url();
}

std::wstring FeedbackUrl() {
  return KAVI_WIDEN(KAVI_FEEDBACK_URL);
}

void SetServiceUrlForTesting(const std::wstring& url) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Url() = WithoutTrailingSlash(url);
}

}  // namespace kavi
