// The system's data backup host with the special folders a test chooses, so
// Windows-side tests copy real files without touching the Wine user's own
// Documents and Desktop.
#pragma once

#include <string>

#include "databackup/data_backup.h"
#include "host/shell_folders.h"

namespace kavi {

class RedirectedHost : public DataBackupHost {
 public:
  std::wstring documents, favorites, desktop;

  DataFiles& Files() override { return SystemDataFiles(); }
  bool SpecialFolder(int folderId, std::wstring* path) override {
    const std::wstring& folder = folderId == kFolderDocuments   ? documents
                                 : folderId == kFolderFavorites ? favorites
                                                                : desktop;
    if (folder.empty()) return false;
    *path = folder;
    return true;
  }
  LocalTime Now() override { return SystemDataBackupHost().Now(); }
  bool WriteLastBack(const std::wstring& iniPath, const std::wstring& section,
                     const std::wstring& value) override {
    return SystemDataBackupHost().WriteLastBack(iniPath, section, value);
  }
  std::wstring ReadLastBack(const std::wstring& iniPath, const std::wstring& section) override {
    return SystemDataBackupHost().ReadLastBack(iniPath, section);
  }
  std::wstring WorkFolder() override { return SystemDataBackupHost().WorkFolder(); }
};

}  // namespace kavi
