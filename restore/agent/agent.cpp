#include "restore/agent/agent.h"

#include <cstdio>
#include <set>

#include "restore/agent/agent_run.h"
#include "restore/agent/cp936.h"
#include "restore/agent/task_checks.h"
#include "restore/agent/volume_files.h"

namespace kavi {
namespace restore {
namespace {

constexpr size_t kTaskFileLimit = 64 * 1024;
constexpr const char* kLogFolder = "DURozazo";
constexpr const char* kLogName = "restore.log";
constexpr const char* kEfiFolder = "EFI";
constexpr const char* kOurEfiFolder = "KaviRestore";

std::string Hex8(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof(text), "%08X", value);
  return text;
}

}  // namespace

Refusal RunRestoreAgent(AgentHost& host) {
  AgentRun run(host);
  return run.Run();
}

AgentRun::AgentRun(AgentHost& host) : host_(host), log_(host.console.Timestamp()) {}

Refusal AgentRun::Run() {
  started_ = host_.console.Seconds();
  Say("Kavi restore. Do not turn off the computer; it restarts by itself when done.");
  Say(FirmwareLine(host_.firmware.State()));
  Say("Looking for the task");
  host_.console.Step(ScreenStep::kFind);
  Refusal outcome = FindAndDecide();
  outcome.taskStays = keptArmed_;
  if (keptArmed_) {
    Note(
        "The image could not be written; the task stays. Turning the computer off and on "
        "again writes it once more.");
  } else {
    RemoveEfiFolders();
    if (host_.firmware.State().uefi) {
      RemoveMarkers();
      RemoveLoadOptions();
    }
  }
  if (!outcome.failed()) host_.console.Step(ScreenStep::kDone);
  const double now = host_.console.Seconds();
  const long seconds = static_cast<long>(now - started_ + 0.5);
  // The monotonic clock starts with the kernel: how long this boot took.
  char uptime[48];
  std::snprintf(uptime, sizeof uptime, "done: restarting at uptime %.1f s", now);
  log_.Add(uptime);
  log_.Finish(outcome, seconds);
  Say(ResultLine(outcome, seconds));
  if (logPartitions_.empty()) {
    // Refused before the image's partition was known, or the image's is the
    // system's: the entry goes only into work folders already there.
    for (size_t index : WorkFolderPartitions()) WriteLog(index, false);
  }
  for (size_t index : logPartitions_) WriteLog(index, true);
  UnmountAll();
  return outcome;
}

Refusal AgentRun::FindAndDecide() {
  parts_ = host_.disks.Partitions();
  std::vector<size_t> tasks;
  for (size_t i = 0; i < parts_.size(); ++i) {
    if (parts_[i].fs != FsKind::kNtfs && parts_[i].fs != FsKind::kFat) continue;
    const std::string dir = MountAs(i, false);
    if (dir.empty()) continue;
    if (!FindEntry(host_.volumes, dir, "KV.ima") || !FindEntry(host_.volumes, dir, "Ghost.ba_")) {
      Unmount(i);
    } else if (!OnlyAdministratorsMadeTask(i, dir)) {
      // Dropped by a user: neither run nor counted, so it cannot stand in
      // the way of the administrator's task either.
      Note(FoundLine(i, "ignored: a task any user could have written on"));
      Unmount(i);
    } else {
      tasks.push_back(i);
    }
  }
  taskPartitions_ = tasks;
  if (tasks.empty() && !heldTaskTakenUp_) {
    // A start cut while the target was being formatted left the task held
    // on the image's partition.
    heldTaskTakenUp_ = true;
    if (TakeUpHeldTask()) return FindAndDecide();
  }
  if (tasks.empty()) {
    // A task on an encrypted volume cannot be seen: say so rather than
    // finding nothing, and tell it where Windows reads the log.
    const Refusal encrypted = RefuseUnseenTask();
    if (encrypted.failed()) return encrypted;
    return Refuse(Failure::kNoTask, "no partition holds KV.ima and Ghost.ba_");
  }
  if (tasks.size() > 1) {
    // Each may carry a changed boot configuration; all must boot Windows.
    for (size_t i : tasks) {
      Say(FoundLine(i, "found: KV.ima and Ghost.ba_ on"));
      RestoreBootConfig(i);
    }
    return Refuse(Failure::kSeveralTasks,
                  std::to_string(tasks.size()) + " partitions hold KV.ima and Ghost.ba_");
  }
  taskPartition_ = tasks[0];
  Say(FoundLine(taskPartition_, "found: KV.ima and Ghost.ba_ on"));

  const std::string taskDir = MountAs(taskPartition_, true);
  if (taskDir.empty()) {
    if (!MountAs(taskPartition_, false).empty() && IsHibernated(taskPartition_)) {
      return Refuse(Failure::kTargetHibernated,
                    "Windows on the task partition is hibernated; shut it down fully first");
    }
    return Refuse(Failure::kBadScript, "the task partition cannot be opened for writing");
  }
  std::optional<std::string> script, record;
  std::optional<DirEntry> scriptEntry = FindEntry(host_.volumes, taskDir, "Ghost.ba_");
  std::optional<DirEntry> recordEntry = FindEntry(host_.volumes, taskDir, "Ghost.map");
  if (scriptEntry)
    script = host_.volumes.ReadFile(taskDir + "/" + scriptEntry->name, kTaskFileLimit);
  if (recordEntry)
    record = host_.volumes.ReadFile(taskDir + "/" + recordEntry->name, kTaskFileLimit);
  if (SaveResumeSet(taskDir)) {
    // Cut after the format: the task stays whole and armed until the image
    // is written, so any number of cuts come back to it.
    RearmResumedTask(taskDir);
  } else {
    // The task runs once: the script and the record leave the disk before
    // any decision, and the boot configuration is Windows' own again.
    const bool bootConfigBack = RestoreBootConfig(taskPartition_);
    if (scriptEntry) host_.volumes.Remove(taskDir + "/" + scriptEntry->name);
    if (recordEntry) host_.volumes.Remove(taskDir + "/" + recordEntry->name);
    if (FindEntry(host_.volumes, taskDir, "Ghost.ba_")) {
      return Refuse(Failure::kBadScript,
                    "Ghost.ba_ cannot be removed, so the task could run again");
    }
    if (!bootConfigBack) log_.Add("warning: the boot configuration backup could not be put back");
  }
  // On the disk before anything else happens: a cut from here on starts
  // Windows, or this task again when it was resumed (unmounting flushes
  // ntfs-3g).
  MountAs(taskPartition_, false);

  if (!script) return Refuse(Failure::kBadScript, "Ghost.ba_ cannot be read");
  const ScriptResult parsed = ParseGhostScript(*script);
  if (!parsed.ok) return Refuse(Failure::kBadScript, parsed.error);
  const GhostTask& task = parsed.task;
  std::optional<std::string> path = Cp936ToUtf8(task.imagePath);
  if (!path) return Refuse(Failure::kBadScript, "the image path is not code page 936 text");
  for (char& c : *path) {
    if (c == '\\') c = '/';
  }
  host_.console.Task(ScreenTaskOf(task.mode == TaskMode::kDump, *path), ImageShownAs(*path));

  if (!record) return Refuse(Failure::kRecordMismatch, "Ghost.map is missing");
  const DiskRecordResult lines = ParseDiskRecord(*record);
  if (!lines.ok) return Refuse(Failure::kRecordMismatch, lines.error);
  std::vector<Designation> wanted = TaskDesignations(task);
  if (task.imagePartition != task.source && task.imagePartition != task.target) {
    wanted.push_back(task.imagePartition);
  }
  const Resolution resolved = ResolveDesignations(wanted, lines.lines, parts_, taskPartition_);
  if (resolved.refusal.failed()) return resolved.refusal;
  auto partitionOf = [&](const Designation& d) {
    for (size_t i = 0; i < wanted.size(); ++i) {
      if (wanted[i] == d) return resolved.partitions[i];
    }
    return parts_.size();
  };
  const size_t imagePart = partitionOf(task.imagePartition);
  if (imagePart != partitionOf(task.mode == TaskMode::kLoad ? task.target : task.source)) {
    logPartitions_ = {imagePart};
  }
  binding_ = lines.image;

  if (task.mode == TaskMode::kLoad) {
    log_.Add("decided: load " + *path + " image " + std::to_string(task.imageIndex) + " from " +
             DesignationText(task.imagePartition) + " onto " + DesignationText(task.target));
    // The entry starts now, flushed: a task cut short is reported as
    // unfinished.
    for (size_t index : logPartitions_) {
      WriteLog(index, true);
      Unmount(index);
    }
    return Load(task, partitionOf(task.target), imagePart, *path);
  }
  log_.Add("decided: dump " + DesignationText(task.source) + " into " + *path + " on " +
           DesignationText(task.imagePartition));
  for (size_t index : logPartitions_) {
    WriteLog(index, true);
    Unmount(index);
  }
  return Dump(task, partitionOf(task.source), imagePart, *path);
}

std::string AgentRun::MountAs(size_t index, bool writable) {
  auto it = mounts_.find(index);
  if (it != mounts_.end()) {
    if (it->second.writable == writable) return it->second.dir;
    Unmount(index);
  }
  const std::string dir = host_.volumes.Mount(parts_[index], writable);
  if (!dir.empty()) mounts_[index] = Mounted{dir, writable};
  return dir;
}

void AgentRun::Unmount(size_t index) {
  auto it = mounts_.find(index);
  if (it == mounts_.end()) return;
  host_.volumes.Unmount(it->second.dir);
  mounts_.erase(it);
}

std::optional<std::string> AgentRun::PathInNtfsVolume(size_t part, const std::string& path,
                                                      bool writable) {
  auto it = mounts_.find(part);
  if (part >= parts_.size() || parts_[part].fs != FsKind::kNtfs || it == mounts_.end() ||
      (writable && !it->second.writable) || path.rfind(it->second.dir + "/", 0) != 0) {
    return std::nullopt;
  }
  return path.substr(it->second.dir.size());
}

bool AgentRun::RunUnmounted(size_t part, const std::vector<std::string>& argv, int* status,
                            std::string* output) {
  auto it = mounts_.find(part);
  const std::optional<Mounted> was =
      it == mounts_.end() ? std::nullopt : std::optional<Mounted>(it->second);
  Unmount(part);
  *status = host_.tools.Run(argv, nullptr, output);
  return !was || MountAs(part, was->writable) == was->dir;
}

void AgentRun::UnmountAll() {
  while (!mounts_.empty()) Unmount(mounts_.begin()->first);
}

bool AgentRun::RestoreBootConfig(size_t index) {
  const std::string dir = MountAs(index, true);
  if (dir.empty()) return false;
  bool ok = PutBackupBack(host_.volumes, dir, "boot.in_", "boot.ini");
  if (std::optional<DirEntry> boot = FindEntry(host_.volumes, dir, "Boot")) {
    if (boot->directory)
      ok = PutBackupBack(host_.volumes, dir + "/" + boot->name, "BCD_B", "BCD") && ok;
  }
  return ok;
}

bool AgentRun::IsHibernated(size_t index) {
  auto it = mounts_.find(index);
  if (it == mounts_.end()) return false;
  std::optional<DirEntry> file = FindEntry(host_.volumes, it->second.dir, "hiberfil.sys");
  if (!file) return false;
  std::optional<std::string> head = host_.volumes.ReadFile(it->second.dir + "/" + file->name, 4);
  return head && IsHibernationHeader(*head);
}

void AgentRun::Say(const std::string& line) {
  host_.console.Line(line);
  if (line.compare(0, 6, "found:") == 0) log_.Add(line);
}

void AgentRun::WriteLog(size_t index, bool makeFolder) {
  const std::string dir = MountAs(index, true);
  if (dir.empty()) return;
  std::optional<std::string> folder;
  if (makeFolder) {
    folder = MakeFolders(host_.volumes, dir, kLogFolder);
  } else if (std::optional<DirEntry> e = FindEntry(host_.volumes, dir, kLogFolder)) {
    if (e->directory) folder = dir + "/" + e->name;
  }
  if (!folder) return;
  std::optional<DirEntry> file = FindEntry(host_.volumes, *folder, kLogName);
  // Lines are only ever added, so what this partition has is a prefix.
  const std::string text = log_.Text();
  size_t& done = logWritten_[index];
  const std::string path = *folder + "/" + (file ? file->name : kLogName);
  if (host_.volumes.AppendFile(path, text.substr(done))) {
    done = text.size();
    // Users may read it, not change what Windows reads back.
    if (!file) Protect(index, path, false, true);
  }
}

std::vector<size_t> AgentRun::WorkFolderPartitions() {
  const std::set<std::string> disks = TaskDisks();
  std::vector<size_t> found;
  for (size_t i = 0; i < parts_.size(); ++i) {
    if (!disks.count(parts_[i].disk)) continue;
    if (parts_[i].fs != FsKind::kNtfs && parts_[i].fs != FsKind::kFat) continue;
    const std::string dir = MountAs(i, false);
    if (dir.empty()) continue;
    std::optional<DirEntry> e = FindEntry(host_.volumes, dir, kLogFolder);
    if (e && e->directory) found.push_back(i);
  }
  return found;
}

void AgentRun::RemoveMarkers() {
  for (size_t i : taskPartitions_) {
    const std::string dir = MountAs(i, true);
    if (dir.empty()) continue;
    if (std::optional<DirEntry> e = FindEntry(host_.volumes, dir, "KV.ima")) {
      if (!host_.volumes.Remove(dir + "/" + e->name)) {
        Note("warning: KV.ima cannot be removed from " + parts_[i].device);
      }
    }
  }
}

std::string AgentRun::FoundLine(size_t index, const std::string& what) const {
  const FoundPartition& p = parts_[index];
  std::string disk = Hex8(p.signature);
  if (p.style == DiskStyle::kGpt) {
    disk = GuidText(p.diskGuid) + ", partition " + GuidText(p.partitionGuid);
  } else if (p.style == DiskStyle::kBadGpt) {
    disk = "with an unreadable GPT";
  }
  return what + " " + p.device + " (disk " + disk + ", start " + std::to_string(p.start) +
         ", length " + std::to_string(p.length) + ", " + FsKindName(p.fs) + ")";
}

void AgentRun::Note(const std::string& line) {
  host_.console.Line(line);
  log_.Add(line);
}

void AgentRun::RemoveEfiFolders() {
  const std::set<std::string> disks = TaskDisks();
  for (size_t i = 0; i < parts_.size(); ++i) {
    const FoundPartition& esp = parts_[i];
    if (!esp.esp || (!disks.empty() && !disks.count(esp.disk))) continue;
    const std::string folder = std::string(kEfiFolder) + "/" + kOurEfiFolder;
    const std::string dir = esp.fs == FsKind::kFat ? MountAs(i, true) : std::string();
    if (dir.empty()) {
      Note("warning: the EFI system partition " + esp.device + " cannot be opened as FAT; " +
           folder + " may be left on it");
      continue;
    }
    std::optional<DirEntry> efi = FindEntry(host_.volumes, dir, kEfiFolder);
    std::optional<DirEntry> ours;
    if (efi && efi->directory)
      ours = FindEntry(host_.volumes, dir + "/" + efi->name, kOurEfiFolder);
    if (ours && ours->directory) {
      const std::string path = efi->name + "/" + ours->name;
      Note(host_.volumes.Remove(dir + "/" + path)
               ? "done: removed " + path + " from " + esp.device
               : "warning: " + path + " cannot be removed from " + esp.device);
    }
    Unmount(i);
  }
}

}  // namespace restore
}  // namespace kavi
