#include "download/file_names.h"

#include <gtest/gtest.h>

namespace kavi {
namespace {

TEST(PlainFileName, AcceptsOrdinaryImageNames) {
  for (const wchar_t* good :
       {L"WIN7_32.GHO", L"win7 旗舰版.gho", L"a", L"console.gho", L"com10.gho"}) {
    EXPECT_TRUE(IsPlainFileName(good)) << good;
  }
}

TEST(PlainFileName, RefusesNamesThatLeaveTheFolder) {
  for (const wchar_t* bad :
       {L"",          L".",        L"..",  L"..\\x.gho", L"../x.gho",    L"C:x.gho",
        L"C:\\x.gho", L"a\\b",     L"a/b", L"x?.gho",    L"x*.gho",      L"x|y",
        L"x<y",       L"x\"y",     L"CON", L"con.gho",   L"con.txt.gho", L"NUL.txt",
        L"COM1",      L"lpt9.gho", L"AUX", L"x.gho.",    L"x.gho ",      L"a\tb"}) {
    EXPECT_FALSE(IsPlainFileName(bad)) << bad;
  }
}

TEST(HttpUrl, AcceptsAbsoluteWebAddresses) {
  for (const wchar_t* good : {L"http://127.0.0.1:18080/images/WIN7_64.GHO", L"HTTP://h/x",
                              L"https://mirror.example.com/系统/win7.gho?key=1"}) {
    EXPECT_TRUE(IsHttpUrl(good)) << good;
  }
}

TEST(HttpUrl, RefusesWhatCannotBeDownloaded) {
  for (const wchar_t* bad :
       {L"", L"http://", L"https:///x", L"闀滃儚.GHO", L"ftp://h/x.gho", L"file:///c:/x.gho",
        L"C:\\x.gho", L"\\\\server\\share\\x.gho", L"http:/h/x", L" http://h/x", L"http://h/a b",
        L"http://h/x\r\nHost: evil"}) {
    EXPECT_FALSE(IsHttpUrl(bad)) << bad;
  }
}

}  // namespace
}  // namespace kavi
