// The process-wide record of the run's folders and facts. Filled once at
// window initialisation; afterwards each field has one writer. Readers on
// other threads get copies, taken under the record's lock, so a worker never
// sees a half-written string.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

namespace kavi {

struct WorkingFields {
  std::wstring currentVersion;
  std::wstring latestVersion;
  std::wstring installerUrl;
  std::wstring workFolder;
  std::wstring currentImagePath;
  std::wstring currentCheckCode;
  std::wstring dataBackupFolder;
  std::wstring programFolder;
  wchar_t systemDrive = 0;
  wchar_t bootDrive = 0;
  std::wstring toolsFolder;
  std::wstring downloadFolder;
  int32_t windowsEdition = 0;
  int32_t versionChecked = 0;
  std::wstring cacheFolder;
  std::wstring dsptPath;
  std::wstring bcdeditPath;
  std::wstring bcdbootPath;
  std::wstring bcdsectPath;
  std::wstring systemBackupImagePath;
};

class WorkingState {
 public:
  WorkingFields Snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return fields_;
  }

  std::wstring GetCurrentVersion() const { return Get(&WorkingFields::currentVersion); }
  std::wstring GetLatestVersion() const { return Get(&WorkingFields::latestVersion); }
  std::wstring GetInstallerUrl() const { return Get(&WorkingFields::installerUrl); }
  std::wstring GetWorkFolder() const { return Get(&WorkingFields::workFolder); }
  std::wstring GetCurrentImagePath() const { return Get(&WorkingFields::currentImagePath); }
  std::wstring GetCurrentCheckCode() const { return Get(&WorkingFields::currentCheckCode); }
  std::wstring GetDataBackupFolder() const { return Get(&WorkingFields::dataBackupFolder); }
  std::wstring GetProgramFolder() const { return Get(&WorkingFields::programFolder); }
  std::wstring GetToolsFolder() const { return Get(&WorkingFields::toolsFolder); }
  std::wstring GetDownloadFolder() const { return Get(&WorkingFields::downloadFolder); }
  std::wstring GetCacheFolder() const { return Get(&WorkingFields::cacheFolder); }
  std::wstring GetDsptPath() const { return Get(&WorkingFields::dsptPath); }
  std::wstring GetBcdeditPath() const { return Get(&WorkingFields::bcdeditPath); }
  std::wstring GetBcdbootPath() const { return Get(&WorkingFields::bcdbootPath); }
  std::wstring GetBcdsectPath() const { return Get(&WorkingFields::bcdsectPath); }
  std::wstring GetSystemBackupImagePath() const {
    return Get(&WorkingFields::systemBackupImagePath);
  }
  wchar_t SystemDrive() const { return Get(&WorkingFields::systemDrive); }
  wchar_t BootDrive() const { return Get(&WorkingFields::bootDrive); }
  int32_t WindowsEdition() const { return Get(&WorkingFields::windowsEdition); }
  int32_t VersionChecked() const { return Get(&WorkingFields::versionChecked); }

  // A null path counts as empty. The derived folders keep their values.
  void SetWorkFolder(const wchar_t* path) { Set(&WorkingFields::workFolder, path ? path : L""); }
  void SetCurrentVersion(std::wstring v) { Set(&WorkingFields::currentVersion, std::move(v)); }
  void SetLatestVersion(std::wstring v) { Set(&WorkingFields::latestVersion, std::move(v)); }
  void SetInstallerUrl(std::wstring v) { Set(&WorkingFields::installerUrl, std::move(v)); }
  void SetCurrentImage(std::wstring path, std::wstring checkCode) {
    std::lock_guard<std::mutex> lock(mutex_);
    fields_.currentImagePath = std::move(path);
    fields_.currentCheckCode = std::move(checkCode);
  }
  void SetVersionChecked(int32_t v) { Set(&WorkingFields::versionChecked, v); }

  // Changes several fields at once: `change` gets the record under the lock.
  template <typename Change>
  void Update(Change change) {
    std::lock_guard<std::mutex> lock(mutex_);
    change(&fields_);
  }

  // Replaces the whole record (the working-path set-up and tests).
  void Reset(WorkingFields fields) {
    std::lock_guard<std::mutex> lock(mutex_);
    fields_ = std::move(fields);
  }

 private:
  template <typename T>
  T Get(T WorkingFields::*member) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return fields_.*member;
  }
  template <typename T, typename V>
  void Set(T WorkingFields::*member, V&& value) {
    std::lock_guard<std::mutex> lock(mutex_);
    fields_.*member = std::forward<V>(value);
  }

  mutable std::mutex mutex_;
  WorkingFields fields_;
};

// The one record of the process.
WorkingState& Working();

}  // namespace kavi
