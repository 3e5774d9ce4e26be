#include "boot/takeover_files.h"

#include "boot/boot_entries.h"
#include "boot/disk_record.h"
#include "boot/ghost_script.h"

namespace kavi {

std::optional<TakeoverFiles> BuildTakeoverFiles(const DiskList& disks, DiskDevices& devices,
                                                wchar_t reference, wchar_t systemDrive, int mode,
                                                const std::wstring& imagePath,
                                                const std::optional<ImageBinding>& binding) {
  const GhostPartitionLookup lookup = [&](wchar_t letter) {
    return GhostPartitionId(disks, devices, letter, reference);
  };
  const bool backup = mode == kTakeoverBackup;
  const std::optional<std::wstring> text =
      backup ? BuildGhostBackupScript(lookup, systemDrive, imagePath)
             : BuildGhostRestoreScript(lookup, imagePath, systemDrive);
  if (!text) return std::nullopt;
  std::optional<std::string> script = GhostScriptBytes(*text);
  if (!script) return std::nullopt;
  // The script resolved both, so the image path starts with its letter.
  const std::wstring system = lookup(systemDrive);
  const std::wstring image = lookup(imagePath[0]);
  const std::vector<std::wstring> used =
      backup ? std::vector<std::wstring>{system, image} : std::vector<std::wstring>{image, system};
  std::optional<std::string> record =
      BuildDiskRecord(disks, DiskNumberOfVolume(devices, reference), used);
  if (!record) return std::nullopt;
  if (binding && !backup) {
    if (binding->md5.size() != 32 ||
        binding->md5.find_first_not_of("0123456789abcdef") != std::string::npos) {
      return std::nullopt;
    }
    *record += "image size=" + std::to_string(binding->size) + " md5=" + binding->md5 + "\r\n";
  }
  return TakeoverFiles{std::move(*script), std::move(*record)};
}

}  // namespace kavi
