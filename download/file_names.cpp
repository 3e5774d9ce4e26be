#include "download/file_names.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

namespace kavi {

bool IsPlainFileName(const std::wstring& name) {
  if (name.empty() || name == L"." || name == L"..") return false;
  for (wchar_t c : name) {
    if (c < 32 || std::wcschr(L"<>:\"/\\|?*", c)) return false;
  }
  if (name.back() == L'.' || name.back() == L' ') return false;
  // Device names are reserved with any extension.
  std::wstring stem = name.substr(0, name.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  for (wchar_t& c : stem) c = static_cast<wchar_t>(std::towupper(c));
  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CLOCK$"};
  for (const wchar_t* device : kDevices) {
    if (stem == device) return false;
  }
  if (stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
      stem[3] >= L'0' && stem[3] <= L'9') {
    return false;
  }
  return true;
}

bool IsHttpUrl(const std::wstring& url) {
  size_t host = 0;
  for (const wchar_t* scheme : {L"http://", L"https://"}) {
    const size_t n = std::wcslen(scheme);
    if (url.size() >= n && std::equal(scheme, scheme + n, url.begin(), [](wchar_t a, wchar_t b) {
          return a == static_cast<wchar_t>(std::towlower(static_cast<wint_t>(b)));
        })) {
      host = n;
      break;
    }
  }
  if (host == 0 || host == url.size() || url[host] == L'/') return false;
  for (wchar_t c : url) {
    if (c <= 32 || c == 127) return false;
  }
  return true;
}

}  // namespace kavi
