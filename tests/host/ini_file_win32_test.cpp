// The INI helper over the real private-profile functions (under Wine).
#include "host/ini_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/win32_test_util.h"

namespace kavi {
namespace {

class IniFileWin32 : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = BackupsIni().path; }
  void TearDown() override { BackupsIni().path = saved_; }
  TempFolder dir_;
  std::wstring saved_;
};

TEST_F(IniFileWin32, LastBackIsReadAndCutAt259) {
  BackupsIni().path = dir_ / L"backups.ini";
  WritePrivateProfileStringW(L"Desktop", L"LastBack", L"2026/12/07 10:00:00",
                             BackupsIni().path.c_str());
  std::wstring value;
  EXPECT_EQ(19u, GetLastBack(value, L"desktop"));  // section names ignore case
  EXPECT_EQ(L"2026/12/07 10:00:00", value);

  WritePrivateProfileStringW(L"Long", L"LastBack", std::wstring(300, L'x').c_str(),
                             BackupsIni().path.c_str());
  EXPECT_EQ(259u, GetLastBack(value, L"Long"));
  EXPECT_EQ(std::wstring(259, L'x'), value);
}

TEST_F(IniFileWin32, MissingFileSectionOrKeyGivesEmpty) {
  BackupsIni().path = dir_ / L"absent.ini";
  std::wstring value = L"stale";
  EXPECT_EQ(0u, GetLastBack(value, L"Desktop"));
  EXPECT_EQ(L"", value);

  BackupsIni().path = dir_ / L"other.ini";
  WritePrivateProfileStringW(L"Desktop", L"Other", L"1", BackupsIni().path.c_str());
  EXPECT_EQ(0u, GetLastBack(value, L"Desktop"));
  EXPECT_EQ(0u, GetLastBack(value, L"Favorites"));
}

TEST_F(IniFileWin32, TimeoutCreatesTheBootLoaderSection) {
  const std::wstring bootIni = dir_ / L"boot.ini";
  ASSERT_TRUE(
      WriteFileBytes(bootIni,
                     "[operating systems]\r\n"
                     "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"XP\" /fastdetect\r\n"));
  CIniFile ini(bootIni);
  EXPECT_TRUE(SetBootLoaderTimeout(ini));
  wchar_t value[16] = {};
  GetPrivateProfileStringW(L"boot loader", L"timeout", L"", value, 16, bootIni.c_str());
  EXPECT_STREQ(L"3", value);
  GetPrivateProfileStringW(L"operating systems", nullptr, L"", value, 16, bootIni.c_str());
  EXPECT_NE(L'\0', value[0]) << "the existing section must survive";
}

TEST_F(IniFileWin32, TimeoutReplacesAnExistingValue) {
  const std::wstring bootIni = dir_ / L"boot2.ini";
  ASSERT_TRUE(WriteFileBytes(bootIni, "[boot loader]\r\ntimeout=30\r\ndefault=x\r\n"));
  EXPECT_TRUE(SetBootLoaderTimeout(CIniFile(bootIni)));
  wchar_t value[16] = {};
  GetPrivateProfileStringW(L"boot loader", L"timeout", L"", value, 16, bootIni.c_str());
  EXPECT_STREQ(L"3", value);
  GetPrivateProfileStringW(L"boot loader", L"default", L"", value, 16, bootIni.c_str());
  EXPECT_STREQ(L"x", value);
}

}  // namespace
}  // namespace kavi
