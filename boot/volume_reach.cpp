#include "boot/volume_reach.h"

namespace kavi {
namespace {

constexpr uint8_t kLdmMbrType = 0x42;
constexpr const char* kLdmMetadataTypeGuid = "5808C8AA-7E8F-42E0-85D2-E1E90434CFB3";
constexpr const char* kLdmDataTypeGuid = "AF9B60A0-1431-4F62-BC68-3311714A69AD";

bool HoldsLdmPartitions(const DiskEntry& disk) {
  static const Guid metadata = *ParseGuid(kLdmMetadataTypeGuid);
  static const Guid data = *ParseGuid(kLdmDataTypeGuid);
  for (const PartitionRecord& p : disk.partitions) {
    if (disk.gpt ? (p.gptType == metadata || p.gptType == data) : p.mbrType == kLdmMbrType) {
      return true;
    }
  }
  return false;
}

bool SameName(const std::wstring& a, const wchar_t* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != 0; ++i) {
    const wchar_t c = (a[i] >= L'a' && a[i] <= L'z') ? wchar_t(a[i] - L'a' + L'A') : a[i];
    if (c != b[i]) return false;
  }
  return i == a.size() && b[i] == 0;
}

}  // namespace

VolumeReachFacts VolumeReachFactsOf(DiskDevices& devices, const DiskList& disks, wchar_t letter,
                                    const std::wstring& fileSystem) {
  VolumeReachFacts facts;
  facts.fileSystem = fileSystem;
  int32_t disk = -1;
  if (const std::optional<LetterPosition> at = FindLetterPosition(disks, letter)) {
    facts.partitionFound = true;
    disk = at->disk;
  } else {
    disk = DiskNumberOfVolume(devices, letter);
  }
  facts.dynamicDisk = disk >= 0 && static_cast<size_t>(disk) < disks.size() &&
                      HoldsLdmPartitions(disks[static_cast<size_t>(disk)]);
  return facts;
}

VolumeReach DecideVolumeReach(const VolumeReachFacts& facts) {
  if (facts.dynamicDisk) return VolumeReach::kDynamicDisk;
  if (!facts.partitionFound) return VolumeReach::kNotAPartition;
  // FAT12 and FAT16 volumes are named "FAT".
  if (!facts.fileSystem.empty() && !SameName(facts.fileSystem, L"NTFS") &&
      !SameName(facts.fileSystem, L"FAT32") && !SameName(facts.fileSystem, L"FAT")) {
    return VolumeReach::kFileSystem;
  }
  return VolumeReach::kReachable;
}

}  // namespace kavi
