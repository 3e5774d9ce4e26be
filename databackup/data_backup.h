// Personal data backup: copies Documents, Favorites and Desktop into the
// DataBackup folder of the work folder and back, and records in backups.ini
// when each was last backed up.
//
// A backup is copied into a fresh folder beside the previous one and swapped
// in only when the copy is done, so a folder that cannot be read, a stop
// request or a crash leaves the previous backup as it was. A restore merges
// into the live folder: files missing from the backup stay, files of the
// same name are overwritten, nothing is deleted.
//
// Everything here runs on a worker thread and shows nothing itself: progress
// goes through DataProgress. The logic is portable over DataBackupHost; the
// Windows host and the shorthand entry points are in data_backup_win32.cpp.
#pragma once

#include <array>
#include <string>

#include "databackup/data_files.h"
#include "databackup/folder_copy.h"

namespace kavi {

enum class DataItem { kDocuments = 0, kFavorites = 1, kDesktop = 2 };
constexpr std::array<DataItem, 3> kDataItems = {DataItem::kDocuments, DataItem::kFavorites,
                                                DataItem::kDesktop};

struct DataItemInfo {
  int shellFolderId;
  const wchar_t* name;        // the backup folder's name and the name shown
  const wchar_t* iniSection;  // section of "LastBack" in backups.ini
};
const DataItemInfo& ItemInfo(DataItem item);

// "<root>\DataBackup", "<root>\DataBackup\<item name>" and
// "<root>\DataBackup\backups.ini".
std::wstring DataBackupFolder(const std::wstring& root);
std::wstring ItemBackupFolder(const std::wstring& root, DataItem item);
std::wstring BackupsIniPath(const std::wstring& root);

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
// "%Y/%m/%d %H:%M:%S"; empty when a field is out of range.
std::wstring FormatLastBack(const LocalTime& time);

// Where the engine meets the machine.
class DataBackupHost {
 public:
  virtual ~DataBackupHost() = default;
  virtual DataFiles& Files() = 0;
  // The short path of a shell special folder; false when the look-up fails.
  virtual bool SpecialFolder(int folderId, std::wstring* path) = 0;
  virtual LocalTime Now() = 0;
  virtual bool WriteLastBack(const std::wstring& iniPath, const std::wstring& section,
                             const std::wstring& value) = 0;
  // Empty when the file, section or key is missing.
  virtual std::wstring ReadLastBack(const std::wstring& iniPath, const std::wstring& section) = 0;
  // The current work folder, read each time a task reaches an item.
  virtual std::wstring WorkFolder() = 0;
};

// Progress texts and stop requests. Called on the thread that runs the
// operation: an implementation hands texts to the UI thread, it never
// touches controls itself.
class DataProgress {
 public:
  virtual ~DataProgress() = default;
  virtual void Show(const std::wstring& text) = 0;
  virtual bool StopRequested() { return false; }
};

enum class DataOutcome {
  kDone,              // copied; counts tell whether every file made it
  kFolderUnknown,     // the special-folder look-up failed; nothing copied
  kSourceMissing,     // backup: the live folder is gone; restore: no backup yet
  kSourceUnreadable,  // the folder to copy from cannot be listed
  kTargetUnwritable,  // the folder to copy into cannot be made or put in place
  kOverlapping,       // the live folder and the backup folder contain each other
  kStopped,           // a stop request ended it
};

struct DataResult {
  DataOutcome outcome = DataOutcome::kDone;
  CopyCounts counts;
  // kDone with every file and folder copied.
  bool Complete() const { return outcome == DataOutcome::kDone && counts.Complete(); }
};

// One item. Operations on the same item from several threads run one after
// the other. A backup that is not kDone leaves the previous backup and
// "LastBack" untouched; kDone writes "LastBack" even when some files could
// not be copied (they are counted). A stopped restore keeps what it copied.
DataResult BackupItem(DataBackupHost& host, DataItem item, const std::wstring& root,
                      DataProgress& progress);
DataResult RestoreItem(DataBackupHost& host, DataItem item, const std::wstring& root,
                       DataProgress& progress);

inline DataResult BackupDocuments(DataBackupHost& h, const std::wstring& root, DataProgress& p) {
  return BackupItem(h, DataItem::kDocuments, root, p);
}
inline DataResult BackupFavorites(DataBackupHost& h, const std::wstring& root, DataProgress& p) {
  return BackupItem(h, DataItem::kFavorites, root, p);
}
inline DataResult BackupDesktop(DataBackupHost& h, const std::wstring& root, DataProgress& p) {
  return BackupItem(h, DataItem::kDesktop, root, p);
}
inline DataResult RestoreDocuments(DataBackupHost& h, const std::wstring& root, DataProgress& p) {
  return RestoreItem(h, DataItem::kDocuments, root, p);
}
inline DataResult RestoreFavorites(DataBackupHost& h, const std::wstring& root, DataProgress& p) {
  return RestoreItem(h, DataItem::kFavorites, root, p);
}
inline DataResult RestoreDesktop(DataBackupHost& h, const std::wstring& root, DataProgress& p) {
  return RestoreItem(h, DataItem::kDesktop, root, p);
}

// "LastBack" of section "Documents" in the backups.ini of the current work
// folder; empty when there is none.
std::wstring ReadLastBackupTime(DataBackupHost& host);

// What a backup or restore worker asks of the window.
class DataTaskObserver : public DataProgress {
 public:
  // Whether the item's option is selected, asked when the task reaches it.
  virtual bool IsSelected(DataItem item) = 0;
};

struct DataTaskSummary {
  std::array<bool, 3> ran = {false, false, false};
  std::array<DataResult, 3> results;  // by DataItem, meaningful where `ran`
  bool stopped = false;
  std::wstring finalText;  // also the last text shown
  const DataResult& Result(DataItem item) const { return results[static_cast<size_t>(item)]; }
};

// The workers' whole job: for Documents, Favorites and Desktop in turn, when
// selected, show "正在备份“…”" ("正在还原“…”"), take the work folder as it is
// now and run the item; then show "备份资料完成" ("还原资料完成"), naming
// the items that did not complete, or that the task stopped.
DataTaskSummary RunBackupTask(DataBackupHost& host, DataTaskObserver& observer);
DataTaskSummary RunRestoreTask(DataBackupHost& host, DataTaskObserver& observer);

// ---- Windows side (data_backup_win32.cpp) ----

// The files, shell folders, backups.ini (through BackupsIni(), under a lock
// of its own so concurrent workers do not race on its path), local clock and
// kavi::Working()'s work folder of this machine.
DataBackupHost& SystemDataBackupHost();

DataResult BackupDocuments(const std::wstring& root, DataProgress& progress);
DataResult BackupFavorites(const std::wstring& root, DataProgress& progress);
DataResult BackupDesktop(const std::wstring& root, DataProgress& progress);
DataResult RestoreDocuments(const std::wstring& root, DataProgress& progress);
DataResult RestoreFavorites(const std::wstring& root, DataProgress& progress);
DataResult RestoreDesktop(const std::wstring& root, DataProgress& progress);
bool CopyFolderTree(const std::wstring& source, const std::wstring& target, bool failIfExists);
std::wstring ReadLastBackupTime();
DataTaskSummary RunBackupTask(DataTaskObserver& observer);
DataTaskSummary RunRestoreTask(DataTaskObserver& observer);

}  // namespace kavi
