// The two task files a takeover leaves in the root of the boot drive, built
// in memory before anything is written: the Ghost script "Ghost.ba_" in the
// ANSI code page and its disk record "Ghost.map".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "boot/disk_map.h"

namespace kavi {

// The image a load was checked against: its size and the MD5 it was found
// to have. The record's "image size=N md5=HEX" line; the next boot writes
// the image only when it still has them.
struct ImageBinding {
  uint64_t size = 0;
  std::string md5;  // 32 lower-case hex digits
};

struct TakeoverFiles {
  std::string script;
  std::string record;
};

// For a backup (kTakeoverBackup: the system partition dumped into
// `imagePath`) or a restore (kTakeoverRestore: `imagePath` loaded onto it),
// with the disk holding `reference` (the boot drive) as Ghost disk 1. None
// when a partition cannot be resolved or the script has no ANSI form.
// With `binding`, a restore's record binds the load to the image's bytes.
std::optional<TakeoverFiles> BuildTakeoverFiles(const DiskList& disks, DiskDevices& devices,
                                                wchar_t reference, wchar_t systemDrive, int mode,
                                                const std::wstring& imagePath,
                                                const std::optional<ImageBinding>& binding = {});

}  // namespace kavi
