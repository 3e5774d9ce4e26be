// The disks and partitions the agent finds, what their first sectors say,
// and how the script's Ghost designations map onto them through the disk
// record. Enumeration is the Linux side (partitions_linux.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "restore/agent/failure.h"
#include "restore/agent/task_files.h"

namespace kavi {
namespace restore {

constexpr size_t kSectorSize = 512;

enum class FsKind { kNtfs, kFat, kBitLocker, kOther };

const char* FsKindName(FsKind kind);  // "NTFS", "FAT", "BitLocker", "other"

struct FoundPartition {
  std::string device;  // "/dev/sda1"
  std::string disk;    // "sda"
  uint32_t signature = 0;
  uint64_t start = 0;   // bytes from the disk's start
  uint64_t length = 0;  // bytes
  FsKind fs = FsKind::kOther;
};

// The kind of file system from a partition's first sector (512 bytes or
// more; less reads as kOther).
FsKind ClassifyVolume(const uint8_t* sector, size_t size);

// The MBR disk signature at byte 440 of sector 0; 0 when too short.
uint32_t MbrSignature(const uint8_t* sector, size_t size);

// The MBR type byte of primary slot 1..4; 0 when the sector has no 55AA.
uint8_t MbrPartitionType(const uint8_t* sector, size_t size, int slot);

// Extended containers (and their links) hold no file system of their own.
bool IsExtendedType(uint8_t type);

struct Resolution {
  Refusal refusal;
  // Index into the found partitions, one per asked designation.
  std::vector<size_t> partitions;
};

// Ties each designation to the one partition its record line names: the
// line must exist, its signature must belong to exactly one disk, start and
// length must match one partition there; designations of one Ghost disk
// share a signature, different Ghost disks differ, and Ghost disk 1 is the
// disk of the task partition.
Resolution ResolveDesignations(const std::vector<Designation>& wanted,
                               const std::vector<DiskRecordLine>& record,
                               const std::vector<FoundPartition>& found, size_t taskPartition);

}  // namespace restore
}  // namespace kavi
