#include "restore/agent/screen_state.h"

#include <cctype>

namespace kavi {
namespace restore {

std::string ImageNameOf(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

ScreenTask ScreenTaskOf(bool dump, const std::string& imagePath) {
  if (dump) return ScreenTask::kBackup;
  std::string name = ImageNameOf(imagePath);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name == "SYS.GHO" ? ScreenTask::kRestore : ScreenTask::kInstall;
}

}  // namespace restore
}  // namespace kavi
