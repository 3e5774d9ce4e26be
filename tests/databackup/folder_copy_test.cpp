#include "databackup/folder_copy.h"

#include <gtest/gtest.h>

#include "tests/databackup/memory_files.h"

namespace kavi {
namespace {

using Tree = std::vector<std::wstring>;

TEST(PathRules, JoinSameAndWithin) {
  EXPECT_EQ(L"D:\\DURozazo\\DataBackup", JoinPath(L"D:\\DURozazo", L"DataBackup"));
  EXPECT_EQ(L"D:\\DataBackup", JoinPath(L"D:\\", L"DataBackup"));  // a drive root as root
  EXPECT_TRUE(SamePath(L"C:\\Docs\\", L"c:\\docs"));
  EXPECT_FALSE(SamePath(L"C:\\Docs", L"C:\\Docs2"));
  EXPECT_TRUE(PathWithin(L"C:\\Docs\\A", L"c:\\docs\\"));
  EXPECT_TRUE(PathWithin(L"C:\\Docs", L"C:\\Docs"));
  EXPECT_FALSE(PathWithin(L"C:\\Docs2\\A", L"C:\\Docs"));
  EXPECT_FALSE(PathWithin(L"C:\\Docs", L"C:\\Docs\\A"));
}

class CopyFolderTreeTest : public ::testing::Test {
 protected:
  MemoryFiles fs;
};

TEST_F(CopyFolderTreeTest, CopiesTheWholeTreeAndMergesIntoAnExistingTarget) {
  fs.AddFile(L"C:\\src\\a.txt", L"a");
  fs.AddFile(L"C:\\src\\.dot", L"dot");  // dot names are only special to the top of Documents
  fs.AddFile(L"C:\\src\\sub\\.git\\config", L"c");
  fs.AddFolder(L"C:\\src\\empty");
  fs.AddFile(L"D:\\dst\\a.txt", L"old");
  fs.AddFile(L"D:\\dst\\extra.txt", L"extra");

  CopyCounts counts;
  EXPECT_TRUE(CopyFolderTree(fs, L"C:\\src", L"D:\\dst", false, &counts));
  EXPECT_EQ((Tree{L".dot", L"a.txt", L"empty\\", L"extra.txt", L"sub\\", L"sub\\.git\\",
                  L"sub\\.git\\config"}),
            fs.Tree(L"D:\\dst"));
  EXPECT_EQ(L"a", fs.Content(L"D:\\dst\\a.txt"));
  EXPECT_EQ(L"extra", fs.Content(L"D:\\dst\\extra.txt"));
  EXPECT_EQ(3u, counts.filesCopied);
  EXPECT_TRUE(counts.Complete());
}

TEST_F(CopyFolderTreeTest, TargetIsCreatedOneLevelOnly) {
  fs.AddFile(L"C:\\src\\a.txt", L"a");
  fs.AddFolder(L"D:");
  EXPECT_TRUE(CopyFolderTree(fs, L"C:\\src", L"D:\\new", false));
  EXPECT_EQ(L"a", fs.Content(L"D:\\new\\a.txt"));
  EXPECT_FALSE(CopyFolderTree(fs, L"C:\\src", L"D:\\missing\\new", false));
  EXPECT_FALSE(fs.Exists(L"D:\\missing"));
}

TEST_F(CopyFolderTreeTest, SameFolderCopiesNothingAndSucceeds) {
  fs.AddFile(L"C:\\Docs\\a.txt", L"a");
  fs.AddAlias(L"C:\\DOCS~1", L"C:\\Docs");
  int copies = 0;
  fs.onCopy = [&](const std::wstring&) { ++copies; };
  EXPECT_TRUE(CopyFolderTree(fs, L"C:\\Docs", L"C:\\Docs\\", false));
  EXPECT_TRUE(CopyFolderTree(fs, L"C:\\Docs", L"c:\\docs", false));
  EXPECT_TRUE(CopyFolderTree(fs, L"C:\\DOCS~1", L"C:\\Docs", false));
  EXPECT_EQ(0, copies);
  EXPECT_EQ((Tree{L"a.txt"}), fs.Tree(L"C:\\Docs"));
}

TEST_F(CopyFolderTreeTest, RefusesNoFolderAndATargetInsideTheSource) {
  fs.AddFile(L"C:\\file.txt", L"x");
  fs.AddFile(L"C:\\src\\a.txt", L"a");
  EXPECT_FALSE(CopyFolderTree(fs, L"", L"D:\\dst", false));
  EXPECT_FALSE(CopyFolderTree(fs, L"C:\\absent", L"C:\\dst", false));
  EXPECT_FALSE(CopyFolderTree(fs, L"C:\\file.txt", L"C:\\dst", false));
  EXPECT_FALSE(fs.Exists(L"C:\\dst"));
  // Would copy itself into itself for ever.
  EXPECT_FALSE(CopyFolderTree(fs, L"C:\\src", L"C:\\src\\backup", false));
  EXPECT_EQ((Tree{L"a.txt"}), fs.Tree(L"C:\\src"));
}

TEST_F(CopyFolderTreeTest, FailuresAreCountedAndTheRestIsStillCopied) {
  fs.AddFile(L"C:\\src\\1bad\\x.txt", L"x");
  fs.AddFile(L"C:\\src\\2closed\\y.txt", L"y");
  fs.AddFile(L"C:\\src\\3good\\z.txt", L"z");
  fs.AddFile(L"C:\\src\\locked.txt", L"l");
  fs.AddFile(L"C:\\src\\ok.txt", L"o");
  fs.AddFolder(L"D:");
  fs.unmakeable.insert(L"D:\\dst\\1bad");
  fs.unlistable.insert(L"C:\\src\\2closed");
  fs.unreadable.insert(L"C:\\src\\locked.txt");

  CopyCounts counts;
  EXPECT_FALSE(CopyFolderTree(fs, L"C:\\src", L"D:\\dst", false, &counts));
  EXPECT_EQ((Tree{L"2closed\\", L"3good\\", L"3good\\z.txt", L"ok.txt"}), fs.Tree(L"D:\\dst"));
  EXPECT_EQ(2u, counts.filesCopied);
  EXPECT_EQ(1u, counts.filesFailed);
  EXPECT_EQ(2u, counts.foldersFailed);
  EXPECT_FALSE(counts.Complete());

  // Single files failing alone leave the walk a success, as before.
  MemoryFiles other;
  other.AddFile(L"C:\\src\\locked.txt", L"l");
  other.AddFolder(L"D:");
  other.unreadable.insert(L"C:\\src\\locked.txt");
  CopyCounts fileOnly;
  EXPECT_TRUE(CopyFolderTree(other, L"C:\\src", L"D:\\dst", false, &fileOnly));
  EXPECT_EQ(1u, fileOnly.filesFailed);
}

TEST_F(CopyFolderTreeTest, ReadOnlyAndHiddenTargetsAreOverwrittenUnlessAskedToKeepThem) {
  fs.AddFile(L"C:\\src\\desktop.ini", L"new ini", kAttrHidden | kAttrSystem);
  fs.AddFile(L"C:\\src\\ro.txt", L"new ro");
  fs.AddFile(L"D:\\dst\\desktop.ini", L"old ini", kAttrHidden | kAttrSystem);
  fs.AddFile(L"D:\\dst\\ro.txt", L"old ro", kAttrReadOnly);

  EXPECT_TRUE(CopyFolderTree(fs, L"C:\\src", L"D:\\dst", true));
  EXPECT_EQ(L"old ro", fs.Content(L"D:\\dst\\ro.txt"));

  CopyCounts counts;
  EXPECT_TRUE(CopyFolderTree(fs, L"C:\\src", L"D:\\dst", false, &counts));
  EXPECT_EQ(L"new ini", fs.Content(L"D:\\dst\\desktop.ini"));
  EXPECT_EQ(L"new ro", fs.Content(L"D:\\dst\\ro.txt"));
  EXPECT_EQ(2u, counts.filesCopied);
  uint32_t attributes = 0;
  ASSERT_TRUE(fs.AttributesOf(L"D:\\dst\\desktop.ini", &attributes));
  EXPECT_EQ(kAttrHidden | kAttrSystem, attributes);  // the source's, as a copy carries them
}

TEST_F(CopyFolderTreeTest, AFailedRetryPutsTheAttributesBack) {
  fs.AddFile(L"C:\\src\\ro.txt", L"new");
  fs.AddFile(L"D:\\dst\\ro.txt", L"old", kAttrReadOnly);
  fs.unreadable.insert(L"C:\\src\\ro.txt");
  EXPECT_FALSE(CopyFileOver(fs, L"C:\\src\\ro.txt", L"D:\\dst\\ro.txt", false));
  uint32_t attributes = 0;
  ASSERT_TRUE(fs.AttributesOf(L"D:\\dst\\ro.txt", &attributes));
  EXPECT_EQ(kAttrReadOnly, attributes);
  EXPECT_EQ(L"old", fs.Content(L"D:\\dst\\ro.txt"));
}

TEST_F(CopyFolderTreeTest, FolderLinksAreNotWalked) {
  fs.AddFile(L"C:\\src\\a.txt", L"a");
  fs.AddFolderLink(L"C:\\src\\loop");
  fs.AddFolder(L"D:");
  CopyCounts counts;
  EXPECT_TRUE(CopyFolderTree(fs, L"C:\\src", L"D:\\dst", false, &counts));
  EXPECT_EQ((Tree{L"a.txt"}), fs.Tree(L"D:\\dst"));
  EXPECT_EQ(1u, counts.linksSkipped);
}

TEST_F(CopyFolderTreeTest, AStopRequestEndsTheWalk) {
  for (int i = 0; i < 10; ++i) fs.AddFile(L"C:\\src\\f" + std::to_wstring(i), L"x");
  fs.AddFolder(L"D:");
  int copies = 0;
  fs.onCopy = [&](const std::wstring&) { ++copies; };
  CopyCounts counts;
  EXPECT_FALSE(
      CopyFolderTree(fs, L"C:\\src", L"D:\\dst", false, &counts, [&] { return copies >= 3; }));
  EXPECT_TRUE(counts.stopped);
  EXPECT_EQ(3u, counts.filesCopied);
}

}  // namespace
}  // namespace kavi
