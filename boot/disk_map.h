// The machine's disks and partitions in the three vocabularies of the boot
// takeover: Ghost's disk:partition numbering, the Windows disk number with a
// 1-based partition position, and the NT device path of a volume.
//
// The functions taking a DiskDevices are the logic, portable and tested with
// a substitute; the overloads without one use this machine's devices and the
// process-wide map (disk_map_win32.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "boot/disk_devices.h"
#include "boot/guid.h"

namespace kavi {

// Drive numbers 0 to 99 are probed.
constexpr int kMaxPhysicalDrives = 100;

// Negative results of DiskNumberOfVolume.
constexpr int32_t kVolumeNotOpened = -2;
constexpr int32_t kVolumeExtentsFailed = -1;

struct PartitionRecord {
  wchar_t letter = 0;  // 0: no drive letter
  int64_t startingOffset = 0;
  int64_t length = 0;
  uint8_t mbrType = 0;  // on an MBR disk
  Guid gptType{};       // on a GPT disk
  Guid gptId{};
};

struct DiskEntry {
  // False for a drive that opened but whose layout could not be read. It
  // keeps its place so that list indexes stay equal to Windows disk numbers;
  // it holds no partitions and a letter search passes over it.
  bool layoutRead = true;
  // Mbr.Signature of the layout; 0 for a GPT disk or an unread layout.
  uint32_t mbrSignature = 0;
  // A GPT layout and its Gpt.DiskId.
  bool gpt = false;
  Guid diskId{};
  // Ascending by starting offset.
  std::vector<PartitionRecord> partitions;
};

// Indexed by Windows physical drive number.
using DiskList = std::vector<DiskEntry>;

// Reads every physical drive's layout until a drive cannot be opened, sorts
// each drive's numbered partitions by starting offset and gives the fixed
// volumes C: to Y: their letters.
DiskList EnumerateDisks(DiskDevices& devices);

// The Windows disk number holding the volume's first extent;
// kVolumeNotOpened or kVolumeExtentsFailed.
int32_t DiskNumberOfVolume(DiskDevices& devices, wchar_t letter);

// True when the volume's partition style is GPT; false on any failure.
bool IsGptVolume(DiskDevices& devices, wchar_t letter);

struct LetterPosition {
  int disk;      // index in the DiskList, the Windows disk number
  int position;  // 1-based among the disk's numbered partitions
};

// The first partition carrying the letter (either case). The search ends,
// not found, at a readable disk with no numbered partition. Letter 0 and
// partitions without a letter never match.
std::optional<LetterPosition> FindLetterPosition(const DiskList& disks, wchar_t letter);

// Ghost numbers the disk holding the reference volume 1 and the others after
// it in Windows order.
int GhostDiskNumber(int diskIndex, int referenceDisk);

// "%d:%d" (Ghost disk number, partition position) of the letter, with the
// disk holding `reference` as Ghost disk 1; empty when either cannot be
// resolved.
std::wstring GhostPartitionId(const DiskList& disks, DiskDevices& devices, wchar_t letter,
                              wchar_t reference);

// The NT device path (\Device\HarddiskVolumeN) of the volume mounted at the
// letter, matched exactly (case-sensitively); empty when none is. The three
// failures of the volume search are written as lines to `diagnostics`.
std::wstring VolumeDevicePath(DiskDevices& devices, wchar_t letter,
                              std::FILE* diagnostics = stdout);

// The first EFI system partition of the disk (GPT type kEspTypeGuid, or MBR
// type 0xEF); none when it has none.
const PartitionRecord* FindEfiSystemPartition(const DiskEntry& disk);

// The volume name ("\\?\Volume{...}\") of the partition starting at
// `startingOffset` on Windows disk `disk`, found by opening every volume of
// the volume search; empty when none is.
std::wstring VolumeNameOfPartition(DiskDevices& devices, uint32_t disk, int64_t startingOffset);

// This machine, with the process-wide map (Win32 build only). EnumerateDisks
// rebuilds the map once at start-up, on a worker that readers wait for
// (app/takeover_hooks_win32.cpp); the others only read it. IsGptVolume
// touches no shared state and may run on any thread.
void EnumerateDisks();
const DiskList& Disks();
int32_t DiskNumberOfVolume(wchar_t letter);
bool IsGptVolume(wchar_t letter);
std::optional<LetterPosition> FindLetterPosition(wchar_t letter);
std::wstring GhostPartitionId(wchar_t letter, wchar_t reference);
std::wstring VolumeDevicePath(wchar_t letter);

}  // namespace kavi
