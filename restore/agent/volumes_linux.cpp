#include <dirent.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "restore/agent/host_linux.h"

namespace kavi {
namespace restore {
namespace {

constexpr const char* kMountRoot = "/run/kavi";

bool WriteAllTo(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool WriteWith(const std::string& path, const std::string& bytes, int flags) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | flags, 0644);
  if (fd < 0) return false;
  const bool ok = WriteAllTo(fd, bytes) && fsync(fd) == 0;
  return close(fd) == 0 && ok;
}

bool IsDirectoryPath(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string LinuxVolumes::Mount(const FoundPartition& partition, bool writable) {
  const std::string name = partition.device.substr(partition.device.rfind('/') + 1);
  const std::string dir = std::string(kMountRoot) + "/" + name;
  mkdir(kMountRoot, 0755);
  mkdir(dir.c_str(), 0755);
  if (partition.fs == FsKind::kNtfs) {
    std::vector<std::string> argv = {"ntfs-3g", partition.device, dir};
    if (!writable) argv.insert(argv.begin() + 1, {"-o", "ro"});
    if (tools_.Run(argv, nullptr, nullptr) != 0) return std::string();
    // ntfs-3g falls back to a read-only mount of a hibernated or unsafe
    // volume and still exits 0: such a mount is no writable one.
    struct statvfs st;
    if (writable && (statvfs(dir.c_str(), &st) != 0 || (st.f_flag & ST_RDONLY))) {
      Unmount(dir);
      return std::string();
    }
    return dir;
  }
  if (partition.fs == FsKind::kFat) {
    const unsigned long flags = writable ? 0 : MS_RDONLY;
    // Names in UTF-8 through nls_utf8: the driver loads an I/O character
    // set even with "utf8", and its default (ascii) is not in the
    // environment. Short names of Chinese Windows are in code page 936;
    // without that module, long names (UTF-16 on disk) still read right.
    for (const char* options :
         {"iocharset=utf8,shortname=mixed,codepage=936", "iocharset=utf8,shortname=mixed"}) {
      if (mount(partition.device.c_str(), dir.c_str(), "vfat", flags, options) == 0) return dir;
    }
  }
  return std::string();
}

bool LinuxVolumes::Unmount(const std::string& dir) {
  // fuseblk waits for ntfs-3g to close the volume, so the data is out.
  return umount2(dir.c_str(), 0) == 0;
}

std::optional<std::vector<DirEntry>> LinuxVolumes::List(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return std::nullopt;
  std::vector<DirEntry> entries;
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    DirEntry entry;
    entry.name = name;
    entry.directory =
        e->d_type == DT_DIR || (e->d_type == DT_UNKNOWN && IsDirectoryPath(dir + "/" + name));
    entries.push_back(entry);
  }
  closedir(d);
  return entries;
}

std::optional<std::string> LinuxVolumes::ReadFile(const std::string& path, size_t limit) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  bool ok = true;
  while (bytes.size() < limit) {
    const ssize_t n = read(fd, buffer, std::min(sizeof(buffer), limit - bytes.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  if (!ok) return std::nullopt;
  return bytes;
}

bool LinuxVolumes::WriteFile(const std::string& path, const std::string& bytes) {
  return WriteWith(path, bytes, O_TRUNC);
}

bool LinuxVolumes::AppendFile(const std::string& path, const std::string& bytes) {
  return WriteWith(path, bytes, O_APPEND);
}

bool LinuxVolumes::MakeDirectory(const std::string& path) {
  return mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && IsDirectoryPath(path));
}

bool LinuxVolumes::Remove(const std::string& path) {
  if (!IsDirectoryPath(path)) return unlink(path.c_str()) == 0 || errno == ENOENT;
  std::optional<std::vector<DirEntry>> entries = List(path);
  if (!entries) return false;
  for (const DirEntry& e : *entries) {
    if (!Remove(path + "/" + e.name)) return false;
  }
  return rmdir(path.c_str()) == 0;
}

bool LinuxVolumes::Rename(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

namespace {
constexpr const char* kNtfsAcl = "system.ntfs_acl";
}  // namespace

bool LinuxVolumes::SetSecurity(const std::string& path, const std::string& descriptor) {
  return setxattr(path.c_str(), kNtfsAcl, descriptor.data(), descriptor.size(), 0) == 0;
}

std::optional<std::string> LinuxVolumes::ReadSecurity(const std::string& path) {
  char bytes[4096];
  const ssize_t size = getxattr(path.c_str(), kNtfsAcl, bytes, sizeof bytes);
  if (size < 0) return std::nullopt;
  return std::string(bytes, static_cast<size_t>(size));
}

}  // namespace restore
}  // namespace kavi
