#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "restore/agent/host_linux.h"

namespace kavi {
namespace restore {
namespace {

// Enough for `wimlib-imagex info` of an image with many editions.
constexpr size_t kOutputLimit = 1 << 20;

}  // namespace

int LinuxTools::Run(const std::vector<std::string>& argv,
                    const std::function<void(const std::string&)>& onLine, std::string* output) {
  if (argv.empty()) return -1;
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    close(pipeFds[0]);
    close(pipeFds[1]);
    return -1;
  }
  if (pid == 0) {
    // stdout and stderr both carry wimlib-imagex's progress and messages.
    dup2(pipeFds[1], 1);
    dup2(pipeFds[1], 2);
    const int null = open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, 0);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(pipeFds[1]);
  std::string line;
  bool cutShort = false;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(pipeFds[0], buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      const char c = buffer[i];
      if (output != nullptr) {
        if (output->size() < kOutputLimit) {
          *output += c;
        } else {
          cutShort = true;
        }
      }
      if (c == '\r' || c == '\n') {
        if (!line.empty() && onLine) onLine(line);
        line.clear();
      } else if (line.size() < 4096) {
        line += c;
      }
    }
  }
  if (!line.empty() && onLine) onLine(line);
  close(pipeFds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  // Output that did not fit is not handed on as if it were whole.
  if (cutShort) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace restore
}  // namespace kavi
