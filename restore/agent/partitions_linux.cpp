#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <optional>

#include "restore/agent/host_linux.h"

namespace kavi {
namespace restore {
namespace {

bool ReadNumber(const std::string& path, uint64_t* value) {
  std::ifstream in(path);
  unsigned long long v = 0;
  if (!(in >> v)) return false;
  *value = v;
  return true;
}

std::vector<std::string> DirNames(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return names;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] != '.') names.push_back(e->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool Skipped(const std::string& disk) {
  for (const char* prefix : {"loop", "ram", "zram", "sr", "fd"}) {
    if (disk.compare(0, std::char_traits<char>::length(prefix), prefix) == 0) return true;
  }
  return false;
}

// The primary GPT's used entries, when LBA 1 and the entry array read with
// good CRCs.
std::optional<std::vector<GptPartition>> ReadGpt(LinuxDisks& disks, const std::string& device,
                                                 uint32_t sectorSize, Guid* diskGuid) {
  std::vector<uint8_t> sector, entries;
  if (!disks.Read(device, sectorSize, sectorSize, &sector)) return std::nullopt;
  std::optional<GptHeader> header = ReadGptHeader(sector.data(), sector.size());
  if (!header ||
      !disks.Read(device, header->entriesLba * sectorSize, header->EntriesBytes(), &entries)) {
    return std::nullopt;
  }
  *diskGuid = header->diskGuid;
  return ReadGptEntries(*header, entries.data(), entries.size());
}

}  // namespace

std::vector<FoundPartition> LinuxDisks::Partitions() {
  std::vector<FoundPartition> found;
  for (const std::string& disk : DirNames("/sys/block")) {
    if (Skipped(disk)) continue;
    uint64_t sectorSize = kSectorSize;
    if (!ReadNumber("/sys/block/" + disk + "/queue/logical_block_size", &sectorSize) ||
        sectorSize < kSectorSize || sectorSize > 4096) {
      sectorSize = kSectorSize;
    }
    std::vector<uint8_t> mbr;
    if (!Read("/dev/" + disk, 0, sectorSize, &mbr)) continue;
    const uint32_t signature = MbrSignature(mbr.data(), mbr.size());
    bool protective = false;
    for (int slot = 1; slot <= 4; ++slot) {
      protective =
          protective || MbrPartitionType(mbr.data(), mbr.size(), slot) == kMbrProtectiveType;
    }
    Guid diskGuid;
    std::optional<std::vector<GptPartition>> gpt;
    if (protective) {
      gpt = ReadGpt(*this, "/dev/" + disk, static_cast<uint32_t>(sectorSize), &diskGuid);
    }
    std::vector<FoundPartition> onDisk;
    for (const std::string& name : DirNames("/sys/block/" + disk)) {
      const std::string sys = "/sys/block/" + disk + "/" + name;
      uint64_t number = 0, start = 0, size = 0;
      if (!ReadNumber(sys + "/partition", &number) || !ReadNumber(sys + "/start", &start) ||
          !ReadNumber(sys + "/size", &size)) {
        continue;
      }
      // Extended containers show as one or two sectors, or by their type.
      if (size <= 2) continue;
      const uint8_t type =
          number <= 4 ? MbrPartitionType(mbr.data(), mbr.size(), static_cast<int>(number)) : 0;
      if (!protective && IsExtendedType(type)) continue;
      FoundPartition p;
      p.device = "/dev/" + name;
      p.disk = disk;
      // sysfs counts 512-byte units whatever the disk's sector size.
      p.start = start * 512;
      p.length = size * 512;
      if (!protective) {
        p.signature = signature;
        p.esp = type == kMbrEspType;
      } else if (gpt) {
        p.style = DiskStyle::kGpt;
        p.diskGuid = diskGuid;
        ApplyGptEntry(*gpt, static_cast<uint32_t>(sectorSize), &p);
      } else {
        p.style = DiskStyle::kBadGpt;
      }
      std::vector<uint8_t> first;
      if (Read(p.device, 0, kSectorSize, &first)) p.fs = ClassifyVolume(first.data(), first.size());
      onDisk.push_back(p);
    }
    std::sort(onDisk.begin(), onDisk.end(),
              [](const FoundPartition& a, const FoundPartition& b) { return a.start < b.start; });
    found.insert(found.end(), onDisk.begin(), onDisk.end());
  }
  return found;
}

bool LinuxDisks::Read(const std::string& device, uint64_t offset, size_t size,
                      std::vector<uint8_t>* out) {
  const int fd = open(device.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out->assign(size, 0);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = pread(fd, out->data() + done, size - done, static_cast<off_t>(offset + done));
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  close(fd);
  return done == size;
}

bool LinuxDisks::Write(const std::string& device, uint64_t offset,
                       const std::vector<uint8_t>& bytes) {
  const int fd = open(device.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool ok = done == bytes.size() && fsync(fd) == 0;
  return close(fd) == 0 && ok;
}

}  // namespace restore
}  // namespace kavi
