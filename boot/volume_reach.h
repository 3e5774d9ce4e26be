// Whether the restore environment will reach a volume a takeover names. It
// finds partitions by their place in a disk's partition table (the task's
// disk record) and reads only NTFS and FAT, so a volume of a dynamic disk,
// a volume that is no partition of a disk (a virtual disk, Storage Spaces)
// and a volume of another file system (ReFS, exFAT) are out of its reach:
// the takeover is refused before anything is written.
#pragma once

#include <string>

#include "boot/disk_map.h"

namespace kavi {

enum class VolumeReach {
  kReachable,
  kDynamicDisk,    // its disk is managed by the logical disk manager
  kNotAPartition,  // no partition of the disk map carries its letter
  kFileSystem,     // neither NTFS nor FAT
};

struct VolumeReachFacts {
  bool partitionFound = false;  // a partition of the disk map carries the letter
  bool dynamicDisk = false;     // its disk holds LDM partitions (MBR 0x42, GPT LDM types)
  std::wstring fileSystem;      // as Windows names it ("NTFS", "FAT32"); empty: not told
};

// The disk holding the volume is the one of its partition or, for a volume
// no partition carries, the disk of its first extent.
VolumeReachFacts VolumeReachFactsOf(DiskDevices& devices, const DiskList& disks, wchar_t letter,
                                    const std::wstring& fileSystem);

// An unknown file system is left to the restore environment's own checks.
VolumeReach DecideVolumeReach(const VolumeReachFacts& facts);

// GetVolumeInformationW of "%c:\": the file system's name; empty when it
// fails (Win32 build only).
std::wstring VolumeFileSystemName(wchar_t letter);

}  // namespace kavi
