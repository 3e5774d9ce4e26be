// Host facts against the real Windows APIs (under Wine in the test run).
#include "host/host_facts.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace kavi {
namespace {

// The edition from what the test reads for itself: the true version numbers
// (RtlGetVersion, which no compatibility manifest bends), the product type,
// the process's processor, and WOW64 as a native processor that differs
// from the process's.
TEST(HostFactsWin32, EditionFollowsTheTrueVersionAndWow64) {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll"), "RtlGetVersion")));
  ASSERT_NE(nullptr, rtlGetVersion);
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  ASSERT_EQ(0, rtlGetVersion(&version));
  SYSTEM_INFO own = {}, native = {};
  GetSystemInfo(&own);
  GetNativeSystemInfo(&native);
  const bool wow64 = own.wProcessorArchitecture != native.wProcessorArchitecture;
  const bool windows64 = native.wProcessorArchitecture != PROCESSOR_ARCHITECTURE_INTEL;

  EXPECT_EQ(wow64, IsWow64());
  EXPECT_EQ(windows64, WindowsIs64Bit());
  EXPECT_EQ(EditionFromVersion(version.dwMajorVersion, version.dwMinorVersion, version.wProductType,
                               own.wProcessorArchitecture, windows64),
            DetectWindowsEdition())
      << version.dwMajorVersion << "." << version.dwMinorVersion;
}

TEST(HostFactsWin32, MemoryIsReadAndRecommendationFollowsIt) {
  uint64_t bytes = GetTotalPhysicalMemory();
  EXPECT_GT(bytes, uint64_t{64} << 20);
  EXPECT_EQ(IsLargeMemoryBytes(bytes), IsLargeMemory());
  EXPECT_EQ(std::wstring(RecommendationFor(IsLargeMemory()).text), GetRecommendationText());
}

// Writes InstallDate for the duration of a test and puts back what was there.
class InstallDateValue {
 public:
  InstallDateValue() {
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                    nullptr, &key_, nullptr);
    DWORD size = sizeof(saved_);
    had_ = RegQueryValueExW(key_, L"InstallDate", nullptr, &type_, reinterpret_cast<BYTE*>(saved_),
                            &size) == ERROR_SUCCESS;
    savedSize_ = size;
  }
  ~InstallDateValue() {
    if (had_) {
      RegSetValueExW(key_, L"InstallDate", 0, type_, reinterpret_cast<BYTE*>(saved_), savedSize_);
    } else {
      RegDeleteValueW(key_, L"InstallDate");
    }
    RegCloseKey(key_);
  }
  void SetDword(DWORD value) {
    RegSetValueExW(key_, L"InstallDate", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value),
                   sizeof(value));
  }
  void SetBinary(const void* data, DWORD size) {
    RegSetValueExW(key_, L"InstallDate", 0, REG_BINARY, static_cast<const BYTE*>(data), size);
  }
  void Remove() { RegDeleteValueW(key_, L"InstallDate"); }

 private:
  static constexpr const wchar_t* kKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  HKEY key_ = nullptr;
  bool had_ = false;
  DWORD type_ = 0;
  BYTE saved_[64] = {};
  DWORD savedSize_ = 0;
};

TEST(HostFactsWin32, InstallDateFromTheRegistry) {
  InstallDateValue value;
  value.SetDword(1'600'000'000);
  EXPECT_EQ(1'600'000'000u, ReadInstallDate());
  value.Remove();
  EXPECT_EQ(0u, ReadInstallDate());
  value.SetDword(0xFFFFFFFF);  // read as unsigned: a date in 2106
  EXPECT_EQ(0xFFFFFFFFu, ReadInstallDate());
  const unsigned char tooLong[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  value.SetBinary(tooLong, sizeof(tooLong));
  EXPECT_EQ(0u, ReadInstallDate());
}

}  // namespace
}  // namespace kavi
