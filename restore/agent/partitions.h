// The disks and partitions the agent finds, what their first sectors say,
// and how the script's Ghost designations map onto them through the disk
// record. Enumeration is the Linux side (partitions_linux.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "restore/agent/failure.h"
#include "restore/agent/gpt.h"
#include "restore/agent/task_files.h"

namespace kavi {
namespace restore {

constexpr size_t kSectorSize = 512;

enum class FsKind { kNtfs, kFat, kBitLocker, kOther };

// How a disk names its partitions: by the MBR's signature, or by GUIDs when
// its MBR is protective (type 0xEE, as Linux and Windows decide) and the
// primary GPT reads with good CRCs. A protective MBR over a GPT that does not
// read names nothing: no record line can match it.
enum class DiskStyle { kMbr, kGpt, kBadGpt };

const char* FsKindName(FsKind kind);  // "NTFS", "FAT", "BitLocker", "other"

struct FoundPartition {
  std::string device;  // "/dev/sda1"
  std::string disk;    // "sda"
  DiskStyle style = DiskStyle::kMbr;
  uint32_t signature = 0;  // MBR disks
  Guid diskGuid;           // GPT disks
  Guid partitionGuid;      // GPT disks
  uint64_t start = 0;      // bytes from the disk's start
  uint64_t length = 0;     // bytes
  FsKind fs = FsKind::kOther;
  bool esp = false;  // an EFI system partition: GPT type C12A7328-..., MBR type 0xEF
};

// "mbr=1A2B3C4D" or "gpt=01234567-89AB-..."; empty for a GPT that does not
// read. Equal texts name one disk.
std::string DiskIdentity(const FoundPartition& partition);
std::string DiskIdentity(const DiskRecordLine& line);

// Gives a partition of a GPT disk its GUIDs and ESP flag from the entry
// covering exactly its bytes; without one it keeps a zero partition GUID,
// which no record line holds.
void ApplyGptEntry(const std::vector<GptPartition>& entries, uint32_t sectorSize,
                   FoundPartition* partition);

// The kind of file system from a partition's first sector (512 bytes or
// more; less reads as kOther).
FsKind ClassifyVolume(const uint8_t* sector, size_t size);

// The MBR disk signature at byte 440 of sector 0; 0 when too short.
uint32_t MbrSignature(const uint8_t* sector, size_t size);

// The status byte 0x80 of the MBR's primary entries: the start in bytes of
// the active partition; none when no entry is active.
std::optional<uint64_t> ActivePartitionStart(const std::vector<uint8_t>& mbr);

// The MBR type byte of primary slot 1..4; 0 when the sector has no 55AA.
uint8_t MbrPartitionType(const uint8_t* sector, size_t size, int slot);

// Extended containers (and their links) hold no file system of their own.
bool IsExtendedType(uint8_t type);

constexpr uint8_t kMbrProtectiveType = 0xEE;
constexpr uint8_t kMbrEspType = 0xEF;

struct Resolution {
  Refusal refusal;
  // Index into the found partitions, one per asked designation.
  std::vector<size_t> partitions;
};

// Ties each designation to the one partition its record line names: the
// line must exist, its disk identity (signature or disk GUID) must belong to
// exactly one disk, start and length (and on GPT disks the partition GUID)
// must match one partition there; designations of one Ghost disk share an
// identity, different Ghost disks differ, and Ghost disk 1 is the disk of
// the task partition.
Resolution ResolveDesignations(const std::vector<Designation>& wanted,
                               const std::vector<DiskRecordLine>& record,
                               const std::vector<FoundPartition>& found, size_t taskPartition);

}  // namespace restore
}  // namespace kavi
