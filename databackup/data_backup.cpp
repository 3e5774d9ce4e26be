#include "databackup/data_backup.h"

#include <mutex>
#include <vector>

#include "host/shell_folders.h"
#include "host/text.h"

namespace kavi {
namespace {

const DataItemInfo kItems[] = {
    {kFolderDocuments, L"我的文档", L"Documents"},
    {kFolderFavorites, L"收藏夹", L"Favorite"},
    {kFolderDesktop, L"桌面", L"Desktop"},
};

// The new backup is copied beside the old one and swapped in when done.
constexpr const wchar_t* kFreshSuffix = L".new";
constexpr const wchar_t* kPreviousSuffix = L".old";

// One backup or restore per item at a time: a second backup of the same
// item would empty the fresh folder the first is filling, and a restore
// would read a backup in the middle of its swap. A later one waits.
std::mutex& ItemLock(DataItem item) {
  static std::mutex locks[3];
  return locks[static_cast<size_t>(item)];
}

// Creates a folder and any missing parents.
bool MakeFolders(DataFiles& files, const std::wstring& path) {
  if (files.IsFolder(path)) return true;
  size_t cut = path.find_last_of(L'\\');
  if (cut != std::wstring::npos && cut > 0) {
    std::wstring parent = path.substr(0, cut);
    if (parent.back() != L':' && !MakeFolders(files, parent)) return false;
  }
  return files.MakeFolder(path) || files.IsFolder(path);
}

struct TopLevelRules {
  bool skipDotNames = false;   // leave out top-level entries named ".*"
  std::wstring excludeFolder;  // canonical path of a folder to leave out
};

enum class TopLevelCopy { kCopied, kUnreadable, kStopped };

// Copies the entries of `source` into the existing folder `target`, applying
// the top-level rules; deeper levels are copied whole.
TopLevelCopy CopyTopLevel(DataFiles& files, const std::wstring& source, const std::wstring& target,
                          const TopLevelRules& rules, CopyCounts* counts, DataProgress& progress) {
  std::vector<FolderEntry> entries;
  if (!files.ListFolder(source, &entries)) return TopLevelCopy::kUnreadable;
  const StopQuery stop = [&progress] { return progress.StopRequested(); };
  for (const FolderEntry& entry : entries) {
    if (stop()) {
      counts->stopped = true;
      return TopLevelCopy::kStopped;
    }
    if (rules.skipDotNames && !entry.name.empty() && entry.name[0] == L'.') continue;
    const std::wstring from = JoinPath(source, entry.name);
    const std::wstring to = JoinPath(target, entry.name);
    if (!entry.isFolder) {
      if (CopyFileOver(files, from, to, false)) {
        ++counts->filesCopied;
      } else {
        ++counts->filesFailed;
      }
      continue;
    }
    if (entry.isLink) {
      ++counts->linksSkipped;
      continue;
    }
    if (!rules.excludeFolder.empty() && SamePath(files.CanonicalPath(from), rules.excludeFolder)) {
      continue;
    }
    if (!CopyFolderTree(files, from, to, false, counts, stop) && counts->stopped) {
      return TopLevelCopy::kStopped;
    }
  }
  return TopLevelCopy::kCopied;
}

// True when the live folder and the DataBackup folder contain one another,
// in which case copying either way would copy a tree into itself or a swap
// could remove live files.
bool Overlapping(DataFiles& files, const std::wstring& live, const std::wstring& root) {
  const std::wstring a = files.CanonicalPath(live);
  const std::wstring b = files.CanonicalPath(DataBackupFolder(root));
  return PathWithin(a, b) || PathWithin(b, a);
}

// Puts back a previous backup that a swap interrupted by a crash had moved
// aside.
void RecoverInterruptedSwap(DataFiles& files, const std::wstring& target) {
  const std::wstring previous = target + kPreviousSuffix;
  if (!files.IsFolder(target) && files.IsFolder(previous)) files.RenameEntry(previous, target);
}

// Replaces `target` by `fresh`; on failure the previous backup is back in
// place and `fresh` is gone.
bool SwapInFreshCopy(DataFiles& files, const std::wstring& fresh, const std::wstring& target) {
  const std::wstring previous = target + kPreviousSuffix;
  const bool hadPrevious = files.IsFolder(target);
  if (hadPrevious) {
    if (!files.RemoveTree(previous) || !files.RenameEntry(target, previous)) {
      files.RemoveTree(fresh);
      return false;
    }
  }
  if (!files.RenameEntry(fresh, target)) {
    if (hadPrevious) files.RenameEntry(previous, target);
    files.RemoveTree(fresh);
    return false;
  }
  // A leftover is removed by the next backup.
  if (hadPrevious) files.RemoveTree(previous);
  return true;
}

DataResult Report(DataOutcome outcome, const CopyCounts& counts, DataProgress& progress,
                  const std::wstring& text) {
  if (!text.empty()) progress.Show(text);
  DataResult result;
  result.outcome = outcome;
  result.counts = counts;
  return result;
}

std::wstring FolderNotFoundText(const DataItemInfo& info) {
  return Format(L"找不到“%ls”文件夹，已跳过", info.name);
}

uint32_t FailedEntries(const CopyCounts& counts) {
  return counts.filesFailed + counts.foldersFailed;
}

}  // namespace

const DataItemInfo& ItemInfo(DataItem item) {
  return kItems[static_cast<size_t>(item)];
}

std::wstring DataBackupFolder(const std::wstring& root) {
  return JoinPath(root, L"DataBackup");
}

std::wstring ItemBackupFolder(const std::wstring& root, DataItem item) {
  return JoinPath(DataBackupFolder(root), ItemInfo(item).name);
}

std::wstring BackupsIniPath(const std::wstring& root) {
  return JoinPath(DataBackupFolder(root), L"backups.ini");
}

std::wstring FormatLastBack(const LocalTime& t) {
  if (t.year < 0 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 ||
      t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 60) {
    return std::wstring();
  }
  return Format(L"%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
}

DataResult BackupItem(DataBackupHost& host, DataItem item, const std::wstring& root,
                      DataProgress& progress) {
  std::lock_guard<std::mutex> one(ItemLock(item));
  const DataItemInfo& info = ItemInfo(item);
  DataFiles& files = host.Files();
  CopyCounts counts;
  std::wstring live;
  if (!host.SpecialFolder(info.shellFolderId, &live) || live.empty()) {
    return Report(DataOutcome::kFolderUnknown, counts, progress, FolderNotFoundText(info));
  }
  if (!files.IsFolder(live)) {
    return Report(DataOutcome::kSourceMissing, counts, progress, FolderNotFoundText(info));
  }
  const std::wstring keptText = Format(L"无法写入“%ls”的备份，原备份已保留", info.name);
  if (root.empty()) return Report(DataOutcome::kTargetUnwritable, counts, progress, keptText);
  if (Overlapping(files, live, root)) {
    return Report(DataOutcome::kOverlapping, counts, progress,
                  Format(L"备份位置与“%ls”重叠，已跳过", info.name));
  }

  const std::wstring target = ItemBackupFolder(root, item);
  const std::wstring fresh = target + kFreshSuffix;
  RecoverInterruptedSwap(files, target);
  if (!files.RemoveTree(fresh) || !MakeFolders(files, fresh)) {
    return Report(DataOutcome::kTargetUnwritable, counts, progress, keptText);
  }

  TopLevelRules rules;
  if (item == DataItem::kDocuments) {
    // Favorites has an item of its own; dot-named entries at the top of
    // Documents are tool folders, not the user's documents.
    rules.skipDotNames = true;
    std::wstring favorites;
    if (host.SpecialFolder(kFolderFavorites, &favorites) && !favorites.empty()) {
      rules.excludeFolder = files.CanonicalPath(favorites);
    }
  }
  switch (CopyTopLevel(files, live, fresh, rules, &counts, progress)) {
    case TopLevelCopy::kUnreadable:
      files.RemoveTree(fresh);
      return Report(DataOutcome::kSourceUnreadable, counts, progress,
                    Format(L"无法读取“%ls”，原备份已保留", info.name));
    case TopLevelCopy::kStopped:
      files.RemoveTree(fresh);
      return Report(DataOutcome::kStopped, counts, progress, std::wstring());
    case TopLevelCopy::kCopied:
      break;
  }
  if (!SwapInFreshCopy(files, fresh, target)) {
    return Report(DataOutcome::kTargetUnwritable, counts, progress, keptText);
  }
  std::wstring text;
  if (!host.WriteLastBack(BackupsIniPath(root), info.iniSection, FormatLastBack(host.Now()))) {
    text = Format(L"“%ls”已备份，但无法记录备份时间", info.name);
  }
  if (FailedEntries(counts) > 0) {
    text = Format(L"“%ls”有 %u 项未能备份", info.name, FailedEntries(counts));
  }
  return Report(DataOutcome::kDone, counts, progress, text);
}

DataResult RestoreItem(DataBackupHost& host, DataItem item, const std::wstring& root,
                       DataProgress& progress) {
  std::lock_guard<std::mutex> one(ItemLock(item));
  const DataItemInfo& info = ItemInfo(item);
  DataFiles& files = host.Files();
  CopyCounts counts;
  std::wstring live;
  if (!host.SpecialFolder(info.shellFolderId, &live) || live.empty()) {
    return Report(DataOutcome::kFolderUnknown, counts, progress, FolderNotFoundText(info));
  }
  const std::wstring source = ItemBackupFolder(root, item);
  if (root.empty() || !files.IsFolder(source)) {
    return Report(DataOutcome::kSourceMissing, counts, progress,
                  Format(L"没有“%ls”的备份，已跳过", info.name));
  }
  if (Overlapping(files, live, root)) {
    return Report(DataOutcome::kOverlapping, counts, progress,
                  Format(L"备份位置与“%ls”重叠，已跳过", info.name));
  }
  if (!MakeFolders(files, live)) {
    return Report(DataOutcome::kTargetUnwritable, counts, progress,
                  Format(L"无法写入“%ls”文件夹", info.name));
  }
  TopLevelRules rules;
  rules.skipDotNames = item == DataItem::kDocuments;
  switch (CopyTopLevel(files, source, live, rules, &counts, progress)) {
    case TopLevelCopy::kUnreadable:
      return Report(DataOutcome::kSourceUnreadable, counts, progress,
                    Format(L"无法读取“%ls”的备份，已跳过", info.name));
    case TopLevelCopy::kStopped:
      return Report(DataOutcome::kStopped, counts, progress, std::wstring());
    case TopLevelCopy::kCopied:
      break;
  }
  std::wstring text;
  if (FailedEntries(counts) > 0) {
    text = Format(L"“%ls”有 %u 项未能还原", info.name, FailedEntries(counts));
  }
  return Report(DataOutcome::kDone, counts, progress, text);
}

std::wstring ReadLastBackupTime(DataBackupHost& host) {
  const std::wstring root = host.WorkFolder();
  if (root.empty()) return std::wstring();
  return host.ReadLastBack(BackupsIniPath(root), ItemInfo(DataItem::kDocuments).iniSection);
}

namespace {

DataTaskSummary RunTask(DataBackupHost& host, DataTaskObserver& observer, bool backup) {
  DataTaskSummary summary;
  std::wstring incomplete;
  for (DataItem item : kDataItems) {
    if (observer.StopRequested()) {
      summary.stopped = true;
      break;
    }
    if (!observer.IsSelected(item)) continue;
    const DataItemInfo& info = ItemInfo(item);
    observer.Show(Format(backup ? L"正在备份“%ls”" : L"正在还原“%ls”", info.name));
    const std::wstring root = host.WorkFolder();
    const DataResult result =
        backup ? BackupItem(host, item, root, observer) : RestoreItem(host, item, root, observer);
    summary.ran[static_cast<size_t>(item)] = true;
    summary.results[static_cast<size_t>(item)] = result;
    if (result.outcome == DataOutcome::kStopped) {
      summary.stopped = true;
      break;
    }
    if (!result.Complete()) {
      if (!incomplete.empty()) incomplete += L"、";
      incomplete += Format(L"“%ls”", info.name);
    }
  }
  if (summary.stopped) {
    summary.finalText = backup ? L"备份资料已停止" : L"还原资料已停止";
  } else if (incomplete.empty()) {
    summary.finalText = backup ? L"备份资料完成" : L"还原资料完成";
  } else {
    summary.finalText =
        Format(backup ? L"备份资料完成，但%ls未能完整备份" : L"还原资料完成，但%ls未能完整还原",
               incomplete.c_str());
  }
  observer.Show(summary.finalText);
  return summary;
}

}  // namespace

DataTaskSummary RunBackupTask(DataBackupHost& host, DataTaskObserver& observer) {
  return RunTask(host, observer, true);
}

DataTaskSummary RunRestoreTask(DataBackupHost& host, DataTaskObserver& observer) {
  return RunTask(host, observer, false);
}

}  // namespace kavi
