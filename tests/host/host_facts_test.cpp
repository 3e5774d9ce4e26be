#include "host/host_facts.h"

#include <gtest/gtest.h>

namespace kavi {
namespace {

constexpr uint8_t kWorkstation = 1;
constexpr uint8_t kServer = 3;
constexpr uint16_t kX86 = 0;
constexpr uint16_t kAmd64 = 9;

struct VersionCase {
  uint32_t major, minor;
  uint8_t productType;
  uint16_t arch;
  bool wow64;
  int32_t expected;
};

TEST(EditionFromVersion, MapsTheWholeTable) {
  const VersionCase cases[] = {
      {5, 0, kWorkstation, kX86, false, 0},    {5, 1, kWorkstation, kX86, false, 1},
      {5, 2, kServer, kAmd64, true, 1},  // XP x64 reports 5.2
      {5, 2, kServer, kX86, false, 2},         {5, 2, kWorkstation, kX86, false, 2},
      {6, 0, kWorkstation, kX86, false, 3},    {6, 0, kServer, kX86, false, 4},
      {6, 1, kServer, kAmd64, true, 4},  // 2008 R2 is not a Windows 7 name
      {6, 1, kWorkstation, kX86, false, 5},    {6, 1, kWorkstation, kAmd64, true, 6},
      {6, 2, kServer, kAmd64, true, 7},        {6, 3, kServer, kAmd64, true, 7},
      {6, 2, kWorkstation, kX86, false, 8},    {6, 2, kWorkstation, kAmd64, true, 9},
      {6, 3, kWorkstation, kX86, false, 10},   {6, 3, kWorkstation, kAmd64, true, 11},
      {6, 4, kServer, kX86, false, 12},  // product type ignored for 6.4
      {6, 4, kWorkstation, kAmd64, true, 13},  {10, 0, kWorkstation, kX86, false, 12},
      {10, 0, kServer, kAmd64, true, 13},  // servers too
      {10, 7, kWorkstation, kAmd64, true, 13}, {6, 5, kWorkstation, kX86, false, 14},
      {11, 0, kWorkstation, kAmd64, true, 14}, {5, 3, kWorkstation, kX86, false, 14},
      {4, 0, kWorkstation, kX86, false, 14},   {0, 0, 0, kX86, false, 14},
  };
  for (const VersionCase& c : cases) {
    EXPECT_EQ(c.expected, EditionFromVersion(c.major, c.minor, c.productType, c.arch, c.wow64))
        << c.major << "." << c.minor << " type " << int(c.productType) << " arch " << c.arch;
  }
}

TEST(EditionFromVersion, Windows7ArchitectureComesFromWow64NotProcessor) {
  // A 32-bit Windows 7 on a 64-bit processor is still the 32-bit edition.
  EXPECT_EQ(kEditionWindows7x86, EditionFromVersion(6, 1, kWorkstation, kAmd64, false));
}

TEST(EditionDisplayName, NamesAndOutOfRange) {
  EXPECT_STREQ(L"Windows 2000", EditionDisplayName(0));
  EXPECT_STREQ(L"Windows 7 64位", EditionDisplayName(6));
  EXPECT_STREQ(L"Windows 10 64位", EditionDisplayName(13));
  EXPECT_STREQ(L"Windows 其他", EditionDisplayName(14));
  EXPECT_STREQ(L"Windows 其他", EditionDisplayName(-1));
  EXPECT_STREQ(L"Windows 其他", EditionDisplayName(15));
}

TEST(EditionDisplayName, BootMenuMechanismByIndex) {
  EXPECT_TRUE(UsesBootIni(0));
  EXPECT_TRUE(UsesBootIni(2));
  EXPECT_FALSE(UsesBootIni(3));
  EXPECT_TRUE(UsesBcdStore(3));
  EXPECT_TRUE(UsesBcdStore(13));
  EXPECT_FALSE(UsesBcdStore(14));
  EXPECT_FALSE(UsesBootIni(14));
}

TEST(LargeMemory, ThresholdIsStrictlyAbove3000MiB) {
  constexpr uint64_t kMiB = 1024 * 1024;
  EXPECT_FALSE(IsLargeMemoryBytes(0));
  EXPECT_FALSE(IsLargeMemoryBytes(3000 * kMiB));
  EXPECT_TRUE(IsLargeMemoryBytes(3000 * kMiB + 1));
  EXPECT_TRUE(IsLargeMemoryBytes(uint64_t{16} << 30));
}

TEST(LargeMemory, RecommendationTextAndPosition) {
  Recommendation small = RecommendationFor(false);
  EXPECT_STREQ(L"推荐下载Windows 7 32位系统", small.text);
  EXPECT_EQ(0, small.position);
  Recommendation large = RecommendationFor(true);
  EXPECT_STREQ(L"推荐下载Windows 7 64位系统", large.text);
  EXPECT_EQ(1, large.position);
}

TEST(DaysSinceInstall, Boundaries) {
  const int64_t now = 1'700'000'000;
  EXPECT_FALSE(DaysSinceInstall(now, 0).has_value());
  EXPECT_FALSE(DaysSinceInstall(now, now).has_value());
  EXPECT_FALSE(DaysSinceInstall(now, now + 5).has_value());
  EXPECT_EQ(0, DaysSinceInstall(now, now - 86'399).value());
  EXPECT_EQ(1, DaysSinceInstall(now, now - 86'400).value());
  EXPECT_EQ(30, DaysSinceInstall(now, now - 30 * 86'400).value());
  // The registry holds 32 bits: the largest value is a date in 2106, not -1.
  EXPECT_FALSE(DaysSinceInstall(now, 0xFFFFFFFFu).has_value());
  EXPECT_EQ(3, DaysSinceInstall(int64_t{0xFFFFFFFF} + 3 * 86'400, 0xFFFFFFFFu).value());
}

}  // namespace
}  // namespace kavi
