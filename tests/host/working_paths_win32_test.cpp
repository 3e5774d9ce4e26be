// The working-path set-up on a real (Wine) machine: C: is the system drive,
// D: a second fixed drive mapped by scripts/wine.
#include "host/working_paths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "host/host_facts.h"
#include "host/shell_folders.h"
#include "host/tools_folder.h"
#include "host/win32_util.h"
#include "tests/support/win32_test_util.h"

namespace kavi {
namespace {

TEST(SpecialFolders, TemplatesShortPathExistsAndHasNoSpaces) {
  std::wstring path;
  ASSERT_TRUE(GetSpecialFolderShortPath(path, kFolderTemplates));
  EXPECT_TRUE(FolderExists(path)) << path.c_str();
  EXPECT_EQ(std::wstring::npos, path.find(L' '));
  EXPECT_LT(path.size(), size_t{MAX_PATH});
}

TEST(SpecialFolders, UnknownFolderLeavesTheBufferUntouched) {
  std::wstring path = L"untouched";
  EXPECT_FALSE(GetSpecialFolderShortPath(path, 0x7FFF));
  EXPECT_EQ(L"untouched", path);
}

TEST(SpecialFolders, DocumentsDesktopAndFavoritesResolve) {
  for (int id : {kFolderDesktop, kFolderDocuments, kFolderFavorites}) {
    std::wstring path;
    EXPECT_TRUE(GetSpecialFolderShortPath(path, id)) << id;
  }
}

TEST(WorkingPathsWin32, ModuleFileNameIsTheWholePath) {
  std::wstring path = ModuleFileName(nullptr);
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(FileExists(path));
}

class RecordingBootSetUp : public BootSetUp {
 public:
  std::vector<std::string> calls;
  std::wstring toolsPathSeen;
  void WriteBootTools(const WorkingFields& fields) override {
    calls.push_back("tools");
    toolsPathSeen = fields.bcdeditPath;
  }
  void InitBootSettings(const WorkingFields&) override { calls.push_back("settings"); }
};

TEST(WorkingPathsWin32, SetUpFillsTheRecordAndCreatesTheFolders) {
  RecordingBootSetUp boot;
  SetUpWorkingPaths(&boot);
  WorkingFields f = Working().Snapshot();

  std::wstring windows = WindowsDirectory();
  ASSERT_FALSE(windows.empty());
  EXPECT_EQ(windows[0], f.systemDrive);
  EXPECT_EQ(f.systemDrive, f.bootDrive);
  EXPECT_EQ(FolderOfPath(ModuleFileName(nullptr)), f.programFolder);
  // Under Wine the protected tools folder is refused (see
  // tools_folder_win32_test.cpp): no tool is named.
  const ToolsFolderChoice tools = PrepareToolsFolder();
  EXPECT_EQ(tools.folder, f.toolsFolder);
  EXPECT_EQ(tools.folder.empty() ? L"" : tools.folder + L"\\bcdedit.exe", f.bcdeditPath);
  EXPECT_EQ(DetectWindowsEdition(), f.windowsEdition);

  // The test prefix has a large fixed D: beside C:.
  EXPECT_EQ(L"D:\\DURozazo", f.workFolder);
  EXPECT_EQ(L'D', ChooseWorkDrive());
  EXPECT_TRUE(FolderExists(f.downloadFolder));
  EXPECT_TRUE(FolderExists(f.dataBackupFolder));
  EXPECT_TRUE(FolderExists(f.cacheFolder));

  EXPECT_EQ((std::vector<std::string>{"tools", "settings"}), boot.calls);
  EXPECT_EQ(f.bcdeditPath, boot.toolsPathSeen);
}

// The program's own set-up leaves the slow tools folder look-up to the first
// thread needing the tools; its answer joins the record, which keeps the rest.
TEST(WorkingPathsWin32, ToolPathsJoinTheRecordLater) {
  SetUpWorkingPaths();
  Working().SetLatestVersion(L"7.8.13");
  SetUpToolPaths();
  WorkingFields f = Working().Snapshot();
  const std::wstring folder = PrepareToolsFolder().folder;
  EXPECT_EQ(folder, f.toolsFolder);
  EXPECT_EQ(folder.empty() ? L"" : folder + L"\\dspt.exe", f.dsptPath);
  EXPECT_EQ(L"D:\\DURozazo", f.workFolder);
  EXPECT_EQ(L"7.8.13", f.latestVersion);
}

}  // namespace
}  // namespace kavi
