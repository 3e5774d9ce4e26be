#include "online/statistics.h"

#include <windows.h>
#include <iphlpapi.h>

#include <cstdio>
#include <mutex>
#include <vector>

#include "host/text.h"
#include "host/working_state.h"
#include "online/http_fetch.h"
#include "online/service_host.h"

namespace kavi {
namespace {

// The record and the shared client. The lock covers a whole report, so the
// client serves one request at a time whichever thread reports.
std::mutex g_statsMutex;
StatsContext g_stats;

HttpTextClient& StatsClient() {
  static HttpTextClient client;
  return client;
}

}  // namespace

void CreateStatsContext() {
  const WorkingFields fields = Working().Snapshot();
  std::lock_guard<std::mutex> lock(g_statsMutex);
  g_stats = MakeStatsContext(ServiceUrl(), fields.windowsEdition, fields.systemDrive);
}

StatsContext CurrentStatsContext() {
  std::lock_guard<std::mutex> lock(g_statsMutex);
  return g_stats;
}

bool ReportStart() {
  std::lock_guard<std::mutex> lock(g_statsMutex);
  return ReportStart(g_stats, StatsClient(), GetVolumeSerial(g_stats.systemDrive), GetMacText());
}

bool ReportDownloadStart(int position) {
  std::lock_guard<std::mutex> lock(g_statsMutex);
  return ReportDownloadStart(g_stats, StatsClient(), position);
}

bool ReportImageVerified() {
  std::lock_guard<std::mutex> lock(g_statsMutex);
  return ReportImageVerified(g_stats, StatsClient());
}

uint32_t GetVolumeSerial(wchar_t driveLetter) {
  const std::wstring root = Format(L"%lc:\\", driveLetter);
  DWORD serial = kUnknownVolumeSerial;
  if (!GetVolumeInformationW(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) {
    return kUnknownVolumeSerial;
  }
  return serial;
}

std::wstring GetMacText() {
  // Loaded here, on the statistics thread, rather than imported: as an
  // import it was loaded before the first window.
  HMODULE iphlpapi = LoadLibraryW(L"iphlpapi.dll");
  const auto getAdaptersInfo = reinterpret_cast<decltype(&::GetAdaptersInfo)>(
      iphlpapi ? reinterpret_cast<void*>(::GetProcAddress(iphlpapi, "GetAdaptersInfo")) : nullptr);
  ULONG size = 0;
  if (getAdaptersInfo) getAdaptersInfo(nullptr, &size);
  // The list may grow between the two calls; a second size query covers it.
  std::vector<unsigned char> buffer;
  DWORD result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW && size > 0; ++attempt) {
    buffer.assign(size, 0);
    result = getAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
  }
  if (result != ERROR_SUCCESS) {
    std::fputs("Get Net Adapter Information.\r\n", stdout);
    std::fflush(stdout);
    return std::wstring();
  }
  const auto* adapter = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data());
  const size_t length = adapter->AddressLength < sizeof(adapter->Address)
                            ? adapter->AddressLength
                            : sizeof(adapter->Address);
  return FormatMacText(adapter->Address, length);
}

}  // namespace kavi
