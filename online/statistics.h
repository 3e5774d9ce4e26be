// Anonymous usage statistics: three moments of a run reported to the
// statistics script "/kavi/kavitj.php" by plain GET requests. The start
// report identifies the machine and the Windows edition; the script answers
// with a token that the later reports send back instead.
//
//   t=1 start           "%s?t=%d&a=%08X&b=%d&c=%s"  serial, edition, MAC text
//   t=2 download start  "%s?t=%d&a=%s&b=%d"         token, catalogue position
//   t=4 image verified  "%s?t=%d&a=%s"              token
//
// The token is the script's reply as bytes, kept as they came: it goes back
// percent-encoded byte for byte, whatever code page it is in, so a reply can
// never add request lines or parameters, and a script that decodes its
// query sees the token it sent. A reply longer than kMaxStatsTokenLength
// bytes is not a token (an error page, a broken script) and is not sent
// back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "online/text_fetcher.h"

namespace kavi {

struct StatsContext {
  std::wstring scriptUrl;  // the service host with "/kavi/kavitj.php"
  std::string statsToken;  // the start report's reply; empty until then
  int32_t windowsEdition = 0;
  wchar_t systemDrive = 0;
};

constexpr uint32_t kUnknownVolumeSerial = 0xFFFFFFFF;
constexpr size_t kMaxStatsTokenLength = 256;

StatsContext MakeStatsContext(const std::wstring& serviceUrl, int32_t windowsEdition,
                              wchar_t systemDrive);

// Eight upper-case hexadecimal digits.
std::wstring FormatVolumeSerial(uint32_t serial);

// "00-1A-2B-3C-4D-5E" for six bytes; empty for none.
std::wstring FormatMacText(const uint8_t* address, size_t length);

// Every byte outside the unreserved URL characters (A-Z a-z 0-9 - . _ ~) as
// %XX with upper-case digits.
std::wstring PercentEncode(const std::string& bytes);

std::wstring StartReportUrl(const StatsContext& stats, uint32_t volumeSerial,
                            const std::wstring& macText);
std::wstring DownloadStartReportUrl(const StatsContext& stats, int position);
std::wstring ImageVerifiedReportUrl(const StatsContext& stats);

// The reports over `http`. Each returns true when the reply was non-empty;
// callers may ignore it. The start report keeps its reply as the token
// unless it is too long to be one.
bool ReportStart(StatsContext& stats, TextFetcher& http, uint32_t volumeSerial,
                 const std::wstring& macText);
bool ReportDownloadStart(const StatsContext& stats, TextFetcher& http, int position);
bool ReportImageVerified(const StatsContext& stats, TextFetcher& http);

// Windows side: the process-wide record and its shared client. The context
// copies the edition and system drive from the working state; the reports
// use it and hold the client for one request at a time.
void CreateStatsContext();
StatsContext CurrentStatsContext();
bool ReportStart();
bool ReportDownloadStart(int position);
bool ReportImageVerified();

// The serial of the volume at "X:\"; kUnknownVolumeSerial when unreadable.
uint32_t GetVolumeSerial(wchar_t driveLetter);

// The first network adapter's address as FormatMacText writes it; empty (and
// the line "Get Net Adapter Information." on standard output) when the
// adapters cannot be read.
std::wstring GetMacText();

}  // namespace kavi
