#include "online/version_check.h"

#include <gtest/gtest.h>

#include "tests/online/fake_fetcher.h"

namespace kavi {
namespace {

const wchar_t kVersionUrl[] = L"http://h/kavi/banben.txt";
const wchar_t kInstallerUrl[] = L"http://h/kavi/anzhuangbao.txt";

struct Check {
  bool offered;
  WorkingFields fields;
  std::vector<std::wstring> requests;
};

Check RunCheck(const wchar_t* published, const wchar_t* installer = L"http://h/new.exe") {
  FakeFetcher http;
  if (published) http.answers[kVersionUrl] = published;
  if (installer) http.answers[kInstallerUrl] = installer;
  WorkingState state;
  bool offered = CheckForNewVersion(http, L"http://h", state);
  return {offered, state.Snapshot(), http.requests};
}

TEST(VersionCheck, SameVersionWithLineBreakIsNotOffered) {
  Check c = RunCheck(L"7.8.12\r\n");
  EXPECT_FALSE(c.offered);
  EXPECT_EQ(1, c.fields.versionChecked);
  EXPECT_EQ(L"7.8.12", c.fields.currentVersion);
  EXPECT_EQ(L"7.8.12", c.fields.latestVersion);
  EXPECT_EQ(L"", c.fields.installerUrl);
  EXPECT_EQ(1u, c.requests.size());  // the installer URL is not asked for
}

// The cases of the published text against the real HTTP client are in
// version_check_win32_test.cpp; these are the boundaries.
TEST(VersionCheck, TwentyCharactersAtMostAndExactComparison) {
  EXPECT_TRUE(RunCheck(L"12345678901234567890").offered);
  EXPECT_FALSE(RunCheck(L"7.8.12 followed by xy").offered);  // 21
  EXPECT_FALSE(RunCheck(L" \r\n").offered);
  EXPECT_TRUE(RunCheck(L"\t7.8.12a\n").offered);
  EXPECT_TRUE(RunCheck(L"7.8.1").offered);
}

TEST(TrimWhiteSpace, BothEnds) {
  EXPECT_EQ(L"a b", TrimWhiteSpace(L" \t\r\na b\r\n\v\f "));
  EXPECT_EQ(L"", TrimWhiteSpace(L"  "));
}

std::string Executable(uint32_t peOffset, size_t size) {
  std::string bytes(size, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  for (int i = 0; i < 4; ++i) bytes[0x3C + i] = static_cast<char>(peOffset >> (8 * i));
  if (peOffset + 4 <= size) bytes.replace(peOffset, 4, std::string("PE\0\0", 4));
  return bytes;
}

TEST(IsWindowsExecutable, NeedsMzAndThePeSignatureWhereTheHeaderPoints) {
  EXPECT_TRUE(IsWindowsExecutable(Executable(0x80, 0x200)));
  EXPECT_FALSE(IsWindowsExecutable("<html>404 Not Found</html>"));
  EXPECT_FALSE(IsWindowsExecutable(Executable(0x80, 0x82)));         // cut off
  EXPECT_FALSE(IsWindowsExecutable(Executable(0xFFFFFFF0, 0x200)));  // points past the end
  std::string noPe = Executable(0x80, 0x200);
  noPe[0x80] = 'N';
  EXPECT_FALSE(IsWindowsExecutable(noPe));
  EXPECT_FALSE(IsWindowsExecutable(""));
}

}  // namespace
}  // namespace kavi
