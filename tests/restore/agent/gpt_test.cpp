// The primary GPT of a disk image that sfdisk partitioned (label-id and
// partition uuids fixed): an ESP, a Microsoft reserved partition and a basic
// data partition. The GUIDs must come out as sfdisk was given them.
#include "restore/agent/gpt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kavi {
namespace restore {
namespace {

// The image's first 34 sectors (protective MBR, header, the 128 entries);
// only the runs that are not zero, as hex.
std::vector<uint8_t> RecordedGpt() {
  const struct {
    size_t offset;
    const char* hex;
  } runs[] = {
      {0x1C0, "0200EEFFFFFF01000000FF3F"},
      {0x1FE,
       "55AA4546492050415254000001005C000000264823A300000000010000000000"
       "0000FF3F0000000000000008000000000000DE3F00000000000067452301AB89"
       "EFCD0123456789ABCDEF0200000000000000800000008000000049F7B5E6"},
      {0x400,
       "28732AC11FF8D211BA4B00A0C93EC93B98BADCFE54761032FEDCBA9876543210"
       "0008000000000000FF17"},
      {0x480,
       "16E3C9E35C0BB84D817DF92DF00215AE11111111222233334444555555555555"
       "0018000000000000FF1F"},
      {0x500,
       "A2A0D0EBE5B9334487C068B6B72699C7D4C3B2A1F6E51807293A4B5C6D7E8F90"
       "0020000000000000FF2F"},
  };
  std::vector<uint8_t> disk(34 * 512, 0);
  for (const auto& run : runs) {
    const std::string hex = run.hex;
    for (size_t i = 0; i < hex.size(); i += 2) {
      disk[run.offset + i / 2] = static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
  }
  return disk;
}

TEST(Gpt, RecordedDiskReadsAsSfdiskWroteIt) {
  const std::vector<uint8_t> disk = RecordedGpt();
  const std::optional<GptHeader> header = ReadGptHeader(disk.data() + 512, 512);
  ASSERT_TRUE(header);
  EXPECT_EQ("01234567-89AB-CDEF-0123-456789ABCDEF", GuidText(header->diskGuid));
  ASSERT_EQ(2u, header->entriesLba);
  const std::optional<std::vector<GptPartition>> parts =
      ReadGptEntries(*header, disk.data() + 1024, disk.size() - 1024);
  ASSERT_TRUE(parts);
  ASSERT_EQ(3u, parts->size());
  const struct {
    const char* type;
    const char* unique;
    uint64_t first, last;
  } expected[] = {
      {"C12A7328-F81F-11D2-BA4B-00A0C93EC93B", "FEDCBA98-7654-3210-FEDC-BA9876543210", 2048, 6143},
      {"E3C9E316-0B5C-4DB8-817D-F92DF00215AE", "11111111-2222-3333-4444-555555555555", 6144, 8191},
      {"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", "A1B2C3D4-E5F6-0718-293A-4B5C6D7E8F90", 8192, 12287},
  };
  for (size_t i = 0; i < 3; ++i) {
    const GptPartition& p = (*parts)[i];
    EXPECT_EQ(i + 1, p.number);
    EXPECT_EQ(expected[i].type, GuidText(p.type));
    EXPECT_EQ(expected[i].unique, GuidText(p.unique));
    EXPECT_EQ(*ParseGuid(expected[i].unique), p.unique);
    EXPECT_EQ(expected[i].first, p.firstLba);
    EXPECT_EQ(expected[i].last, p.lastLba);
  }
  EXPECT_EQ(EspType(), (*parts)[0].type);
  EXPECT_NE(EspType(), (*parts)[2].type);
}

TEST(Gpt, AChangedByteFailsItsCrc) {
  std::vector<uint8_t> disk = RecordedGpt();
  disk[512 + 60] ^= 1;  // inside the disk GUID
  EXPECT_FALSE(ReadGptHeader(disk.data() + 512, 512));

  disk = RecordedGpt();
  const GptHeader header = *ReadGptHeader(disk.data() + 512, 512);
  disk[1024 + 128 * 127] = 1;  // an unused entry's type
  EXPECT_FALSE(ReadGptEntries(header, disk.data() + 1024, disk.size() - 1024));
  EXPECT_FALSE(ReadGptEntries(header, RecordedGpt().data() + 1024, 128 * 127));
}

}  // namespace
}  // namespace restore
}  // namespace kavi
