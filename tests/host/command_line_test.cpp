// Which program an elevated command line starts.
#include "host/command_line.h"

#include <gtest/gtest.h>

namespace kavi {
namespace {

TEST(SystemProgramFor, BareNamesComeFromTheSystemFolderOthersStartAsTheyAre) {
  const std::wstring sys = L"C:\\Windows\\system32";
  const struct {
    const wchar_t* line;
    const wchar_t* program;
  } cases[] = {
      {L"cmd /c shutdown -r -t 0", L"C:\\Windows\\system32\\cmd.exe"},
      {L"  cmd.exe /c attrib -h x", L"C:\\Windows\\system32\\cmd.exe"},
      {L"\"cmd\" /c del x", L"C:\\Windows\\system32\\cmd.exe"},
      {L"cmd", L"C:\\Windows\\system32\\cmd.exe"},
      {L"\"C:\\Program Files\\tool.exe\" /x", L""},
      {L"D:\\DURozazo\\tools\\bcdedit.exe /enum", L""},
      {L"..\\cmd.exe /c", L""},
      {L"c:cmd.exe /c", L""},
      {L"\"unclosed /c", L""},
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.program, SystemProgramFor(c.line, sys)) << c.line;
  EXPECT_EQ(L"", SystemProgramFor(L"cmd /c", L""));
}

}  // namespace
}  // namespace kavi
