// The members of the skin the program ships (resources/skin), read as they
// are at test time, for the tests and the benchmark.
#pragma once

#include <string>

#include "ui/skin_resources.h"

namespace SkinUI {
namespace testing {

// The bytes of a shipped member; empty when it cannot be read.
inline std::string ShippedMember(const wchar_t* name) {
  SkinResources folder;
  folder.UseFolder(KAVI_SKIN_DIR);
  std::string bytes;
  std::wstring error;
  folder.ReadMember(name, &bytes, &error);
  return bytes;
}

}  // namespace testing
}  // namespace SkinUI
