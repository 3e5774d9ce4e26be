#include "databackup/data_backup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "host/shell_folders.h"
#include "tests/databackup/memory_host.h"

namespace kavi {
namespace {

using Tree = std::vector<std::wstring>;

// Live folders as the shell gives them (short) and as they are (long).
const wchar_t kDocsShort[] = L"C:\\Users\\me\\DOCUME~1";
const wchar_t kDocs[] = L"C:\\Users\\me\\Documents";
const wchar_t kFavsShort[] = L"C:\\Users\\me\\FAVORI~1";
const wchar_t kFavs[] = L"C:\\Users\\me\\Favorites";
const wchar_t kDesk[] = L"C:\\Users\\me\\Desktop";
const wchar_t kRoot[] = L"D:\\DURozazo";
const wchar_t kIni[] = L"D:\\DURozazo\\DataBackup\\backups.ini";

class DataBackupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.files.AddAlias(kDocsShort, kDocs);
    host.files.AddAlias(kFavsShort, kFavs);
    host.files.AddFolder(kDocs);
    host.files.AddFolder(kFavs);
    host.files.AddFolder(kDesk);
    host.files.AddFolder(kRoot);
    host.specialFolders = {
        {kFolderDocuments, kDocsShort}, {kFolderFavorites, kFavsShort}, {kFolderDesktop, kDesk}};
    host.workFolder = kRoot;
    host.now = {2015, 3, 7, 9, 5, 2};
  }
  std::wstring Backup(const wchar_t* item) {
    return std::wstring(L"D:\\DURozazo\\DataBackup\\") + item;
  }
  std::wstring LastBack(const wchar_t* section) { return host.ReadLastBack(kIni, section); }

  MemoryHost host;
  RecordingObserver progress;
};

TEST(LastBackFormat, ZeroPaddedLocalTimeOrEmpty) {
  EXPECT_EQ(L"2015/03/07 09:05:02", FormatLastBack({2015, 3, 7, 9, 5, 2}));
  EXPECT_EQ(L"2026/12/31 23:59:59", FormatLastBack({2026, 12, 31, 23, 59, 59}));
  EXPECT_EQ(L"", FormatLastBack({2015, 13, 7, 9, 5, 2}));
  EXPECT_EQ(L"", FormatLastBack(LocalTime()));
}

TEST_F(DataBackupTest, TopLevelDotEntriesOfDocumentsAreSkippedBothWays) {
  host.files.AddFile(JoinPath(kDocs, L".hidden.txt"), L"h");
  host.files.AddFile(JoinPath(kDocs, L".tool\\conf"), L"c");
  host.files.AddFile(JoinPath(kDocs, L"work\\.git\\HEAD"), L"ref");
  host.files.AddFile(JoinPath(kDocs, L"work\\.env"), L"e");
  ASSERT_TRUE(BackupDocuments(host, kRoot, progress).Complete());
  EXPECT_EQ((Tree{L"work\\", L"work\\.env", L"work\\.git\\", L"work\\.git\\HEAD"}),
            host.files.Tree(Backup(L"我的文档")));

  host.files.AddFile(Backup(L"我的文档\\.planted"), L"p");
  ASSERT_TRUE(RestoreDocuments(host, kRoot, progress).Complete());
  EXPECT_FALSE(host.files.Exists(JoinPath(kDocs, L".planted")));

  // Favorites and Desktop have no such rule.
  host.files.AddFile(JoinPath(kDesk, L".dot"), L"d");
  ASSERT_TRUE(BackupDesktop(host, kRoot, progress).Complete());
  EXPECT_EQ(L"d", host.files.Content(Backup(L"桌面\\.dot")));
}

TEST_F(DataBackupTest, AFavoritesFolderInsideDocumentsIsLeftOutEvenUnderItsShortName) {
  // The shell names Favorites by its 8.3 alias; the listing shows the long
  // name, so the two only meet as canonical paths.
  host.files.AddAlias(L"C:\\Users\\me\\Documents\\FAVORI~1",
                      L"C:\\Users\\me\\Documents\\Favorites");
  host.specialFolders[kFolderFavorites] = L"C:\\Users\\me\\DOCUME~1\\FAVORI~1";
  host.files.AddFile(JoinPath(kDocs, L"Favorites\\link.url"), L"u");
  host.files.AddFile(JoinPath(kDocs, L"Favorites old\\x.url"), L"x");
  ASSERT_TRUE(BackupDocuments(host, kRoot, progress).Complete());
  EXPECT_EQ((Tree{L"Favorites old\\", L"Favorites old\\x.url"}),
            host.files.Tree(Backup(L"我的文档")));
  ASSERT_TRUE(BackupFavorites(host, kRoot, progress).Complete());
  EXPECT_EQ(L"u", host.files.Content(Backup(L"收藏夹\\link.url")));
}

TEST_F(DataBackupTest, FavoritesWithNothingCopyableStillWritesLastBack) {
  host.files.AddFile(JoinPath(kFavs, L"locked.url"), L"l");
  host.files.unreadable.insert(JoinPath(kFavs, L"locked.url"));
  DataResult result = BackupFavorites(host, kRoot, progress);
  EXPECT_EQ(DataOutcome::kDone, result.outcome);
  EXPECT_EQ(1u, result.counts.filesFailed);
  EXPECT_FALSE(result.Complete());
  EXPECT_EQ(L"2015/03/07 09:05:02", LastBack(L"Favorite"));
  EXPECT_EQ(L"", LastBack(L"Documents"));
  EXPECT_EQ((Tree{L"“收藏夹”有 1 项未能备份"}), progress.texts);

  // An empty Favorites folder is a complete, empty backup.
  host.files.RemoveTree(JoinPath(kFavs, L"locked.url"));
  host.now.second = 9;
  EXPECT_TRUE(BackupFavorites(host, kRoot, progress).Complete());
  EXPECT_EQ(L"2015/03/07 09:05:09", LastBack(L"Favorite"));
}

class PreviousBackupTest : public DataBackupTest {
 protected:
  void SetUp() override {
    DataBackupTest::SetUp();
    host.files.AddFile(JoinPath(kDocs, L"precious.doc"), L"v1");
    ASSERT_TRUE(BackupDocuments(host, kRoot, progress).Complete());
    host.files.AddFile(JoinPath(kDocs, L"precious.doc"), L"v2");
    host.now.year = 2016;
  }
  void ExpectPreviousBackupKept() {
    EXPECT_EQ((Tree{L"precious.doc"}), host.files.Tree(Backup(L"我的文档")));
    EXPECT_EQ(L"v1", host.files.Content(Backup(L"我的文档\\precious.doc")));
    EXPECT_EQ(L"2015/03/07 09:05:02", LastBack(L"Documents"));
    EXPECT_FALSE(host.files.Exists(Backup(L"我的文档.new")));
  }
};

TEST_F(PreviousBackupTest, UnreadableDocumentsKeepTheOldBackup) {
  host.files.unlistable.insert(kDocs);
  EXPECT_EQ(DataOutcome::kSourceUnreadable, BackupDocuments(host, kRoot, progress).outcome);
  ExpectPreviousBackupKept();
  EXPECT_EQ((Tree{L"无法读取“我的文档”，原备份已保留"}), progress.texts);
}

TEST_F(PreviousBackupTest, AFailedSwapPutsTheOldBackupBack) {
  host.files.unrenamable.insert(Backup(L"我的文档.new"));
  EXPECT_EQ(DataOutcome::kTargetUnwritable, BackupDocuments(host, kRoot, progress).outcome);
  ExpectPreviousBackupKept();
  EXPECT_FALSE(host.files.Exists(Backup(L"我的文档.old")));

  host.files.unrenamable = {Backup(L"我的文档")};
  EXPECT_EQ(DataOutcome::kTargetUnwritable, BackupDocuments(host, kRoot, progress).outcome);
  ExpectPreviousBackupKept();
  EXPECT_EQ(L"无法写入“我的文档”的备份，原备份已保留", progress.texts.back());
}

TEST_F(PreviousBackupTest, AStoppedBackupKeepsTheOldBackup) {
  host.files.AddFile(JoinPath(kDocs, L"more.doc"), L"m");
  int copies = 0;
  host.files.onCopy = [&](const std::wstring&) { ++copies; };
  progress.stop = [&] { return copies >= 1; };
  EXPECT_EQ(DataOutcome::kStopped, BackupDocuments(host, kRoot, progress).outcome);
  ExpectPreviousBackupKept();
}

TEST_F(PreviousBackupTest, ABackupMovedAsideByACrashIsPutBack) {
  // A crash between the two renames of a swap left only the ".old" folder.
  ASSERT_TRUE(host.files.RenameEntry(Backup(L"我的文档"), Backup(L"我的文档.old")));
  host.files.AddFile(Backup(L"我的文档.new\\half.doc"), L"half");
  host.files.unlistable.insert(kDocs);
  EXPECT_EQ(DataOutcome::kSourceUnreadable, BackupDocuments(host, kRoot, progress).outcome);
  ExpectPreviousBackupKept();
  RestoreDocuments(host, kRoot, progress);
  EXPECT_EQ(L"v1", host.files.Content(JoinPath(kDocs, L"precious.doc")));
}

TEST_F(DataBackupTest, TwoBackupsOfOneItemAtOnceRunOneAfterTheOther) {
  for (int i = 0; i < 20; ++i) host.files.AddFile(JoinPath(kDesk, L"f" + std::to_wstring(i)), L"x");
  std::atomic<bool> secondStarted{false};
  std::thread second;
  host.files.onCopy = [&](const std::wstring&) {
    if (second.joinable()) return;
    second = std::thread([&] {
      secondStarted = true;
      RecordingObserver quiet;
      EXPECT_TRUE(BackupDesktop(host, kRoot, quiet).Complete());
    });
    // Give the second backup every chance to cut in if nothing stops it.
    while (!secondStarted) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  };
  EXPECT_TRUE(BackupDesktop(host, kRoot, progress).Complete());
  second.join();
  EXPECT_EQ(host.files.Tree(kDesk), host.files.Tree(Backup(L"桌面")));
  EXPECT_FALSE(host.files.Exists(Backup(L"桌面.new")));
}

TEST_F(DataBackupTest, AFailedFolderLookUpIsSkippedAndSaysSo) {
  host.specialFolders.erase(kFolderDesktop);
  EXPECT_EQ(DataOutcome::kFolderUnknown, BackupDesktop(host, kRoot, progress).outcome);
  EXPECT_EQ(DataOutcome::kFolderUnknown, RestoreDesktop(host, kRoot, progress).outcome);
  EXPECT_EQ((Tree{L"找不到“桌面”文件夹，已跳过", L"找不到“桌面”文件夹，已跳过"}), progress.texts);
  EXPECT_FALSE(host.files.Exists(Backup(L"桌面")));
  EXPECT_EQ(L"", LastBack(L"Desktop"));
}

TEST_F(DataBackupTest, ABackupLocationInsideTheLiveFolderIsRefused) {
  host.files.AddFile(JoinPath(kDocs, L"a.txt"), L"a");
  const std::wstring inside = JoinPath(kDocs, L"Keep");
  EXPECT_EQ(DataOutcome::kOverlapping, BackupDocuments(host, inside, progress).outcome);
  EXPECT_EQ((Tree{L"a.txt"}), host.files.Tree(kDocs));
  host.files.AddFile(JoinPath(inside, L"DataBackup\\我的文档\\b.txt"), L"b");
  EXPECT_EQ(DataOutcome::kOverlapping, RestoreDocuments(host, inside, progress).outcome);
  EXPECT_FALSE(host.files.Exists(JoinPath(kDocs, L"b.txt")));
  EXPECT_EQ(L"备份位置与“我的文档”重叠，已跳过", progress.texts.back());
  // The other items can still go there.
  EXPECT_TRUE(BackupDesktop(host, inside, progress).Complete());
}

TEST_F(DataBackupTest, AnEmptyWorkFolderIsRefused) {
  host.files.AddFile(JoinPath(kDesk, L"a.txt"), L"a");
  EXPECT_EQ(DataOutcome::kTargetUnwritable, BackupDesktop(host, L"", progress).outcome);
  EXPECT_EQ(DataOutcome::kSourceMissing, RestoreDesktop(host, L"", progress).outcome);
  EXPECT_FALSE(host.files.Exists(L"DataBackup"));
}

TEST_F(DataBackupTest, ARestoreWithoutABackupSaysSo) {
  EXPECT_EQ(DataOutcome::kSourceMissing, RestoreFavorites(host, kRoot, progress).outcome);
  EXPECT_EQ((Tree{L"没有“收藏夹”的备份，已跳过"}), progress.texts);
  host.files.AddFolder(Backup(L"我的文档"));
  host.files.unlistable.insert(Backup(L"我的文档"));
  EXPECT_EQ(DataOutcome::kSourceUnreadable, RestoreDocuments(host, kRoot, progress).outcome);
}

TEST_F(DataBackupTest, LastBackTimeIsReadFromTheCurrentWorkFolder) {
  EXPECT_EQ(L"", ReadLastBackupTime(host));
  host.files.AddFile(JoinPath(kDocs, L"a.txt"), L"a");
  ASSERT_TRUE(BackupDocuments(host, kRoot, progress).Complete());
  EXPECT_EQ(L"2015/03/07 09:05:02", ReadLastBackupTime(host));
  EXPECT_EQ(1u, host.ini.size());
  EXPECT_EQ(kIni, host.ini.begin()->first.first);
  host.workFolder = L"E:\\Elsewhere";
  EXPECT_EQ(L"", ReadLastBackupTime(host));
  host.workFolder = L"";
  EXPECT_EQ(L"", ReadLastBackupTime(host));
}

TEST_F(DataBackupTest, AnUnwritableRecordIsReported) {
  host.iniWritable = false;
  EXPECT_TRUE(BackupDesktop(host, kRoot, progress).Complete());
  EXPECT_EQ((Tree{L"“桌面”已备份，但无法记录备份时间"}), progress.texts);
}

// ---- The worker task ----

TEST_F(DataBackupTest, TasksRunTheSelectedItemsInOrderAndEndWithTheirText) {
  progress.selected = {DataItem::kDesktop, DataItem::kDocuments};
  DataTaskSummary summary = RunBackupTask(host, progress);
  EXPECT_EQ((Tree{L"正在备份“我的文档”", L"正在备份“桌面”", L"备份资料完成"}), progress.texts);
  EXPECT_EQ((std::array<bool, 3>{true, false, true}), summary.ran);
  EXPECT_EQ(L"备份资料完成", summary.finalText);
  EXPECT_TRUE(host.files.IsFolder(Backup(L"桌面")));
  EXPECT_FALSE(host.files.IsFolder(Backup(L"收藏夹")));

  RecordingObserver restore;
  restore.selected = progress.selected;
  EXPECT_EQ(L"还原资料完成", RunRestoreTask(host, restore).finalText);
  EXPECT_EQ((Tree{L"正在还原“我的文档”", L"正在还原“桌面”", L"还原资料完成"}), restore.texts);
}

TEST_F(DataBackupTest, NothingSelectedCopiesNothingAndStillCompletes) {
  DataTaskSummary summary = RunBackupTask(host, progress);
  EXPECT_EQ((Tree{L"备份资料完成"}), progress.texts);
  EXPECT_FALSE(host.files.Exists(L"D:\\DURozazo\\DataBackup"));
  RecordingObserver restore;
  RunRestoreTask(host, restore);
  EXPECT_EQ((Tree{L"还原资料完成"}), restore.texts);
}

TEST_F(DataBackupTest, OptionsAndTheWorkFolderAreReadWhenTheTaskReachesEachItem) {
  host.files.AddFolder(L"E:\\Other");
  progress.selected = {DataItem::kDocuments};
  progress.onAsked = [&](DataItem item) {
    if (item == DataItem::kFavorites) {
      progress.selected.insert(DataItem::kFavorites);
      host.workFolder = L"E:\\Other";
    }
  };
  RunBackupTask(host, progress);
  EXPECT_TRUE(host.files.IsFolder(Backup(L"我的文档")));
  EXPECT_TRUE(host.files.IsFolder(L"E:\\Other\\DataBackup\\收藏夹"));
  EXPECT_FALSE(host.files.IsFolder(Backup(L"收藏夹")));
}

TEST_F(DataBackupTest, TheFinalTextNamesItemsThatDidNotComplete) {
  host.specialFolders.erase(kFolderDesktop);
  host.files.AddFile(JoinPath(kFavs, L"locked.url"), L"l");
  host.files.unreadable.insert(JoinPath(kFavs, L"locked.url"));
  progress.selected = {DataItem::kDocuments, DataItem::kFavorites, DataItem::kDesktop};
  DataTaskSummary summary = RunBackupTask(host, progress);
  EXPECT_EQ((Tree{L"正在备份“我的文档”", L"正在备份“收藏夹”", L"“收藏夹”有 1 项未能备份",
                  L"正在备份“桌面”", L"找不到“桌面”文件夹，已跳过",
                  L"备份资料完成，但“收藏夹”、“桌面”未能完整备份"}),
            progress.texts);
  EXPECT_EQ(DataOutcome::kFolderUnknown, summary.Result(DataItem::kDesktop).outcome);
}

TEST_F(DataBackupTest, AStoppedTaskSaysSoAndRunsNoFurtherItem) {
  host.files.AddFile(JoinPath(kDocs, L"a.txt"), L"a");
  host.files.AddFile(JoinPath(kDocs, L"b.txt"), L"b");
  int copies = 0;
  host.files.onCopy = [&](const std::wstring&) { ++copies; };
  progress.stop = [&] { return copies >= 1; };
  progress.selected = {DataItem::kDocuments, DataItem::kFavorites};
  DataTaskSummary summary = RunRestoreTask(host, progress);  // no backup: nothing copied
  EXPECT_EQ(L"还原资料完成，但“我的文档”、“收藏夹”未能完整还原", summary.finalText);

  RecordingObserver backup;
  backup.selected = progress.selected;
  backup.stop = progress.stop;
  summary = RunBackupTask(host, backup);
  EXPECT_TRUE(summary.stopped);
  EXPECT_FALSE(summary.ran[1]);
  EXPECT_EQ((Tree{L"正在备份“我的文档”", L"备份资料已停止"}), backup.texts);
  EXPECT_FALSE(host.files.Exists(Backup(L"我的文档")));
}

}  // namespace
}  // namespace kavi
