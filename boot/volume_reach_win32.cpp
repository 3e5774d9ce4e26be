#include <windows.h>

#include "boot/volume_reach.h"
#include "host/text.h"

namespace kavi {

std::wstring VolumeFileSystemName(wchar_t letter) {
  const std::wstring root = Format(L"%lc:\\", letter);
  wchar_t name[MAX_PATH + 1] = {};
  if (!GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, name,
                             MAX_PATH + 1)) {
    return std::wstring();
  }
  return name;
}

}  // namespace kavi
