// The administrators-only tools folder on a real (Wine) machine. Wine keeps
// no DACL of its own on files (it shows one made from the Unix permissions),
// so there the folder must be refused and no tool path named: the set-up
// trusts only what Windows reads back.
#include "host/tools_folder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "host/host_facts.h"
#include "tests/support/win32_test_util.h"

namespace kavi {
namespace {

TEST(ToolsFolder, ItIsUsedOnlyWhenItsSecurityReadsBackAsAdministratorsOnly) {
  TempFolder dir;
  const std::wstring folder = dir / L"Kavi";
  const bool made = MakeAdministratorsOnlyFolder(folder);
  FolderSecurity read;
  ASSERT_TRUE(ReadFolderSecurity(folder, &read));
  EXPECT_EQ(made, IsAdministratorsOnly(read));
  EXPECT_FALSE(read.owner.empty());
  EXPECT_FALSE(read.aces.empty());

  // Made before by someone else, with a file planted in it: moved aside
  // whole, and the folder made anew holds nothing of it.
  const std::wstring planted = dir / L"Planted";
  ASSERT_TRUE(CreateDirectoryW(planted.c_str(), nullptr));
  const std::wstring dll = planted + L"\\version.dll";
  ASSERT_TRUE(WriteFileBytes(dll, "MZ"));
  MakeAdministratorsOnlyFolder(planted);
  EXPECT_FALSE(FileExists(dll));
  EXPECT_TRUE(FolderExists(planted));

  // This machine's tools folder: named only when it reads back so.
  const ToolsFolderChoice tools = PrepareToolsFolder();
  ASSERT_TRUE(tools.protect) << DetectWindowsEdition();
  FolderSecurity shared;
  const bool safe = ReadFolderSecurity(tools.protectFrom, &shared) &&
                    IsAdministratorsOnly(shared) &&
                    IsAdministratorsOnlyFolder(tools.protectFrom + L"\\tools");
  EXPECT_EQ(safe, !tools.folder.empty());
  // Left empty by the test: the prefix's C: stays as it was.
  RemoveDirectoryW((tools.protectFrom + L"\\tools").c_str());
  RemoveDirectoryW(tools.protectFrom.c_str());
}

}  // namespace
}  // namespace kavi
