// Where the disk map meets Windows: opening raw disk and volume devices,
// three output-only device requests, the drive type and the volume-name
// functions. The Win32 layer (disk_devices_win32.cpp) only moves bytes and
// names; ordering, numbering and matching live in disk_map.cpp, so tests
// drive them with a substitute.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kavi {

enum class DiskRequest {
  kDriveLayoutEx,      // IOCTL_DISK_GET_DRIVE_LAYOUT_EX
  kPartitionInfoEx,    // IOCTL_DISK_GET_PARTITION_INFO_EX
  kVolumeDiskExtents,  // IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS
};

// An open disk or volume device, closed when destroyed.
class DiskDevice {
 public:
  virtual ~DiskDevice() = default;
  // Issues the request without input into `out`, whose size is the output
  // buffer size. True when Windows reports success.
  virtual bool Request(DiskRequest request, uint8_t* out, size_t size) = 0;
  // Reads `size` bytes (whole sectors) from byte `offset` of a physical
  // drive. False when they cannot all be read.
  virtual bool ReadAt(uint64_t offset, uint8_t* out, size_t size) = 0;
};

// A running FindFirstVolumeW search, closed when destroyed.
class VolumeSearch {
 public:
  virtual ~VolumeSearch() = default;
  // FindNextVolumeW: the next volume name, or false with the error code
  // (ERROR_NO_MORE_FILES, 18, at the end).
  virtual bool Next(std::wstring* name, uint32_t* error) = 0;
};

class DiskDevices {
 public:
  virtual ~DiskDevices() = default;
  // "\\.\PhysicalDrive%d" and "\\.\%c:" opened for reading, sharing read and
  // write; null when the device cannot be opened.
  virtual std::unique_ptr<DiskDevice> OpenPhysicalDrive(int number) = 0;
  virtual std::unique_ptr<DiskDevice> OpenVolume(wchar_t letter) = 0;
  // A volume by its name from the volume search ("\\?\Volume{...}\"),
  // opened without the trailing backslash, the same way; null when it cannot
  // be opened (a volume without a letter, such as the EFI system partition,
  // is reached only like this).
  virtual std::unique_ptr<DiskDevice> OpenVolumeName(const std::wstring& volumeName) = 0;
  // GetDriveTypeW of "%c:\" is DRIVE_FIXED.
  virtual bool IsFixedDrive(wchar_t letter) = 0;
  // FindFirstVolumeW: the search with its first volume name in `name`, or
  // null with the error code.
  virtual std::unique_ptr<VolumeSearch> FirstVolume(std::wstring* name, uint32_t* error) = 0;
  // QueryDosDeviceW of a device name ("Volume{...}"): its first target.
  virtual bool DosDeviceTarget(const std::wstring& deviceName, std::wstring* target) = 0;
  // GetVolumePathNamesForVolumeNameW: every mount path of the volume
  // ("C:\", folders it is mounted on). False when they cannot be read.
  virtual bool VolumePathNames(const std::wstring& volumeName,
                               std::vector<std::wstring>* paths) = 0;
};

// The Windows devices of this machine (Win32 build only).
DiskDevices& SystemDiskDevices();

}  // namespace kavi
