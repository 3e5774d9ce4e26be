// The process runner and the cache cleaning against cmd.exe (under Wine).
#include "host/process_runner.h"

#include <gtest/gtest.h>

#include <cwctype>

#include "host/cache_cleaner.h"
#include "tests/support/win32_test_util.h"

namespace kavi {
namespace {

TEST(RunHiddenAndWait, WaitsForTheCommandToEnd) {
  TempFolder dir;
  const std::wstring marker = dir / L"done.txt";
  ASSERT_TRUE(RunHiddenAndWait(L"cmd /c echo done> \"" + marker + L"\""));
  EXPECT_TRUE(FileExists(marker));
}

TEST(RunHiddenAndWait, AFailingCommandStillCountsAsStarted) {
  EXPECT_TRUE(RunHiddenAndWait(L"cmd /c exit 7"));
}

// cmd starts in the system folder, where it looks first for what it runs
// (attrib, shutdown), not in the program's own current folder.
TEST(RunHiddenAndWait, CmdStartsInTheSystemFolder) {
  wchar_t system[MAX_PATH] = {};
  ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
  TempFolder dir;
  const std::wstring marker = dir / L"cwd.txt";
  ASSERT_TRUE(RunHiddenAndWait(L"cmd /c cd> \"" + marker + L"\""));
  std::string cwd = ReadFileBytes(marker);
  while (!cwd.empty() && (cwd.back() == '\n' || cwd.back() == '\r')) cwd.pop_back();
  const std::wstring expected = system;
  ASSERT_EQ(expected.size(), cwd.size()) << cwd;
  for (size_t i = 0; i < cwd.size(); ++i) {
    EXPECT_EQ(std::towlower(expected[i]), std::towlower(static_cast<wchar_t>(cwd[i]))) << cwd;
  }
}

TEST(RunHiddenAndWait, AMissingProgramIsAFailure) {
  EXPECT_FALSE(RunHiddenAndWait(L"no-such-program-kavi.exe /x"));
}

class CleanCacheWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    download_ = dir_ / L"Download";
    cache_ = dir_ / L"cache";
    CreateDirectoryW(download_.c_str(), nullptr);
    CreateDirectoryW(cache_.c_str(), nullptr);
  }
  TempFolder dir_;
  std::wstring download_, cache_;
};

TEST_F(CleanCacheWin32, DeletesTheFivePatternsOnly) {
  const std::wstring sub = download_ + L"\\keep";
  CreateDirectoryW(sub.c_str(), nullptr);
  for (const wchar_t* name : {L"a.wim", L"b.td", L"c.tdl", L"win7.gho", L"notes.ini", L"x.exe"}) {
    ASSERT_TRUE(WriteFileBytes(download_ + L"\\" + name, "x"));
  }
  ASSERT_TRUE(WriteFileBytes(sub + L"\\deep.wim", "x"));
  for (const wchar_t* name : {L"u.exe", L"v.td", L"w.tdcfg", L"s.ini", L"keep.dat"}) {
    ASSERT_TRUE(WriteFileBytes(cache_ + L"\\" + name, "x"));
  }
  const std::wstring readOnly = cache_ + L"\\s.ini";
  SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);

  class Runner : public ProcessRunner {
   public:
    bool RunHiddenAndWait(const std::wstring& c) override {
      return SystemProcessRunner().RunHiddenAndWait(c);
    }
  } runner;
  EXPECT_EQ(0, CleanCache(runner, download_, cache_));

  EXPECT_FALSE(FileExists(download_ + L"\\a.wim"));
  EXPECT_FALSE(FileExists(download_ + L"\\b.td"));
  EXPECT_FALSE(FileExists(download_ + L"\\c.tdl"));
  EXPECT_TRUE(FileExists(download_ + L"\\win7.gho"));
  EXPECT_TRUE(FileExists(download_ + L"\\notes.ini"));
  EXPECT_TRUE(FileExists(download_ + L"\\x.exe"));
  EXPECT_TRUE(FileExists(sub + L"\\deep.wim"));
  EXPECT_FALSE(FileExists(cache_ + L"\\u.exe"));
  EXPECT_FALSE(FileExists(cache_ + L"\\v.td"));
  EXPECT_FALSE(FileExists(cache_ + L"\\w.tdcfg"));
  EXPECT_FALSE(FileExists(readOnly));
  EXPECT_TRUE(FileExists(cache_ + L"\\keep.dat"));
  EXPECT_TRUE(FolderExists(cache_));
}

TEST_F(CleanCacheWin32, EmptyFoldersStillRunAllCommands) {
  class Counting : public ProcessRunner {
   public:
    int started = 0;
    bool RunHiddenAndWait(const std::wstring& c) override {
      started += SystemProcessRunner().RunHiddenAndWait(c) ? 1 : 0;
      return true;
    }
  } runner;
  EXPECT_EQ(0, CleanCache(runner, download_, cache_));
  EXPECT_EQ(5, runner.started);
}

}  // namespace
}  // namespace kavi
