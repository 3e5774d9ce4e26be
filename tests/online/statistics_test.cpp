#include "online/statistics.h"

#include <gtest/gtest.h>

#include "host/host_facts.h"
#include "tests/online/fake_fetcher.h"

namespace kavi {
namespace {

const wchar_t kScript[] = L"http://h/kavi/kavitj.php";

TEST(MachineIdentity, SerialIsAlwaysEightUpperCaseDigits) {
  EXPECT_EQ(L"0000FFFF", FormatVolumeSerial(0xFFFF));
  EXPECT_EQ(L"00000000", FormatVolumeSerial(0));
  EXPECT_EQ(L"ABCDEF01", FormatVolumeSerial(0xABCDEF01));
  EXPECT_EQ(L"FFFFFFFF", FormatVolumeSerial(kUnknownVolumeSerial));
}

TEST(MachineIdentity, MacTextIsDashSeparatedUpperCaseHex) {
  const uint8_t mac[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  EXPECT_EQ(L"00-1A-2B-3C-4D-5E", FormatMacText(mac, 6));
  EXPECT_EQ(L"4D", FormatMacText(mac + 4, 1));
  EXPECT_EQ(L"", FormatMacText(mac, 0));
}

TEST(PercentEncode, OnlyUnreservedCharactersStayAsTheyAre) {
  EXPECT_EQ(L"AZaz09-._~", PercentEncode("AZaz09-._~"));
  EXPECT_EQ(L"a%20b%26c%3D1%0D%0Ad%25%2B%3F%23%2F", PercentEncode("a b&c=1\r\nd%+?#/"));
  EXPECT_EQ(L"%D6%D0%FF%00", PercentEncode(std::string("\xD6\xD0\xFF\0", 4)));
}

TEST(StatsUrls, FormatsOfTheThreeEvents) {
  StatsContext stats = MakeStatsContext(L"http://h", kEditionWindows7x64, L'C');
  EXPECT_EQ(kScript, stats.scriptUrl);
  EXPECT_EQ(std::wstring(kScript) + L"?t=1&a=0000BEEF&b=6&c=00-1A-2B-3C-4D-5E",
            StartReportUrl(stats, 0xBEEF, L"00-1A-2B-3C-4D-5E"));
  EXPECT_EQ(std::wstring(kScript) + L"?t=1&a=FFFFFFFF&b=6&c=",
            StartReportUrl(stats, kUnknownVolumeSerial, L""));
  stats.statsToken = "T1";
  EXPECT_EQ(std::wstring(kScript) + L"?t=2&a=T1&b=2", DownloadStartReportUrl(stats, 2));
  EXPECT_EQ(std::wstring(kScript) + L"?t=4&a=T1", ImageVerifiedReportUrl(stats));
}

TEST(StatsUrls, TokenCannotInjectLinesOrParameters) {
  StatsContext stats = MakeStatsContext(L"http://h", 1, L'C');
  stats.statsToken = "x&b=9\r\nHost: evil \xD6\xD0";
  EXPECT_EQ(std::wstring(kScript) + L"?t=4&a=x%26b%3D9%0D%0AHost%3A%20evil%20%D6%D0",
            ImageVerifiedReportUrl(stats));
}

TEST(Reports, StartReplyGoesBackByteForByte) {
  // Bytes that are no text in code page 936 (0xFF, a lead byte 0x81 without
  // its trail byte) come back exactly as they were sent.
  FakeFetcher http;
  StatsContext stats = MakeStatsContext(L"http://h", 5, L'C');
  http.bodies[L"http://h/kavi/kavitj.php?t=1&a=12345678&b=5&c=AA"] = "t\x80\xFF\xD6\xD0\x81\r\n";
  EXPECT_TRUE(ReportStart(stats, http, 0x12345678, L"AA"));
  EXPECT_EQ("t\x80\xFF\xD6\xD0\x81\r\n", stats.statsToken);
  EXPECT_FALSE(ReportDownloadStart(stats, http, 0));  // empty reply
  EXPECT_FALSE(ReportImageVerified(stats, http));
  EXPECT_EQ(L"http://h/kavi/kavitj.php?t=2&a=t%80%FF%D6%D0%81%0D%0A&b=0", http.requests[1]);
  EXPECT_EQ(L"http://h/kavi/kavitj.php?t=4&a=t%80%FF%D6%D0%81%0D%0A", http.requests[2]);
}

TEST(Reports, OverlongReplyIsNoToken) {
  FakeFetcher http;
  StatsContext stats = MakeStatsContext(L"http://h", 5, L'C');
  const std::wstring url = std::wstring(kScript) + L"?t=1&a=12345678&b=5&c=AA";
  http.answers[url] = std::wstring(kMaxStatsTokenLength, L'x');
  EXPECT_TRUE(ReportStart(stats, http, 0x12345678, L"AA"));
  EXPECT_EQ(kMaxStatsTokenLength, stats.statsToken.size());
  http.answers[url] = std::wstring(kMaxStatsTokenLength + 1, L'x');
  EXPECT_TRUE(ReportStart(stats, http, 0x12345678, L"AA"));
  EXPECT_EQ("", stats.statsToken);
  EXPECT_EQ(std::wstring(kScript) + L"?t=4&a=", ImageVerifiedReportUrl(stats));
}

}  // namespace
}  // namespace kavi
