// What a written Windows needs to start, placed after the image is applied:
// the image's own boot manager and boot resources (from \Windows\Boot) where
// the firmware looks, and a store whose default entry starts the written
// partition. Each file is written beside its place and renamed onto it, the
// store last, so a power cut leaves each file old or new and the old store
// until the new one is whole.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "restore/agent/agent_host.h"
#include "restore/agent/bcd_store.h"

namespace kavi {
namespace restore {

struct BootPlacement {
  bool uefi = false;
  std::string windowsDir;  // the written partition, mounted writable
  std::string bootDir;     // the active partition (may be windowsDir) or the ESP, writable
  BcdTarget bcd;
  // The machine's store as it was before the write; none when it had none.
  std::optional<std::string> machineStore;
  std::string description;  // the new loader entry's name
};

// Where the store lives on the boot partition.
std::string StorePath(bool uefi);  // "Boot/BCD" or "EFI/Microsoft/Boot/BCD"

struct BootFilesResult {
  bool ok = true;
  std::string detail;              // why not, when !ok
  std::vector<std::string> notes;  // "done: ..." lines for the log
};

// True when the written tree carries \Windows\Boot for this firmware.
bool HasImageBootFiles(VolumeAccess& volumes, const std::string& windowsDir, bool uefi);

// The image's boot files and a store for them. On UEFI, \EFI\Boot\bootx64.efi
// is replaced too when it was the old boot manager byte for byte.
BootFilesResult PlaceImageBootFiles(VolumeAccess& volumes, ToolRunner& tools,
                                    const BootPlacement& place);

// An image that brought its own root boot files: its store is kept when it
// starts the written partition, else the machine's store takes its place.
BootFilesResult KeepOwnBootFiles(VolumeAccess& volumes, ToolRunner& tools,
                                 const BootPlacement& place);

}  // namespace restore
}  // namespace kavi
