// The parsers of the three Windows disk records, on buffers built field by
// field at the published offsets.
#include "boot/disk_layout.h"

#include <gtest/gtest.h>

#include "tests/boot/fake_disk_devices.h"

namespace kavi {
namespace {

using namespace testing_disks;

TEST(NumberedPartitionOffsets, ReadsEntriesAt48In144ByteSteps) {
  Bytes layout = DriveLayout({{kMiB, 1}, {0, 0}, {5 * kGiB + 7, 2}});
  layout.resize(kDriveLayoutBufferSize);
  EXPECT_EQ((std::vector<int64_t>{kMiB, 5 * kGiB + 7}),
            NumberedPartitionOffsets(layout.data(), layout.size()));
}

TEST(NumberedPartitionOffsets, KeepsTheFull64BitSignedOffset) {
  Bytes layout = DriveLayout({{int64_t{0x123456789A}, 1}, {-512, 3}});
  EXPECT_EQ((std::vector<int64_t>{0x123456789A, -512}),
            NumberedPartitionOffsets(layout.data(), layout.size()));
}

TEST(NumberedPartitionOffsets, NeverReadsPastTheBuffer) {
  Bytes layout = DriveLayout({{kMiB, 1}, {2 * kMiB, 2}});
  EXPECT_EQ(1u, NumberedPartitionOffsets(layout.data(), layout.size() - 1).size());
  EXPECT_TRUE(NumberedPartitionOffsets(layout.data(), 47).empty());
}

TEST(ParsePartitionInfo, ReadsStyleAndStartingOffset) {
  const Bytes gpt = PartitionInfo(kPartitionStyleGpt, 0x7FFF00000000);
  const std::optional<VolumePartitionInfo> info = ParsePartitionInfo(gpt.data(), gpt.size());
  ASSERT_TRUE(info);
  EXPECT_EQ(kPartitionStyleGpt, info->style);
  EXPECT_EQ(0x7FFF00000000, info->startingOffset);
  EXPECT_FALSE(ParsePartitionInfo(gpt.data(), 143));
}

TEST(FirstExtentDiskNumber, ReadsTheFirstExtentOnly) {
  const Bytes extents = DiskExtents(3);
  EXPECT_EQ(3u, FirstExtentDiskNumber(extents.data(), extents.size()));
  EXPECT_FALSE(FirstExtentDiskNumber(extents.data(), 31));
  const Bytes none = DiskExtents(3, 0);
  EXPECT_FALSE(FirstExtentDiskNumber(none.data(), none.size()));
}

}  // namespace
}  // namespace kavi
