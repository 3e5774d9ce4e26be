// The disk map of this machine: the real devices and the one process-wide
// list, built once at start-up before anything reads it.
#include "boot/disk_map.h"

namespace kavi {
namespace {

DiskList& ProcessDiskList() {
  static DiskList disks;
  return disks;
}

}  // namespace

void EnumerateDisks() {
  ProcessDiskList() = EnumerateDisks(SystemDiskDevices());
}

const DiskList& Disks() {
  return ProcessDiskList();
}

int32_t DiskNumberOfVolume(wchar_t letter) {
  return DiskNumberOfVolume(SystemDiskDevices(), letter);
}

bool IsGptVolume(wchar_t letter) {
  return IsGptVolume(SystemDiskDevices(), letter);
}

std::optional<LetterPosition> FindLetterPosition(wchar_t letter) {
  return FindLetterPosition(ProcessDiskList(), letter);
}

std::wstring GhostPartitionId(wchar_t letter, wchar_t reference) {
  return GhostPartitionId(ProcessDiskList(), SystemDiskDevices(), letter, reference);
}

std::wstring VolumeDevicePath(wchar_t letter) {
  return VolumeDevicePath(SystemDiskDevices(), letter, stdout);
}

}  // namespace kavi
