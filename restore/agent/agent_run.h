// The state of one agent run, shared by the finding and deciding steps
// (agent.cpp) and the writing steps (agent_write.cpp). Internal.
#pragma once

#include <map>
#include <optional>
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
  void UnmountAll();
  bool RestoreBootConfig(size_t index);
  bool IsHibernated(size_t index);
  void Say(const std::string& line);
  void WriteLog(size_t index);
  std::string FoundLine(size_t index, const std::string& what) const;
  // Takes our boot folder off every EFI system partition of the disks that
  // held a task: the firmware starts it only once, and nothing may start it
  // again.
  void RemoveEfiFolders();
  void Note(const std::string& line);

  // agent_write.cpp
  Refusal Load(const GhostTask& task, size_t target, size_t imagePart, const std::string& path);
  Refusal Dump(const GhostTask& task, size_t source, size_t imagePart, const std::string& path);
  Refusal WriteNtfs(size_t target, const std::string& image, int index, uint64_t bytes);
  Refusal WriteFat(size_t target, const std::string& image, int index, uint64_t bytes);
  Refusal PutBootFilesBack(size_t target, const std::vector<SavedFile>& saved);

  // agent_boot.cpp
  // The partition the firmware will start from after the task (the ESP on
  // UEFI, else the active partition of the target's disk, else the target);
  // parts_.size() when there is none the agent can write.
  size_t FindBootPartition(size_t target, bool uefi);
  void ReadMachineStore(bool uefi);
  bool StartsThroughNtldr(size_t part);
  Refusal PlaceBootFiles(size_t target, const std::vector<SavedFile>& saved);
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
  std::vector<size_t> logPartitions_;
  bool uefi_ = false;
  size_t bootPartition_ = 0;
  std::optional<std::string> machineStore_;  // read before the target changes
  std::string imageName_;                    // of the image being written
};

}  // namespace restore
}  // namespace kavi
