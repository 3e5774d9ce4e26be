#include "download/progress_text.h"

#include <gtest/gtest.h>

namespace kavi {
namespace {

TEST(ProgressText, SpeedUnitsChangeAtTheirBoundaries) {
  EXPECT_EQ(L"下载速度：0B/s", SpeedText(0));
  EXPECT_EQ(L"下载速度：1023B/s", SpeedText(1023));
  EXPECT_EQ(L"下载速度：1.00KB/s", SpeedText(1024));
  EXPECT_EQ(L"下载速度：1024.00KB/s", SpeedText(1048575));
  EXPECT_EQ(L"下载速度：1.00MB/s", SpeedText(1048576));
  EXPECT_EQ(L"下载速度：12.50MB/s", SpeedText(13107200));
}

TEST(ProgressText, RemainingTimeInHoursWithoutDays) {
  EXPECT_EQ(L"剩余时间：1时2分5秒", RemainingTimeText(3725, 0, 1));
  EXPECT_EQ(L"剩余时间：27时46分40秒", RemainingTimeText(200'000, 100'000, 1));
  EXPECT_EQ(L"剩余时间：大于1天", RemainingTimeText(100, 0, 0));
  EXPECT_EQ(L"剩余时间：0时0分0秒", RemainingTimeText(100, 100, 50));
  EXPECT_EQ(L"剩余时间：0时0分2秒", RemainingTimeText(599, 0, 200)) << "truncated";
}

TEST(ProgressText, PageTexts) {
  ProgressTexts t = MakeProgressTexts(L"D:\\DURozazo\\Download", L"WIN7_64.GHO",
                                      3 * 1048576 + 524288, 1048576, 0.28571f, 2048);
  EXPECT_EQ(L"文件大小：3.50MB", t.fileSize);
  EXPECT_EQ(L"下载速度：2.00KB/s", t.speed);
  EXPECT_EQ(L"D:\\DURozazo\\Download\\WIN7_64.GHO", t.pathTip);
  EXPECT_EQ(L"<f 1>保存路径：<u>D:\\DURozazo\\Download\\WIN7_64.GHO</u></f>", t.pathLink);
  EXPECT_EQ(L"28.57%", t.percent);
  EXPECT_EQ(L"下载状态：下载中", t.status);
  EXPECT_EQ(L"剩余时间：0时21分20秒", t.remaining);
  EXPECT_EQ(L"已下载：1.00MB", t.downloaded);
}

}  // namespace
}  // namespace kavi
