// The engine on real folders and the real backups.ini, under Wine.
//
// In the project's Wine prefix the user's Documents and Desktop are links to
// the Linux home folder, so those two items are pointed at temporary folders
// here; the user's own Favorites folder is a folder of the prefix and is used
// as it is, with test files of our own that are removed again.
#include "databackup/data_backup.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

#include "host/ini_file.h"
#include "host/shell_folders.h"
#include "host/text.h"
#include "host/working_state.h"
#include "tests/databackup/redirected_host_win32.h"
#include "tests/support/win32_test_util.h"

namespace kavi {
namespace {

class Texts : public DataTaskObserver {
 public:
  std::vector<std::wstring> shown;
  std::vector<DataItem> selected;
  void Show(const std::wstring& text) override { shown.push_back(text); }
  bool IsSelected(DataItem item) override {
    return std::find(selected.begin(), selected.end(), item) != selected.end();
  }
};

std::wstring ShortPath(const std::wstring& path) {
  wchar_t buffer[MAX_PATH] = {};
  DWORD n = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : path;
}

std::wstring IniValue(const std::wstring& ini, const wchar_t* section) {
  wchar_t buffer[260] = {};
  GetPrivateProfileStringW(section, L"LastBack", L"", buffer, 260, ini.c_str());
  return buffer;
}

bool MatchesLastBackFormat(const std::wstring& value) {
  return std::regex_match(ToUtf8(value), std::regex(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2})"));
}

class DataBackupWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    host.documents = live / L"Documents";
    host.favorites = live / L"Favorites";
    host.desktop = live / L"Desktop";
    for (const std::wstring* f : {&host.documents, &host.favorites, &host.desktop}) {
      CreateDirectoryW(f->c_str(), nullptr);
    }
    root = work / L"DURozazo";
    CreateDirectoryW(root.c_str(), nullptr);
  }
  std::wstring Backup(const wchar_t* name) { return root + L"\\DataBackup\\" + name; }
  std::wstring Ini() { return root + L"\\DataBackup\\backups.ini"; }

  TempFolder live;
  TempFolder work;
  std::wstring root;
  RedirectedHost host;
  Texts progress;
};

TEST_F(DataBackupWin32, EachItemIsBackedUpAndRestoredWithItsLastBack) {
  struct Case {
    DataItem item;
    std::wstring live;
    const wchar_t* folder;
    const wchar_t* section;
  };
  const Case cases[] = {{DataItem::kDocuments, host.documents, L"我的文档", L"Documents"},
                        {DataItem::kFavorites, host.favorites, L"收藏夹", L"Favorite"},
                        {DataItem::kDesktop, host.desktop, L"桌面", L"Desktop"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.folder));
    ASSERT_TRUE(WriteFileBytes(c.live + L"\\简历.txt", "top"));
    ASSERT_TRUE(CreateDirectoryW((c.live + L"\\照片").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(c.live + L"\\照片\\deep.jpg", "deep"));

    EXPECT_TRUE(BackupItem(host, c.item, root, progress).Complete());
    EXPECT_EQ("top", ReadFileBytes(Backup(c.folder) + L"\\简历.txt"));
    EXPECT_EQ("deep", ReadFileBytes(Backup(c.folder) + L"\\照片\\deep.jpg"));
    EXPECT_TRUE(MatchesLastBackFormat(IniValue(Ini(), c.section)))
        << ToUtf8(IniValue(Ini(), c.section));

    ASSERT_TRUE(SystemDataFiles().RemoveTree(c.live));
    EXPECT_TRUE(RestoreItem(host, c.item, root, progress).Complete());
    EXPECT_EQ("top", ReadFileBytes(c.live + L"\\简历.txt"));
    EXPECT_EQ("deep", ReadFileBytes(c.live + L"\\照片\\deep.jpg"));
  }
  EXPECT_FALSE(FolderExists(Backup(L"我的文档.new")));
  EXPECT_FALSE(FolderExists(Backup(L"我的文档.old")));
  EXPECT_TRUE(progress.shown.empty());
}

TEST_F(DataBackupWin32, AFileDeletedFromDocumentsIsGoneFromTheNextBackup) {
  ASSERT_TRUE(WriteFileBytes(host.documents + L"\\gone.txt", "g"));
  ASSERT_TRUE(WriteFileBytes(host.documents + L"\\kept.txt", "1"));
  ASSERT_TRUE(BackupDocuments(host, root, progress).Complete());
  ASSERT_TRUE(DeleteFileW((host.documents + L"\\gone.txt").c_str()));
  ASSERT_TRUE(WriteFileBytes(host.documents + L"\\kept.txt", "2"));
  ASSERT_TRUE(BackupDocuments(host, root, progress).Complete());
  EXPECT_FALSE(FileExists(Backup(L"我的文档\\gone.txt")));
  EXPECT_EQ("2", ReadFileBytes(Backup(L"我的文档\\kept.txt")));
  EXPECT_FALSE(FolderExists(Backup(L"我的文档.old")));
}

TEST_F(DataBackupWin32, ARestoreMergesAndOverwritesReadOnlyAndHiddenFiles) {
  const std::wstring& d = host.desktop;
  ASSERT_TRUE(WriteFileBytes(d + L"\\same.txt", "backed up"));
  ASSERT_TRUE(WriteFileBytes(d + L"\\desktop.ini", "backed up ini"));
  ASSERT_TRUE(CreateDirectoryW((d + L"\\dir").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(d + L"\\dir\\inner.txt", "backed up"));
  ASSERT_TRUE(BackupDesktop(host, root, progress).Complete());

  ASSERT_TRUE(WriteFileBytes(d + L"\\dir\\inner.txt", "changed"));
  ASSERT_TRUE(WriteFileBytes(d + L"\\same.txt", "changed"));
  SetFileAttributesW((d + L"\\same.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(WriteFileBytes(d + L"\\desktop.ini", "changed ini"));
  SetFileAttributesW((d + L"\\desktop.ini").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  ASSERT_TRUE(WriteFileBytes(d + L"\\extra.txt", "extra"));
  ASSERT_TRUE(WriteFileBytes(d + L"\\dir\\extra.txt", "extra"));

  DataResult result = RestoreDesktop(host, root, progress);
  EXPECT_TRUE(result.Complete()) << result.counts.filesFailed;
  EXPECT_EQ("backed up", ReadFileBytes(d + L"\\same.txt"));
  EXPECT_EQ("backed up ini", ReadFileBytes(d + L"\\desktop.ini"));
  EXPECT_EQ("extra", ReadFileBytes(d + L"\\extra.txt"));
  EXPECT_EQ("extra", ReadFileBytes(d + L"\\dir\\extra.txt"));
  EXPECT_EQ("backed up", ReadFileBytes(d + L"\\dir\\inner.txt"));
}

TEST_F(DataBackupWin32, TopLevelDotEntriesAreSkippedDeeperOnesCopied) {
  const std::wstring& docs = host.documents;
  ASSERT_TRUE(WriteFileBytes(docs + L"\\.hidden", "h"));
  ASSERT_TRUE(CreateDirectoryW((docs + L"\\.tool").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(docs + L"\\.tool\\conf", "c"));
  ASSERT_TRUE(CreateDirectoryW((docs + L"\\work").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(docs + L"\\work\\.env", "e"));
  ASSERT_TRUE(BackupDocuments(host, root, progress).Complete());
  EXPECT_FALSE(FileExists(Backup(L"我的文档\\.hidden")));
  EXPECT_FALSE(FolderExists(Backup(L"我的文档\\.tool")));
  EXPECT_EQ("e", ReadFileBytes(Backup(L"我的文档\\work\\.env")));
}

TEST_F(DataBackupWin32, AFavoritesFolderInsideDocumentsIsLeftOut) {
  const std::wstring inside = host.documents + L"\\Favorites";
  ASSERT_TRUE(CreateDirectoryW(inside.c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(inside + L"\\link.url", "u"));
  ASSERT_TRUE(WriteFileBytes(host.documents + L"\\doc.txt", "d"));
  host.favorites = ShortPath(inside);  // as the shell look-up gives it
  host.documents = ShortPath(host.documents);
  ASSERT_TRUE(BackupDocuments(host, root, progress).Complete());
  EXPECT_EQ("d", ReadFileBytes(Backup(L"我的文档\\doc.txt")));
  EXPECT_FALSE(FolderExists(Backup(L"我的文档\\Favorites")));
}

TEST_F(DataBackupWin32, FavoritesWithNothingCopyableStillWritesLastBack) {
  const std::wstring locked = host.favorites + L"\\locked.url";
  ASSERT_TRUE(WriteFileBytes(locked, "l"));
  HANDLE held = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  DataResult result = BackupFavorites(host, root, progress);
  CloseHandle(held);
  EXPECT_EQ(DataOutcome::kDone, result.outcome);
  EXPECT_EQ(1u, result.counts.filesFailed);
  EXPECT_TRUE(MatchesLastBackFormat(IniValue(Ini(), L"Favorite")));
  EXPECT_EQ(L"", IniValue(Ini(), L"Documents"));
}

TEST_F(DataBackupWin32, TheSameFolderAsSourceAndTargetCopiesNothing) {
  ASSERT_TRUE(WriteFileBytes(host.desktop + L"\\a.txt", "a"));
  HANDLE held = CreateFileW((host.desktop + L"\\a.txt").c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  CopyCounts counts;
  EXPECT_TRUE(
      CopyFolderTree(SystemDataFiles(), host.desktop, host.desktop + L"\\", false, &counts));
  EXPECT_TRUE(
      CopyFolderTree(SystemDataFiles(), ShortPath(host.desktop), host.desktop, false, &counts));
  CloseHandle(held);
  EXPECT_EQ(0u, counts.filesCopied + counts.filesFailed);
  EXPECT_EQ("a", ReadFileBytes(host.desktop + L"\\a.txt"));
}

TEST_F(DataBackupWin32, AMissingDocumentsFolderKeepsTheOldBackup) {
  ASSERT_TRUE(WriteFileBytes(host.documents + L"\\precious.doc", "v1"));
  ASSERT_TRUE(BackupDocuments(host, root, progress).Complete());
  const std::wstring before = IniValue(Ini(), L"Documents");
  ASSERT_TRUE(SystemDataFiles().RemoveTree(host.documents));
  Sleep(1100);  // a new "LastBack" would differ
  EXPECT_EQ(DataOutcome::kSourceMissing, BackupDocuments(host, root, progress).outcome);
  EXPECT_EQ("v1", ReadFileBytes(Backup(L"我的文档\\precious.doc")));
  EXPECT_EQ(before, IniValue(Ini(), L"Documents"));
  EXPECT_FALSE(FolderExists(Backup(L"我的文档.new")));
}

TEST_F(DataBackupWin32, PathsBeyondTheClassicLimitAreCopiedBothWays) {
  std::wstring deep = host.documents;
  const std::wstring part(60, L'长');
  for (int i = 0; i < 5; ++i) {
    deep += L"\\" + part;
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
  }
  ASSERT_GT(deep.size(), 300u);
  ASSERT_TRUE(WriteFileBytes(L"\\\\?\\" + deep + L"\\f.txt", "far"));
  ASSERT_TRUE(BackupDocuments(host, root, progress).Complete());
  const std::wstring copied = Backup(L"我的文档") + deep.substr(host.documents.size());
  EXPECT_EQ("far", ReadFileBytes(L"\\\\?\\" + copied + L"\\f.txt"));

  ASSERT_TRUE(SystemDataFiles().RemoveTree(host.documents));
  ASSERT_TRUE(CreateDirectoryW(host.documents.c_str(), nullptr));
  ASSERT_TRUE(RestoreDocuments(host, root, progress).Complete());
  EXPECT_EQ("far", ReadFileBytes(L"\\\\?\\" + deep + L"\\f.txt"));
  // The temporary folders' own clean-up stops at the classic limit.
  EXPECT_TRUE(SystemDataFiles().RemoveTree(live.Path()));
  EXPECT_TRUE(SystemDataFiles().RemoveTree(work.Path()));
}

TEST_F(DataBackupWin32, RemoveTreeTakesReadOnlyFilesAndReportsWhatIsLeft) {
  const std::wstring tree = work / L"tree";
  ASSERT_TRUE(CreateDirectoryW(tree.c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(tree + L"\\ro.txt", "r"));
  SetFileAttributesW((tree + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(SystemDataFiles().RemoveTree(tree));
  EXPECT_FALSE(FolderExists(tree));
  EXPECT_TRUE(SystemDataFiles().RemoveTree(tree));  // nothing there is success too
}

// The Windows entry points: the user's real Favorites folder, the work
// folder of the process-wide record and BackupsIni().
class SystemEntryPoints : public ::testing::Test {
 protected:
  void SetUp() override {
    savedWorkFolder_ = Working().GetWorkFolder();
    savedIniPath_ = BackupsIni().path;
    Working().SetWorkFolder(work_.Path().c_str());
    ASSERT_TRUE(GetSpecialFolderShortPath(favorites_, kFolderFavorites));
    mine_ = Format(L"%ls\\kavi-test-%lu.url", favorites_.c_str(), GetCurrentProcessId());
  }
  void TearDown() override {
    DeleteFileW(mine_.c_str());
    Working().SetWorkFolder(savedWorkFolder_.c_str());
    BackupsIni().path = savedIniPath_;
  }

  TempFolder work_;
  std::wstring favorites_;
  std::wstring mine_;
  std::wstring savedWorkFolder_;
  std::wstring savedIniPath_;
};

TEST_F(SystemEntryPoints, RealFavoritesRoundTripAndTheLastBackupTime) {
  ASSERT_TRUE(WriteFileBytes(mine_, "[InternetShortcut]"));
  Texts progress;
  progress.selected = {DataItem::kFavorites};
  DataTaskSummary summary = RunBackupTask(progress);
  EXPECT_EQ((std::vector<std::wstring>{L"正在备份“收藏夹”", L"备份资料完成"}), progress.shown);
  EXPECT_TRUE(summary.Result(DataItem::kFavorites).Complete());
  const std::wstring backup =
      work_.Path() + L"\\DataBackup\\收藏夹\\" + mine_.substr(mine_.find_last_of(L'\\') + 1);
  EXPECT_EQ("[InternetShortcut]", ReadFileBytes(backup));
  EXPECT_EQ(work_.Path() + L"\\DataBackup\\backups.ini", BackupsIni().path);

  ASSERT_TRUE(DeleteFileW(mine_.c_str()));
  EXPECT_TRUE(RestoreFavorites(work_.Path(), progress).Complete());
  EXPECT_EQ("[InternetShortcut]", ReadFileBytes(mine_));

  // The window shows the Documents time of the current work folder.
  EXPECT_EQ(L"", ReadLastBackupTime());
  WritePrivateProfileStringW(L"Documents", L"LastBack", L"2015/03/07 09:05:02",
                             (work_.Path() + L"\\DataBackup\\backups.ini").c_str());
  EXPECT_EQ(L"2015/03/07 09:05:02", ReadLastBackupTime());
}

}  // namespace
}  // namespace kavi
