// A substitute for the Windows disk devices, and the raw Windows records it
// returns, built field by field at their published byte offsets.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "boot/disk_devices.h"
#include "boot/guid.h"

namespace kavi {
namespace testing_disks {

using Bytes = std::vector<uint8_t>;

inline void PutLe(Bytes& b, size_t at, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) b.at(at + i) = static_cast<uint8_t>(value >> (8 * i));
}

struct LayoutEntry {
  int64_t startingOffset;
  uint32_t partitionNumber;  // 0: empty slot or extended container
  int64_t length = int64_t{1} << 30;
  uint8_t type = 0x07;
};

// DRIVE_LAYOUT_INFORMATION_EX: header of 48 bytes, then 144-byte entries.
inline Bytes DriveLayout(const std::vector<LayoutEntry>& entries, uint32_t style = 0,
                         uint32_t signature = 0x12345678) {
  Bytes b(48 + 144 * entries.size());
  PutLe(b, 0, style, 4);           // PartitionStyle
  PutLe(b, 4, entries.size(), 4);  // PartitionCount
  PutLe(b, 8, signature, 4);       // Mbr.Signature
  for (size_t i = 0; i < entries.size(); ++i) {
    const size_t at = 48 + 144 * i;
    PutLe(b, at + 0, style, 4);                                             // PartitionStyle
    PutLe(b, at + 8, static_cast<uint64_t>(entries[i].startingOffset), 8);  // StartingOffset
    PutLe(b, at + 16, static_cast<uint64_t>(entries[i].length), 8);         // PartitionLength
    PutLe(b, at + 24, entries[i].partitionNumber, 4);                       // PartitionNumber
    b[at + 32] = entries[i].type;                                           // Mbr.PartitionType
  }
  return b;
}

struct GptLayoutEntry {
  int64_t startingOffset;
  int64_t length;
  std::string type;  // GUID text
  std::string id;
};

inline void PutGuid(Bytes& b, size_t at, const std::string& text) {
  const std::optional<Guid> guid = ParseGuid(text);
  std::copy(guid.value().begin(), guid->end(), b.begin() + at);
}

// A GPT DRIVE_LAYOUT_INFORMATION_EX: Gpt.DiskId at 8, each entry's
// Gpt.PartitionType at 32 and Gpt.PartitionId at 48; numbered in order.
inline Bytes GptDriveLayout(const std::string& diskId, const std::vector<GptLayoutEntry>& entries) {
  Bytes b(48 + 144 * entries.size());
  PutLe(b, 0, 1, 4);
  PutLe(b, 4, entries.size(), 4);
  PutGuid(b, 8, diskId);
  for (size_t i = 0; i < entries.size(); ++i) {
    const size_t at = 48 + 144 * i;
    PutLe(b, at + 0, 1, 4);
    PutLe(b, at + 8, static_cast<uint64_t>(entries[i].startingOffset), 8);
    PutLe(b, at + 16, static_cast<uint64_t>(entries[i].length), 8);
    PutLe(b, at + 24, i + 1, 4);
    PutGuid(b, at + 32, entries[i].type);
    PutGuid(b, at + 48, entries[i].id);
  }
  return b;
}

// PARTITION_INFORMATION_EX of a volume.
inline Bytes PartitionInfo(uint32_t style, int64_t startingOffset) {
  Bytes b(144);
  PutLe(b, 0, style, 4);
  PutLe(b, 8, static_cast<uint64_t>(startingOffset), 8);
  PutLe(b, 16, uint64_t{1} << 30, 8);
  PutLe(b, 24, 1, 4);
  return b;
}

// VOLUME_DISK_EXTENTS with one extent.
inline Bytes DiskExtents(uint32_t diskNumber, uint32_t count = 1) {
  Bytes b(32);
  PutLe(b, 0, count, 4);       // NumberOfDiskExtents
  PutLe(b, 8, diskNumber, 4);  // Extents[0].DiskNumber
  PutLe(b, 16, 1 << 20, 8);    // Extents[0].StartingOffset
  PutLe(b, 24, uint64_t{1} << 30, 8);
  return b;
}

struct FakeVolume {
  bool fixed = true;
  std::optional<Bytes> extents;  // none: the request fails
  std::optional<Bytes> info;
};

struct RequestLog {
  DiskRequest request;
  size_t size;
};

class FakeDiskDevices : public DiskDevices {
 public:
  // Index = drive number; none = the layout request fails. Numbers past the
  // end cannot be opened, unless `openEveryDrive` is set.
  std::vector<std::optional<Bytes>> drives;
  bool openEveryDrive = false;
  std::map<wchar_t, FakeVolume> volumes;  // absent: cannot be opened
  // Volumes opened by name ("\\?\Volume{...}\"); absent: cannot be.
  std::map<std::wstring, FakeVolume> namedVolumes;

  std::optional<uint32_t> firstVolumeError;  // FindFirstVolumeW fails with it
  std::vector<std::wstring> volumeNames;
  uint32_t endError = 18;  // ERROR_NO_MORE_FILES
  std::map<std::wstring, std::wstring> dosDevices;
  std::map<std::wstring, std::vector<std::wstring>> mountPaths;

  // Bytes a raw read of drive `first` at byte `second` returns.
  std::map<std::pair<int, uint64_t>, Bytes> sectors;

  std::vector<int> openedDrives;
  std::vector<wchar_t> openedVolumes;
  std::vector<RequestLog> requests;
  std::vector<std::wstring> queriedDosNames;
  int openDevices = 0;

  void AddVolume(wchar_t letter, uint32_t disk, int64_t offset, uint32_t style = 0) {
    volumes[letter] = FakeVolume{true, DiskExtents(disk), PartitionInfo(style, offset)};
  }

  std::unique_ptr<DiskDevice> OpenPhysicalDrive(int number) override {
    openedDrives.push_back(number);
    if (openEveryDrive) return std::make_unique<Device>(this, std::nullopt);
    if (number < 0 || static_cast<size_t>(number) >= drives.size()) return nullptr;
    std::optional<Bytes> layout = drives[number];
    auto device = std::make_unique<Device>(this, std::move(layout));
    device->drive = number;
    return device;
  }

  std::unique_ptr<DiskDevice> OpenVolume(wchar_t letter) override {
    openedVolumes.push_back(letter);
    auto it = volumes.find(letter);
    if (it == volumes.end()) return nullptr;
    return std::make_unique<Device>(this, std::nullopt, it->second.extents, it->second.info);
  }

  std::unique_ptr<DiskDevice> OpenVolumeName(const std::wstring& volumeName) override {
    auto it = namedVolumes.find(volumeName);
    if (it == namedVolumes.end()) return nullptr;
    return std::make_unique<Device>(this, std::nullopt, it->second.extents, it->second.info);
  }

  bool IsFixedDrive(wchar_t letter) override {
    auto it = volumes.find(letter);
    return it != volumes.end() && it->second.fixed;
  }

  std::unique_ptr<VolumeSearch> FirstVolume(std::wstring* name, uint32_t* error) override {
    if (firstVolumeError) {
      *error = *firstVolumeError;
      return nullptr;
    }
    auto search = std::make_unique<Search>(this);
    if (!search->Next(name, error)) return nullptr;
    return search;
  }

  bool DosDeviceTarget(const std::wstring& deviceName, std::wstring* target) override {
    queriedDosNames.push_back(deviceName);
    auto it = dosDevices.find(deviceName);
    if (it == dosDevices.end()) return false;
    *target = it->second;
    return true;
  }

  bool VolumePathNames(const std::wstring& volumeName, std::vector<std::wstring>* paths) override {
    auto it = mountPaths.find(volumeName);
    if (it == mountPaths.end()) return false;
    *paths = it->second;
    return true;
  }

 private:
  // Answers a request like DeviceIoControl: the record goes into the
  // caller's buffer, which must be large enough; bytes past it stay as the
  // caller left them.
  class Device : public DiskDevice {
   public:
    Device(FakeDiskDevices* owner, std::optional<Bytes> layout,
           std::optional<Bytes> extents = std::nullopt, std::optional<Bytes> info = std::nullopt)
        : owner_(owner),
          layout_(std::move(layout)),
          extents_(std::move(extents)),
          info_(std::move(info)) {
      ++owner_->openDevices;
    }
    ~Device() override { --owner_->openDevices; }
    bool Request(DiskRequest request, uint8_t* out, size_t size) override {
      owner_->requests.push_back(RequestLog{request, size});
      const std::optional<Bytes>& answer = request == DiskRequest::kDriveLayoutEx       ? layout_
                                           : request == DiskRequest::kVolumeDiskExtents ? extents_
                                                                                        : info_;
      if (!answer || answer->size() > size) return false;
      std::copy(answer->begin(), answer->end(), out);
      return true;
    }
    bool ReadAt(uint64_t offset, uint8_t* out, size_t size) override {
      auto it = owner_->sectors.find({drive, offset});
      if (it == owner_->sectors.end() || it->second.size() < size) return false;
      std::copy(it->second.begin(), it->second.begin() + size, out);
      return true;
    }
    int drive = -1;

   private:
    FakeDiskDevices* owner_;
    std::optional<Bytes> layout_, extents_, info_;
  };

  class Search : public VolumeSearch {
   public:
    explicit Search(FakeDiskDevices* owner) : owner_(owner) {}
    bool Next(std::wstring* name, uint32_t* error) override {
      if (next_ >= owner_->volumeNames.size()) {
        *error = owner_->endError;
        return false;
      }
      *name = owner_->volumeNames[next_++];
      return true;
    }

   private:
    FakeDiskDevices* owner_;
    size_t next_ = 0;
  };
};

constexpr int64_t kMiB = int64_t{1} << 20;
constexpr int64_t kGiB = int64_t{1} << 30;

}  // namespace testing_disks
}  // namespace kavi
