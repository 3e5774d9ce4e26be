// The boot region of a volume `mkntfs -Q -p 2048 -H 255 -S 63 -c 4096` made,
// and the transplant of a Windows boot region's code onto it.
#include "restore/agent/ntfs_boot.h"

#include <gtest/gtest.h>

#include "restore/agent/partitions.h"

namespace kavi {
namespace restore {
namespace {

// The first 0x54 bytes of mkntfs 2022.10.3's boot sector on a 64 MiB volume.
const uint8_t kMkntfsBpb[0x54] = {
    0xEB, 0x52, 0x90, 0x4E, 0x54, 0x46, 0x53, 0x20, 0x20, 0x20, 0x20, 0x00, 0x02, 0x08,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x00, 0x00, 0x3F, 0x00, 0xFF, 0x00,
    0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0x80, 0x00, 0xFF, 0xFF,
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0xFF, 0x1F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF6, 0x00, 0x00, 0x00, 0x01, 0x00,
    0x00, 0x00, 0x72, 0x68, 0x38, 0x2C, 0x0A, 0x79, 0x76, 0x7B, 0x00, 0x00, 0x00, 0x00};

std::vector<uint8_t> Region(uint8_t fill) {
  std::vector<uint8_t> region(kNtfsBootRegionSize, fill);
  std::copy(kMkntfsBpb, kMkntfsBpb + sizeof(kMkntfsBpb), region.begin());
  region[510] = 0x55;
  region[511] = 0xAA;
  return region;
}

TEST(NtfsBoot, GeometryOfARealBootSectorBecomesTheSameMkntfsCall) {
  const std::vector<uint8_t> region = Region(0);
  EXPECT_EQ(FsKind::kNtfs, ClassifyVolume(region.data(), 512));
  std::optional<NtfsGeometry> g = ReadNtfsGeometry(region);
  ASSERT_TRUE(g);
  EXPECT_EQ(131071u, g->totalSectors);
  EXPECT_EQ((std::vector<std::string>{"mkntfs", "-Q", "-p", "2048", "-H", "255", "-S", "63", "-s",
                                      "512", "-c", "4096", "-L", "SYS", "/dev/sda1"}),
            MkntfsArguments(*g, "SYS", "/dev/sda1"));

  std::vector<uint8_t> big = region;
  big[0x0D] = 0xF4;  // 2^12 sectors: 2 MiB clusters
  EXPECT_EQ(2u << 20, ReadNtfsGeometry(big)->clusterSize);
  big[0x0D] = 0xF3;
  EXPECT_FALSE(ReadNtfsGeometry(big));
  big[0x0D] = 8;
  big[0x0B] = 0x00;
  big[0x0C] = 0x03;  // 768-byte sectors
  EXPECT_FALSE(ReadNtfsGeometry(big));
  big[3] = 'F';
  EXPECT_FALSE(ReadNtfsGeometry(big));
}

TEST(NtfsBoot, TransplantKeepsTheFreshBpbAndTheOldCode) {
  std::vector<uint8_t> old = Region(0xC7);
  old[0x1C] = 0x3F;  // hidden sectors 63: an XP-era partition
  old[0x1D] = 0x00;
  old[0x48] = 0x11;  // the old serial number must not come back
  const std::vector<uint8_t> fresh = Region(0x00);
  const std::vector<uint8_t> moved = TransplantBootCode(old, fresh);
  ASSERT_EQ(kNtfsBootRegionSize, moved.size());
  for (size_t i = 0; i < 0x54; ++i) {
    if (i >= 0x1C && i < 0x20) continue;  // hidden sectors
    EXPECT_EQ(fresh[i], moved[i]) << i;
  }
  EXPECT_EQ(0x3F, moved[0x1C]);
  EXPECT_EQ(0x00, moved[0x1D]);
  EXPECT_EQ(std::vector<uint8_t>(old.begin() + 0x54, old.end()),
            std::vector<uint8_t>(moved.begin() + 0x54, moved.end()));
  EXPECT_TRUE(TransplantBootCode(old, std::vector<uint8_t>(512)).empty());
}

}  // namespace
}  // namespace restore
}  // namespace kavi
