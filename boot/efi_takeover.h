// The UEFI road of a takeover: our loaders go into one folder of our own on
// the EFI system partition of the system disk, and a firmware boot entry
// starting our shim is made the firmware's next boot only ({fwbootmgr}'s
// boot sequence, which Windows keeps as BootNext), never part of its boot
// order. Nothing else on that partition is touched. A step that fails takes
// back what the steps before it added.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "boot/boot_machine.h"
#include "boot/takeover.h"
#include "boot/takeover_files.h"

namespace kavi {

struct EfiTarget {
  std::wstring volume;  // "\\?\Volume{...}\", where the files are written
  std::wstring device;  // "\Device\HarddiskVolumeN", the entry's device
};

// Room kept free beyond the files themselves: a cluster's slack per file and
// the folder's own entries.
constexpr uint64_t kEfiRoomMargin = 1024 * 1024;

// True when all six files are carried, none empty.
bool HasEfiPayloads(BootMachine& machine);

// The EFI system partition of the disk holding the system drive, by its
// volume name, when it has room for the six files; none when there is no
// such partition, its volume is not found or it has too little room.
std::optional<EfiTarget> FindEfiTarget(BootMachine& machine);

// "{...}" as bcdedit prints the entry it made, from its output in any
// language; none when the output names no entry.
std::optional<std::wstring> BcdEntryIdFromOutput(const std::string& output);

// The entries of `bcdedit /enum firmware` output (any language; entries
// apart by blank lines, each named by its first "{...}") whose path lies in
// our folder: left by an earlier takeover that was never started.
std::vector<std::wstring> OurEfiEntriesFromOutput(const std::string& output);

// The bcdedit argument lines: the copy of the boot manager that becomes our
// firmware application entry, then what points it at our shim and arms it.
std::wstring EfiEntryCopyArguments(const std::wstring& name);
std::vector<std::wstring> EfiEntryArguments(const std::wstring& id, const std::wstring& device);

// Writes the six files, the KV.ima marker and the task files, then adds and
// arms the entry. kPayloadsNotWritten, kScriptNotWritten or
// kBootEntryNotAdded with everything taken back.
TakeoverResult ArmEfiTakeover(BootMachine& machine, const EfiTarget& target,
                              const std::wstring& name, const TakeoverFiles& task);

}  // namespace kavi
