#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>

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

constexpr const char* kGlobalGuid = "8be4df61-93ca-11d2-aa0d-00e098032b8c";
constexpr uint32_t kBootNextAttributes = 0x7;  // non-volatile, boot and run time access

std::string VariablePath(const std::string& name) {
  return std::string(kEfivars) + "/" + name + "-" + kGlobalGuid;
}

std::string BootName(uint16_t number) {
  char name[16];
  std::snprintf(name, sizeof name, "Boot%04X", number);
  return name;
}

std::optional<std::string> ReadVariable(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string bytes;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  if (n != 0 || bytes.size() < 4) return std::nullopt;
  return bytes.substr(4);
}

// efivarfs is mounted read-only, and marks most variables immutable.
bool MakeWritable(const std::string& path) {
  if (mount("efivarfs", kEfivars, "efivarfs", MS_REMOUNT | MS_NOSUID | MS_NODEV | MS_NOEXEC,
            nullptr) != 0) {
    return false;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  int flags = 0;
  bool ok = true;
  if (ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL)) {
    flags &= ~FS_IMMUTABLE_FL;
    ok = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  close(fd);
  return ok;
}

std::optional<uint16_t> BootNext() {
  std::optional<std::string> value = ReadVariable(VariablePath("BootNext"));
  if (!value || value->size() != 2) return std::nullopt;
  return static_cast<uint16_t>(static_cast<unsigned char>((*value)[0]) |
                               static_cast<unsigned char>((*value)[1]) << 8);
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

std::vector<LoadOption> LinuxFirmware::LoadOptions() {
  std::vector<LoadOption> options;
  if (!State().uefi) return options;
  DIR* dir = opendir(kEfivars);
  if (!dir) return options;
  const std::string suffix = std::string("-") + kGlobalGuid;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.size() != 8 + suffix.size() || name.compare(0, 4, "Boot") != 0 ||
        name.compare(8, std::string::npos, suffix) != 0 ||
        name.find_first_not_of("0123456789ABCDEF", 4) != 8) {
      continue;
    }
    std::optional<std::string> value = ReadVariable(std::string(kEfivars) + "/" + name);
    if (value) {
      options.push_back(LoadOption{
          static_cast<uint16_t>(std::strtoul(name.substr(4, 4).c_str(), nullptr, 16)), *value});
    }
  }
  closedir(dir);
  return options;
}

bool LinuxFirmware::SetBootNext(uint16_t number) {
  const std::string path = VariablePath("BootNext");
  if (!State().uefi || !MakeWritable(path)) return false;
  char bytes[6];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(kBootNextAttributes >> (8 * i));
  bytes[4] = static_cast<char>(number & 0xFF);
  bytes[5] = static_cast<char>(number >> 8);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool ok = write(fd, bytes, sizeof bytes) == static_cast<ssize_t>(sizeof bytes);
  return close(fd) == 0 && ok;
}

bool LinuxFirmware::DeleteLoadOption(uint16_t number) {
  if (!State().uefi) return false;
  if (BootNext() == number) {
    const std::string next = VariablePath("BootNext");
    if (!MakeWritable(next) || unlink(next.c_str()) != 0) return false;
  }
  const std::string path = VariablePath(BootName(number));
  return MakeWritable(path) && unlink(path.c_str()) == 0;
}

}  // namespace restore
}  // namespace kavi
