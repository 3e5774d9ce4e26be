#include "online/statistics.h"

#include "host/text.h"
#include "online/service_host.h"

namespace kavi {

StatsContext MakeStatsContext(const std::wstring& serviceUrl, int32_t windowsEdition,
                              wchar_t systemDrive) {
  StatsContext stats;
  stats.scriptUrl = serviceUrl + kStatisticsPath;
  stats.windowsEdition = windowsEdition;
  stats.systemDrive = systemDrive;
  return stats;
}

std::wstring FormatVolumeSerial(uint32_t serial) {
  return Format(L"%08X", static_cast<unsigned>(serial));
}

std::wstring FormatMacText(const uint8_t* address, size_t length) {
  std::wstring text;
  for (size_t i = 0; i < length; ++i) {
    if (i > 0) text += L'-';
    text += Format(L"%02X", static_cast<unsigned>(address[i]));
  }
  return text;
}

std::wstring PercentEncode(const std::string& bytes) {
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring out;
  for (unsigned char c : bytes) {
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                            (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      out += static_cast<wchar_t>(c);
    } else {
      out += L'%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::wstring StartReportUrl(const StatsContext& stats, uint32_t volumeSerial,
                            const std::wstring& macText) {
  return Format(L"%ls?t=%d&a=%08X&b=%d&c=%ls", stats.scriptUrl.c_str(), 1,
                static_cast<unsigned>(volumeSerial), static_cast<int>(stats.windowsEdition),
                macText.c_str());
}

std::wstring DownloadStartReportUrl(const StatsContext& stats, int position) {
  return Format(L"%ls?t=%d&a=%ls&b=%d", stats.scriptUrl.c_str(), 2,
                PercentEncode(stats.statsToken).c_str(), position);
}

std::wstring ImageVerifiedReportUrl(const StatsContext& stats) {
  return Format(L"%ls?t=%d&a=%ls", stats.scriptUrl.c_str(), 4,
                PercentEncode(stats.statsToken).c_str());
}

bool ReportStart(StatsContext& stats, TextFetcher& http, uint32_t volumeSerial,
                 const std::wstring& macText) {
  std::string reply = http.GetBytes(StartReportUrl(stats, volumeSerial, macText));
  const bool answered = !reply.empty();
  if (reply.size() > kMaxStatsTokenLength) reply.clear();
  stats.statsToken = std::move(reply);
  return answered;
}

bool ReportDownloadStart(const StatsContext& stats, TextFetcher& http, int position) {
  return !http.GetBytes(DownloadStartReportUrl(stats, position)).empty();
}

bool ReportImageVerified(const StatsContext& stats, TextFetcher& http) {
  return !http.GetBytes(ImageVerifiedReportUrl(stats)).empty();
}

}  // namespace kavi
