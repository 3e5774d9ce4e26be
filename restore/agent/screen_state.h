// What the next-boot screen shows: the task, its step, the progress of the
// step and, at the end, why it failed. The agent reports these through its
// Console; the screen draws them (screen_view).
#pragma once

#include <string>

namespace kavi {
namespace restore {

enum class ScreenTask { kUnknown, kInstall, kBackup, kRestore };

// In the order a task goes through them.
enum class ScreenStep {
  kFind,
  kVerify,
  kFormat,
  kWrite,
  kBootFiles,
  kCapture,
  kVerifyBackup,
  kDone,
};

struct ScreenState {
  ScreenTask task = ScreenTask::kUnknown;
  ScreenStep step = ScreenStep::kFind;
  int percent = -1;  // of the step; none below 0
  double megabytesPerSecond = -1;
  long secondsLeft = -1;
  std::string name;  // the image, UTF-8
  bool failed = false;
  std::string failureCode;  // "image-corrupt", ...
  int restartSeconds = 0;   // below 0: no restart
};

// What the user sees the task as: a dump backs the system up; a load of the
// backup "SYS.GHO" restores it; any other load installs a new system.
ScreenTask ScreenTaskOf(bool dump, const std::string& imagePath);

// The image's path as Windows writes it, from the partition's root:
// "/系统镜像/Windows 10.wim" -> "系统镜像\Windows 10.wim".
std::string ImageShownAs(const std::string& path);

}  // namespace restore
}  // namespace kavi
