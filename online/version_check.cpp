#include "online/version_check.h"

#include <cstdint>
#include <cwctype>

#include "online/service_host.h"

namespace kavi {

std::wstring TrimWhiteSpace(const std::wstring& text) {
  size_t end = text.size();
  while (end > 0 && std::iswspace(static_cast<wint_t>(text[end - 1]))) --end;
  size_t begin = 0;
  while (begin < end && std::iswspace(static_cast<wint_t>(text[begin]))) ++begin;
  return text.substr(begin, end - begin);
}

bool CheckForNewVersion(TextFetcher& http, const std::wstring& serviceUrl, WorkingState& state) {
  state.SetVersionChecked(1);
  state.SetCurrentVersion(kProgramVersion);
  const std::wstring latest = TrimWhiteSpace(http.GetText(serviceUrl + kVersionPath));
  state.SetLatestVersion(latest);
  if (latest.empty() || latest.size() > kMaxVersionLength) return false;
  if (latest == kProgramVersion) return false;
  state.SetInstallerUrl(http.GetText(serviceUrl + kInstallerUrlPath));
  return true;
}

bool IsWindowsExecutable(const std::string& head) {
  if (head.size() < 0x40 || head[0] != 'M' || head[1] != 'Z') return false;
  const auto byte = [&head](size_t i) {
    return static_cast<uint32_t>(static_cast<uint8_t>(head[i]));
  };
  const uint32_t pe = byte(0x3C) | byte(0x3D) << 8 | byte(0x3E) << 16 | byte(0x3F) << 24;
  if (pe < 0x40 || pe > head.size() - 4) return false;
  return head.compare(pe, 4, std::string("PE\0\0", 4)) == 0;
}

}  // namespace kavi
