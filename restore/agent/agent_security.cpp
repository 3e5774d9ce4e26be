// Who may change what the agent makes: ntfs-3g gives every file it creates
// a descriptor granting everyone full control, so the task, its hold and
// the backups would be any user's to change; the agent sets its own.
#include "restore/agent/agent_run.h"
#include "restore/agent/ntfs_security.h"
#include "restore/agent/volume_files.h"

namespace kavi {
namespace restore {

bool AgentRun::Protect(size_t part, const std::string& path, bool directory, bool usersRead) {
  return part < parts_.size() && parts_[part].fs == FsKind::kNtfs &&
         host_.volumes.SetSecurity(path, AdminOnlyDescriptor(directory, usersRead));
}

bool AgentRun::OnlyAdministratorsCanChange(size_t part, const std::string& path) {
  if (part >= parts_.size() || parts_[part].fs != FsKind::kNtfs) return false;
  const std::optional<std::string> descriptor = host_.volumes.ReadSecurity(path);
  return descriptor && IsAdminOnly(*descriptor);
}

bool AgentRun::OnlyAdministratorsMadeTask(size_t part, const std::string& dir) {
  // FAT keeps no owner: there every user may change the whole system anyway.
  if (parts_[part].fs != FsKind::kNtfs) return true;
  for (const char* name : {"Ghost.ba_", "Ghost.map"}) {
    const std::optional<DirEntry> entry = FindEntry(host_.volumes, dir, name);
    if (entry && !OnlyAdministratorsCanChange(part, dir + "/" + entry->name)) return false;
  }
  return true;
}

}  // namespace restore
}  // namespace kavi
