// The version check and the update download against the development
// service host. The installer is handed to a recording starter: starting a
// real program from the suite would leave it running.
#include "online/version_check.h"

#include <gtest/gtest.h>

#include <vector>

#include "host/working_state.h"
#include "tests/online/devhost_fixture.h"
#include "tests/support/win32_test_util.h"

namespace kavi {
namespace {

// The smallest header IsWindowsExecutable accepts, padded like a real file.
std::string TinyExecutable() {
  std::string bytes(1024, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  bytes[0x3C] = static_cast<char>(0x80);
  bytes.replace(0x80, 4, std::string("PE\0\0", 4));
  return bytes;
}

class VersionCheckTest : public DevHostTest {
 protected:
  void SetUp() override {
    DevHostTest::SetUp();
    Working().Reset(WorkingFields());
    host.PutFile(L"/kavi/anzhuangbao.txt", ToInstaller());
  }
  std::string ToInstaller() const {
    std::wstring url = host.Url(L"/files/sysupdate.exe");
    return std::string(url.begin(), url.end());
  }
  bool Check(const std::string& published) {
    host.PutFile(L"/kavi/banben.txt", published);
    return CheckForNewVersion();
  }
};

TEST_F(VersionCheckTest, SameVersionIsNotOffered) {
  EXPECT_FALSE(Check("7.8.12\r\n"));
  EXPECT_EQ(1, Working().VersionChecked());
  EXPECT_EQ(L"7.8.12", Working().GetCurrentVersion());
  EXPECT_EQ(L"", Working().GetInstallerUrl());
}

TEST_F(VersionCheckTest, OtherVersionsAreOfferedWithTheInstallerUrl) {
  EXPECT_TRUE(Check(" 7.8.13 "));
  EXPECT_EQ(L"7.8.13", Working().GetLatestVersion());
  EXPECT_EQ(host.Url(L"/files/sysupdate.exe"), Working().GetInstallerUrl());
  EXPECT_TRUE(Check("7.8.11"));
}

TEST_F(VersionCheckTest, LongTextOrErrorAnswerIsNoVersion) {
  EXPECT_FALSE(Check("  7.8.12 and more texts \r\n"));  // 21 characters once trimmed
  host.SetRules(R"({"/kavi/banben.txt": {"status": 404, "body": "7.8.13"}})");
  EXPECT_FALSE(CheckForNewVersion());
  EXPECT_EQ(L"", Working().GetLatestVersion());
}

TEST_F(VersionCheckTest, UnreachableInstallerUrlStillOffersButTheLaunchFails) {
  host.SetRules(R"({"/kavi/anzhuangbao.txt": {"status": 500, "body": "x"}})");
  EXPECT_TRUE(Check("7.8.13"));
  EXPECT_EQ(L"", Working().GetInstallerUrl());
  EXPECT_FALSE(LaunchUpdate());
}

class LaunchUpdateTest : public DevHostTest {
 protected:
  bool Launch() {
    return LaunchUpdate(host.Url(L"/files/sysupdate.exe"), tools.Path(),
                        [this](const std::wstring& file, const std::wstring& folder) {
                          started.push_back(file);
                          started.push_back(folder);
                        });
  }
  TempFolder tools;
  std::vector<std::wstring> started;
};

TEST_F(LaunchUpdateTest, SavesAndStartsAWindowsExecutable) {
  ASSERT_TRUE(host.PutFile(L"/files/sysupdate.exe", TinyExecutable()));
  ASSERT_TRUE(WriteFileBytes(tools / L"sysupdate.exe", "older download"));
  EXPECT_TRUE(Launch());
  EXPECT_EQ((std::vector<std::wstring>{tools / L"sysupdate.exe", tools.Path()}), started);
  EXPECT_EQ(TinyExecutable(), ReadFileBytes(tools / L"sysupdate.exe"));
}

TEST_F(LaunchUpdateTest, ErrorPagesAndNonExecutablesAreNeverStarted) {
  host.SetRules(R"({"/files/sysupdate.exe": {"status": 404, "body": "<html>404</html>"}})");
  EXPECT_FALSE(Launch());
  EXPECT_FALSE(FileExists(tools / L"sysupdate.exe"));

  host.SetRules("{}");
  ASSERT_TRUE(host.PutFile(L"/files/sysupdate.exe", "<html>maintenance, come back later</html>"));
  EXPECT_FALSE(Launch());
  EXPECT_FALSE(FileExists(tools / L"sysupdate.exe"));

  EXPECT_FALSE(LaunchUpdate(L"", tools.Path(), [this](const std::wstring& f, const std::wstring&) {
    started.push_back(f);
  }));
  EXPECT_TRUE(started.empty());

  // No tools folder (a protected one could not be made): nothing is saved.
  ASSERT_TRUE(host.PutFile(L"/files/sysupdate.exe", TinyExecutable()));
  EXPECT_FALSE(
      LaunchUpdate(host.Url(L"/files/sysupdate.exe"), L"",
                   [this](const std::wstring& f, const std::wstring&) { started.push_back(f); }));
  EXPECT_TRUE(started.empty());
}

}  // namespace
}  // namespace kavi
