// dspt's layout logic on layouts built field by field: the disk map's
// position order, primary partitions of MBR disks only, every other entry
// made inactive, nothing changed on a refusal.
#include "tools/dspt/partition_activation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "boot/disk_layout.h"
#include "tests/boot/fake_disk_devices.h"

namespace kavi {
namespace {

using namespace testing_disks;

uint8_t BootIndicator(const Bytes& layout, size_t entry) {
  return layout[48 + 144 * entry + kEntryMbrBootIndicator];
}

TEST(DsptArguments, DiskThenActSwitch) {
  const auto parsed = ParseDsptArguments({L"1", L"/act:3"});
  ASSERT_TRUE(parsed);
  EXPECT_EQ(1, parsed->disk);
  EXPECT_EQ(3, parsed->position);
  EXPECT_TRUE(ParseDsptArguments({L"0", L"/ACT:1"}));
  EXPECT_FALSE(ParseDsptArguments({L"0", L"/act:0"}));
  EXPECT_FALSE(ParseDsptArguments({L"0", L"/act:"}));
  EXPECT_FALSE(ParseDsptArguments({L"-1", L"/act:1"}));
  EXPECT_FALSE(ParseDsptArguments({L"0", L"/act:1x"}));
  EXPECT_FALSE(ParseDsptArguments({L"0", L"act:1"}));
  EXPECT_FALSE(ParseDsptArguments({L"0"}));
  EXPECT_FALSE(ParseDsptArguments({L"0", L"/act:1", L"x"}));
  EXPECT_FALSE(ParseDsptArguments({L"99999999999", L"/act:1"}));
}

TEST(ActivatePartition, PositionsFollowStartingOffsetsAndOnlyTheTargetStaysActive) {
  // Entries listed out of order: position 2 is the partition at 50 GiB,
  // which is entry 2 (partition number 3).
  Bytes layout = DriveLayout({{kMiB, 1}, {100 * kGiB, 2}, {50 * kGiB, 3}, {0, 0}});
  layout[48 + kEntryMbrBootIndicator] = 1;  // entry 0 was active
  const Activation a = ActivatePartition(layout, 2);
  ASSERT_EQ(ActivationOutcome::kActivated, a.outcome);
  EXPECT_EQ(2u, a.entryIndex);
  EXPECT_EQ(3u, a.partitionNumber);
  EXPECT_EQ(48u + 4 * 144, a.layoutSize);
  EXPECT_EQ(0, BootIndicator(layout, 0));
  EXPECT_EQ(0, BootIndicator(layout, 1));
  EXPECT_EQ(1, BootIndicator(layout, 2));
  EXPECT_EQ(0, BootIndicator(layout, 3));
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(1, layout[48 + 144 * i + kEntryRewritePartition]);
  EXPECT_THAT(DescribeActivation(a, {0, 2}), ::testing::HasSubstr(L"partition 3 (position 2)"));
}

TEST(ActivatePartition, RefusalsLeaveTheLayoutAlone) {
  // An MBR disk with one primary partition, an extended container and two
  // logical drives (entries 4 and 5 of the second table).
  const Bytes mbr = DriveLayout({{kMiB, 1},
                                 {40 * kGiB, 0},
                                 {0, 0},
                                 {0, 0},
                                 {40 * kGiB + kMiB, 5},
                                 {0, 0},
                                 {0, 0},
                                 {0, 0},
                                 {70 * kGiB, 6},
                                 {0, 0},
                                 {0, 0},
                                 {0, 0}});
  struct Case {
    Bytes layout;
    int position;
    ActivationOutcome outcome;
  } cases[] = {
      {mbr, 2, ActivationOutcome::kNotPrimary},
      {mbr, 3, ActivationOutcome::kNotPrimary},
      {mbr, 4, ActivationOutcome::kNoSuchPosition},
      {DriveLayout({{kMiB, 1}, {kGiB, 2}}, kPartitionStyleGpt), 1, ActivationOutcome::kNotMbr},
      {Bytes(47), 1, ActivationOutcome::kLayoutTooShort},
  };
  for (Case& c : cases) {
    const Bytes before = c.layout;
    EXPECT_EQ(c.outcome, ActivatePartition(c.layout, c.position).outcome) << c.position;
    EXPECT_EQ(before, c.layout);
  }
  // A count larger than the buffer holds.
  Bytes lying = DriveLayout({{kMiB, 1}});
  PutLe(lying, 4, 2, 4);
  EXPECT_EQ(ActivationOutcome::kLayoutTooShort, ActivatePartition(lying, 1).outcome);
  // Logical drive 5 is position 2 and the primary still position 1.
  Bytes layout = mbr;
  EXPECT_EQ(ActivationOutcome::kActivated, ActivatePartition(layout, 1).outcome);
  EXPECT_EQ(1, BootIndicator(layout, 0));
}

TEST(ActivatePartition, EntriesPastTheThirtiethHaveNoPosition) {
  std::vector<LayoutEntry> entries;
  for (uint32_t i = 0; i < 31; ++i) entries.push_back({kMiB * (i + 1), i + 1});
  Bytes layout = DriveLayout(entries);
  EXPECT_EQ(ActivationOutcome::kNoSuchPosition, ActivatePartition(layout, 31).outcome);
  EXPECT_EQ(ActivationOutcome::kNotPrimary, ActivatePartition(layout, 30).outcome);
}

}  // namespace
}  // namespace kavi
