#include "boot/backup_swap.h"

namespace kavi {

bool FinishBackupSwap(BootFiles& files, const std::wstring& path) {
  const std::wstring work = path + L".kavi-new";
  const std::wstring done = path + L".kavi-done";
  const std::wstring old = path + L".kavi-old";
  if (files.Exists(work) && !files.Delete(work)) return false;
  bool live = files.Exists(path);
  if (files.Exists(done)) {
    if (live && ((files.Exists(old) && !files.Delete(old)) || !files.Move(path, old))) return false;
    if (!files.Move(done, path)) return false;
    live = true;
  }
  if (files.Exists(old)) return live ? files.Delete(old) : files.Move(old, path);
  return true;
}

std::wstring BackupAfterSwap(BootFiles& files, const std::wstring& path) {
  for (const std::wstring& name : {path + L".kavi-done", path, path + L".kavi-old"}) {
    if (files.Exists(name)) return name;
  }
  return L"";
}

}  // namespace kavi
