// The DLL search of an elevated process (under Wine).
#include <gtest/gtest.h>

#include "host/win32_util.h"
#include "tests/support/win32_test_util.h"

namespace kavi {
namespace {

// Once limited, a DLL in the current folder is no longer loaded by name.
// Process-wide: later tests in this program search the same way.
TEST(LimitDllSearch, TheCurrentFolderIsNoLongerSearched) {
  TempFolder dir;
  const std::wstring name = L"kavi_dll_probe.dll";
  ASSERT_TRUE(CopyFileW(KAVI_DLL_PROBE, (dir / name).c_str(), FALSE));
  wchar_t before[MAX_PATH] = {};
  ASSERT_NE(0u, GetCurrentDirectoryW(MAX_PATH, before));
  ASSERT_TRUE(SetCurrentDirectoryW(dir.Path().c_str()));

  HMODULE found = LoadLibraryW(name.c_str());
  EXPECT_NE(nullptr, found) << "the current folder is searched to begin with";
  if (found) FreeLibrary(found);
  LimitDllSearch();
  HMODULE after = LoadLibraryW(name.c_str());
  EXPECT_EQ(nullptr, after);
  if (after) FreeLibrary(after);

  SetCurrentDirectoryW(before);
}

}  // namespace
}  // namespace kavi
