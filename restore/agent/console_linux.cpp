#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "restore/agent/host_linux.h"

namespace kavi {
namespace restore {

LinuxConsole::LinuxConsole() : screen_(FramebufferScreen::Open()) {
  for (const char* path : {"/dev/tty0", "/dev/ttyS0"}) {
    // A serial port without carrier would block the open; once open, the
    // writes may wait for the line so the last words are not dropped.
    const int fd = open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) continue;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fds_.push_back(fd);
    // The screen still shows the loader's and the kernel's lines: start on
    // a clean one, where the user reads only what this program says.
    static const char kClear[] = "\033[2J\033[H";
    if (fds_.size() == 1 && write(fd, kClear, sizeof kClear - 1) < 0) {
      // Not cleared: the lines that follow show all the same.
    }
  }
  // Run by hand outside the restore environment: the terminal it runs in.
  if (fds_.empty()) fds_.push_back(dup(1));
  Show();
}

LinuxConsole::~LinuxConsole() {
  for (int fd : fds_) close(fd);
}

void LinuxConsole::WriteAll(const std::string& text) {
  for (int fd : fds_) {
    size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = write(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
  }
}

void LinuxConsole::Line(const std::string& text) {
  WriteAll((progressShown_ ? "\r\n" : "") + text + "\r\n");
  progressShown_ = false;
}

void LinuxConsole::Progress(const std::string& text) {
  // Padded so a shorter status covers the longer one before it.
  std::string padded = text;
  if (padded.size() < 60) padded.resize(60, ' ');
  WriteAll("\r" + padded);
  progressShown_ = true;
}

void LinuxConsole::Show() {
  if (screen_) screen_->Show(state_);
}

void LinuxConsole::Task(ScreenTask task, const std::string& name) {
  state_.task = task;
  state_.name = name;
  Show();
}

void LinuxConsole::Step(ScreenStep step) {
  state_.step = step;
  // The end of the task fills the bar; a new step starts without one.
  state_.percent = step == ScreenStep::kDone ? 100 : -1;
  state_.megabytesPerSecond = -1;
  state_.secondsLeft = -1;
  Show();
}

void LinuxConsole::Meter(int percent, double megabytesPerSecond, long secondsLeft) {
  state_.percent = percent;
  state_.megabytesPerSecond = megabytesPerSecond;
  state_.secondsLeft = secondsLeft;
  Show();
}

void LinuxConsole::Failed(const std::string& code, int restartSeconds) {
  state_.failed = true;
  state_.failureCode = code;
  state_.restartSeconds = restartSeconds;
  Show();
}

double LinuxConsole::Seconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

std::string LinuxConsole::Timestamp() {
  // The PC clock holds Windows' local time and the kernel reads it as UTC.
  const time_t now = time(nullptr);
  tm parts;
  gmtime_r(&now, &parts);
  char text[32];
  strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

}  // namespace restore
}  // namespace kavi
