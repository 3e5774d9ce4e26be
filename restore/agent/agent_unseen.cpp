#include "restore/agent/agent_run.h"
#include "restore/agent/firmware.h"

namespace kavi {
namespace restore {

// A BitLocker volume reads as noise without its key, so a task Windows left
// on it cannot be found. The takeover's disk is then the one holding such a
// volume: its work folders get the log (Windows reads it there, its system
// drive being unreadable here too) and its EFI system partition loses our
// folder, while the encrypted volume itself is never opened.
Refusal AgentRun::RefuseUnseenTask() {
  // On UEFI our firmware entry names the EFI system partition it started
  // from, on the disk the takeover armed: only that disk's encrypted volumes
  // can hide the task. Without such an entry, every disk's.
  std::set<std::string> armed;
  if (host_.firmware.State().uefi) {
    for (const LoadOption& option : host_.firmware.LoadOptions()) {
      const std::optional<Guid> esp =
          IsOurLoadOption(option.value) ? LoadOptionPartition(option.value) : std::nullopt;
      for (const FoundPartition& p : parts_) {
        if (esp && p.esp && p.partitionGuid == *esp) armed.insert(p.disk);
      }
    }
  }
  for (size_t i = 0; i < parts_.size(); ++i) {
    if (parts_[i].fs != FsKind::kBitLocker || (!armed.empty() && !armed.count(parts_[i].disk))) {
      continue;
    }
    unseenTasks_.push_back(i);
    Say(FoundLine(i, "found: BitLocker-encrypted"));
  }
  if (unseenTasks_.empty()) return Refusal{};
  return Refuse(Failure::kTargetEncrypted,
                "no task found; " + parts_[unseenTasks_[0]].device + " is BitLocker-encrypted");
}

std::set<std::string> AgentRun::TaskDisks() const {
  std::set<std::string> disks;
  for (size_t i : taskPartitions_) disks.insert(parts_[i].disk);
  for (size_t i : unseenTasks_) disks.insert(parts_[i].disk);
  return disks;
}

}  // namespace restore
}  // namespace kavi
