// Who may change what the agent makes: ntfs-3g gives every file it creates
// a descriptor granting everyone full control, so the task, its hold and
// the backups would be any user's to change; the agent sets its own.
#include "restore/agent/agent_run.h"
#include "restore/agent/ntfs_security.h"

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

}  // namespace restore
}  // namespace kavi
