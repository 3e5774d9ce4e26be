#include "boot/disk_map.h"

#include <algorithm>

#include "boot/disk_layout.h"
#include "host/text.h"

namespace kavi {
namespace {

constexpr uint32_t kErrorNoMoreFiles = 18;

wchar_t AsciiUpper(wchar_t c) {
  return (c >= L'a' && c <= L'z') ? wchar_t(c - L'a' + L'A') : c;
}

// Gives the fixed volume at `letter` its letter in the map when its first
// extent's disk holds a partition starting where the volume starts.
void AssignLetter(DiskDevices& devices, wchar_t letter, DiskList* disks) {
  std::unique_ptr<DiskDevice> volume = devices.OpenVolume(letter);
  if (!volume || !devices.IsFixedDrive(letter)) return;
  uint8_t extents[kDiskExtentsBufferSize] = {};
  if (!volume->Request(DiskRequest::kVolumeDiskExtents, extents, sizeof(extents))) return;
  uint8_t info[kPartitionInfoBufferSize] = {};
  if (!volume->Request(DiskRequest::kPartitionInfoEx, info, sizeof(info))) return;
  const std::optional<uint32_t> disk = FirstExtentDiskNumber(extents, sizeof(extents));
  const std::optional<VolumePartitionInfo> partition = ParsePartitionInfo(info, sizeof(info));
  if (!disk || !partition || *disk >= disks->size()) return;
  for (PartitionRecord& record : (*disks)[*disk].partitions) {
    if (record.startingOffset == partition->startingOffset) {
      record.letter = letter;
      return;
    }
  }
}

void WriteDiagnostic(std::FILE* out, const std::wstring& line) {
  if (out == nullptr) return;
  std::fputs(ToAnsi(line).c_str(), out);
  std::fflush(out);
}

// "\\?\Volume{...}\": the prefix, a name and the trailing backslash.
bool IsWellFormedVolumeName(const std::wstring& name) {
  return name.size() > 5 && name.compare(0, 4, L"\\\\?\\") == 0 && name.back() == L'\\';
}

}  // namespace

DiskList EnumerateDisks(DiskDevices& devices) {
  DiskList disks;
  std::vector<uint8_t> layout(kDriveLayoutBufferSize);
  for (int number = 0; number < kMaxPhysicalDrives; ++number) {
    std::unique_ptr<DiskDevice> drive = devices.OpenPhysicalDrive(number);
    if (!drive) break;
    // Windows fills only the layout's own entries; the rest must read as
    // empty slots, not as the previous drive's partitions.
    std::fill(layout.begin(), layout.end(), 0);
    DiskEntry entry;
    if (drive->Request(DiskRequest::kDriveLayoutEx, layout.data(), layout.size())) {
      for (const LayoutPartition& p : NumberedPartitions(layout.data(), layout.size())) {
        entry.partitions.push_back(
            PartitionRecord{0, p.startingOffset, p.length, p.mbrType, p.gptType, p.gptId});
      }
      entry.mbrSignature = MbrDiskSignature(layout.data(), layout.size()).value_or(0);
      const std::optional<Guid> diskId = GptDiskId(layout.data(), layout.size());
      entry.gpt = diskId.has_value();
      entry.diskId = diskId.value_or(Guid{});
    } else {
      entry.layoutRead = false;
    }
    disks.push_back(std::move(entry));
  }
  for (DiskEntry& disk : disks) {
    std::stable_sort(disk.partitions.begin(), disk.partitions.end(),
                     [](const PartitionRecord& a, const PartitionRecord& b) {
                       return a.startingOffset < b.startingOffset;
                     });
  }
  // A:, B: (floppies) and Z: are never looked at.
  for (wchar_t letter = L'C'; letter <= L'Y'; ++letter) AssignLetter(devices, letter, &disks);
  return disks;
}

int32_t DiskNumberOfVolume(DiskDevices& devices, wchar_t letter) {
  std::unique_ptr<DiskDevice> volume = devices.OpenVolume(letter);
  if (!volume) return kVolumeNotOpened;
  uint8_t extents[kDiskExtentsBufferSize] = {};
  if (!volume->Request(DiskRequest::kVolumeDiskExtents, extents, sizeof(extents))) {
    return kVolumeExtentsFailed;
  }
  const std::optional<uint32_t> disk = FirstExtentDiskNumber(extents, sizeof(extents));
  if (!disk || *disk > static_cast<uint32_t>(INT32_MAX)) return kVolumeExtentsFailed;
  return static_cast<int32_t>(*disk);
}

bool IsGptVolume(DiskDevices& devices, wchar_t letter) {
  std::unique_ptr<DiskDevice> volume = devices.OpenVolume(letter);
  if (!volume) return false;
  uint8_t info[kPartitionInfoBufferSize] = {};
  const bool ok = volume->Request(DiskRequest::kPartitionInfoEx, info, sizeof(info));
  volume.reset();
  if (!ok) return false;
  const std::optional<VolumePartitionInfo> partition = ParsePartitionInfo(info, sizeof(info));
  return partition && partition->style == kPartitionStyleGpt;
}

std::optional<LetterPosition> FindLetterPosition(const DiskList& disks, wchar_t letter) {
  const wchar_t wanted = AsciiUpper(letter);
  if (wanted == 0) return std::nullopt;
  for (size_t i = 0; i < disks.size(); ++i) {
    const DiskEntry& disk = disks[i];
    if (!disk.layoutRead) continue;
    if (disk.partitions.empty()) return std::nullopt;
    for (size_t p = 0; p < disk.partitions.size(); ++p) {
      if (AsciiUpper(disk.partitions[p].letter) == wanted) {
        return LetterPosition{static_cast<int>(i), static_cast<int>(p + 1)};
      }
    }
  }
  return std::nullopt;
}

int GhostDiskNumber(int diskIndex, int referenceDisk) {
  if (diskIndex == referenceDisk) return 1;
  return diskIndex < referenceDisk ? diskIndex + 2 : diskIndex + 1;
}

std::wstring GhostPartitionId(const DiskList& disks, DiskDevices& devices, wchar_t letter,
                              wchar_t reference) {
  const int32_t referenceDisk = DiskNumberOfVolume(devices, reference);
  if (referenceDisk < 0) return std::wstring();
  const std::optional<LetterPosition> found = FindLetterPosition(disks, letter);
  if (!found) return std::wstring();
  return Format(L"%d:%d", GhostDiskNumber(found->disk, referenceDisk), found->position);
}

const PartitionRecord* FindEfiSystemPartition(const DiskEntry& disk) {
  const Guid espType = *ParseGuid(kEspTypeGuid);
  for (const PartitionRecord& p : disk.partitions) {
    if (disk.gpt ? p.gptType == espType : p.mbrType == kEspMbrType) return &p;
  }
  return nullptr;
}

std::wstring VolumeNameOfPartition(DiskDevices& devices, uint32_t disk, int64_t startingOffset) {
  std::wstring name;
  uint32_t error = 0;
  std::unique_ptr<VolumeSearch> search = devices.FirstVolume(&name, &error);
  for (bool more = search != nullptr; more; more = search->Next(&name, &error)) {
    if (!IsWellFormedVolumeName(name)) continue;
    std::unique_ptr<DiskDevice> volume = devices.OpenVolumeName(name);
    if (!volume) continue;
    uint8_t extents[kDiskExtentsBufferSize] = {};
    uint8_t info[kPartitionInfoBufferSize] = {};
    if (!volume->Request(DiskRequest::kVolumeDiskExtents, extents, sizeof(extents)) ||
        !volume->Request(DiskRequest::kPartitionInfoEx, info, sizeof(info))) {
      continue;
    }
    const std::optional<uint32_t> number = FirstExtentDiskNumber(extents, sizeof(extents));
    const std::optional<VolumePartitionInfo> partition = ParsePartitionInfo(info, sizeof(info));
    if (number && partition && *number == disk && partition->startingOffset == startingOffset) {
      return name;
    }
  }
  return std::wstring();
}

std::wstring VolumeDevicePath(DiskDevices& devices, wchar_t letter, std::FILE* diagnostics) {
  std::wstring name;
  uint32_t error = 0;
  std::unique_ptr<VolumeSearch> search = devices.FirstVolume(&name, &error);
  if (!search) {
    WriteDiagnostic(diagnostics, Format(L"FindFirstVolumeW failed with error code %d\n",
                                        static_cast<int>(error)));
    return std::wstring();
  }
  for (;;) {
    if (!IsWellFormedVolumeName(name)) {
      WriteDiagnostic(
          diagnostics,
          Format(L"FindFirstVolumeW/FindNextVolumeW returned a bad path: %ls\n", name.c_str()));
      return std::wstring();
    }
    // QueryDosDeviceW wants "Volume{...}": no "\\?\" and no trailing slash.
    std::wstring devicePath;
    if (!devices.DosDeviceTarget(name.substr(4, name.size() - 5), &devicePath)) {
      return std::wstring();
    }
    std::vector<std::wstring> paths;
    if (devices.VolumePathNames(name, &paths)) {
      for (const std::wstring& path : paths) {
        if (!path.empty() && path[0] == letter) return devicePath;
      }
    }
    if (!search->Next(&name, &error)) {
      if (error != kErrorNoMoreFiles) {
        WriteDiagnostic(diagnostics, Format(L"FindNextVolumeW failed with error code %d\n",
                                            static_cast<int>(error)));
      }
      return std::wstring();
    }
  }
}

}  // namespace kavi
