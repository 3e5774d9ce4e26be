// The statistics reports as the development service host logs them.
#include "online/statistics.h"

#include <gtest/gtest.h>

#include <regex>

#include "host/host_facts.h"
#include "host/text.h"
#include "host/working_state.h"
#include "online/http_fetch.h"
#include "tests/online/devhost_fixture.h"

namespace kavi {
namespace {

class StatisticsTest : public DevHostTest {
 protected:
  void SetUp() override {
    DevHostTest::SetUp();
    WorkingFields fields;
    fields.windowsEdition = kEditionWindows7x64;
    fields.systemDrive = L'C';
    Working().Reset(fields);
    CreateStatsContext();
  }
};

TEST_F(StatisticsTest, StartReportCarriesSerialEditionAndMac) {
  EXPECT_TRUE(ReportStart());
  EXPECT_EQ("KVT-0001", CurrentStatsContext().statsToken);  // the host's default token
  // Through the same client with known identity values, to the letter.
  StatsContext stats = CurrentStatsContext();
  HttpTextClient client;
  EXPECT_TRUE(ReportStart(stats, client, 0xBEEF, L"00-1A-2B-3C-4D-5E"));
  auto log = host.StatsLog();
  ASSERT_EQ(2u, log.size());
  EXPECT_TRUE(std::regex_match(
      log[0],
      std::regex(R"(/kavi/kavitj\.php\?t=1&a=[0-9A-F]{8}&b=6&c=([0-9A-F]{2}(-[0-9A-F]{2})*)?)")))
      << log[0];
  EXPECT_EQ("/kavi/kavitj.php?t=1&a=0000BEEF&b=6&c=00-1A-2B-3C-4D-5E", log[1]);
}

TEST_F(StatisticsTest, LaterReportsSendTheTokenBytesPercentEncoded) {
  // A token that would add a request line and a parameter if sent as is,
  // with bytes that are no text in code page 936: 0xFF, and a lead byte 0x81
  // without its trail byte.
  host.SetRules(R"({"/kavi/kavitj.php": {"encoding": "latin-1", )"
                R"("body": "x&b=9\r\n\u00d6\u00d0\u00ff\u0081"}})");
  ASSERT_TRUE(ReportStart());
  EXPECT_EQ("x&b=9\r\n\xD6\xD0\xFF\x81", CurrentStatsContext().statsToken);
  ReportDownloadStart(2);
  ReportImageVerified();
  auto log = host.StatsLog();
  ASSERT_EQ(3u, log.size());
  EXPECT_EQ("/kavi/kavitj.php?t=2&a=x%26b%3D9%0D%0A%D6%D0%FF%81&b=2", log[1]);
  EXPECT_EQ("/kavi/kavitj.php?t=4&a=x%26b%3D9%0D%0A%D6%D0%FF%81", log[2]);
}

TEST_F(StatisticsTest, FailedStartLeavesTheTokenEmptyAndReportsStillGo) {
  host.SetRules(R"({"/kavi/kavitj.php": {"status": 500, "body": "down"}})");
  EXPECT_FALSE(ReportStart());
  EXPECT_EQ("", CurrentStatsContext().statsToken);
  EXPECT_FALSE(ReportDownloadStart(0));
  auto log = host.StatsLog();
  ASSERT_EQ(2u, log.size());
  EXPECT_EQ("/kavi/kavitj.php?t=2&a=&b=0", log[1]);
}

TEST(MachineIdentityWin32, UnreadableVolumeGivesAllOnesAndMacTextHasItsFormat) {
  EXPECT_EQ(kUnknownVolumeSerial, GetVolumeSerial(L'Q'));  // no such drive in the prefix
  std::string mac = ToAnsi(GetMacText());
  EXPECT_TRUE(std::regex_match(mac, std::regex("([0-9A-F]{2}(-[0-9A-F]{2})*)?"))) << mac;
}

}  // namespace
}  // namespace kavi
