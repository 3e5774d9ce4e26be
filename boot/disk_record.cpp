#include "boot/disk_record.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace kavi {
namespace {

// A decimal number from 1 to 9999 at `at`, which moves past it.
int PositiveNumber(const std::wstring& text, size_t* at) {
  int value = 0;
  size_t digits = 0;
  while (*at < text.size() && text[*at] >= L'0' && text[*at] <= L'9' && digits < 5) {
    value = value * 10 + (text[(*at)++] - L'0');
    ++digits;
  }
  return digits > 0 && digits < 5 ? value : 0;
}

// "d:p" with both numbers positive and nothing else.
bool ParseDesignation(const std::wstring& text, int* disk, int* position) {
  size_t at = 0;
  *disk = PositiveNumber(text, &at);
  if (*disk == 0 || at >= text.size() || text[at++] != L':') return false;
  *position = PositiveNumber(text, &at);
  return *position > 0 && at == text.size();
}

}  // namespace

int DiskIndexOfGhostDisk(int ghostDisk, int referenceDisk, size_t diskCount) {
  if (ghostDisk < 1 || referenceDisk < 0) return -1;
  int index = referenceDisk;
  if (ghostDisk > 1) index = ghostDisk - 2 < referenceDisk ? ghostDisk - 2 : ghostDisk - 1;
  return static_cast<size_t>(index) < diskCount ? index : -1;
}

std::optional<std::string> BuildDiskRecord(const DiskList& disks, int referenceDisk,
                                           const std::vector<std::wstring>& designations) {
  std::string record = "KAVI-DISKMAP 1\r\n";
  std::vector<std::wstring> written;
  for (const std::wstring& designation : designations) {
    if (std::find(written.begin(), written.end(), designation) != written.end()) continue;
    int ghostDisk = 0;
    int position = 0;
    if (!ParseDesignation(designation, &ghostDisk, &position)) return std::nullopt;
    const int index = DiskIndexOfGhostDisk(ghostDisk, referenceDisk, disks.size());
    if (index < 0) return std::nullopt;
    const DiskEntry& disk = disks[index];
    if (!disk.layoutRead || static_cast<size_t>(position) > disk.partitions.size()) {
      return std::nullopt;
    }
    const PartitionRecord& partition = disk.partitions[position - 1];
    char line[192];
    if (disk.gpt) {
      std::snprintf(line, sizeof(line),
                    "%d:%d gpt=%s part=%s start=%" PRId64 " length=%" PRId64 "\r\n", ghostDisk,
                    position, FormatGuid(disk.diskId).c_str(), FormatGuid(partition.gptId).c_str(),
                    partition.startingOffset, partition.length);
    } else {
      std::snprintf(line, sizeof(line),
                    "%d:%d mbr=%08" PRIX32 " start=%" PRId64 " length=%" PRId64 "\r\n", ghostDisk,
                    position, disk.mbrSignature, partition.startingOffset, partition.length);
    }
    record += line;
    written.push_back(designation);
  }
  return record;
}

}  // namespace kavi
