// dspt.exe DISK /act:POSITION: makes the partition at that 1-based position
// of the disk (the program's disk map order) the active partition of an MBR
// disk. Prints what it did or why not; exits 0 only when the new layout was
// written.
#include <windows.h>
#include <winioctl.h>

#include <cstdio>
#include <vector>

#include "host/text.h"
#include "host/win32_util.h"
#include "tools/dspt/partition_activation.h"

namespace {

constexpr int kExitUsage = 1;
constexpr int kExitDiskUnreadable = 2;
constexpr int kExitRefused = 3;
constexpr int kExitWriteFailed = 4;

void Print(FILE* out, const std::wstring& text) {
  std::fputs(kavi::ToAnsi(text).c_str(), out);
  std::fflush(out);
}

// The whole layout, growing the buffer for disks with many logical drives.
bool ReadLayout(HANDLE disk, std::vector<uint8_t>* layout) {
  for (size_t size = 48 + 144 * 32; size <= 48 + 144 * 4096; size *= 2) {
    layout->assign(size, 0);
    DWORD returned = 0;
    if (DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, layout->data(),
                        static_cast<DWORD>(size), &returned, nullptr)) {
      return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER && error != ERROR_MORE_DATA) return false;
  }
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> arguments(argv + 1, argv + argc);
  const std::optional<kavi::DsptArguments> args = kavi::ParseDsptArguments(arguments);
  if (!args) {
    Print(stderr,
          L"usage: dspt DISK /act:POSITION\n"
          L"  Makes the partition at the 1-based POSITION (by starting offset) of\n"
          L"  physical disk DISK the active partition. MBR disks, primary partitions.\n");
    return kExitUsage;
  }
  const std::wstring device = kavi::Format(L"\\\\.\\PhysicalDrive%d", args->disk);
  kavi::UniqueHandle disk(CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
  std::vector<uint8_t> layout;
  if (!disk.Valid() || !ReadLayout(disk.Get(), &layout)) {
    Print(stderr, kavi::Format(L"disk %d cannot be opened or read (error %lu).\n", args->disk,
                               GetLastError()));
    return kExitDiskUnreadable;
  }
  const kavi::Activation activation = kavi::ActivatePartition(layout, args->position);
  if (activation.outcome != kavi::ActivationOutcome::kActivated) {
    Print(stderr, kavi::DescribeActivation(activation, *args));
    return kExitRefused;
  }
  DWORD returned = 0;
  if (!DeviceIoControl(disk.Get(), IOCTL_DISK_SET_DRIVE_LAYOUT_EX, layout.data(),
                       static_cast<DWORD>(activation.layoutSize), nullptr, 0, &returned, nullptr)) {
    Print(stderr, kavi::Format(L"disk %d: the new layout could not be written (error %lu).\n",
                               args->disk, GetLastError()));
    return kExitWriteFailed;
  }
  // Let Windows read the changed table back.
  DeviceIoControl(disk.Get(), IOCTL_DISK_UPDATE_PROPERTIES, nullptr, 0, nullptr, 0, &returned,
                  nullptr);
  Print(stdout, kavi::DescribeActivation(activation, *args));
  return 0;
}
