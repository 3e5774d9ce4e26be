// Facts about the running Windows: edition, memory, install date. The
// mapping functions take plain numbers so they run anywhere; the functions
// without arguments ask Windows (host_facts_win32.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kavi {

// Index into the edition table, 0 to 14.
enum WindowsEditionIndex : int32_t {
  kEditionWindows2000 = 0,
  kEditionWindowsXP = 1,
  kEditionWindows2003 = 2,
  kEditionVista = 3,
  kEditionWindows2008 = 4,
  kEditionWindows7x86 = 5,
  kEditionWindows7x64 = 6,
  kEditionWindows2012 = 7,
  kEditionWindows8x86 = 8,
  kEditionWindows8x64 = 9,
  kEditionWindows81x86 = 10,
  kEditionWindows81x64 = 11,
  kEditionWindows10x86 = 12,
  kEditionWindows10x64 = 13,
  kEditionOther = 14,
};
constexpr int32_t kEditionCount = 15;

constexpr uint16_t kProcessorArchitectureAmd64 = 9;
constexpr uint8_t kProductTypeWorkstation = 1;

// The display name of an edition index; "Windows 其他" outside 0..14.
const wchar_t* EditionDisplayName(int32_t edition);

// Maps the true NT version numbers to an edition index. `windows64`: the
// Windows is 64-bit (a 32-bit process learns that from WOW64, not from its
// own processor architecture).
int32_t EditionFromVersion(uint32_t major, uint32_t minor, uint8_t productType,
                           uint16_t processorArchitecture, bool windows64);

// Editions 0 to 2 get a boot.ini entry, 3 to 13 a BCD store entry.
inline bool UsesBootIni(int32_t edition) {
  return edition >= 0 && edition <= 2;
}
inline bool UsesBcdStore(int32_t edition) {
  return edition >= 3 && edition <= 13;
}

// More than 3000 MiB is large; exactly 3000 MiB is not.
bool IsLargeMemoryBytes(uint64_t totalPhysicalBytes);

struct Recommendation {
  const wchar_t* text;
  int position;  // 0-based catalogue position to preselect
};
Recommendation RecommendationFor(bool largeMemory);

// Whole days between install date and now; none when the install date is
// missing (0) or not in the past.
std::optional<int64_t> DaysSinceInstall(int64_t now, uint64_t installDate);

// Windows-side queries.
int32_t DetectWindowsEdition();
bool IsWow64();
// 64-bit Windows: this process is 64-bit, or a 32-bit one under WOW64.
bool WindowsIs64Bit();
uint64_t GetTotalPhysicalMemory();
bool IsLargeMemory();
std::wstring GetRecommendationText();
uint64_t ReadInstallDate();

}  // namespace kavi
