// kavi-screen-render: draws the next-boot screen for a given state into a
// PPM file, through the agent's own drawing code, and prints where its parts
// are. The QEMU tests compare regions of the machine's screen with it; it
// also makes pictures of states a test boot does not reach.
//
//   kavi-screen-render WIDTH HEIGHT OUT.ppm [task=install|backup|restore]
//       [step=find|verify|format|write|bootfiles|capture|verifybackup|done]
//       [percent=N] [rate=MBPS] [left=SECONDS] [name=UTF8] [failed=CODE]
//       [restart=SECONDS]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "restore/agent/screen_view.h"

using namespace kavi::restore;

namespace {

void PrintRect(const char* name, const ScreenRect& r) {
  std::printf("%s %d %d %d %d\n", name, r.x, r.y, r.width, r.height);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: kavi-screen-render WIDTH HEIGHT OUT.ppm [key=value...]\n");
    return 2;
  }
  const int width = std::atoi(argv[1]), height = std::atoi(argv[2]);
  if (width < 640 || height < 480 || width > 8192 || height > 8192) {
    std::fprintf(stderr, "kavi-screen-render: %dx%d is no screen size\n", width, height);
    return 2;
  }
  static const std::map<std::string, ScreenTask> kTasks = {{"install", ScreenTask::kInstall},
                                                           {"backup", ScreenTask::kBackup},
                                                           {"restore", ScreenTask::kRestore}};
  static const std::map<std::string, ScreenStep> kSteps = {
      {"find", ScreenStep::kFind},
      {"verify", ScreenStep::kVerify},
      {"format", ScreenStep::kFormat},
      {"write", ScreenStep::kWrite},
      {"bootfiles", ScreenStep::kBootFiles},
      {"capture", ScreenStep::kCapture},
      {"verifybackup", ScreenStep::kVerifyBackup},
      {"done", ScreenStep::kDone}};
  ScreenState state;
  for (int i = 4; i < argc; ++i) {
    const char* eq = std::strchr(argv[i], '=');
    const std::string key(argv[i], eq ? eq - argv[i] : std::strlen(argv[i]));
    const std::string value = eq ? eq + 1 : "";
    if (key == "task" && kTasks.count(value)) {
      state.task = kTasks.at(value);
    } else if (key == "step" && kSteps.count(value)) {
      state.step = kSteps.at(value);
    } else if (key == "percent") {
      state.percent = std::atoi(value.c_str());
    } else if (key == "rate") {
      state.megabytesPerSecond = std::atof(value.c_str());
    } else if (key == "left") {
      state.secondsLeft = std::atol(value.c_str());
    } else if (key == "name") {
      state.name = value;
    } else if (key == "failed") {
      state.failed = true;
      state.failureCode = value;
    } else if (key == "restart") {
      state.restartSeconds = std::atoi(value.c_str());
    } else {
      std::fprintf(stderr, "kavi-screen-render: unknown %s\n", argv[i]);
      return 2;
    }
  }
  Canvas canvas(width, height);
  DrawScreen(state, ScreenRect{0, 0, width, height}, &canvas);
  FILE* out = std::fopen(argv[3], "wb");
  if (!out) {
    std::fprintf(stderr, "kavi-screen-render: cannot write %s\n", argv[3]);
    return 1;
  }
  std::fprintf(out, "P6\n%d %d\n255\n", width, height);
  for (uint32_t p : canvas.pixels) {
    const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16),
                                  static_cast<unsigned char>(p >> 8),
                                  static_cast<unsigned char>(p)};
    std::fwrite(rgb, 1, 3, out);
  }
  const bool written = std::fclose(out) == 0;
  const ScreenLayout l = LayoutScreen(width, height);
  PrintRect("title", l.title);
  PrintRect("task", l.task);
  PrintRect("steps", l.steps);
  PrintRect("bar", l.bar);
  PrintRect("figures", l.figures);
  PrintRect("name", l.name);
  PrintRect("warning", l.warning);
  return written ? 0 : 1;
}
