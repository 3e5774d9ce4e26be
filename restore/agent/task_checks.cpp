#include "restore/agent/task_checks.h"

namespace kavi {
namespace restore {
namespace {

Refusal CheckFileSystem(FsKind fs, bool hibernated, const char* role) {
  const std::string what = role;
  if (fs == FsKind::kBitLocker) {
    return Refuse(Failure::kTargetEncrypted, "the " + what + " partition is BitLocker-encrypted");
  }
  if (fs != FsKind::kNtfs && fs != FsKind::kFat) {
    return Refuse(Failure::kTargetFilesystem, "the " + what + " partition is neither NTFS nor FAT");
  }
  if (hibernated) {
    return Refuse(Failure::kTargetHibernated,
                  "Windows on the " + what + " partition is hibernated; shut it down fully first");
  }
  return Refusal{};
}

}  // namespace

bool IsHibernationHeader(const std::string& firstBytes) {
  const std::string head = firstBytes.substr(0, 4);
  return head == "hibr" || head == "HIBR" || head == "wake" || head == "WAKE";
}

bool ImageFitsPartition(uint64_t imageBytes, uint64_t partitionBytes) {
  const uint64_t needed = imageBytes + imageBytes / 16 + (uint64_t{16} << 20);
  return needed >= imageBytes && needed <= partitionBytes;
}

Refusal CheckImageFitsMachine(const WimImageFacts& image, bool uefi, bool secureBoot,
                              std::optional<bool> longMode, bool ntldrHost) {
  if (image.architecture == "x86_64" && longMode == false) {
    return Refuse(Failure::kImageNotForMachine,
                  "the image holds x64 Windows and this processor runs only 32-bit code");
  }
  if (image.architecture == "x86" && uefi) {
    return Refuse(Failure::kImageNotForMachine,
                  "the image holds x86 Windows, which this x64 UEFI firmware cannot start");
  }
  // Windows 8 is NT 6.2, build 9200: older boot managers are not signed for
  // Secure Boot, and Windows 7's hangs without a video BIOS.
  const bool olderThan8 =
      image.build > 0
          ? image.build < 9200
          : image.majorVersion > 0 &&
                (image.majorVersion < 6 || (image.majorVersion == 6 && image.minorVersion < 2));
  if (uefi && secureBoot && olderThan8) {
    return Refuse(Failure::kImageNotForMachine,
                  "the image holds Windows older than 8, which Secure Boot refuses to start");
  }
  if (ntldrHost && image.majorVersion >= 6) {
    return Refuse(
        Failure::kImageNotForMachine,
        "the image's Windows needs the boot manager; this disk starts Windows through NTLDR");
  }
  return Refusal{};
}

Refusal CheckLoad(const LoadFacts& f) {
  if (f.target != f.taskPartition) {
    return Refuse(Failure::kTargetNotTask,
                  "the target is not the partition that started this task");
  }
  if (f.imagePartition == f.target) {
    return Refuse(Failure::kImageOnTarget, "the image file lies on the partition it would replace");
  }
  if (!f.imageExists) return Refuse(Failure::kImageMissing, "the image file does not exist");
  if (f.header == ImageKind::kGhost) {
    return Refuse(Failure::kImageGho, "this image needs the Ghost imaging payload");
  }
  if (f.header != ImageKind::kWim) {
    return Refuse(Failure::kImageUnknown, "the image file is neither WIM nor ESD");
  }
  if (!f.info) return Refuse(Failure::kImageCorrupt, "wimlib-imagex cannot read the image file");
  if (f.imageIndex < 1 || f.imageIndex > f.info->imageCount) {
    return Refuse(Failure::kImageUnknown,
                  "the image file holds no image " + std::to_string(f.imageIndex));
  }
  if (static_cast<size_t>(f.imageIndex) <= f.info->images.size()) {
    const Refusal unfit = CheckImageFitsMachine(f.info->images[f.imageIndex - 1], f.uefi,
                                                f.secureBoot, f.longMode, f.ntldrHost);
    if (unfit.failed()) return unfit;
  }
  const uint64_t bytes = f.info->totalBytes[f.imageIndex - 1];
  if (!ImageFitsPartition(bytes, f.targetLength)) {
    return Refuse(Failure::kImageTooLarge, "the image holds " + SizeText(bytes) +
                                               ", more than the target's " +
                                               SizeText(f.targetLength) + " can take");
  }
  const Refusal fs = CheckFileSystem(f.targetFs, f.targetHibernated, "target");
  if (fs.failed()) return fs;
  if (!f.bootPartitionFound) {
    return Refuse(Failure::kNoBootPartition,
                  f.uefi ? "the target's disk has no EFI system partition this system can write"
                         : "the active partition of the target's disk cannot be written");
  }
  return Refusal{};
}

Refusal CheckDump(const DumpFacts& f) {
  if (f.source != f.taskPartition) {
    return Refuse(Failure::kTargetNotTask,
                  "the source is not the partition that started this task");
  }
  if (f.imagePartition == f.source) {
    return Refuse(Failure::kDumpOnSource,
                  "the backup file would lie on the partition being backed up");
  }
  return CheckFileSystem(f.sourceFs, f.sourceHibernated, "source");
}

}  // namespace restore
}  // namespace kavi
