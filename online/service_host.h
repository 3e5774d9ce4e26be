// Where the service host is. An installation supplies its URL at build time
// (KAVI_SERVICE_URL, e.g. "http://127.0.0.1:18080"); the service paths below
// are appended to it. There is no run-time configuration.
#pragma once

#include <string>

namespace kavi {

constexpr const wchar_t* kCataloguePath = L"/kavi/xitong.txt";
constexpr const wchar_t* kVersionPath = L"/kavi/banben.txt";
constexpr const wchar_t* kInstallerUrlPath = L"/kavi/anzhuangbao.txt";
constexpr const wchar_t* kStatisticsPath = L"/kavi/kavitj.php";

// The service host without a trailing slash.
std::wstring ServiceUrl();

// The feedback page opened in the user's browser.
std::wstring FeedbackUrl();

// Points this process at another service host. Only tests call it, to reach
// the development service host they started on a free port.
void SetServiceUrlForTesting(const std::wstring& url);

}  // namespace kavi
