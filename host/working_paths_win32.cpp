#include "host/working_paths.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "host/host_facts.h"
#include "host/shell_folders.h"
#include "host/win32_util.h"

namespace kavi {
namespace {

class Win32DriveQueries : public DriveQueries {
 public:
  bool IsFixedDrive(wchar_t letter) const override {
    wchar_t root[] = {letter, L':', L'\\', 0};
    return GetDriveTypeW(root) == DRIVE_FIXED;
  }
  bool IsDirectory(const std::wstring& path) const override {
    return PathIsDirectoryW(path.c_str()) != FALSE;
  }
  bool FreeBytes(wchar_t letter, uint64_t* freeBytes) const override {
    wchar_t root[] = {letter, L':', L'\\', 0};
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(root, &available, nullptr, nullptr)) return false;
    *freeBytes = available.QuadPart;
    return true;
  }
};

}  // namespace

wchar_t ChooseWorkDrive() {
  return ChooseWorkDrive(Win32DriveQueries(), Working().SystemDrive());
}

void SetWorkFolder(const wchar_t* path) {
  Working().SetWorkFolder(path);
}

void SetUpWorkingPaths(BootSetUp* boot) {
  HostPaths host;
  host.windowsDirectory = WindowsDirectory();
  host.modulePath = ModuleFileName(nullptr);
  if (boot) host.tools = PrepareToolsFolder();
  host.windowsEdition = DetectWindowsEdition();

  // The system drive must be stored before the drive choice reads it.
  WorkingFields fields = Working().Snapshot();
  fields.systemDrive = host.windowsDirectory.empty() ? 0 : host.windowsDirectory[0];
  const wchar_t workDrive = ChooseWorkDrive(Win32DriveQueries(), fields.systemDrive);
  fields = DeriveWorkingPaths(std::move(fields), host, workDrive);
  Working().Reset(fields);

  if (boot) boot->WriteBootTools(fields);

  // Creating the download folder creates the work folder with it.
  SHCreateDirectoryExW(nullptr, fields.downloadFolder.c_str(), nullptr);
  SHCreateDirectoryExW(nullptr, fields.dataBackupFolder.c_str(), nullptr);
  SHCreateDirectoryExW(nullptr, fields.cacheFolder.c_str(), nullptr);

  if (boot) boot->InitBootSettings(fields);
}

void SetUpToolPaths() {
  const ToolsFolderChoice tools = PrepareToolsFolder();
  Working().Update([&tools](WorkingFields* f) { DeriveToolPaths(f, tools); });
}

}  // namespace kavi
