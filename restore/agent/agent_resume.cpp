// A load that can be cut at any instant: the boot stays armed and the task
// stays on the system partition until the image is written, so the next
// start runs the agent again, which checks and writes once more from the
// start.
#include <cstdio>

#include "restore/agent/agent_run.h"
#include "restore/agent/resume.h"

namespace kavi {
namespace restore {
namespace {

constexpr const char* kOurBootEntry = "dd97bc62-b9fd-466e-89a6-dccf8465f855";
constexpr const char* kScriptName = "Ghost.hsh";
// Far more than any boot store holds.
constexpr size_t kStoreLimit = 64 << 20;

std::string Hex4(uint16_t number) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", number);
  return text;
}

}  // namespace

bool AgentRun::SaveResumeSet(const std::string& taskDir) {
  if (!SaveRootEntries(host_.volumes, taskDir, ResumeFileNames(), &resumeSet_)) {
    resumeSet_.clear();
    log_.Add("warning: the task's files cannot be read whole; a cut write cannot resume");
  }
  resumeSet_ = WithRealBootFiles(std::move(resumeSet_));
  for (auto it = resumeSet_.begin(); it != resumeSet_.end(); ++it) {
    if (!SameNameIgnoringCase(it->path, kProgressMarker)) continue;
    const std::optional<std::string> step = ProgressMarkerStep(it->bytes);
    Say("found: the last start stopped at step " + step.value_or("unknown") +
        "; checking and writing again from the start");
    // The format writes it anew.
    resumeSet_.erase(it);
    return true;
  }
  return false;
}

void AgentRun::StandInForBootFile(size_t target, const std::vector<SavedFile>& kept) {
  standIn_.clear();
  const SavedFile* real = StandInTarget(kept);
  if (!real || host_.firmware.State().uefi || FindBootPartition(target, false) != target) return;
  const std::string dir = MountAs(target, true);
  // Ours first: until the real file is beside it, the hold still carries it.
  const bool placed =
      !dir.empty() &&
      WriteFilesTo(target, dir,
                   {SavedFile{real->path, false, FindSaved(kept, "kvldr")->bytes},
                    SavedFile{real->path + kRealBootFileSuffix, false, real->bytes}});
  Unmount(target);  // on the disk before anything else happens
  if (!placed) {
    Note("warning: the loader cannot stand in for \\" + real->path + " on " +
         parts_[target].device);
    return;
  }
  standIn_ = real->path;
  log_.Add("done: the loader stands in for \\" + standIn_ + " until the boot files are written");
}

bool AgentRun::PutRealBootFileBack(size_t target, const std::string& dir,
                                   const std::vector<SavedFile>& saved) {
  if (standIn_.empty()) return true;
  const SavedFile* real = FindSaved(saved, standIn_);
  const std::string fresh = standIn_ + ".kavi-new";
  // Whole or not at all: a cut inside the write keeps the loader in place.
  if (!real || !WriteFilesTo(target, dir, {SavedFile{fresh, false, real->bytes}}) ||
      !host_.volumes.Rename(dir + "/" + fresh, dir + "/" + standIn_)) {
    return false;
  }
  standIn_.clear();
  return true;
}

void AgentRun::RearmResumedTask(const std::string& taskDir) {
  // The target holds part of an image and no Windows: whatever cuts this
  // start, the next one must come back here with the task where it is.
  keptArmed_ = true;
  if (host_.firmware.State().uefi) {
    ArmFirmware();
  } else if (!RearmStore(taskDir)) {
    Note("warning: the boot menu's one-time entry cannot be set again");
  }
}

std::vector<SavedFile> AgentRun::ResumeSetFor(const std::string& image, int index) {
  // Read line by line: the whole listing of a real image is far larger than
  // any output the tool runner keeps.
  std::set<std::string> names;
  if (host_.tools.Run(
          {"wimlib-imagex", "dir", image, std::to_string(index)},
          [&](const std::string& line) { AddImageRootName(line, &names); }, nullptr) != 0) {
    log_.Add("warning: the image's files cannot be listed; a cut write cannot resume");
    return {};
  }
  return WithoutImageNames(resumeSet_, names);
}

bool AgentRun::KeepResumable(size_t target, const std::vector<SavedFile>& keep) {
  if (keep.empty()) return false;
  Say("Putting the task back on " + parts_[target].device);
  // KV.ima takes its name only once everything is on the disk: a cut before
  // leaves the target without it, and the next start takes the task up from
  // its hold rather than trusting a task beside a part of KV.ima.
  // Our loader stays in the boot file's place until the boot files are written.
  std::vector<SavedFile> files;
  for (const SavedFile& f : keep) {
    if (standIn_.empty() || !SameNameIgnoringCase(f.path, standIn_)) files.push_back(f);
  }
  std::string kvIma;
  for (SavedFile& f : files) {
    if (!SameNameIgnoringCase(f.path, "KV.ima")) continue;
    kvIma = f.path;
    f.path += ".kavi-new";
  }
  std::string dir = MountAs(target, true);
  bool ok = !dir.empty() && WriteFilesTo(target, dir, files);
  if (ok && !kvIma.empty()) {
    Unmount(target);
    dir = MountAs(target, true);
    ok = !dir.empty() && host_.volumes.Rename(dir + "/" + kvIma + ".kavi-new", dir + "/" + kvIma);
  }
  ok = ok && host_.volumes.WriteFile(dir + "/" + kProgressMarker, ProgressMarkerText("apply"));
  if (ok) {
    // This start used up the boot manager's one-time entry: armed again.
    if (!RearmStore(dir)) Note("warning: the boot menu's one-time entry cannot be set again");
  }
  Unmount(target);
  if (!ok) Note("warning: the task cannot be kept on " + parts_[target].device);
  return ok;
}

bool AgentRun::RearmStore(const std::string& dir) {
  std::optional<DirEntry> boot = FindEntry(host_.volumes, dir, "Boot");
  std::optional<DirEntry> bcd;
  if (boot && boot->directory) bcd = FindEntry(host_.volumes, dir + "/" + boot->name, "BCD");
  return !bcd || RearmBcd(dir, dir + "/" + boot->name + "/" + bcd->name);
}

bool AgentRun::RearmBcd(const std::string& dir, const std::string& store) {
  // hivex writes a store back by truncating it first: edited in place, a cut
  // inside that write would leave no store to start anything. A copy is
  // edited instead and takes the store's name, with the store's descriptor.
  const std::string copy = store + ".kavi-new";
  const std::optional<std::string> bytes = host_.volumes.ReadFile(store, kStoreLimit + 1);
  const std::optional<std::string> security = host_.volumes.ReadSecurity(store);
  if (!bytes || bytes->size() > kStoreLimit || !host_.volumes.WriteFile(copy, *bytes) ||
      (security && !host_.volumes.SetSecurity(copy, *security))) {
    host_.volumes.Remove(copy);
    return false;
  }
  const std::string script = dir + "/" + kScriptName;
  bool armed = false;
  for (bool addKey : {true, false}) {
    if (!host_.volumes.WriteFile(script, BootSequenceScript(kOurBootEntry, addKey))) break;
    if (host_.tools.Run({"hivexsh", "-w", "-f", script, copy}, nullptr, nullptr) == 0) {
      armed = true;
      break;
    }
  }
  host_.volumes.Remove(script);
  armed = armed && host_.volumes.Rename(copy, store);
  if (!armed) host_.volumes.Remove(copy);
  return armed;
}

void AgentRun::ArmFirmware() {
  if (!host_.firmware.State().uefi || firmwareArmed_) return;
  for (const LoadOption& option : host_.firmware.LoadOptions()) {
    if (IsOurLoadOption(option.value) && host_.firmware.SetBootNext(option.number)) {
      firmwareArmed_ = true;
      Note("done: the firmware starts Boot" + Hex4(option.number) + " next");
      return;
    }
  }
  Note("warning: the firmware cannot be told to start our entry next");
}

void AgentRun::RemoveLoadOptions() {
  for (const LoadOption& option : host_.firmware.LoadOptions()) {
    if (!IsOurLoadOption(option.value)) continue;
    const std::string name = "Boot" + Hex4(option.number);
    Note(host_.firmware.DeleteLoadOption(option.number)
             ? "done: removed the firmware entry " + name
             : "warning: the firmware entry " + name + " cannot be removed");
  }
}

void AgentRun::Disarm(size_t target, const std::vector<SavedFile>& keep, bool storeReplaced) {
  const std::string dir = MountAs(target, true);
  if (dir.empty()) return;
  // Only what was put back: an image may bring files of these names.
  if (standIn_.empty()) {
    for (const std::string& name : RealBootFileNames()) {
      if (std::optional<DirEntry> e = FindEntry(host_.volumes, dir, name))
        host_.volumes.Remove(dir + "/" + e->name);
    }
  }
  for (const std::string& name : TaskOnlyFileNames()) {
    bool kept = name == kProgressMarker;
    for (const SavedFile& f : keep) kept = kept || SameNameIgnoringCase(f.path, name);
    std::optional<DirEntry> e = FindEntry(host_.volumes, dir, name);
    if (kept && e) host_.volumes.Remove(dir + "/" + e->name);
  }
  if (storeReplaced) {
    // The written Windows' store took the armed one's place: the backups of
    // the old configuration would only bring the old boot back.
    if (std::optional<DirEntry> ini = FindEntry(host_.volumes, dir, "boot.in_")) {
      host_.volumes.Remove(dir + "/" + ini->name);
    }
    std::optional<DirEntry> boot = FindEntry(host_.volumes, dir, "Boot");
    std::optional<DirEntry> backup;
    if (boot && boot->directory) backup = FindEntry(host_.volumes, dir + "/" + boot->name, "BCD_B");
    if (backup) host_.volumes.Remove(dir + "/" + boot->name + "/" + backup->name);
  } else if (!RestoreBootConfig(target)) {
    log_.Add("warning: the boot configuration backup could not be put back");
  }
}

}  // namespace restore
}  // namespace kavi
