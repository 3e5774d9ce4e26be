// The catalogue as the development service host publishes it: code page
// 936, three demo images, absolute image URLs on the host.
#include "online/catalogue.h"

#include <gtest/gtest.h>

#include <cwctype>

#include "online/http_fetch.h"
#include "tests/online/devhost_fixture.h"
#include "tests/support/win32_test_util.h"

namespace kavi {
namespace {

using CatalogueWin32Test = DevHostTest;

TEST_F(CatalogueWin32Test, DemoCatalogueLoadsWithEveryField) {
  ASSERT_TRUE(LoadCatalogue());
  ASSERT_EQ(3u, Catalogue().Count());
  CatalogueEntry first = Catalogue().At(0);
  EXPECT_EQ(L"Windows 7 旗舰版 32位（演示镜像）", first.name);
  EXPECT_EQ(host.Url(L"/images/WIN7_32.GHO"), first.url);
  EXPECT_EQ(L"WIN7_32.GHO", first.fileName);
  for (size_t i = 0; i < Catalogue().Count(); ++i) {
    CatalogueEntry e = Catalogue().At(i);
    EXPECT_FALSE(e.infoText.empty());
    EXPECT_FALSE(e.sizeText.empty());
    ASSERT_EQ(32u, e.imageMd5.size());
    for (wchar_t c : e.imageMd5) EXPECT_TRUE(std::iswxdigit(c));
    EXPECT_EQ(364u, e.checkCode.size());  // Base64 of the 272-byte check block
  }
  TempFolder folder;
  EXPECT_EQ(kHttpFileSaved, HttpGetToFile(first.url, folder / first.fileName));
  EXPECT_EQ(64u * 1024 + 1, ReadFileBytes(folder / first.fileName).size());
}

TEST_F(CatalogueWin32Test, UnreachableOrFailingHostGivesFalseAndNoEntries) {
  ASSERT_TRUE(LoadCatalogue());
  host.SetRules(R"({"/kavi/xitong.txt": {"status": 500, "body": "<line>A|u|</line>"}})");
  EXPECT_FALSE(LoadCatalogue());
  EXPECT_EQ(0u, Catalogue().Count());
  SetServiceUrlForTesting(L"http://127.0.0.1:1");
  EXPECT_FALSE(LoadCatalogue());
}

}  // namespace
}  // namespace kavi
