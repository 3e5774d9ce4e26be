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

namespace {

uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

uint32_t MbrSignature(const uint8_t* sector, size_t size) {
  if (size < 444) return 0;
  return Le32(sector + 440);
}

std::optional<uint64_t> ActivePartitionStart(const std::vector<uint8_t>& mbr) {
  if (mbr.size() < 512 || mbr[510] != 0x55 || mbr[511] != 0xAA) return std::nullopt;
  for (int slot = 0; slot < 4; ++slot) {
    const uint8_t* e = &mbr[446 + 16 * slot];
    if (e[0] != 0x80 || e[4] == 0) continue;
    return uint64_t{Le32(e + 8)} * 512;
  }
  return std::nullopt;
}

uint8_t MbrPartitionType(const uint8_t* sector, size_t size, int slot) {
  if (size < kSectorSize || slot < 1 || slot > 4) return 0;
  if (sector[510] != 0x55 || sector[511] != 0xAA) return 0;
  return sector[446 + 16 * (slot - 1) + 4];
}

bool IsExtendedType(uint8_t type) {
  return type == 0x05 || type == 0x0F || type == 0x85;
}

std::string DiskIdentity(const FoundPartition& p) {
  switch (p.style) {
    case DiskStyle::kMbr:
      return "mbr=" + Hex8(p.signature);
    case DiskStyle::kGpt:
      return "gpt=" + GuidText(p.diskGuid);
    case DiskStyle::kBadGpt:
      break;
  }
  return std::string();
}

std::string DiskIdentity(const DiskRecordLine& line) {
  return line.gpt ? "gpt=" + GuidText(line.diskGuid) : "mbr=" + Hex8(line.signature);
}

void ApplyGptEntry(const std::vector<GptPartition>& entries, uint32_t sectorSize,
                   FoundPartition* p) {
  for (const GptPartition& e : entries) {
    if (e.lastLba < e.firstLba || e.firstLba * sectorSize != p->start ||
        (e.lastLba - e.firstLba + 1) * sectorSize != p->length) {
      continue;
    }
    p->partitionGuid = e.unique;
    p->esp = e.type == EspType();
    return;
  }
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
    const std::string identity = DiskIdentity(*line);
    std::set<std::string> disks;
    for (const FoundPartition& p : found) {
      if (DiskIdentity(p) == identity) disks.insert(p.disk);
    }
    if (disks.size() != 1) {
      return mismatch(identity + " is on " + std::to_string(disks.size()) + " disks");
    }
    size_t match = found.size();
    int matches = 0;
    for (size_t i = 0; i < found.size(); ++i) {
      const FoundPartition& p = found[i];
      if (DiskIdentity(p) == identity && p.start == line->start && p.length == line->length &&
          (!line->gpt || p.partitionGuid == line->partitionGuid)) {
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
      const bool sameIdentity = DiskIdentity(*lines[a]) == DiskIdentity(*lines[b]);
      if (sameDisk != sameIdentity) {
        return mismatch(DesignationText(wanted[a]) + " and " + DesignationText(wanted[b]) +
                        (sameDisk ? " name one disk with two identities"
                                  : " name two disks with one identity"));
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
