// The engine's host for native tests: in-memory files, special folders that
// can be missing, a fixed clock, backups.ini as a map and a work folder the
// test can move; and an observer that records what a worker would show.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "databackup/data_backup.h"
#include "tests/databackup/memory_files.h"

namespace kavi {

class MemoryHost : public DataBackupHost {
 public:
  MemoryFiles files;
  std::map<int, std::wstring> specialFolders;  // a missing id fails the look-up
  LocalTime now;
  std::map<std::pair<std::wstring, std::wstring>, std::wstring> ini;  // (file, section)
  bool iniWritable = true;
  std::wstring workFolder;

  DataFiles& Files() override { return files; }
  bool SpecialFolder(int folderId, std::wstring* path) override {
    auto it = specialFolders.find(folderId);
    if (it == specialFolders.end()) return false;
    *path = it->second;
    return true;
  }
  LocalTime Now() override { return now; }
  bool WriteLastBack(const std::wstring& iniPath, const std::wstring& section,
                     const std::wstring& value) override {
    if (!iniWritable) return false;
    ini[{iniPath, section}] = value;
    return true;
  }
  std::wstring ReadLastBack(const std::wstring& iniPath, const std::wstring& section) override {
    auto it = ini.find({iniPath, section});
    return it == ini.end() ? std::wstring() : it->second;
  }
  std::wstring WorkFolder() override { return workFolder; }
};

class RecordingObserver : public DataTaskObserver {
 public:
  std::set<DataItem> selected;
  std::vector<std::wstring> texts;
  std::function<bool()> stop;
  std::function<void(DataItem)> onAsked;

  void Show(const std::wstring& text) override { texts.push_back(text); }
  bool StopRequested() override { return stop && stop(); }
  bool IsSelected(DataItem item) override {
    if (onAsked) onAsked(item);
    return selected.count(item) != 0;
  }
};

}  // namespace kavi
