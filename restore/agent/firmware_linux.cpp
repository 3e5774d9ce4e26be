#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>

#include "restore/agent/host_linux.h"

namespace kavi {
namespace restore {
namespace {

constexpr const char* kEfiDir = "/sys/firmware/efi";
constexpr const char* kEfivars = "/sys/firmware/efi/efivars";
constexpr const char* kSecureBoot =
    "/sys/firmware/efi/efivars/SecureBoot-8be4df61-93ca-11d2-aa0d-00e098032b8c";
constexpr uint32_t kEfivarfsMagic = 0xde5e81e4;

bool IsEfivarfs(const char* dir) {
  struct statfs fs;
  return statfs(dir, &fs) == 0 && static_cast<uint32_t>(fs.f_type) == kEfivarfsMagic;
}

bool MountEfivarfs() {
  return mount("efivarfs", kEfivars, "efivarfs", MS_RDONLY | MS_NOSUID | MS_NODEV | MS_NOEXEC,
               nullptr) == 0;
}

std::optional<bool> ReadLongMode() {
  const int fd = open("/proc/cpuinfo", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char buffer[4096];
  ssize_t n;
  // The first processor's lines are enough.
  while (text.size() < (64 << 10) && (n = read(fd, buffer, sizeof buffer)) > 0)
    text.append(buffer, n);
  close(fd);
  return LongModeFromCpuinfo(text);
}

}  // namespace

FirmwareState LinuxFirmware::State() {
  FirmwareState state;
  struct stat st;
  // The kernel makes this directory only when UEFI started it.
  state.uefi = stat(kEfiDir, &st) == 0 && S_ISDIR(st.st_mode);
  state.longMode = ReadLongMode();
  if (!state.uefi) return state;
  if (!IsEfivarfs(kEfivars) && !MountEfivarfs()) {
    // Debian builds efivarfs as a module, which the environment's /init
    // need not have loaded.
    if (tools_.Run({"modprobe", "-q", "efivarfs"}, nullptr, nullptr) != 0 || !MountEfivarfs()) {
      return state;
    }
  }
  const int fd = open(kSecureBoot, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    // Firmware without Secure Boot has no such variable at all.
    if (errno == ENOENT) state.secureBoot = false;
    return state;
  }
  char buffer[16];
  ssize_t n;
  do {
    n = read(fd, buffer, sizeof buffer);
  } while (n < 0 && errno == EINTR);
  close(fd);
  if (n > 0) state.secureBoot = SecureBootFromVariable(std::string(buffer, static_cast<size_t>(n)));
  return state;
}

}  // namespace restore
}  // namespace kavi
