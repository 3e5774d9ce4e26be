#include "restore/agent/backup_swap.h"

#include "restore/agent/volume_files.h"

namespace kavi {
namespace restore {
namespace {

// The entry's path in `folder` as it is named there, or none.
std::optional<std::string> Existing(VolumeAccess& volumes, const std::string& folder,
                                    const std::string& name) {
  std::optional<DirEntry> e = FindEntry(volumes, folder, name);
  if (!e || e->directory) return std::nullopt;
  return folder + "/" + e->name;
}

}  // namespace

std::string BackupWorkName(const std::string& name) {
  return name + ".kavi-new";
}

std::string BackupDoneName(const std::string& name) {
  return name + ".kavi-done";
}

bool FinishBackupSwap(VolumeAccess& volumes, const std::string& folder, const std::string& name) {
  const std::string oldName = name + ".kavi-old";
  if (std::optional<std::string> work = Existing(volumes, folder, BackupWorkName(name))) {
    if (!volumes.Remove(*work)) return false;
  }
  std::optional<std::string> live = Existing(volumes, folder, name);
  if (std::optional<std::string> done = Existing(volumes, folder, BackupDoneName(name))) {
    if (live) {
      if (std::optional<std::string> old = Existing(volumes, folder, oldName)) {
        if (!volumes.Remove(*old)) return false;
      }
      if (!volumes.Rename(*live, folder + "/" + oldName)) return false;
    }
    const std::string target = live.value_or(folder + "/" + name);
    if (!volumes.Rename(*done, target)) return false;
    live = target;
  }
  if (std::optional<std::string> old = Existing(volumes, folder, oldName)) {
    return live ? volumes.Remove(*old) : volumes.Rename(*old, folder + "/" + name);
  }
  return true;
}

}  // namespace restore
}  // namespace kavi
