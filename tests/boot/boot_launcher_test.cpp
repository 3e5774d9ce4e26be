// Our bcdedit/bcdboot/bcdsect launchers pass the argument text through as it
// was typed.
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

}  // namespace
}  // namespace kavi
