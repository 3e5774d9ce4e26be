// The backup's record on the task's partition, written around the steps
// that put a new backup in the old one's place (backup_record.h).
#include "restore/agent/agent_run.h"
#include "restore/agent/backup_record.h"
#include "restore/agent/volume_files.h"

namespace kavi {
namespace restore {
namespace {

constexpr size_t kRecordLimit = 4096;

}  // namespace

std::string AgentRun::WriteCaptureConfig(const std::string& folder, const std::string& name) {
  const std::string path = folder + "/" + name + ".kavi-cfg";
  return host_.volumes.WriteFile(path, CaptureExclusions()) ? path : std::string();
}

std::vector<ImageBinding> AgentRun::ReadBackupRecord() {
  const std::string dir = MountAs(taskPartition_, false);
  std::optional<DirEntry> e;
  if (!dir.empty()) e = FindEntry(host_.volumes, dir, kBackupRecordName);
  std::optional<std::string> text;
  if (e && !e->directory) text = host_.volumes.ReadFile(dir + "/" + e->name, kRecordLimit);
  std::optional<std::vector<ImageBinding>> backups;
  if (text) backups = ParseBackupRecord(*text);
  return backups.value_or(std::vector<ImageBinding>());
}

bool AgentRun::WriteBackupRecord(const std::vector<ImageBinding>& backups) {
  const std::string dir = MountAs(taskPartition_, true);
  if (dir.empty()) return false;
  std::optional<DirEntry> e = FindEntry(host_.volumes, dir, kBackupRecordName);
  if (e && e->directory) return false;
  const std::string path = dir + "/" + (e ? e->name : kBackupRecordName);
  // What Windows trusts a backup by: no user may change it.
  const bool written = host_.volumes.WriteFile(path, BackupRecordText(backups)) &&
                       Protect(taskPartition_, path, false);
  // On the disk before the next step (unmounting flushes ntfs-3g).
  Unmount(taskPartition_);
  return written;
}

}  // namespace restore
}  // namespace kavi
