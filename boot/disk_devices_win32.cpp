#include "boot/disk_devices.h"

#include <windows.h>
#include <winioctl.h>

#include <cstddef>
#include <utility>

#include "boot/disk_layout.h"
#include "host/text.h"
#include "host/win32_util.h"

namespace kavi {

// The portable parsers read these records at fixed offsets; the Windows
// headers must agree.
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry) == kLayoutEntriesOffset,
              "layout entries");
static_assert(sizeof(PARTITION_INFORMATION_EX) == kLayoutEntrySize, "layout entry size");
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionStyle) ==
                  offsetof(DriveLayoutHeader, PartitionStyle),
              "layout PartitionStyle");
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_EX, Mbr.Signature) ==
                  offsetof(DriveLayoutHeader, MbrSignature),
              "Mbr.Signature");
static_assert(PARTITION_STYLE_MBR == kPartitionStyleMbr, "MBR style");
static_assert(offsetof(PARTITION_INFORMATION_EX, PartitionStyle) ==
                  offsetof(PartitionEntryEx, PartitionStyle),
              "PartitionStyle");
static_assert(offsetof(PARTITION_INFORMATION_EX, StartingOffset) ==
                  offsetof(PartitionEntryEx, StartingOffset),
              "StartingOffset");
static_assert(offsetof(PARTITION_INFORMATION_EX, PartitionLength) ==
                  offsetof(PartitionEntryEx, PartitionLength),
              "PartitionLength");
static_assert(offsetof(PARTITION_INFORMATION_EX, PartitionNumber) ==
                  offsetof(PartitionEntryEx, PartitionNumber),
              "PartitionNumber");
static_assert(offsetof(VOLUME_DISK_EXTENTS, Extents) == offsetof(VolumeDiskExtentsOne, Extents),
              "Extents");
static_assert(offsetof(DISK_EXTENT, DiskNumber) == 0, "DiskNumber");
static_assert(sizeof(VOLUME_DISK_EXTENTS) == kDiskExtentsBufferSize, "extents buffer");
static_assert(PARTITION_STYLE_GPT == kPartitionStyleGpt, "GPT style");
static_assert(offsetof(DRIVE_LAYOUT_INFORMATION_EX, Gpt.DiskId) == kGptDiskIdOffset, "Gpt.DiskId");
static_assert(offsetof(PARTITION_INFORMATION_EX, Gpt.PartitionType) ==
                  offsetof(PartitionEntryEx, GptPartitionType),
              "Gpt.PartitionType");
static_assert(offsetof(PARTITION_INFORMATION_EX, Gpt.PartitionId) ==
                  offsetof(PartitionEntryEx, GptPartitionId),
              "Gpt.PartitionId");
static_assert(offsetof(PARTITION_INFORMATION_EX, Mbr.PartitionType) ==
                  offsetof(PartitionEntryEx, GptPartitionType),
              "Mbr.PartitionType");
static_assert(sizeof(GUID) == sizeof(Guid), "GUID");

namespace {

DWORD ControlCode(DiskRequest request) {
  switch (request) {
    case DiskRequest::kDriveLayoutEx:
      return IOCTL_DISK_GET_DRIVE_LAYOUT_EX;
    case DiskRequest::kPartitionInfoEx:
      return IOCTL_DISK_GET_PARTITION_INFO_EX;
    case DiskRequest::kVolumeDiskExtents:
      return IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS;
  }
  return 0;
}

class Win32DiskDevice : public DiskDevice {
 public:
  explicit Win32DiskDevice(UniqueHandle handle) : handle_(std::move(handle)) {}
  bool Request(DiskRequest request, uint8_t* out, size_t size) override {
    DWORD returned = 0;
    return DeviceIoControl(handle_.Get(), ControlCode(request), nullptr, 0, out,
                           static_cast<DWORD>(size), &returned, nullptr) != FALSE;
  }
  bool ReadAt(uint64_t offset, uint8_t* out, size_t size) override {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD read = 0;
    return size <= MAXDWORD && SetFilePointerEx(handle_.Get(), at, nullptr, FILE_BEGIN) &&
           ReadFile(handle_.Get(), out, static_cast<DWORD>(size), &read, nullptr) && read == size;
  }

 private:
  UniqueHandle handle_;
};

std::unique_ptr<DiskDevice> OpenDevice(const std::wstring& path) {
  UniqueHandle handle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
  if (!handle.Valid()) return nullptr;
  return std::make_unique<Win32DiskDevice>(std::move(handle));
}

// Volume names fit 260 characters: "\\?\Volume{GUID}\" is 49.
constexpr DWORD kVolumeNameChars = MAX_PATH;

class Win32VolumeSearch : public VolumeSearch {
 public:
  explicit Win32VolumeSearch(HANDLE handle) : handle_(handle) {}
  ~Win32VolumeSearch() override { FindVolumeClose(handle_); }
  Win32VolumeSearch(const Win32VolumeSearch&) = delete;
  Win32VolumeSearch& operator=(const Win32VolumeSearch&) = delete;

  bool Next(std::wstring* name, uint32_t* error) override {
    wchar_t buffer[kVolumeNameChars] = {};
    if (!FindNextVolumeW(handle_, buffer, kVolumeNameChars)) {
      *error = GetLastError();
      return false;
    }
    OutputDebugStringW(buffer);
    *name = buffer;
    return true;
  }

 private:
  HANDLE handle_;
};

// Splits a list of NUL-terminated strings ended by an empty one.
std::vector<std::wstring> SplitMultiString(const wchar_t* data, size_t length) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  for (size_t i = 0; i < length; ++i) {
    if (data[i] != L'\0') continue;
    if (i == start) break;
    parts.emplace_back(data + start, i - start);
    start = i + 1;
  }
  return parts;
}

class Win32DiskDevices : public DiskDevices {
 public:
  std::unique_ptr<DiskDevice> OpenPhysicalDrive(int number) override {
    return OpenDevice(Format(L"\\\\.\\PhysicalDrive%d", number));
  }
  std::unique_ptr<DiskDevice> OpenVolume(wchar_t letter) override {
    return OpenDevice(Format(L"\\\\.\\%lc:", letter));
  }
  std::unique_ptr<DiskDevice> OpenVolumeName(const std::wstring& volumeName) override {
    if (volumeName.empty() || volumeName.back() != L'\\') return nullptr;
    return OpenDevice(volumeName.substr(0, volumeName.size() - 1));
  }
  bool IsFixedDrive(wchar_t letter) override {
    const std::wstring root = Format(L"%lc:\\", letter);
    return GetDriveTypeW(root.c_str()) == DRIVE_FIXED;
  }
  std::unique_ptr<VolumeSearch> FirstVolume(std::wstring* name, uint32_t* error) override {
    wchar_t buffer[kVolumeNameChars] = {};
    HANDLE handle = FindFirstVolumeW(buffer, kVolumeNameChars);
    if (handle == INVALID_HANDLE_VALUE) {
      *error = GetLastError();
      return nullptr;
    }
    OutputDebugStringW(buffer);
    *name = buffer;
    return std::make_unique<Win32VolumeSearch>(handle);
  }
  bool DosDeviceTarget(const std::wstring& deviceName, std::wstring* target) override {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD n = QueryDosDeviceW(deviceName.c_str(), buffer, MAX_PATH);
    if (n == 0) return false;
    const std::vector<std::wstring> targets = SplitMultiString(buffer, n);
    if (targets.empty()) return false;
    *target = targets.front();
    return true;
  }
  bool VolumePathNames(const std::wstring& volumeName, std::vector<std::wstring>* paths) override {
    // Windows 2000 has no GetVolumePathNamesForVolumeNameW; importing it
    // would keep the program from starting there, so it is looked up.
    using Fn = BOOL(WINAPI*)(LPCWSTR, LPWCH, DWORD, PDWORD);
    static const Fn fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetVolumePathNamesForVolumeNameW")));
    if (fn == nullptr) return false;
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    // The reported length can grow between calls while mounts change; a few
    // rounds are enough for any real machine.
    for (int attempt = 0; attempt < 8; ++attempt) {
      DWORD needed = 0;
      if (fn(volumeName.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()), &needed)) {
        *paths = SplitMultiString(buffer.data(), buffer.size());
        return true;
      }
      if (GetLastError() != ERROR_MORE_DATA || needed <= buffer.size()) return false;
      buffer.assign(needed, L'\0');
    }
    return false;
  }
};

}  // namespace

DiskDevices& SystemDiskDevices() {
  static Win32DiskDevices devices;
  return devices;
}

}  // namespace kavi
