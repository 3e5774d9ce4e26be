// The download page's texts, from what the engine reports.
#pragma once

#include <cstdint>
#include <string>

namespace kavi {

struct ProgressTexts {
  std::wstring fileSize;    // labfilesize
  std::wstring speed;       // labdownspeed
  std::wstring pathTip;     // btnfilename's tooltip
  std::wstring pathLink;    // btnfilename's text
  std::wstring percent;     // labdownpro
  std::wstring status;      // labdownstatus
  std::wstring remaining;   // labremaintime
  std::wstring downloaded;  // labdownloaded
};

std::wstring SpeedText(int32_t bytesPerSecond);
std::wstring RemainingTimeText(int64_t totalSize, int64_t downloaded, int32_t bytesPerSecond);

ProgressTexts MakeProgressTexts(const std::wstring& downloadFolder, const std::wstring& savedName,
                                int64_t totalSize, int64_t downloaded, float fraction,
                                int32_t bytesPerSecond);

}  // namespace kavi
