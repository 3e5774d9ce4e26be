// Whether a volume is encrypted by BitLocker, from its first sector as it
// lies on the disk: Windows shows the decrypted volume through its drive
// letter, but the raw sectors of an encrypted one start with the
// "-FVE-FS-" signature, which the restore environment sees too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "boot/disk_map.h"

namespace kavi {

bool IsBitLockerSector(const uint8_t* sector, size_t size);

// The partition of `letter` in the disk map read raw through its physical
// drive; false when it is not encrypted or cannot be read.
bool IsBitLockerVolume(DiskDevices& devices, const DiskList& disks, wchar_t letter);

}  // namespace kavi
