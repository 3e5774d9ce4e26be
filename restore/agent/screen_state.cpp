#include "restore/agent/screen_state.h"

#include <cctype>

namespace kavi {
namespace restore {

std::string ImageShownAs(const std::string& path) {
  const size_t start = path.find_first_not_of('/');
  std::string shown = start == std::string::npos ? std::string() : path.substr(start);
  for (char& c : shown) {
    if (c == '/') c = '\\';
  }
  return shown;
}

ScreenTask ScreenTaskOf(bool dump, const std::string& imagePath) {
  if (dump) return ScreenTask::kBackup;
  std::string name = imagePath.substr(imagePath.rfind('/') + 1);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name == "SYS.GHO" ? ScreenTask::kRestore : ScreenTask::kInstall;
}

}  // namespace restore
}  // namespace kavi
