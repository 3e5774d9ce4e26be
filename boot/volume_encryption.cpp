#include "boot/volume_encryption.h"

#include <cstring>
#include <vector>

namespace kavi {
namespace {

constexpr size_t kSectorBytes = 512;

}  // namespace

bool IsBitLockerSector(const uint8_t* sector, size_t size) {
  return size >= 11 && std::memcmp(sector + 3, "-FVE-FS-", 8) == 0;
}

bool IsBitLockerVolume(DiskDevices& devices, const DiskList& disks, wchar_t letter) {
  const std::optional<LetterPosition> at = FindLetterPosition(disks, letter);
  if (!at) return false;
  const PartitionRecord& p = disks[at->disk].partitions[at->position - 1];
  std::unique_ptr<DiskDevice> drive = devices.OpenPhysicalDrive(at->disk);
  std::vector<uint8_t> sector(kSectorBytes);
  return drive && p.startingOffset >= 0 &&
         drive->ReadAt(static_cast<uint64_t>(p.startingOffset), sector.data(), sector.size()) &&
         IsBitLockerSector(sector.data(), sector.size());
}

}  // namespace kavi
