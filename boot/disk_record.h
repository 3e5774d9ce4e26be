// The companion record "Ghost.map" written beside the Ghost script: for each
// disk:partition designation the script uses, the disk's MBR signature (or,
// on a GPT disk, its disk GUID and the partition's GUID) and the partition's
// starting offset and length. The restore environment reads
// it to find those partitions by what they are, not by an enumeration order
// that Linux and Windows need not share.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "boot/disk_map.h"

namespace kavi {

constexpr const wchar_t* kDiskRecordFileName = L"Ghost.map";

// The disk index in the list of a Ghost disk number, with `referenceDisk` as
// Ghost disk 1 (the inverse of GhostDiskNumber); -1 for a number no disk has.
int DiskIndexOfGhostDisk(int ghostDisk, int referenceDisk, size_t diskCount);

// "KAVI-DISKMAP 1" and one line per distinct designation, in the order given,
// every line ended by CR LF: "1:2 mbr=1A2B3C4D start=S length=L", or on a
// GPT disk "1:3 gpt=DISKGUID part=PARTGUID start=S length=L". None when a designation is not
// "d:p" or names no partition of the list.
std::optional<std::string> BuildDiskRecord(const DiskList& disks, int referenceDisk,
                                           const std::vector<std::wstring>& designations);

}  // namespace kavi
