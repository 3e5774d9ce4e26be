// The real Win32 disk layer. Wine has fixed drives but no disk layouts, so
// the map comes out without partitions and every query fails softly.
#include "boot/disk_map.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "boot/disk_layout.h"

namespace kavi {
namespace {

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST(DiskMapWin32, EnumeratesWithoutCrashingAndFindsNoPartitionUnderWine) {
  if (!RunningUnderWine()) GTEST_SKIP() << "needs a machine without disk layouts";
  EnumerateDisks();
  EXPECT_LE(Disks().size(), size_t(kMaxPhysicalDrives));
  for (const DiskEntry& disk : Disks()) EXPECT_TRUE(disk.partitions.empty());
  for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
    EXPECT_FALSE(FindLetterPosition(letter)) << char(letter);
    EXPECT_EQ(L"", GhostPartitionId(letter, L'C')) << char(letter);
    EXPECT_FALSE(IsGptVolume(letter)) << char(letter);
  }
}

TEST(DiskMapWin32, VolumeQueriesFailSoftly) {
  EXPECT_EQ(kVolumeNotOpened, DiskNumberOfVolume(L'Q'));
  EXPECT_FALSE(IsGptVolume(L'Q'));
  EXPECT_EQ(L"", GhostPartitionId(L'C', L'Q'));
  if (RunningUnderWine()) {
    EXPECT_LT(DiskNumberOfVolume(L'C'), 0);
  }
}

TEST(DiskMapWin32, VolumeDevicePathOfTheMountedLetterOnly) {
  // Wine's mount manager knows its drives' volumes even without layouts.
  if (RunningUnderWine()) {
    EXPECT_EQ(0u, VolumeDevicePath(L'C').find(L"\\Device\\HarddiskVolume"));
    EXPECT_EQ(L"", VolumeDevicePath(L'c'));  // the letter is matched exactly
  }
  EXPECT_EQ(L"", VolumeDevicePath(L'Q'));
}

TEST(DiskDevicesWin32, OpensVolumesAndRefusesMissingDevices) {
  DiskDevices& devices = SystemDiskDevices();
  EXPECT_EQ(nullptr, devices.OpenVolume(L'Q'));
  EXPECT_EQ(nullptr, devices.OpenPhysicalDrive(99));
  EXPECT_TRUE(devices.IsFixedDrive(L'C'));
  EXPECT_FALSE(devices.IsFixedDrive(L'Q'));
  std::unique_ptr<DiskDevice> volume = devices.OpenVolume(L'C');
  if (volume) {
    // Whatever the request gives, it stays inside the buffer it was handed.
    uint8_t buffer[kPartitionInfoBufferSize + 16];
    std::fill(std::begin(buffer), std::end(buffer), 0xAB);
    volume->Request(DiskRequest::kPartitionInfoEx, buffer, kPartitionInfoBufferSize);
    for (size_t i = kPartitionInfoBufferSize; i < sizeof(buffer); ++i) EXPECT_EQ(0xAB, buffer[i]);
  }
}

}  // namespace
}  // namespace kavi
