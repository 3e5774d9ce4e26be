// The Windows 2000 stand-ins against the functions XP and later export.
#include "host/win2000_compat.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

TEST(Win2000Compat, StatStandInsAgreeWithMsvcrt) {
  wchar_t folder[MAX_PATH];
  ASSERT_NE(0u, GetTempPathW(MAX_PATH, folder));
  const std::wstring path = std::wstring(folder) + L"kavi_win2000_stat.bin";
  FILE* file = _wfopen(path.c_str(), L"wb");
  ASSERT_NE(nullptr, file);
  ASSERT_EQ(3000u, fwrite(std::string(3000, 'k').data(), 1, 3000, file));
  fclose(file);

  struct _stat64 real = {}, ours = {};
  ASSERT_EQ(0, _wstat64(path.c_str(), &real));
  ASSERT_EQ(0, kavi::win2000::Wstat64(path.c_str(), &ours));
  EXPECT_EQ(3000, ours.st_size);
  EXPECT_EQ(real.st_mode, ours.st_mode);
  EXPECT_EQ(real.st_nlink, ours.st_nlink);
  EXPECT_EQ(real.st_mtime, ours.st_mtime);
  EXPECT_GT(ours.st_mtime, 1000000000);

  const int fd = _wopen(path.c_str(), _O_RDONLY | _O_BINARY);
  ASSERT_GE(fd, 0);
  struct _stat64 realFd = {}, oursFd = {};
  ASSERT_EQ(0, _fstat64(fd, &realFd));
  ASSERT_EQ(0, kavi::win2000::Fstat64(fd, &oursFd));
  _close(fd);
  EXPECT_EQ(3000, oursFd.st_size);
  EXPECT_EQ(realFd.st_mode, oursFd.st_mode);
  EXPECT_EQ(realFd.st_mtime, oursFd.st_mtime);

  DeleteFileW(path.c_str());
  EXPECT_EQ(-1, kavi::win2000::Wstat64(path.c_str(), &ours));
}

TEST(Win2000Compat, ModuleHandleStandInFindsTheModuleAndHoldsIt) {
  // By address: the module a function lives in.
  HMODULE kernel = GetModuleHandleW(L"kernel32");
  HMODULE found = nullptr;
  const auto address = reinterpret_cast<LPCWSTR>(GetProcAddress(kernel, "Sleep"));
  ASSERT_TRUE(kavi::win2000::ModuleHandleEx(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      address, &found));
  EXPECT_EQ(kernel, found);
  int local = 0;
  EXPECT_FALSE(kavi::win2000::ModuleHandleEx(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                             reinterpret_cast<LPCWSTR>(&local), &found));
  EXPECT_EQ(nullptr, found);

  // By name, taking a reference of its own (Wine never unloads its built-in
  // DLLs, so only the handle can be checked here).
  HMODULE loaded = LoadLibraryW(L"version.dll");
  ASSERT_NE(nullptr, loaded);
  ASSERT_TRUE(kavi::win2000::ModuleHandleEx(0, L"version.dll", &found));
  EXPECT_EQ(loaded, found);
  FreeLibrary(found);
  FreeLibrary(loaded);
  EXPECT_FALSE(kavi::win2000::ModuleHandleEx(0, L"no_such_module.dll", &found));
  EXPECT_EQ(nullptr, found);
}

}  // namespace
