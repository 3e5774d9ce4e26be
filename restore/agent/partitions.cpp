#include "restore/agent/partitions.h"

#include <cstdio>
#include <cstring>
#include <set>

namespace kavi {
namespace restore {
namespace {

bool Has(const uint8_t* sector, size_t at, const char* text) {
  return std::memcmp(sector + at, text, std::strlen(text)) == 0;
}

std::string Hex8(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof(text), "%08X", value);
  return text;
}

}  // namespace

const char* FsKindName(FsKind kind) {
  switch (kind) {
    case FsKind::kNtfs:
      return "NTFS";
    case FsKind::kFat:
      return "FAT";
    case FsKind::kBitLocker:
      return "BitLocker";
    case FsKind::kOther:
      return "other";
  }
  return "other";
}

FsKind ClassifyVolume(const uint8_t* sector, size_t size) {
  if (size < kSectorSize) return FsKind::kOther;
  if (Has(sector, 3, "NTFS    ")) return FsKind::kNtfs;
  if (Has(sector, 3, "-FVE-FS-")) return FsKind::kBitLocker;
  const bool signed55aa = sector[510] == 0x55 && sector[511] == 0xAA;
  if (signed55aa && (Has(sector, 0x36, "FAT") || Has(sector, 0x52, "FAT32   "))) {
    return FsKind::kFat;
  }
  return FsKind::kOther;
}

uint32_t MbrSignature(const uint8_t* sector, size_t size) {
  if (size < 444) return 0;
  return uint32_t(sector[440]) | uint32_t(sector[441]) << 8 | uint32_t(sector[442]) << 16 |
         uint32_t(sector[443]) << 24;
}

uint8_t MbrPartitionType(const uint8_t* sector, size_t size, int slot) {
  if (size < kSectorSize || slot < 1 || slot > 4) return 0;
  if (sector[510] != 0x55 || sector[511] != 0xAA) return 0;
  return sector[446 + 16 * (slot - 1) + 4];
}

bool IsExtendedType(uint8_t type) {
  return type == 0x05 || type == 0x0F || type == 0x85;
}

Resolution ResolveDesignations(const std::vector<Designation>& wanted,
                               const std::vector<DiskRecordLine>& record,
                               const std::vector<FoundPartition>& found, size_t taskPartition) {
  Resolution result;
  auto mismatch = [&](const std::string& detail) {
    result.refusal =
        Refuse(Failure::kRecordMismatch, "the disk record does not match the disks: " + detail);
    result.partitions.clear();
    return result;
  };
  std::vector<const DiskRecordLine*> lines;
  for (const Designation& d : wanted) {
    const DiskRecordLine* line = nullptr;
    for (const DiskRecordLine& l : record) {
      if (l.designation == d) line = &l;
    }
    if (line == nullptr) return mismatch(DesignationText(d) + " has no line");
    std::set<std::string> disks;
    for (const FoundPartition& p : found) {
      if (p.signature == line->signature) disks.insert(p.disk);
    }
    if (disks.size() != 1) {
      return mismatch("signature " + Hex8(line->signature) + " is on " +
                      std::to_string(disks.size()) + " disks");
    }
    size_t match = found.size();
    int matches = 0;
    for (size_t i = 0; i < found.size(); ++i) {
      const FoundPartition& p = found[i];
      if (p.signature == line->signature && p.start == line->start && p.length == line->length) {
        match = i;
        ++matches;
      }
    }
    if (matches != 1) {
      return mismatch(DesignationText(d) + " matches " + std::to_string(matches) + " partitions");
    }
    lines.push_back(line);
    result.partitions.push_back(match);
  }
  for (size_t a = 0; a < wanted.size(); ++a) {
    for (size_t b = a + 1; b < wanted.size(); ++b) {
      const bool sameDisk = wanted[a].disk == wanted[b].disk;
      const bool sameSignature = lines[a]->signature == lines[b]->signature;
      if (sameDisk != sameSignature) {
        return mismatch(DesignationText(wanted[a]) + " and " + DesignationText(wanted[b]) +
                        (sameDisk ? " name one disk with two signatures"
                                  : " name two disks with one signature"));
      }
    }
    if (wanted[a].disk == 1 && found[result.partitions[a]].disk != found[taskPartition].disk) {
      return mismatch("Ghost disk 1 is not the disk holding the task");
    }
  }
  return result;
}

}  // namespace restore
}  // namespace kavi
