// The NTFS boot region (the volume's first 8 KiB): the geometry a fresh
// format must repeat, and the transplant that keeps the machine's own boot
// code (which loads bootmgr or NTLDR) over the freshly made file system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kavi {
namespace restore {

// NTFS reserves 16 sectors of 512 bytes for the boot sector and its loader.
constexpr size_t kNtfsBootRegionSize = 16 * 512;

struct NtfsGeometry {
  uint32_t bytesPerSector = 0;
  uint32_t clusterSize = 0;  // bytes
  uint32_t sectorsPerTrack = 0;
  uint32_t heads = 0;
  uint32_t hiddenSectors = 0;
  uint64_t totalSectors = 0;  // the backup boot sector sits right after them
};

// None unless the sector says "NTFS    " with a power-of-two sector size of
// 512..4096 and a cluster size of at most 2 MiB.
std::optional<NtfsGeometry> ReadNtfsGeometry(const std::vector<uint8_t>& bootRegion);

// Whether two boot regions are of one NTFS volume: mkntfs gives every volume
// a serial number of its own. False when either is not NTFS.
bool SameNtfsVolume(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// mkntfs quick format of `device` with the old geometry and label.
std::vector<std::string> MkntfsArguments(const NtfsGeometry& old, const std::string& label,
                                         const std::string& device);

// The boot region to write back: the fresh boot sector's BPB and its file
// system fields with the old boot code (0x54..0x1FD) and the old hidden
// sector count, then the old sectors 1..15. Empty when either region is not
// a whole boot region.
std::vector<uint8_t> TransplantBootCode(const std::vector<uint8_t>& oldRegion,
                                        const std::vector<uint8_t>& freshRegion);

}  // namespace restore
}  // namespace kavi
