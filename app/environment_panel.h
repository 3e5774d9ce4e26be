// The right panel's host facts and the start page's reinstall reminder.
#pragma once

#include <cstdint>
#include <string>

namespace kavi {

struct EnvironmentTexts {
  std::wstring currentSystem;    // labcursystem
  std::wstring memory;           // labmemory
  std::wstring systemPartition;  // labsystempath
  std::wstring downloadPath;     // labdownpath (its tooltip is the bare folder)
};

EnvironmentTexts MakeEnvironmentTexts(int32_t windowsEdition, uint64_t totalPhysicalBytes,
                                      wchar_t systemDrive, const std::wstring& downloadFolder);

struct ReminderTexts {
  std::wstring backStatus;  // labbackstatus: how long ago Windows was installed
  std::wstring tips1;
  std::wstring tips2;
};

ReminderTexts MakeReminderTexts(int64_t now, uint64_t installDate);

}  // namespace kavi
