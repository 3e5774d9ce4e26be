// wimlib-imagex 1.13 output as it prints it, and the status text made of it.
#include "restore/agent/wim_text.h"

#include <gtest/gtest.h>

namespace kavi {
namespace restore {
namespace {

TEST(WimText, HeaderKinds) {
  EXPECT_EQ(ImageKind::kWim, ClassifyImageHeader(std::string("MSWIM\0\0\0\xD0\0", 10)));
  EXPECT_EQ(ImageKind::kGhost, ClassifyImageHeader("\xFE\xEF\x01\x02"));
  EXPECT_EQ(ImageKind::kUnknown, ClassifyImageHeader(std::string("MSWIM\0\0", 7)));
  EXPECT_EQ(ImageKind::kUnknown, ClassifyImageHeader("MSWIM   "));
}

TEST(WimText, InfoOfTwoImages) {
  const std::string info =
      "WIM Information:\n----------------\nPath:           out.wim\nImage Count:    2\n"
      "Compression:    LZX\nSize:           30000537 bytes\n\nAvailable Images:\n"
      "-----------------\nIndex:                  1\nName:                   x\n"
      "Directory Count:        1\nFile Count:             2\nTotal Bytes:            30000003\n"
      "Hard Link Bytes:        0\n\nIndex:                  2\nName:                   y\n"
      "Total Bytes:            5368709120\n";
  std::optional<WimInfo> parsed = ParseWimInfo(info);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(2, parsed->imageCount);
  EXPECT_EQ((std::vector<uint64_t>{30000003, 5368709120ull}), parsed->totalBytes);
  // The count and the images must agree.
  EXPECT_FALSE(ParseWimInfo(info.substr(0, info.find("Index:                  2"))));
  EXPECT_FALSE(ParseWimInfo("ERROR: \"x\" is not a WIM file\n"));
}

TEST(WimText, ProgressLinesOfEachPhase) {
  std::optional<WimProgress> p =
      ParseWimProgress("Extracting file data: 12 MiB of 28 MiB (43%) done");
  ASSERT_TRUE(p);
  EXPECT_EQ(12u << 20, p->done);
  EXPECT_EQ(28u << 20, p->total);
  EXPECT_EQ(43, p->percent);
  p = ParseWimProgress("Verifying file data: 3 GiB of 4 GiB (87%) done");
  ASSERT_TRUE(p);
  EXPECT_EQ(4ull << 30, p->total);
  EXPECT_TRUE(ParseWimProgress("Archiving file data: 0 bytes of 900 bytes (0%) done"));
  EXPECT_FALSE(ParseWimProgress("28 MiB scanned (2 files, 1 directories)    "));
  EXPECT_FALSE(ParseWimProgress("Extracting file data: 12 MiB of 28 PiB (43%) done"));
  EXPECT_FALSE(ParseWimProgress("Extracting file data: 12 MiB of 28 MiB (143%) done"));
}

TEST(WimText, StatusText) {
  EXPECT_EQ("  0%", ProgressText(0, 1000000000, 5));
  EXPECT_EQ(" 25%   50.0 MB/s   0:15 left", ProgressText(25, 1000000000, 5));
  EXPECT_EQ("100%   40.0 MB/s", ProgressText(100, 1000000000, 25));
  EXPECT_EQ(" 10%   0.1 MB/s   135:00 left", ProgressText(10, 1000000000, 900));
  EXPECT_EQ("61.2 MiB", SizeText(64172851));
  EXPECT_EQ("12.0 GiB", SizeText(12ull << 30));
}

}  // namespace
}  // namespace restore
}  // namespace kavi
