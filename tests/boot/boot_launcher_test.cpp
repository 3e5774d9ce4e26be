// Our bcdedit/bcdboot/bcdsect launchers: the argument text passed through as
// it was typed, and where the native tool is looked for.
#include "tools/bootlaunch/launcher.h"

#include <gtest/gtest.h>

namespace kavi {
namespace {

TEST(ArgumentText, DropsOnlyTheProgramNameAndTheBlanksAfterIt) {
  EXPECT_EQ(L"/store C:\\boot\\bcd /create {x} /d \"Kavi一键备份\" /application bootsector",
            ArgumentText(L"C:\\DOCUME~1\\bcdedit.exe /store C:\\boot\\bcd /create {x} /d "
                         L"\"Kavi一键备份\" /application bootsector"));
  EXPECT_EQ(L"a  \"b c\"  ", ArgumentText(L"\"C:\\Program Files\\bcdedit.exe\"   a  \"b c\"  "));
  EXPECT_EQ(L"/x", ArgumentText(L"\"C:\\a b\\t.exe\"/x"));
  EXPECT_EQ(L"", ArgumentText(L"bcdedit.exe"));
  EXPECT_EQ(L"", ArgumentText(L"\"unclosed quote"));
  EXPECT_EQ(L"", ArgumentText(L""));
}

TEST(LaunchCommandLine, QuotesTheToolAndKeepsTheArguments) {
  EXPECT_EQ(
      L"\"C:\\Windows\\Sysnative\\bcdedit.exe\" /set {x} path \\kvldr.mbr",
      LaunchCommandLine(L"C:\\Windows\\Sysnative\\bcdedit.exe", L"/set {x} path \\kvldr.mbr"));
  EXPECT_EQ(L"\"C:\\t.exe\"", LaunchCommandLine(L"C:\\t.exe", L""));
}

TEST(NativeToolCandidates, SysnativeThenSystem32WithoutRedirectionUnderWow64) {
  const auto plain =
      NativeToolCandidates(L"C:\\Windows", L"C:\\Windows\\system32", false, L"bootsect.exe");
  ASSERT_EQ(1u, plain.size());
  EXPECT_EQ(L"C:\\Windows\\system32\\bootsect.exe", plain[0].path);
  EXPECT_FALSE(plain[0].withoutRedirection);

  const auto wow =
      NativeToolCandidates(L"C:\\Windows", L"C:\\Windows\\system32", true, L"bcdedit.exe");
  ASSERT_EQ(2u, wow.size());
  EXPECT_EQ(L"C:\\Windows\\Sysnative\\bcdedit.exe", wow[0].path);
  EXPECT_FALSE(wow[0].withoutRedirection);
  EXPECT_EQ(L"C:\\Windows\\system32\\bcdedit.exe", wow[1].path);
  EXPECT_TRUE(wow[1].withoutRedirection);
}

}  // namespace
}  // namespace kavi
