// The three Windows disk records the disk map reads, parsed from the raw
// bytes DeviceIoControl leaves in the caller's buffer. Pure functions over
// byte buffers, so the offsets they rely on are checked natively on buffers
// built field by field; disk_devices_win32.cpp pins the same offsets against
// the Windows headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "boot/guid.h"

namespace kavi {

// Output buffer sizes of the three requests. The layout buffer is reused for
// every drive; the extents buffer has room for the header and one extent, so
// a volume spanning several disks fails that request.
constexpr size_t kDriveLayoutBufferSize = 5760;
constexpr size_t kPartitionInfoBufferSize = 144;
constexpr size_t kDiskExtentsBufferSize = 32;

// Only the first entries of a drive layout are examined.
constexpr size_t kMaxLayoutEntries = 30;

constexpr uint32_t kPartitionStyleMbr = 0;
constexpr uint32_t kPartitionStyleGpt = 1;

// PARTITION_INFORMATION_EX, as far as it is read. Both Windows targets are
// little-endian, like every machine the native tests run on.
struct PartitionEntryEx {
  uint32_t PartitionStyle;
  uint32_t padding0;
  int64_t StartingOffset;
  int64_t PartitionLength;
  uint32_t PartitionNumber;
  uint8_t RewritePartition;
  uint8_t IsServicePartition;
  uint8_t padding1[2];
  // PARTITION_INFORMATION_GPT's type and identifier; PARTITION_INFORMATION_MBR
  // shares the place, its PartitionType being the first byte.
  uint8_t GptPartitionType[16];
  uint8_t GptPartitionId[16];
  uint8_t styleRest[80];
};
static_assert(offsetof(PartitionEntryEx, PartitionStyle) == 0, "PartitionStyle");
static_assert(offsetof(PartitionEntryEx, StartingOffset) == 8, "StartingOffset");
static_assert(offsetof(PartitionEntryEx, PartitionLength) == 16, "PartitionLength");
static_assert(offsetof(PartitionEntryEx, PartitionNumber) == 24, "PartitionNumber");
static_assert(offsetof(PartitionEntryEx, GptPartitionType) == 32, "Gpt.PartitionType");
static_assert(offsetof(PartitionEntryEx, GptPartitionId) == 48, "Gpt.PartitionId");
static_assert(sizeof(PartitionEntryEx) == 144, "one layout entry is 144 bytes");

// DRIVE_LAYOUT_INFORMATION_EX: a 48-byte header (style, count, the MBR or
// GPT disk fields) followed by the entries. Of the disk fields the MBR
// signature and the GPT disk identifier are read; both start at offset 8.
struct DriveLayoutHeader {
  uint32_t PartitionStyle;
  uint32_t PartitionCount;
  uint32_t MbrSignature;  // Mbr.Signature, or the first bytes of Gpt.DiskId
  uint8_t diskSpecific[36];
};
constexpr size_t kGptDiskIdOffset = 8;
static_assert(offsetof(DriveLayoutHeader, PartitionStyle) == 0, "PartitionStyle");
static_assert(offsetof(DriveLayoutHeader, MbrSignature) == 8, "Mbr.Signature");
static_assert(sizeof(DriveLayoutHeader) == 48, "the entries follow the header");
constexpr size_t kLayoutEntriesOffset = sizeof(DriveLayoutHeader);
constexpr size_t kLayoutEntrySize = sizeof(PartitionEntryEx);
static_assert(kLayoutEntriesOffset + kMaxLayoutEntries * kLayoutEntrySize <= kDriveLayoutBufferSize,
              "the examined entries fit the layout buffer");
static_assert(sizeof(PartitionEntryEx) == kPartitionInfoBufferSize,
              "the partition request returns exactly one entry");

// DISK_EXTENT and the VOLUME_DISK_EXTENTS header with its first extent.
struct DiskExtent {
  uint32_t DiskNumber;
  uint32_t padding0;
  int64_t StartingOffset;
  int64_t ExtentLength;
};
struct VolumeDiskExtentsOne {
  uint32_t NumberOfDiskExtents;
  uint32_t padding0;
  DiskExtent Extents[1];
};
static_assert(offsetof(DiskExtent, DiskNumber) == 0, "DiskNumber");
static_assert(offsetof(VolumeDiskExtentsOne, Extents) == 8, "Extents");
static_assert(sizeof(VolumeDiskExtentsOne) == kDiskExtentsBufferSize,
              "header and one extent fill the extents buffer");

struct LayoutPartition {
  int64_t startingOffset = 0;
  int64_t length = 0;
  uint8_t mbrType = 0;  // MBR entries only
  Guid gptType{};       // GPT entries only
  Guid gptId{};
};

// The numbered partitions among the first 30 entries of a drive layout, in
// entry order. Entries with partition number 0 (empty slots and extended
// containers) are left out. Entries the buffer does not hold completely are
// not read.
std::vector<LayoutPartition> NumberedPartitions(const uint8_t* layout, size_t size);

// The MBR disk signature of a drive layout; none for another partition style
// or a buffer too short to hold the header.
std::optional<uint32_t> MbrDiskSignature(const uint8_t* layout, size_t size);

// Gpt.DiskId of a GPT drive layout; none for another style or a short
// buffer.
std::optional<Guid> GptDiskId(const uint8_t* layout, size_t size);

struct VolumePartitionInfo {
  uint32_t style = 0;
  int64_t startingOffset = 0;
};

// The style and starting offset of a volume's PARTITION_INFORMATION_EX; none
// when the buffer is too short to hold one.
std::optional<VolumePartitionInfo> ParsePartitionInfo(const uint8_t* info, size_t size);

// Extents[0].DiskNumber of VOLUME_DISK_EXTENTS; none when the buffer is too
// short or lists no extent at all (its first extent would be left unset).
std::optional<uint32_t> FirstExtentDiskNumber(const uint8_t* extents, size_t size);

}  // namespace kavi
