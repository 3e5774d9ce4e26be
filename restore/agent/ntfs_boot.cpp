#include "restore/agent/ntfs_boot.h"

#include <cstddef>
#include <cstring>

namespace kavi {
namespace restore {
namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the fields are read in place");

#pragma pack(push, 1)
struct NtfsBootSector {
  uint8_t jump[3];
  char oemId[8];
  uint16_t bytesPerSector;
  uint8_t sectorsPerCluster;
  uint8_t unused1[7];
  uint8_t mediaDescriptor;
  uint16_t unused2;
  uint16_t sectorsPerTrack;
  uint16_t heads;
  uint32_t hiddenSectors;
  uint8_t unused3[8];
  uint64_t totalSectors;
  uint64_t mftCluster;
  uint64_t mftMirrorCluster;
  int8_t clustersPerMftRecord;
  uint8_t unused4[3];
  int8_t clustersPerIndexBlock;
  uint8_t unused5[3];
  uint64_t serialNumber;
  uint32_t checksum;
  uint8_t bootCode[426];
  uint16_t signature;
};
#pragma pack(pop)

static_assert(offsetof(NtfsBootSector, oemId) == 0x03, "OEM id");
static_assert(offsetof(NtfsBootSector, bytesPerSector) == 0x0B, "bytes per sector");
static_assert(offsetof(NtfsBootSector, sectorsPerCluster) == 0x0D, "sectors per cluster");
static_assert(offsetof(NtfsBootSector, sectorsPerTrack) == 0x18, "sectors per track");
static_assert(offsetof(NtfsBootSector, heads) == 0x1A, "heads");
static_assert(offsetof(NtfsBootSector, hiddenSectors) == 0x1C, "hidden sectors");
static_assert(offsetof(NtfsBootSector, totalSectors) == 0x28, "total sectors");
static_assert(offsetof(NtfsBootSector, bootCode) == 0x54, "boot code");
static_assert(offsetof(NtfsBootSector, signature) == 0x1FE, "55AA");
static_assert(sizeof(NtfsBootSector) == 512, "one sector");

NtfsBootSector SectorOf(const std::vector<uint8_t>& region) {
  NtfsBootSector sector;
  std::memcpy(&sector, region.data(), sizeof(sector));
  return sector;
}

}  // namespace

std::optional<NtfsGeometry> ReadNtfsGeometry(const std::vector<uint8_t>& bootRegion) {
  if (bootRegion.size() < sizeof(NtfsBootSector)) return std::nullopt;
  const NtfsBootSector s = SectorOf(bootRegion);
  if (std::memcmp(s.oemId, "NTFS    ", 8) != 0) return std::nullopt;
  const uint32_t bps = s.bytesPerSector;
  if (bps < 512 || bps > 4096 || (bps & (bps - 1)) != 0) return std::nullopt;
  // Above 0x80 the byte is a negative power of two (clusters over 64 KiB).
  const uint8_t spc = s.sectorsPerCluster;
  uint64_t cluster = 0;
  if (spc > 0x80) {
    if (256 - spc > 12) return std::nullopt;
    cluster = uint64_t{bps} << (256 - spc);
  } else {
    if (spc == 0 || (spc & (spc - 1)) != 0) return std::nullopt;
    cluster = uint64_t{bps} * spc;
  }
  if (cluster > (2u << 20)) return std::nullopt;
  NtfsGeometry g;
  g.bytesPerSector = bps;
  g.clusterSize = static_cast<uint32_t>(cluster);
  g.sectorsPerTrack = s.sectorsPerTrack;
  g.heads = s.heads;
  g.hiddenSectors = s.hiddenSectors;
  g.totalSectors = s.totalSectors;
  return g;
}

bool SameNtfsVolume(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (!ReadNtfsGeometry(a) || !ReadNtfsGeometry(b)) return false;
  return SectorOf(a).serialNumber == SectorOf(b).serialNumber;
}

std::vector<std::string> MkntfsArguments(const NtfsGeometry& old, const std::string& label,
                                         const std::string& device) {
  std::vector<std::string> args = {"mkntfs", "-Q",
                                   "-p",     std::to_string(old.hiddenSectors),
                                   "-H",     std::to_string(old.heads),
                                   "-S",     std::to_string(old.sectorsPerTrack),
                                   "-s",     std::to_string(old.bytesPerSector),
                                   "-c",     std::to_string(old.clusterSize)};
  if (!label.empty()) {
    args.push_back("-L");
    args.push_back(label);
  }
  args.push_back(device);
  return args;
}

std::vector<uint8_t> TransplantBootCode(const std::vector<uint8_t>& oldRegion,
                                        const std::vector<uint8_t>& freshRegion) {
  if (oldRegion.size() != kNtfsBootRegionSize || freshRegion.size() != kNtfsBootRegionSize) {
    return {};
  }
  std::vector<uint8_t> result = oldRegion;
  NtfsBootSector fresh = SectorOf(freshRegion);
  const NtfsBootSector old = SectorOf(oldRegion);
  std::memcpy(fresh.bootCode, old.bootCode, sizeof(fresh.bootCode));
  fresh.hiddenSectors = old.hiddenSectors;
  std::memcpy(result.data(), &fresh, sizeof(fresh));
  return result;
}

}  // namespace restore
}  // namespace kavi
