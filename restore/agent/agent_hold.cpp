// The task held on the image's partition around a format (task_hold.h), and
// a start cut inside that window taken up again.
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "restore/agent/agent_run.h"
#include "restore/agent/ntfs_boot.h"
#include "restore/agent/resume.h"
#include "restore/agent/task_hold.h"
#include "restore/agent/volume_files.h"

namespace kavi {
namespace restore {
namespace {

// What the BIOS loaders search every drive's root for.
const char* const kLoaderFiles[] = {"KV.ima", "kvldr"};

bool IsLoaderFile(const std::string& path) {
  for (const char* name : kLoaderFiles) {
    if (SameNameIgnoringCase(path, name)) return true;
  }
  return false;
}

}  // namespace

bool AgentRun::HoldTask(size_t target, const std::vector<SavedFile>& keep,
                        const std::vector<uint8_t>& region, const std::string& label) {
  if (imagePartition_ >= parts_.size() || imagePartition_ == target || keep.empty()) return false;
  ReleaseHold();  // an earlier attempt's
  const std::string root = MountAs(imagePartition_, true);
  // Made anew, for administrators only: no one else can then add to it
  // what the next start would take up (a hold on FAT could not be kept so).
  std::optional<std::string> folder;
  if (!root.empty() && parts_[imagePartition_].fs == FsKind::kNtfs) {
    if (std::optional<std::string> old = ResolvePath(host_.volumes, root, kHoldFolder))
      host_.volumes.Remove(*old);
    folder = MakeFolders(host_.volumes, root, kHoldFolder);
  }
  if (folder && !Protect(imagePartition_, *folder, true)) folder.reset();
  HoldRecord record;
  record.disk = DiskIdentity(parts_[target]);
  record.start = parts_[target].start;
  record.length = parts_[target].length;
  record.label = label;
  // On BIOS the loader that the boot menu starts looks for KV.ima and kvldr
  // on every drive's root; the target's copies are gone with the format.
  record.loader = !uefi_ && !root.empty();
  for (const char* name : kLoaderFiles)
    record.loader = record.loader && !FindEntry(host_.volumes, root, name);
  bool ok = folder && !record.disk.empty();
  std::vector<SavedFile> inFolder;
  for (const SavedFile& f : keep) {
    if (record.loader && IsLoaderFile(f.path)) {
      ok = ok && WriteFilesTo(imagePartition_, root, {f});
    } else {
      inFolder.push_back(f);
    }
  }
  if (ok) host_.volumes.Remove(*folder + "/" + kHoldRecord);
  ok = ok && WriteFilesTo(imagePartition_, *folder, inFolder) &&
       host_.volumes.WriteFile(*folder + "/" + kHoldBootRegion,
                               std::string(region.begin(), region.end())) &&
       Protect(imagePartition_, *folder + "/" + kHoldBootRegion, false);
  // The record last: a hold without it is not taken up.
  ok = ok && host_.volumes.WriteFile(*folder + "/" + kHoldRecord, HoldRecordText(record)) &&
       Protect(imagePartition_, *folder + "/" + kHoldRecord, false);
  held_ = ok;
  holdLoader_ = ok && record.loader;
  // Unmounting puts it on the disk before the format starts; mounted again
  // where it was, the image's path holds.
  Unmount(imagePartition_);
  MountAs(imagePartition_, true);
  if (!ok) Note("warning: the task cannot be held on " + parts_[imagePartition_].device);
  return ok;
}

void AgentRun::ReleaseHold() {
  if (!held_) return;
  const std::string root = MountAs(imagePartition_, true);
  std::optional<std::string> folder;
  if (!root.empty()) folder = ResolvePath(host_.volumes, root, kHoldFolder);
  // The record first: what a cut leaves of the rest is not taken up.
  bool ok =
      folder && host_.volumes.Remove(*folder + "/" + kHoldRecord) && host_.volumes.Remove(*folder);
  if (ok && holdLoader_) {
    for (const char* name : kLoaderFiles) {
      if (std::optional<DirEntry> e = FindEntry(host_.volumes, root, name))
        ok = host_.volumes.Remove(root + "/" + e->name) && ok;
    }
  }
  if (!ok) Note("warning: the held task cannot be removed from " + parts_[imagePartition_].device);
  held_ = false;
}

bool AgentRun::TakeUpHeldTask() {
  // Only a hold no one but an administrator could have made or changed is
  // ours: a standard user may write a record anywhere else, naming any
  // partition to format. Two of them leave no way to tell which is.
  std::vector<std::pair<size_t, std::string>> holds;  // partition, hold folder
  for (size_t i = 0; i < parts_.size(); ++i) {
    if (parts_[i].fs != FsKind::kNtfs && parts_[i].fs != FsKind::kFat) continue;
    const std::string root = MountAs(i, false);
    std::optional<std::string> folder;
    if (!root.empty()) folder = ResolvePath(host_.volumes, root, kHoldFolder);
    if (!folder || !FindEntry(host_.volumes, *folder, kHoldRecord)) continue;
    if (OnlyAdministratorsCanChange(i, *folder) &&
        OnlyAdministratorsCanChange(i, *folder + "/" + kHoldRecord)) {
      holds.emplace_back(i, *folder);
    } else {
      Note("warning: the held task on " + parts_[i].device +
           " could have been written by any user; it is left alone");
    }
  }
  if (holds.size() > 1) {
    Note("warning: " + std::to_string(holds.size()) + " partitions hold a task; none is taken up");
  }
  if (holds.size() != 1) return false;
  const size_t i = holds[0].first;
  const std::string& folder = holds[0].second;
  const std::string root = MountAs(i, false);
  std::optional<std::string> text = host_.volumes.ReadFile(folder + "/" + kHoldRecord, 4096);
  std::optional<HoldRecord> record;
  if (text) record = ParseHoldRecord(*text);
  if (!record) return false;
  imagePartition_ = i;
  held_ = true;
  holdLoader_ = record->loader;
  size_t target = parts_.size();
  for (size_t t = 0; t < parts_.size(); ++t) {
    if (t != i && DiskIdentity(parts_[t]) == record->disk && parts_[t].start == record->start &&
        parts_[t].length == record->length)
      target = t;
  }
  if (target == parts_.size()) {
    Note("warning: a held task's partition is not on this machine; it is left alone");
    return false;
  }
  std::optional<std::string> region =
      host_.volumes.ReadFile(folder + "/" + kHoldBootRegion, kNtfsBootRegionSize);
  // A target that is still the volume the hold saved, and still holds
  // Windows, was never formatted: the cut came before, and the old system
  // starts. A new volume was formatted, whatever the apply made of it
  // before the cut (\Windows comes first).
  std::vector<uint8_t> current;
  const bool formatted =
      region && host_.disks.Read(parts_[target].device, 0, kNtfsBootRegionSize, &current) &&
      ReadNtfsGeometry(current) &&
      !SameNtfsVolume(current, std::vector<uint8_t>(region->begin(), region->end()));
  const std::string old = formatted ? std::string() : MountAs(target, false);
  if (!old.empty() && FindEntry(host_.volumes, old, "Windows")) {
    Note("found: a held task for " + parts_[target].device +
         ", which still holds Windows; the task is dropped");
    ReleaseHold();
    return false;
  }
  Unmount(target);
  std::vector<SavedFile> files;
  if (!region || !SaveRootEntries(host_.volumes, folder, ResumeFileNames(), &files) ||
      (record->loader &&
       !SaveRootEntries(host_.volumes, root,
                        std::vector<std::string>(std::begin(kLoaderFiles), std::end(kLoaderFiles)),
                        &files))) {
    Note("warning: the held task cannot be read");
    return false;
  }
  Say("found: the last start was cut while formatting " + parts_[target].device +
      "; formatting it again and putting the task back");
  files = WithRealBootFiles(std::move(files));
  const std::string unformatted =
      FormatNtfs(target, std::vector<uint8_t>(region->begin(), region->end()), record->label);
  if (!unformatted.empty()) {
    Note("warning: " + unformatted);
    return false;
  }
  parts_[target].fs = FsKind::kNtfs;
  StandInForBootFile(target, files);
  if (!KeepResumable(target, files)) return false;
  // The target holds the task again; the hold goes before the task runs.
  ReleaseHold();
  UnmountAll();
  return true;
}

std::string AgentRun::FormatNtfs(size_t target, const std::vector<uint8_t>& oldRegion,
                                 const std::string& label) {
  const FoundPartition& part = parts_[target];
  const std::optional<NtfsGeometry> old = ReadNtfsGeometry(oldRegion);
  if (!old || host_.tools.Run(MkntfsArguments(*old, label, part.device), nullptr, nullptr) != 0)
    return "mkntfs failed on " + part.device;
  // The machine's own boot code (it loads bootmgr or NTLDR) over the fresh
  // file system, in both boot sectors.
  std::vector<uint8_t> fresh;
  std::optional<NtfsGeometry> made;
  if (host_.disks.Read(part.device, 0, kNtfsBootRegionSize, &fresh)) made = ReadNtfsGeometry(fresh);
  const std::vector<uint8_t> region = TransplantBootCode(oldRegion, fresh);
  if (!made || region.empty() || !host_.disks.Write(part.device, 0, region) ||
      !host_.disks.Write(
          part.device, made->totalSectors * made->bytesPerSector,
          std::vector<uint8_t>(region.begin(), region.begin() + made->bytesPerSector))) {
    return "the boot code cannot be written to " + part.device;
  }
  return std::string();
}

}  // namespace restore
}  // namespace kavi
