#include "host/working_paths.h"

#include <cwctype>

#include "host/text.h"

namespace kavi {

WorkingState& Working() {
  static WorkingState state;
  return state;
}

wchar_t ChooseWorkDrive(const DriveQueries& drives, wchar_t systemDrive) {
  // The system drive is skipped in both passes, whatever the case of the
  // letter Windows reported.
  const wchar_t upperSystem = static_cast<wchar_t>(std::towupper(systemDrive));
  // Reuse pass: a work folder left by an earlier run keeps its images.
  for (wchar_t letter = L'A'; letter <= L'Y'; ++letter) {
    if (letter == upperSystem || !drives.IsFixedDrive(letter)) continue;
    if (drives.IsDirectory(Format(L"%lc:\\%ls", letter, kWorkFolderName))) return letter;
  }
  // Space pass.
  uint64_t best = 0;
  wchar_t answer = systemDrive;
  for (wchar_t letter = L'A'; letter <= L'Y'; ++letter) {
    if (letter == upperSystem || !drives.IsFixedDrive(letter)) continue;
    uint64_t freeBytes = 0;
    if (!drives.FreeBytes(letter, &freeBytes)) continue;
    if (freeBytes > best && (freeBytes >> 30) > 3) {
      best = freeBytes;
      answer = letter;
    }
  }
  return answer;
}

std::wstring FolderOfPath(const std::wstring& path) {
  size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

WorkingFields DeriveWorkingPaths(WorkingFields f, const HostPaths& host, wchar_t workDrive) {
  f.systemDrive = host.windowsDirectory.empty() ? 0 : host.windowsDirectory[0];
  f.bootDrive = f.systemDrive;
  f.programFolder = FolderOfPath(host.modulePath);
  f.windowsEdition = host.windowsEdition;
  f.workFolder = Format(L"%lc:\\%ls", workDrive, kWorkFolderName);
  f.dataBackupFolder = Format(L"%ls\\%ls", f.workFolder.c_str(), L"DataBackup");
  f.downloadFolder = Format(L"%ls\\Download", f.workFolder.c_str());
  f.cacheFolder = Format(L"%ls\\cache", f.programFolder.c_str());
  f.systemBackupImagePath = Format(L"%ls\\SYS.GHO", f.workFolder.c_str());
  DeriveToolPaths(&f, host.tools);
  return f;
}

void DeriveToolPaths(WorkingFields* f, const ToolsFolderChoice& tools) {
  f->toolsFolder = tools.folder;
  if (tools.protect && tools.folder.empty()) {
    f->bcdeditPath.clear();
    f->dsptPath.clear();
    f->bcdbootPath.clear();
    f->bcdsectPath.clear();
    return;
  }
  f->bcdeditPath = Format(L"%ls\\%ls", f->toolsFolder.c_str(), L"bcdedit.exe");
  f->dsptPath = Format(L"%ls\\%ls", f->toolsFolder.c_str(), L"dspt.exe");
  f->bcdbootPath = Format(L"%ls\\%ls", f->toolsFolder.c_str(), L"bcdboot.exe");
  f->bcdsectPath = Format(L"%ls\\%ls", f->toolsFolder.c_str(), L"bcdsect.exe");
}

}  // namespace kavi
