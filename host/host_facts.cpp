#include "host/host_facts.h"

namespace kavi {
namespace {

const wchar_t* const kEditionNames[kEditionCount] = {
    L"Windows 2000",    L"Windows XP",      L"Windows 2003",     L"Windows VISTA",
    L"Windows 2008",    L"Windows 7 32位",  L"Windows 7 64位",   L"Windows 2012",
    L"Windows 8 32位",  L"Windows 8 64位",  L"Windows 8.1 32位", L"Windows 8.1 64位",
    L"Windows 10 32位", L"Windows 10 64位", L"Windows 其他",
};

}  // namespace

const wchar_t* EditionDisplayName(int32_t edition) {
  if (edition < 0 || edition >= kEditionCount) return kEditionNames[kEditionOther];
  return kEditionNames[edition];
}

int32_t EditionFromVersion(uint32_t major, uint32_t minor, uint8_t productType,
                           uint16_t processorArchitecture, bool windows64) {
  const bool workstation = productType == kProductTypeWorkstation;
  if (major == 10) return windows64 ? kEditionWindows10x64 : kEditionWindows10x86;
  if (major == 5) {
    switch (minor) {
      case 0:
        return kEditionWindows2000;
      case 1:
        return kEditionWindowsXP;
      case 2:
        return processorArchitecture == kProcessorArchitectureAmd64 ? kEditionWindowsXP
                                                                    : kEditionWindows2003;
    }
    return kEditionOther;
  }
  if (major == 6) {
    switch (minor) {
      case 0:
        return workstation ? kEditionVista : kEditionWindows2008;
      case 1:
        if (!workstation) return kEditionWindows2008;
        return windows64 ? kEditionWindows7x64 : kEditionWindows7x86;
      case 2:
        if (!workstation) return kEditionWindows2012;
        return windows64 ? kEditionWindows8x64 : kEditionWindows8x86;
      case 3:
        if (!workstation) return kEditionWindows2012;
        return windows64 ? kEditionWindows81x64 : kEditionWindows81x86;
      case 4:
        return windows64 ? kEditionWindows10x64 : kEditionWindows10x86;
    }
  }
  return kEditionOther;
}

bool IsLargeMemoryBytes(uint64_t totalPhysicalBytes) {
  double mib = static_cast<double>(totalPhysicalBytes) / 1024.0 / 1024.0;
  return mib > 3000.0;
}

Recommendation RecommendationFor(bool largeMemory) {
  if (largeMemory) return {L"推荐下载Windows 7 64位系统", 1};
  return {L"推荐下载Windows 7 32位系统", 0};
}

std::optional<int64_t> DaysSinceInstall(int64_t now, uint64_t installDate) {
  if (installDate == 0) return std::nullopt;
  int64_t elapsed = now - static_cast<int64_t>(installDate);
  if (elapsed <= 0) return std::nullopt;
  return elapsed / 3600 / 24;
}

}  // namespace kavi
