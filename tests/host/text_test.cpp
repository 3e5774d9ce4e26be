#include "host/text.h"

#include <gtest/gtest.h>

namespace kavi {
namespace {

TEST(Format, WideStringsCharactersAndNumbers) {
  EXPECT_EQ(L"D:\\DURozazo", Format(L"%lc:\\%ls", L'D', L"DURozazo"));
  EXPECT_EQ(L"3", Format(L"%d", 3));
  EXPECT_EQ(L"1:2", Format(L"%d:%d", 1, 2));
  EXPECT_EQ(L"%", Format(L"%%"));
}

TEST(Format, GrowsPastAnyFixedBuffer) {
  std::wstring long_text(5000, L'x');
  std::wstring out = Format(L"[%ls]", long_text.c_str());
  EXPECT_EQ(5002u, out.size());
}

TEST(AnsiCodePage, ChineseRoundTripsThroughCodePage936) {
  const std::wstring text = L"我的文档";
  const std::string bytes = ToAnsi(text);
  EXPECT_EQ(std::string("\xCE\xD2\xB5\xC4\xCE\xC4\xB5\xB5"), bytes);
  EXPECT_EQ(text, FromAnsi(bytes));
}

TEST(AnsiCodePage, AsciiIsUnchangedAndEmptyStaysEmpty) {
  EXPECT_EQ("C:\\SYS.GHO", ToAnsi(L"C:\\SYS.GHO"));
  EXPECT_EQ(L"", FromAnsi(""));
  EXPECT_EQ("", ToAnsi(L""));
}

TEST(AnsiCodePage, TruncatedDoubleByteDoesNotLoseTheRest) {
  // A lead byte without its trail at the end.
  std::wstring text = FromAnsi(std::string("ab\xCE", 3));
  ASSERT_GE(text.size(), 3u);
  EXPECT_EQ(L"ab", text.substr(0, 2));
}

TEST(Utf8, RoundTripAndInvalidBytes) {
  EXPECT_EQ(L"桌面", FromUtf8("\xE6\xA1\x8C\xE9\x9D\xA2"));
  EXPECT_EQ("\xE6\xA1\x8C\xE9\x9D\xA2", ToUtf8(L"桌面"));
  EXPECT_EQ(
      L"a\xFFFD"
      L"b",
      FromUtf8("a\xFF"
               "b"));
  EXPECT_EQ(L"\xFFFD\xFFFD", FromUtf8("\xE6\xA1"));  // truncated: one per byte
  EXPECT_EQ(L"\xFFFD\xFFFD", FromUtf8("\xC0\x80"));  // overlong NUL
}

}  // namespace
}  // namespace kavi
