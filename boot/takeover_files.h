// The two task files a takeover leaves in the root of the boot drive, built
// in memory before anything is written: the Ghost script "Ghost.ba_" in the
// ANSI code page and its disk record "Ghost.map".
#pragma once

#include <optional>
#include <string>

#include "boot/disk_map.h"

namespace kavi {

struct TakeoverFiles {
  std::string script;
  std::string record;
};

// For a backup (kTakeoverBackup: the system partition dumped into
// `imagePath`) or a restore (kTakeoverRestore: `imagePath` loaded onto it),
// with the disk holding `reference` (the boot drive) as Ghost disk 1. None
// when a partition cannot be resolved or the script has no ANSI form.
std::optional<TakeoverFiles> BuildTakeoverFiles(const DiskList& disks, DiskDevices& devices,
                                                wchar_t reference, wchar_t systemDrive, int mode,
                                                const std::wstring& imagePath);

}  // namespace kavi
