#include <gtest/gtest.h>

#include <algorithm>

#include "app/environment_panel.h"
#include "app/startup_check.h"
#include "app/tool_tiles.h"

namespace kavi {
namespace {

TEST(StartupStatus, FirstMatchWins) {
  EXPECT_EQ(kStartupGptDisk, DecideStartupStatus(kStartupGptDisk, false, L'C', L'C'));
  EXPECT_EQ(kStartupLoaderNotTrusted,
            DecideStartupStatus(kStartupLoaderNotTrusted, false, L'C', L'C'));
  EXPECT_EQ(kStartupServiceUnreachable, DecideStartupStatus(kStartupReady, false, L'C', L'C'));
  EXPECT_EQ(kStartupSinglePartition, DecideStartupStatus(kStartupReady, true, L'C', L'C'));
  EXPECT_EQ(kStartupReady, DecideStartupStatus(kStartupReady, true, L'D', L'C'));
}

TEST(StartupStatus, RefusalsByStatus) {
  EXPECT_STREQ(L"正在连接中,请稍候...", InstallRefusal(kStartupPending).text);
  EXPECT_STREQ(L"提示", InstallRefusal(kStartupPending).caption);
  EXPECT_EQ(kBoxOk, InstallRefusal(kStartupPending).flags);
  EXPECT_STREQ(L"链接云引擎失败，请检查网络后重试。", InstallRefusal(1).text);
  EXPECT_STREQ(L"只有一个分区，无法进行重装操作。", InstallRefusal(2).text);
  EXPECT_STREQ(L"当前系统为GPT分区模式，无法使用一键重装系统功能。", InstallRefusal(3).text);
  EXPECT_STREQ(L"当前电脑以32位UEFI方式启动，无法使用一键重装系统功能。", InstallRefusal(4).text);
  EXPECT_STREQ(
      L"当前电脑已开启安全启动（Secure "
      L"Boot），且不信任本软件的启动文件，无法使用一键重装系统功能。",
      InstallRefusal(5).text);
  for (int s : {1, 2, 3, 4, 5}) {
    EXPECT_STREQ(L"警告", InstallRefusal(s).caption);
    EXPECT_EQ(kBoxIconWarning, InstallRefusal(s).flags);
  }
}

// Records the sequence and answers from a script.
class ScriptedSteps : public StartupSteps {
 public:
  bool offered = false, yes = false, launched = false, catalogue = true;
  int road = kStartupReady;
  wchar_t work = L'D', system = L'C';
  std::vector<std::string> calls;
  std::wstring question;

  bool NewVersionOffered(std::wstring* latest) override {
    calls.push_back("version");
    *latest = L"7.9.0";
    return offered;
  }
  bool AskYesNo(const std::wstring& text, const wchar_t* caption) override {
    calls.push_back("ask");
    question = text + L"|" + caption;
    return yes;
  }
  bool LaunchUpdate() override {
    calls.push_back("launch");
    return launched;
  }
  void ExitForUpdate() override { calls.push_back("exit"); }
  void ReportStart() override { calls.push_back("report"); }
  int BootRoadStatus() override {
    calls.push_back("road");
    return road;
  }
  bool FetchCatalogue() override {
    calls.push_back("catalogue");
    return catalogue;
  }
  wchar_t ChooseWorkDrive() override {
    calls.push_back("drive");
    return work;
  }
  wchar_t SystemDrive() override { return system; }
};

TEST(StartupThread, NoUpdateThenReportAndChecksInOrder) {
  ScriptedSteps steps;
  EXPECT_EQ(kStartupReady, RunStartupCheck(steps));
  EXPECT_EQ((std::vector<std::string>{"version", "report", "road", "catalogue", "drive"}),
            steps.calls);
}

TEST(StartupThread, AcceptedUpdateEndsTheProcess) {
  ScriptedSteps steps;
  steps.offered = steps.yes = steps.launched = true;
  RunStartupCheck(steps);
  EXPECT_EQ(L"Kavi一键重装系统有新版本 V 7.9.0 立刻下载？|一键重装有新版本", steps.question);
  EXPECT_EQ((std::vector<std::string>{"version", "ask", "launch", "exit"}),
            std::vector<std::string>(steps.calls.begin(), steps.calls.begin() + 4));
}

TEST(StartupThread, DeclinedOrFailedUpdateGoesOn) {
  ScriptedSteps declined;
  declined.offered = true;
  EXPECT_EQ(kStartupReady, RunStartupCheck(declined));
  EXPECT_EQ(0, std::count(declined.calls.begin(), declined.calls.end(), "launch"));
  ScriptedSteps failed;
  failed.offered = failed.yes = true;
  EXPECT_EQ(kStartupReady, RunStartupCheck(failed));
  EXPECT_EQ(0, std::count(failed.calls.begin(), failed.calls.end(), "exit"));
}

TEST(StartupThread, VerdictsStopAtTheFirstThatDecides) {
  ScriptedSteps refused;
  refused.road = kStartupFirmwareNotX64;
  EXPECT_EQ(kStartupFirmwareNotX64, RunStartupCheck(refused));
  EXPECT_EQ(0, std::count(refused.calls.begin(), refused.calls.end(), "catalogue"));
  ScriptedSteps offline;
  offline.catalogue = false;
  EXPECT_EQ(kStartupServiceUnreachable, RunStartupCheck(offline));
  ScriptedSteps single;
  single.work = L'C';
  EXPECT_EQ(kStartupSinglePartition, RunStartupCheck(single));
}

TEST(ListPage, CountdownTexts) {
  EXPECT_EQ(L"选择然后下一步 (15)", CountdownText(15));
  EXPECT_EQ(L"选择然后下一步 (0)", CountdownText(0));
}

TEST(ListPage, PreselectionByMemoryWithShortCatalogues) {
  EXPECT_EQ(0, PreselectedRow(false, 3));
  EXPECT_EQ(1, PreselectedRow(true, 3));
  EXPECT_EQ(1, PreselectedRow(true, 2));
  EXPECT_EQ(-1, PreselectedRow(true, 1)) << "the 64-bit row is missing: nothing preselected";
  EXPECT_EQ(0, PreselectedRow(false, 1));
  EXPECT_EQ(-1, PreselectedRow(false, 0));
}

TEST(ListPage, RowTextsAreCutWithAMarkButNeverInsideACharacter) {
  EXPECT_EQ(L"Windows 7", RowText(L"Windows 7", 9));
  EXPECT_EQ(L"Window...", RowText(L"Windows 7 SP1", 9));
  EXPECT_EQ(std::wstring(97, L'大') + L"...", RowText(std::wstring(4 << 20, L'大'), 100));
  // A character outside the basic plane is two UTF-16 units: both or none.
  const std::wstring clef = L"ab\xD834\xDD1E";
  EXPECT_EQ(L"ab...", RowText(clef + L"cdef", 6));
  EXPECT_EQ(L"ab\xD834\xDD1E...", RowText(clef + L"cdef", 7));
}

TEST(EnvironmentPanel, FactTexts) {
  EnvironmentTexts t = MakeEnvironmentTexts(6, 8589934592ull, L'c', L"D:\\DURozazo\\Download");
  EXPECT_EQ(L"当前系统：Windows 7 64位", t.currentSystem);
  EXPECT_EQ(L"内存大小：8.00 GB", t.memory);
  EXPECT_EQ(L"系统分区：c:", t.systemPartition) << "the letter as stored";
  EXPECT_EQ(L"下载路径：D:\\DURozazo\\Download", t.downloadPath);
  EXPECT_EQ(L"内存大小：4.00 GB", MakeEnvironmentTexts(1, 4294434816ull, L'C', L"").memory);
  EXPECT_EQ(L"内存大小：0.00 GB", MakeEnvironmentTexts(1, 0, L'C', L"").memory);
}

TEST(EnvironmentPanel, ReinstallAge) {
  const int64_t now = 1'765'000'000;
  EXPECT_EQ(L"您的系统在0天前进行重装过哦。", MakeReminderTexts(now, now - 10).backStatus);
  EXPECT_EQ(L"您的系统在29天前进行重装过哦。",
            MakeReminderTexts(now, now - 30 * 86400 + 1).backStatus);
  EXPECT_EQ(L"已经有30天没重装过系统啦。", MakeReminderTexts(now, now - 30 * 86400).backStatus);
  EXPECT_EQ(L"已经很久没有重装过系统了。", MakeReminderTexts(now, 0).backStatus);
  EXPECT_EQ(L"已经很久没有重装过系统了。", MakeReminderTexts(now, now + 100).backStatus);
  ReminderTexts t = MakeReminderTexts(now, 0);
  EXPECT_EQ(L"如果系统卡，慢，或者有一些自己处理不了的问题", t.tips1);
  EXPECT_EQ(L"点击上方开始重装，立即帮您安装一个全新的系统！", t.tips2);
}

TEST(ToolTiles, TwoTilesInOrderWithTheirIconAttributes) {
  std::vector<ToolTile> tiles = ProgramToolTiles();
  ASSERT_EQ(2u, tiles.size());
  EXPECT_EQ(L"资料备份", tiles[0].caption);
  EXPECT_EQ(L"备份或还原个人资料", tiles[0].tooltip);
  EXPECT_EQ(L"清理缓存", tiles[1].caption);
  EXPECT_EQ(L"bkimage=\"file='clean.png' dest='26,16,62,52' source='0,0,0,0'\"",
            TileIconAttributes(tiles[1].icon));
}

}  // namespace
}  // namespace kavi
