// The checks a task passes before anything is written, over facts the agent
// gathered beforehand. The first failing check decides; nothing here reads
// a disk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "restore/agent/failure.h"
#include "restore/agent/partitions.h"
#include "restore/agent/wim_text.h"

namespace kavi {
namespace restore {

// hiberfil.sys of a hibernated Windows starts with "hibr" or "wake" (either
// case); a resumed or fast-started-away one is zeroed.
bool IsHibernationHeader(const std::string& firstBytes);

// The image's files must fit with room for the file system's own records.
bool ImageFitsPartition(uint64_t imageBytes, uint64_t partitionBytes);

struct LoadFacts {
  size_t taskPartition = 0;  // indices into the found partitions
  size_t target = 0;
  size_t imagePartition = 0;
  FsKind targetFs = FsKind::kOther;
  uint64_t targetLength = 0;
  bool targetHibernated = false;
  bool imageExists = false;
  ImageKind header = ImageKind::kUnknown;
  std::optional<WimInfo> info;  // none when wimlib-imagex could not read it
  int imageIndex = 1;
  bool uefi = false;               // the firmware of this boot (x64 UEFI: the only UEFI road)
  std::optional<bool> longMode;    // the processor runs x64 code; none when unknown
  bool secureBoot = false;         // on UEFI, enforced
  bool bootPartitionFound = true;  // where the firmware will look for the boot files
  bool ntldrHost = false;          // that partition starts Windows through NTLDR
};

// Whether this machine can start the image's Windows: no x64 image on a
// processor without long mode, no x86 image on x64 UEFI firmware (it has no
// loader that firmware can start), no Vista or later where NTLDR's boot code
// starts Windows.
Refusal CheckImageFitsMachine(const WimImageFacts& image, bool uefi, bool secureBoot,
                              std::optional<bool> longMode, bool ntldrHost);

// In order: target is the task partition, image not on it, image exists,
// header, image number, machine fit, size, target file system, hibernation,
// boot partition. The image's
// full verification comes after these, still before any write.
Refusal CheckLoad(const LoadFacts& facts);

struct DumpFacts {
  size_t taskPartition = 0;
  size_t source = 0;
  size_t imagePartition = 0;
  FsKind sourceFs = FsKind::kOther;
  bool sourceHibernated = false;
};

// In order: source is the task partition, destination elsewhere, source
// file system, hibernation.
Refusal CheckDump(const DumpFacts& facts);

}  // namespace restore
}  // namespace kavi
