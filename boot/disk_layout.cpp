#include "boot/disk_layout.h"

#include <cstring>

namespace kavi {

std::vector<LayoutPartition> NumberedPartitions(const uint8_t* layout, size_t size) {
  std::vector<LayoutPartition> partitions;
  for (size_t i = 0; i < kMaxLayoutEntries; ++i) {
    const size_t at = kLayoutEntriesOffset + i * kLayoutEntrySize;
    if (at + kLayoutEntrySize > size) break;
    PartitionEntryEx entry;
    std::memcpy(&entry, layout + at, sizeof(entry));
    if (entry.PartitionNumber == 0) continue;
    LayoutPartition p;
    p.startingOffset = entry.StartingOffset;
    p.length = entry.PartitionLength;
    if (entry.PartitionStyle == kPartitionStyleGpt) {
      std::memcpy(p.gptType.data(), entry.GptPartitionType, p.gptType.size());
      std::memcpy(p.gptId.data(), entry.GptPartitionId, p.gptId.size());
    } else if (entry.PartitionStyle == kPartitionStyleMbr) {
      p.mbrType = entry.GptPartitionType[0];
    }
    partitions.push_back(p);
  }
  return partitions;
}

std::optional<uint32_t> MbrDiskSignature(const uint8_t* layout, size_t size) {
  if (size < sizeof(DriveLayoutHeader)) return std::nullopt;
  DriveLayoutHeader header;
  std::memcpy(&header, layout, sizeof(header));
  if (header.PartitionStyle != kPartitionStyleMbr) return std::nullopt;
  return header.MbrSignature;
}

std::optional<Guid> GptDiskId(const uint8_t* layout, size_t size) {
  if (size < sizeof(DriveLayoutHeader)) return std::nullopt;
  DriveLayoutHeader header;
  std::memcpy(&header, layout, sizeof(header));
  if (header.PartitionStyle != kPartitionStyleGpt) return std::nullopt;
  Guid id;
  std::memcpy(id.data(), layout + kGptDiskIdOffset, id.size());
  return id;
}

std::optional<VolumePartitionInfo> ParsePartitionInfo(const uint8_t* info, size_t size) {
  if (size < sizeof(PartitionEntryEx)) return std::nullopt;
  PartitionEntryEx entry;
  std::memcpy(&entry, info, sizeof(entry));
  VolumePartitionInfo out;
  out.style = entry.PartitionStyle;
  out.startingOffset = entry.StartingOffset;
  return out;
}

std::optional<uint32_t> FirstExtentDiskNumber(const uint8_t* extents, size_t size) {
  if (size < sizeof(VolumeDiskExtentsOne)) return std::nullopt;
  VolumeDiskExtentsOne header;
  std::memcpy(&header, extents, sizeof(header));
  if (header.NumberOfDiskExtents == 0) return std::nullopt;
  return header.Extents[0].DiskNumber;
}

}  // namespace kavi
