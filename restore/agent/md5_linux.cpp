// "kavi-agent --md5 FILE": the file's MD5 as md5sum prints it, read in
// pieces of 1 MiB. The image's check runs this rather than busybox's
// md5sum, whose compact MD5 takes three times as long under QEMU's
// emulation (natively the two are level).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "download/md5.h"
#include "restore/agent/host_linux.h"

namespace kavi {
namespace restore {

int PrintFileMd5(const char* path) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 1;
  std::vector<char> buffer(1 << 20);
  Md5 md5;
  for (;;) {
    const ssize_t n = read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return 1;
    }
    if (n == 0) break;
    md5.Update(buffer.data(), static_cast<size_t>(n));
  }
  close(fd);
  std::printf("%s  %s\n", md5.FinalHex().c_str(), path);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace restore
}  // namespace kavi
