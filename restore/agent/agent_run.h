// The state of one agent run, shared by the finding and deciding steps
// (agent.cpp) and the writing steps (agent_write.cpp). Internal.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "restore/agent/agent_host.h"
#include "restore/agent/restore_log.h"
#include "restore/agent/task_files.h"
#include "restore/agent/volume_files.h"

namespace kavi {
namespace restore {

class AgentRun {
 public:
  explicit AgentRun(AgentHost& host);
  Refusal Run();

 private:
  struct Mounted {
    std::string dir;
    bool writable = false;
  };

  // agent.cpp
  Refusal FindAndDecide();
  std::string MountAs(size_t index, bool writable);
  void Unmount(size_t index);
  // `path` inside the volume of `part` when `part` is a mounted NTFS
  // partition (writable, when asked) and `path` lies below its mount.
  std::optional<std::string> PathInNtfsVolume(size_t part, const std::string& path, bool writable);
  // Runs `argv` with `part` unmounted (libntfs-3g's tools want the volume
  // to themselves) and mounts it again where it was; false when it does
  // not come back.
  bool RunUnmounted(size_t part, const std::vector<std::string>& argv, int* status,
                    std::string* output);
  void UnmountAll();
  bool RestoreBootConfig(size_t index);
  bool IsHibernated(size_t index);
  void Say(const std::string& line);
  // Appends what the partition's log does not have yet; the "DURozazo"
  // folder is made only when `makeFolder`.
  void WriteLog(size_t index, bool makeFolder);
  // Partitions of the task's disks that already hold the work folder.
  std::vector<size_t> WorkFolderPartitions();
  // On UEFI machines KV.ima on the task partition only marked it; it goes
  // once the task is over.
  void RemoveMarkers();
  std::string FoundLine(size_t index, const std::string& what) const;
  // Takes our boot folder off every EFI system partition of the disks that
  // held a task (of every disk when none did: a start cut after the task
  // was read): the firmware starts it only once, and nothing may start it
  // again.
  void RemoveEfiFolders();
  void Note(const std::string& line);
  // agent_unseen.cpp. With no task found: the encrypted partitions, which
  // may hold it unseen, are told and refused (none: no refusal).
  Refusal RefuseUnseenTask();
  // The disks of the task partitions, seen or not.
  std::set<std::string> TaskDisks() const;

  // agent_write.cpp
  Refusal Load(const GhostTask& task, size_t target, size_t imagePart, const std::string& path);
  Refusal Dump(const GhostTask& task, size_t source, size_t imagePart, const std::string& path);
  Refusal WriteNtfs(size_t target, const std::string& image, int index, uint64_t bytes);
  Refusal WriteFat(size_t target, const std::string& image, int index, uint64_t bytes);
  // The root entries of the image applied into `staging` moved to `dir`,
  // the mounted root, each over what has its name there.
  Refusal MoveImageIntoPlace(const std::string& dir, const std::string& staging);
  Refusal PutBootFilesBack(size_t target, const std::vector<SavedFile>& saved);
  // agent_resume.cpp. The task partition's root entries as the takeover
  // left them, read before anything changes. True when an earlier start's
  // progress marker is among them (told, and left on the disk): that start
  // was cut after the format.
  bool SaveResumeSet(const std::string& taskDir);
  // A start that found the marker: the boot comes back here again, set and
  // flushed before anything long runs or anything is removed.
  void RearmResumedTask(const std::string& taskDir);
  // Those entries the image does not bring itself.
  std::vector<SavedFile> ResumeSetFor(const std::string& image, int index);
  // Right after the format: `keep` and the progress marker written back,
  // the boot menu's one-time entry armed again; the target left unmounted.
  bool KeepResumable(size_t target, const std::vector<SavedFile>& keep);
  // Right after the format, on a target the BIOS starts through its boot
  // code: the loader under the name of the boot file `kept` holds, the real
  // one beside it, flushed (resume.h).
  void StandInForBootFile(size_t target, const std::vector<SavedFile>& kept);
  // The real boot file from `saved` in the loader's place, whole; true when
  // no loader stands in.
  bool PutRealBootFileBack(size_t target, const std::string& dir,
                           const std::vector<SavedFile>& saved);
  // The one-time entry in the store under `dir`\Boot, if it has one.
  bool RearmStore(const std::string& dir);
  bool RearmBcd(const std::string& dir, const std::string& store);
  // UEFI: BootNext to our firmware entry before the first write; every
  // entry of ours removed once the task is over.
  void ArmFirmware();
  void RemoveLoadOptions();
  // After the last write: the task's files off the target and its boot
  // configuration Windows' own again.
  // With `storeReplaced` the boot configuration backups are dropped instead
  // of put back: the written Windows' store is in place.
  void Disarm(size_t target, const std::vector<SavedFile>& keep, bool storeReplaced);

  // agent_hold.cpp. Before a format: `keep`, the old boot region and label
  // held on the image's partition, flushed (false when they cannot be).
  bool HoldTask(size_t target, const std::vector<SavedFile>& keep,
                const std::vector<uint8_t>& region, const std::string& label);
  // Once the target holds the task again.
  void ReleaseHold();
  // When no partition holds a task: a hold's target formatted again with
  // the task put back on it; false when there is none to take up.
  bool TakeUpHeldTask();
  // mkntfs with the old geometry and label, then the old boot code put
  // back; what failed, or empty.
  std::string FormatNtfs(size_t target, const std::vector<uint8_t>& oldRegion,
                         const std::string& label);

  // agent_large_files.cpp. A file of a mounted NTFS partition `part`
  // (`path` below its mount) written by ntfscp with the volume unmounted
  // and mounted again as it was; through the mount when that cannot be done.
  bool WriteLargeFile(size_t part, const std::string& path, const std::string& bytes);
  // As WriteSavedFiles into `root`, the mount of `part`; large files as above.
  // Each file made readable and changeable by administrators only (on NTFS;
  // false when that fails).
  bool WriteFilesTo(size_t part, const std::string& root, const std::vector<SavedFile>& files);
  // `path` on NTFS partition `part` given the descriptor only SYSTEM and
  // Administrators can change (Users may read it with `usersRead`); false
  // on any other file system, or when the descriptor cannot be set.
  bool Protect(size_t part, const std::string& path, bool directory, bool usersRead = false);
  // True when `path` is on NTFS and nobody but SYSTEM or Administrators can
  // change it: what a standard user made is not.
  bool OnlyAdministratorsCanChange(size_t part, const std::string& path);
  // The task's script and disk record under `dir` (part's mount) are such,
  // as the takeover and the agent make them; always on FAT.
  bool OnlyAdministratorsMadeTask(size_t part, const std::string& dir);

  // agent_image.cpp: the image (a file on partition `part`) against the
  // record's size and MD5.
  Refusal CheckBoundImage(size_t part, const std::string& image, const ImageBinding& binding);
  // The size and MD5 of a file on partition `part`; none when it cannot be read.
  std::optional<ImageBinding> MeasureImage(size_t part, const std::string& image);
  // The file's MD5; on a mounted NTFS partition, read from the device with
  // the volume unmounted for the read and mounted again as it was.
  std::optional<std::string> FileMd5(size_t part, const std::string& path);

  // agent_backup.cpp: the backup's record on the task's partition. The
  // capture configuration's path, empty when it cannot be written.
  std::string WriteCaptureConfig(const std::string& folder, const std::string& name);
  // The backups the record names; none when there is no record to read.
  std::vector<ImageBinding> ReadBackupRecord();
  bool WriteBackupRecord(const std::vector<ImageBinding>& backups);

  // agent_boot.cpp
  // The partition the firmware will start from after the task (the ESP on
  // UEFI, else the active partition of the target's disk, else the target);
  // parts_.size() when there is none the agent can write.
  size_t FindBootPartition(size_t target, bool uefi);
  void ReadMachineStore(bool uefi);
  bool StartsThroughNtldr(size_t part);
  // `oldBootFilesBack`: the root boot files on the target are the old ones,
  // kept there while the image was written, not the image's own.
  Refusal PlaceBootFiles(size_t target, const std::vector<SavedFile>& saved, bool oldBootFilesBack);
  // Runs a wimlib-imagex command showing its progress; the exit status and
  // the bytes the last progress line counted.
  int RunWim(const std::vector<std::string>& argv, const std::string& label, uint64_t knownBytes,
             uint64_t* bytes);

  AgentHost& host_;
  std::vector<FoundPartition> parts_;
  std::map<size_t, Mounted> mounts_;
  RestoreLog log_;
  double started_ = 0;
  size_t taskPartition_ = 0;
  std::vector<size_t> taskPartitions_;  // every partition found holding a task
  std::vector<size_t> unseenTasks_;     // encrypted partitions when no task was found
  // Where the entry goes: the image's partition once known, unless it is the
  // system's.
  std::vector<size_t> logPartitions_;
  std::map<size_t, size_t> logWritten_;  // bytes of the entry each partition has
  // A load's image as checked before the restart.
  std::optional<ImageBinding> binding_;
  std::vector<SavedFile> resumeSet_;
  bool keptArmed_ = false;  // the target holds the task and the boot comes back here
  bool uefi_ = false;
  size_t bootPartition_ = 0;
  std::optional<std::string> machineStore_;  // read before the target changes
  std::string imageName_;                    // of the image being written
  bool storeReplaced_ = false;               // the target's store is the written Windows' own
  size_t imagePartition_ = SIZE_MAX;         // of a load
  bool held_ = false;                        // the task is held there
  bool holdLoader_ = false;                  // with the loader's files at its root
  bool heldTaskTakenUp_ = false;
  bool firmwareArmed_ = false;  // BootNext set by this start
  std::string standIn_;         // the target's boot file our loader stands in for
  bool imageBootIni_ = false;   // the image written to FAT brought its own boot.ini
};

}  // namespace restore
}  // namespace kavi
