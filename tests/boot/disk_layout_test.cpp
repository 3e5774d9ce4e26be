// The parsers of the three Windows disk records, on buffers built field by
// field at the published offsets.
#include "boot/disk_layout.h"

#include <gtest/gtest.h>

#include "tests/boot/fake_disk_devices.h"

namespace kavi {
namespace {

using namespace testing_disks;

std::vector<int64_t> Offsets(const Bytes& layout, size_t size) {
  std::vector<int64_t> out;
  for (const LayoutPartition& p : NumberedPartitions(layout.data(), size)) {
    out.push_back(p.startingOffset);
  }
  return out;
}

TEST(NumberedPartitions, ReadsEntriesAt48In144ByteSteps) {
  Bytes layout = DriveLayout({{kMiB, 1, 100 * kMiB}, {0, 0}, {5 * kGiB + 7, 2, 3 * kGiB + 512}});
  layout.resize(kDriveLayoutBufferSize);
  const std::vector<LayoutPartition> found = NumberedPartitions(layout.data(), layout.size());
  ASSERT_EQ(2u, found.size());
  EXPECT_EQ(kMiB, found[0].startingOffset);
  EXPECT_EQ(100 * kMiB, found[0].length);
  EXPECT_EQ(5 * kGiB + 7, found[1].startingOffset);
  EXPECT_EQ(3 * kGiB + 512, found[1].length);
}

TEST(NumberedPartitions, KeepsTheFull64BitSignedOffset) {
  Bytes layout = DriveLayout({{int64_t{0x123456789A}, 1}, {-512, 3}});
  EXPECT_EQ((std::vector<int64_t>{0x123456789A, -512}), Offsets(layout, layout.size()));
}

TEST(NumberedPartitions, NeverReadsPastTheBuffer) {
  Bytes layout = DriveLayout({{kMiB, 1}, {2 * kMiB, 2}});
  EXPECT_EQ(1u, Offsets(layout, layout.size() - 1).size());
  EXPECT_TRUE(Offsets(layout, 47).empty());
}

TEST(MbrDiskSignature, ReadAtByte8OfAnMbrLayoutOnly) {
  const Bytes mbr = DriveLayout({{kMiB, 1}}, kPartitionStyleMbr, 0x1A2B3C4D);
  EXPECT_EQ(0x1A2B3C4Du, MbrDiskSignature(mbr.data(), mbr.size()));
  EXPECT_FALSE(MbrDiskSignature(mbr.data(), 47));
  const Bytes gpt = DriveLayout({{kMiB, 1}}, kPartitionStyleGpt, 0x1A2B3C4D);
  EXPECT_FALSE(MbrDiskSignature(gpt.data(), gpt.size()));
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
