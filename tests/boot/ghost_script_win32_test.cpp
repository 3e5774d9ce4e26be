// Writing the Ghost task script on the Windows side: the bytes in the file,
// the file in the root of the boot drive, nothing touched on failure.
#include "boot/ghost_script.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "boot/disk_map.h"
#include "boot/boot_settings.h"
#include "host/working_state.h"
#include "tests/support/win32_test_util.h"

namespace kavi {
namespace {

const std::string kChineseRestore =
    "Ghost.exe -nousb -clone,mode=pload,src=\"1:2\\\xCF\xB5\xCD\xB3\xB1\xB8\xB7\xDD"
    "\\SYS.GHO:1\",dst=\"1:1\" -fro -crcignore -sure -rb -fx -afile=\"GHOSTERR.TXT\"\r\n"
    "restart\r\n";

TEST(WriteGhostScriptFile, WritesExactlyTheBytesAndReplacesALongerFile) {
  TempFolder dir;
  const std::wstring path = dir / L"Ghost.ba_";
  ASSERT_TRUE(WriteFileBytes(path, std::string(4096, 'x')));
  ASSERT_TRUE(WriteGhostScriptFile(path, "restart\r\n"));
  EXPECT_EQ("restart\r\n", ReadFileBytes(path));
  EXPECT_FALSE(WriteGhostScriptFile(dir / L"missing\\Ghost.ba_", "x"));
}

// Each test points the boot drive at the Wine C: drive and
// leaves no script behind.
class GhostScriptOnBootDrive : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = Working().Snapshot();
    WorkingFields fields = saved_;
    fields.bootDrive = L'C';
    fields.systemDrive = L'C';
    Working().Reset(fields);
    InitBootTakeoverSettings(fields);
    DeleteFileW(script_.c_str());
  }
  void TearDown() override {
    DeleteFileW(script_.c_str());
    Working().Reset(saved_);
    InitBootTakeoverSettings(saved_);
  }

  const std::wstring script_ = L"C:\\Ghost.ba_";
  WorkingFields saved_;
};

TEST_F(GhostScriptOnBootDrive, WritesTheConvertedTextToTheRootOfTheBootDrive) {
  const std::optional<std::wstring> text = BuildGhostRestoreScript(
      [](wchar_t letter) { return std::wstring(letter == L'C' ? L"1:1" : L"1:2"); },
      L"D:\\系统备份\\SYS.GHO", L'C');
  ASSERT_TRUE(text);
  ASSERT_TRUE(WriteGhostScript(*text));
  EXPECT_EQ(kChineseRestore, ReadFileBytes(script_));
}

TEST_F(GhostScriptOnBootDrive, UnresolvedPartitionsLeaveAnOlderScriptAlone) {
  ASSERT_TRUE(WriteFileBytes(script_, "older"));
  EnumerateDisks();  // Wine: no layouts, so nothing resolves
  EXPECT_FALSE(WriteGhostBackupScript(L'C', L"C:\\DURozazo\\SYS.GHO"));
  EXPECT_FALSE(WriteGhostRestoreScript(L"D:\\DURozazo\\SYS.GHO", L'C'));
  EXPECT_FALSE(WriteGhostScript(L"Ghost.exe \xD55C\r\nrestart\r\n"));  // no code page 936 form
  EXPECT_EQ("older", ReadFileBytes(script_));
}

TEST_F(GhostScriptOnBootDrive, NoBootDriveYetIsAFailure) {
  WorkingFields fields = Working().Snapshot();
  fields.bootDrive = 0;
  InitBootTakeoverSettings(fields);
  EXPECT_FALSE(WriteGhostScript(L"restart\r\n"));
  EXPECT_FALSE(FileExists(script_));
}

}  // namespace
}  // namespace kavi
