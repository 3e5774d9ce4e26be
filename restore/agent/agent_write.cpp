// The load and dump steps: the last checks over gathered facts, the image's
// verification, and only then the writes.
#include <algorithm>
#include <cstdio>
#include <set>

#include "restore/agent/agent_run.h"
#include "restore/agent/backup_record.h"
#include "restore/agent/backup_swap.h"
#include "restore/agent/ntfs_boot.h"
#include "restore/agent/resume.h"
#include "restore/agent/task_checks.h"
#include "restore/agent/volume_files.h"
#include "restore/agent/wim_text.h"

namespace kavi {
namespace restore {
namespace {

constexpr const char* kWim = "wimlib-imagex";

std::string Trim(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

// Tenths, so short steps still compare in the benchmark.
std::string Seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", s);
  return text;
}

}  // namespace

int AgentRun::RunWim(const std::vector<std::string>& argv, const std::string& label,
                     uint64_t knownBytes, uint64_t* bytes) {
  const double start = host_.console.Seconds();
  int shown = -1;
  *bytes = 0;
  auto onLine = [&](const std::string& line) {
    std::optional<WimProgress> p = ParseWimProgress(line);
    if (!p) return;
    *bytes = std::max(knownBytes, p->total);
    if (p->percent == shown) return;
    shown = p->percent;
    const double seconds = host_.console.Seconds() - start;
    const ProgressFigures figures = FiguresOf(p->percent, *bytes, seconds);
    host_.console.Meter(p->percent, figures.megabytesPerSecond, figures.secondsLeft);
    host_.console.Progress(label + ProgressText(p->percent, *bytes, seconds));
  };
  return host_.tools.Run(argv, onLine, nullptr);
}

Refusal AgentRun::Load(const GhostTask& task, size_t target, size_t imagePart,
                       const std::string& path) {
  LoadFacts facts;
  facts.taskPartition = taskPartition_;
  facts.target = target;
  facts.imagePartition = imagePart;
  imagePartition_ = imagePart;
  facts.targetFs = parts_[target].fs;
  facts.targetLength = parts_[target].length;
  facts.imageIndex = task.imageIndex;
  facts.targetHibernated = IsHibernated(target);
  const FirmwareState firmware = host_.firmware.State();
  uefi_ = facts.uefi = firmware.uefi;
  facts.longMode = firmware.longMode;
  facts.secureBoot = firmware.secureBoot.value_or(false);
  bootPartition_ = FindBootPartition(target, uefi_);
  facts.bootPartitionFound = bootPartition_ < parts_.size();
  facts.ntldrHost = !uefi_ && facts.bootPartitionFound && StartsThroughNtldr(bootPartition_);
  std::string image;
  if (imagePart != target) {
    const std::string dir = MountAs(imagePart, true);
    std::optional<std::string> found;
    if (!dir.empty()) found = ResolvePath(host_.volumes, dir, path);
    std::optional<std::string> head;
    if (found) head = host_.volumes.ReadFile(*found, 8);
    facts.imageExists = head.has_value();
    if (head) {
      image = *found;
      facts.header = ClassifyImageHeader(*head);
    }
    if (facts.header == ImageKind::kWim) {
      std::string info;
      if (host_.tools.Run({kWim, "info", image}, nullptr, &info) == 0) {
        facts.info = ParseWimInfo(info);
      }
      std::string xml;
      if (facts.info && host_.tools.Run({kWim, "info", image, "--xml"}, nullptr, &xml) == 0) {
        ApplyWimXml(xml, &*facts.info);
      }
    }
  }
  if (facts.info && static_cast<size_t>(task.imageIndex) <= facts.info->images.size()) {
    const WimImageFacts& edition = facts.info->images[task.imageIndex - 1];
    imageName_ = edition.name;
    log_.Add("found: image " + std::to_string(task.imageIndex) + " of " +
             std::to_string(facts.info->imageCount) + " \"" + edition.name + "\" (" +
             (edition.architecture.empty() ? "no architecture" : edition.architecture) +
             ", Windows " + std::to_string(edition.majorVersion) + ")");
  }
  Refusal refusal = CheckLoad(facts);
  if (refusal.failed()) return refusal;
  ReadMachineStore(uefi_);

  host_.console.Step(ScreenStep::kVerify);
  if (binding_) {
    refusal = CheckBoundImage(imagePart, image, *binding_);
    if (refusal.failed()) return refusal;
  } else {
    Say("Verifying the image file");
    const double verifyStart = host_.console.Seconds();
    uint64_t verified = 0;
    if (RunWim({kWim, "verify", image}, "verifying ", 0, &verified) != 0) {
      return Refuse(Failure::kImageCorrupt, "the image file failed its verification");
    }
    log_.Add("done: verified " + SizeText(verified) + " in " +
             Seconds(host_.console.Seconds() - verifyStart));
  }

  const uint64_t bytes = facts.info->totalBytes[task.imageIndex - 1];
  return facts.targetFs == FsKind::kNtfs ? WriteNtfs(target, image, task.imageIndex, bytes)
                                         : WriteFat(target, image, task.imageIndex, bytes);
}

Refusal AgentRun::WriteNtfs(size_t target, const std::string& image, int index, uint64_t bytes) {
  const FoundPartition& part = parts_[target];
  std::vector<SavedFile> saved;
  const std::string dir = MountAs(target, false);
  // A resumed start finds our loader in the boot file's place, the real one beside it.
  if (dir.empty() || !SaveBootFiles(host_.volumes, dir, &saved) ||
      !SaveRootEntries(host_.volumes, dir, RealBootFileNames(), &saved)) {
    return Refuse(Failure::kTargetFilesystem, "the target's boot files cannot be read");
  }
  saved = WithRealBootFiles(std::move(saved));
  Unmount(target);
  std::vector<uint8_t> oldRegion;
  if (!host_.disks.Read(part.device, 0, kNtfsBootRegionSize, &oldRegion) ||
      !ReadNtfsGeometry(oldRegion))
    return Refuse(Failure::kTargetFilesystem, "the target's boot sector cannot be read");
  std::string label;
  if (host_.tools.Run({"ntfslabel", part.device}, nullptr, &label) != 0) label.clear();
  label = Trim(label);

  const std::vector<SavedFile> keep = ResumeSetFor(image, index);
  ArmFirmware();

  // From here on the target changes. A failed write is tried once more on
  // a fresh format; the task stays armed while it is not written.
  const double start = host_.console.Seconds();
  for (int attempt = 1;; ++attempt) {
    // Without a hold a cut in the format leaves nothing to start. A second
    // attempt's target is formatted already and holds the task itself.
    if (!HoldTask(target, keep, oldRegion, label) && attempt == 1) {
      const std::string where =
          imagePartition_ < parts_.size() ? parts_[imagePartition_].device : "no partition";
      return Refuse(Failure::kNotHeld,
                    "the task cannot be held on " + where + " before the format");
    }
    Say("Formatting " + part.device);
    host_.console.Step(ScreenStep::kFormat);
    const std::string unformatted = FormatNtfs(target, oldRegion, label);
    if (!unformatted.empty()) return Refuse(Failure::kWriteFailed, unformatted);
    StandInForBootFile(target, keep);
    keptArmed_ = KeepResumable(target, keep);
    if (keptArmed_) ReleaseHold();
    Say("Writing the image to " + part.device);
    host_.console.Step(ScreenStep::kWrite);
    uint64_t written = 0;
    if (RunWim({kWim, "apply", image, std::to_string(index), part.device}, "writing ", bytes,
               &written) == 0) {
      break;
    }
    if (attempt == 2) {
      return Refuse(Failure::kWriteFailed, "wimlib-imagex could not write the image, twice");
    }
    Note("warning: wimlib-imagex could not write the image; formatting and writing once more");
  }
  log_.Add("done: wrote " + SizeText(bytes) + " in " + Seconds(host_.console.Seconds() - start));
  // The written Windows' boot files, the store last, before the task leaves:
  // a cut until then starts the agent again.
  bool oldBootFilesBack = false;
  for (const SavedFile& f : keep) {
    for (const std::string& name : BootFileNames())
      oldBootFilesBack = oldBootFilesBack || SameNameIgnoringCase(f.path, name);
  }
  Say("Writing the boot files");
  const Refusal placed = PlaceBootFiles(target, saved, oldBootFilesBack);
  Disarm(target, keep, storeReplaced_);
  ReleaseHold();  // when the task could not be kept on the target
  keptArmed_ = false;
  return placed;
}

Refusal AgentRun::WriteFat(size_t target, const std::string& image, int index, uint64_t bytes) {
  std::vector<SavedFile> saved;
  std::string dir = MountAs(target, true);
  std::optional<std::vector<DirEntry>> entries;
  if (!dir.empty()) entries = host_.volumes.List(dir);
  if (!entries || !SaveBootFiles(host_.volumes, dir, &saved)) {
    return Refuse(Failure::kTargetFilesystem, "the target's files cannot be read");
  }
  // FAT is emptied, not formatted: the task's files and the boot files stay
  // where the loader and NTLDR find them, armed again, and the image goes
  // into a folder of its own whose entries take their places only once it
  // is whole. A cut at any instant comes back to the task.
  const std::vector<SavedFile>& keep = resumeSet_;
  ArmFirmware();
  Say("Emptying " + parts_[target].device);
  host_.console.Step(ScreenStep::kFormat);
  const double start = host_.console.Seconds();
  for (const DirEntry& e : *entries) {
    bool kept = false;
    for (const std::string& name : ResumeFileNames())
      kept = kept || (!keep.empty() && SameNameIgnoringCase(e.name, name));
    if (!kept && !host_.volumes.Remove(dir + "/" + e.name)) {
      return Refuse(Failure::kWriteFailed, "the target's old files cannot be removed");
    }
  }
  // What the start took off (the script, its record, the armed boot.ini).
  std::vector<SavedFile> back;
  for (const SavedFile& f : keep) {
    const std::string top = f.path.substr(0, f.path.find('/'));
    if (!FindEntry(host_.volumes, dir, top) || SameNameIgnoringCase(top, "boot.ini"))
      back.push_back(f);
  }
  keptArmed_ = !keep.empty() && KeepResumable(target, back);
  dir = MountAs(target, true);
  const std::string staging = dir + "/" + kImageStagingFolder;
  if (dir.empty() || !host_.volumes.MakeDirectory(staging)) {
    return Refuse(Failure::kWriteFailed, "the target cannot take the image's folder");
  }
  Say("Writing the image to " + parts_[target].device);
  host_.console.Step(ScreenStep::kWrite);
  uint64_t written = 0;
  if (RunWim({kWim, "apply", image, std::to_string(index), staging}, "writing ", bytes, &written) !=
      0) {
    return Refuse(Failure::kWriteFailed, "wimlib-imagex could not write the image");
  }
  const Refusal moved = MoveImageIntoPlace(dir, staging);
  if (moved.failed()) return moved;
  log_.Add("done: wrote " + SizeText(bytes) + " in " + Seconds(host_.console.Seconds() - start));
  Say("Writing the boot files");
  const Refusal placed = PlaceBootFiles(target, saved, !keep.empty());
  // The image's own boot.ini stands; else the old one comes back from its backup.
  Disarm(target, keep, storeReplaced_ || imageBootIni_);
  keptArmed_ = false;
  return placed;
}

Refusal AgentRun::MoveImageIntoPlace(const std::string& dir, const std::string& staging) {
  std::optional<std::vector<DirEntry>> staged = host_.volumes.List(staging);
  if (!staged) return Refuse(Failure::kWriteFailed, "the written image cannot be read back");
  // Boot files last, boot.ini very last: until it is the image's, NTLDR
  // still starts the loader.
  const auto rank = [](const DirEntry& e) {
    if (SameNameIgnoringCase(e.name, "boot.ini")) return 2;
    for (const std::string& name : BootFileNames()) {
      if (SameNameIgnoringCase(e.name, name)) return 1;
    }
    return 0;
  };
  std::stable_sort(staged->begin(), staged->end(),
                   [&](const DirEntry& a, const DirEntry& b) { return rank(a) < rank(b); });
  imageBootIni_ = false;
  for (const DirEntry& e : *staged) {
    if (std::optional<DirEntry> old = FindEntry(host_.volumes, dir, e.name))
      host_.volumes.Remove(dir + "/" + old->name);
    if (!host_.volumes.Rename(staging + "/" + e.name, dir + "/" + e.name)) {
      return Refuse(Failure::kWriteFailed, "the image's " + e.name + " cannot be put in place");
    }
    imageBootIni_ = imageBootIni_ || rank(e) == 2;
  }
  host_.volumes.Remove(staging);
  return Refusal{};
}

Refusal AgentRun::PutBootFilesBack(size_t target, const std::vector<SavedFile>& saved) {
  if (saved.empty()) return Refusal{};
  const std::string dir = MountAs(target, true);
  if (dir.empty()) {
    return Refuse(Failure::kBootFilesFailed, "the restored partition cannot be opened");
  }
  // Those the task kept are there already; what is missing (the task could
  // not be kept) is written whole.
  std::set<std::string> present;
  for (const SavedFile& f : saved) {
    const std::string top = f.path.substr(0, f.path.find('/'));
    if (FindEntry(host_.volumes, dir, top)) present.insert(top);
  }
  std::vector<SavedFile> missing;
  for (const SavedFile& f : saved) {
    if (!present.count(f.path.substr(0, f.path.find('/')))) missing.push_back(f);
  }
  if (!PutRealBootFileBack(target, dir, saved) || !WriteFilesTo(target, dir, missing)) {
    return Refuse(Failure::kBootFilesFailed, "the old boot files cannot be written back");
  }
  if (!missing.empty())
    log_.Add("done: put back " + std::to_string(missing.size()) + " boot files and folders");
  return Refusal{};
}

Refusal AgentRun::Dump(const GhostTask&, size_t source, size_t imagePart, const std::string& path) {
  DumpFacts facts;
  facts.taskPartition = taskPartition_;
  facts.source = source;
  facts.imagePartition = imagePart;
  facts.sourceFs = parts_[source].fs;
  facts.sourceHibernated = IsHibernated(source);
  Refusal refusal = CheckDump(facts);
  if (refusal.failed()) return refusal;

  const size_t slash = path.rfind('/');
  const std::string name = path.substr(slash + 1);
  const std::string dir = MountAs(imagePart, true);
  std::optional<std::string> folder;
  if (!dir.empty() && !name.empty())
    folder = MakeFolders(host_.volumes, dir, path.substr(0, slash));
  if (!folder) {
    return Refuse(Failure::kCaptureFailed,
                  "the backup's folder cannot be made on " + parts_[imagePart].device);
  }
  // An earlier start cut inside the replacement is finished first.
  FinishBackupSwap(host_.volumes, *folder, name);
  std::optional<DirEntry> existing = FindEntry(host_.volumes, *folder, name);
  const std::string liveName = existing ? existing->name : name;
  const std::string fresh = *folder + "/" + BackupWorkName(liveName);
  host_.volumes.Remove(fresh);

  // NTFS is read by wimlib from the unmounted device; FAT through a read-only mount.
  std::string from = parts_[source].device;
  if (parts_[source].fs == FsKind::kNtfs) {
    Unmount(source);
  } else {
    from = MountAs(source, false);
  }
  Say("Backing up " + parts_[source].device);
  host_.console.Step(ScreenStep::kCapture);
  const double start = host_.console.Seconds();
  uint64_t captured = 0;
  const std::string config = WriteCaptureConfig(*folder, liveName);
  auto fail = [&](const std::string& detail) {
    host_.volumes.Remove(fresh);
    if (!config.empty()) host_.volumes.Remove(config);
    return Refuse(Failure::kCaptureFailed, detail);
  };
  if (config.empty()) return fail("the capture's configuration cannot be written");
  if (from.empty() || RunWim({kWim, "capture", from, fresh, "Kavi backup", "--config=" + config},
                             "backing up ", 0, &captured) != 0) {
    return fail("wimlib-imagex could not capture " + parts_[source].device);
  }
  // The system's files, the SAM and SECURITY hives among them: for
  // administrators' eyes only, as they were on the system (FAT keeps none).
  if (parts_[imagePart].fs == FsKind::kNtfs && !Protect(imagePart, fresh, false)) {
    return fail("the new backup cannot be made readable by administrators only");
  }
  host_.volumes.Remove(config);
  log_.Add("done: captured " + SizeText(captured) + " in " +
           Seconds(host_.console.Seconds() - start));
  Say("Verifying the backup");
  host_.console.Step(ScreenStep::kVerifyBackup);
  const double verifyStart = host_.console.Seconds();
  uint64_t verified = 0;
  if (RunWim({kWim, "verify", fresh}, "verifying ", 0, &verified) != 0) {
    return fail("the new backup failed its verification");
  }
  log_.Add("done: verified " + SizeText(verified) + " in " +
           Seconds(host_.console.Seconds() - verifyStart));
  // The record names the new backup beside the old before either is
  // renamed, and the new one alone once it has the backup's name.
  const std::optional<ImageBinding> made = MeasureImage(imagePart, fresh);
  if (!made) return fail("the new backup cannot be read back");
  if (!WriteBackupRecord(BackupsDuringSwap(ReadBackupRecord(), *made))) {
    return fail("the backup's record cannot be written");
  }
  Say("Putting the new backup in place of " + path);
  if (!host_.volumes.Rename(fresh, *folder + "/" + BackupDoneName(liveName)) ||
      !FinishBackupSwap(host_.volumes, *folder, liveName)) {
    return fail("the new backup cannot replace " + path);
  }
  // Unmounting puts the renames on the disk before the record names the
  // new backup alone.
  Unmount(imagePart);
  log_.Add(WriteBackupRecord({*made})
               ? "done: recorded the backup's size and MD5 in " + std::string(kBackupRecordName)
               : "warning: the backup's record still names the backup it replaced");
  return Refusal{};
}

}  // namespace restore
}  // namespace kavi
