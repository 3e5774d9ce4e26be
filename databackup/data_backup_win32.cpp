#include "databackup/data_backup.h"

#include <windows.h>

#include <mutex>

#include "host/ini_file.h"
#include "host/shell_folders.h"
#include "host/win32_util.h"
#include "host/working_state.h"

namespace kavi {
namespace {

// BackupsIni() has one path for the whole process; a backup worker and the
// window reading the last-backup time must not switch it under each other.
std::mutex& BackupsIniLock() {
  static std::mutex lock;
  return lock;
}

class SystemHost : public DataBackupHost {
 public:
  DataFiles& Files() override { return SystemDataFiles(); }

  bool SpecialFolder(int folderId, std::wstring* path) override {
    return GetSpecialFolderShortPath(*path, folderId);
  }

  LocalTime Now() override {
    SYSTEMTIME now;
    GetLocalTime(&now);
    LocalTime t;
    t.year = now.wYear;
    t.month = now.wMonth;
    t.day = now.wDay;
    t.hour = now.wHour;
    t.minute = now.wMinute;
    t.second = now.wSecond;
    return t;
  }

  bool WriteLastBack(const std::wstring& iniPath, const std::wstring& section,
                     const std::wstring& value) override {
    // The private-profile functions take classic-length paths only.
    if (!FitsMaxPath(iniPath)) return false;
    std::lock_guard<std::mutex> guard(BackupsIniLock());
    BackupsIni().path = iniPath;
    return WritePrivateProfileStringW(section.c_str(), L"LastBack", value.c_str(),
                                      BackupsIni().path.c_str()) != FALSE;
  }

  std::wstring ReadLastBack(const std::wstring& iniPath, const std::wstring& section) override {
    if (!FitsMaxPath(iniPath)) return std::wstring();
    std::lock_guard<std::mutex> guard(BackupsIniLock());
    BackupsIni().path = iniPath;
    std::wstring value;
    GetLastBack(value, section);
    return value;
  }

  std::wstring WorkFolder() override { return Working().GetWorkFolder(); }
};

}  // namespace

DataBackupHost& SystemDataBackupHost() {
  static SystemHost host;
  return host;
}

DataResult BackupDocuments(const std::wstring& root, DataProgress& progress) {
  return BackupItem(SystemDataBackupHost(), DataItem::kDocuments, root, progress);
}
DataResult BackupFavorites(const std::wstring& root, DataProgress& progress) {
  return BackupItem(SystemDataBackupHost(), DataItem::kFavorites, root, progress);
}
DataResult BackupDesktop(const std::wstring& root, DataProgress& progress) {
  return BackupItem(SystemDataBackupHost(), DataItem::kDesktop, root, progress);
}
DataResult RestoreDocuments(const std::wstring& root, DataProgress& progress) {
  return RestoreItem(SystemDataBackupHost(), DataItem::kDocuments, root, progress);
}
DataResult RestoreFavorites(const std::wstring& root, DataProgress& progress) {
  return RestoreItem(SystemDataBackupHost(), DataItem::kFavorites, root, progress);
}
DataResult RestoreDesktop(const std::wstring& root, DataProgress& progress) {
  return RestoreItem(SystemDataBackupHost(), DataItem::kDesktop, root, progress);
}

bool CopyFolderTree(const std::wstring& source, const std::wstring& target, bool failIfExists) {
  return CopyFolderTree(SystemDataFiles(), source, target, failIfExists);
}

std::wstring ReadLastBackupTime() {
  return ReadLastBackupTime(SystemDataBackupHost());
}

DataTaskSummary RunBackupTask(DataTaskObserver& observer) {
  return RunBackupTask(SystemDataBackupHost(), observer);
}

DataTaskSummary RunRestoreTask(DataTaskObserver& observer) {
  return RunRestoreTask(SystemDataBackupHost(), observer);
}

}  // namespace kavi
