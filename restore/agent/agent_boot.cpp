// Where the written Windows' boot files go and what the store must name:
// the partition the firmware starts from on the target's disk, read before
// the target changes, and the boot files placed after the write.
#include <cstdio>

#include "restore/agent/agent_run.h"
#include "restore/agent/image_boot_files.h"

namespace kavi {
namespace restore {
namespace {

constexpr size_t kStoreLimit = 16 << 20;

BcdPartition BcdPartitionOf(const FoundPartition& p) {
  BcdPartition b;
  b.gpt = p.style == DiskStyle::kGpt;
  b.signature = p.signature;
  b.offset = p.start;
  b.disk = p.diskGuid;
  b.partition = p.partitionGuid;
  return b;
}

// A loader entry id of the version 4 form, from the partition and the time:
// the new store holds no other entry of ours it could meet.
std::string NewEntryId(const FoundPartition& p, const std::string& time) {
  uint64_t h = 1469598103934665603ull;
  for (char c : p.device + time + std::to_string(p.start) + GuidText(p.partitionGuid)) {
    h = (h ^ static_cast<uint8_t>(c)) * 1099511628211ull;
  }
  const uint64_t l = h * 0x9E3779B97F4A7C15ull;
  char text[40];
  std::snprintf(text, sizeof text, "{%08x-%04x-4%03x-%04x-%012llx}", static_cast<uint32_t>(h >> 32),
                static_cast<uint32_t>(h >> 16) & 0xFFFF, static_cast<uint32_t>(h) & 0xFFF,
                0x8000 | (static_cast<uint32_t>(l >> 48) & 0x3FFF),
                static_cast<unsigned long long>(l & 0xFFFFFFFFFFFFull));
  return text;
}

// Names fit for an ASCII store entry; others read "Windows".
std::string EntryName(const std::string& imageName) {
  if (imageName.empty()) return "Windows";
  for (char c : imageName) {
    if (static_cast<uint8_t>(c) < 0x20 || static_cast<uint8_t>(c) > 0x7E) return "Windows";
  }
  return imageName;
}

}  // namespace

size_t AgentRun::FindBootPartition(size_t target, bool uefi) {
  const FoundPartition& t = parts_[target];
  if (uefi) {
    for (size_t i = 0; i < parts_.size(); ++i) {
      if (parts_[i].disk == t.disk && parts_[i].esp && parts_[i].fs == FsKind::kFat) return i;
    }
    return parts_.size();
  }
  std::vector<uint8_t> mbr;
  std::optional<uint64_t> active;
  if (host_.disks.Read("/dev/" + t.disk, 0, kSectorSize, &mbr)) active = ActivePartitionStart(mbr);
  if (!active) return target;
  for (size_t i = 0; i < parts_.size(); ++i) {
    if (parts_[i].disk == t.disk && parts_[i].start == *active) {
      const bool usable = parts_[i].fs == FsKind::kNtfs || parts_[i].fs == FsKind::kFat;
      return usable ? i : parts_.size();
    }
  }
  return parts_.size();
}

bool AgentRun::StartsThroughNtldr(size_t part) {
  const std::string dir = MountAs(part, false);
  return !dir.empty() && FindEntry(host_.volumes, dir, "ntldr") &&
         !FindEntry(host_.volumes, dir, "bootmgr");
}

void AgentRun::ReadMachineStore(bool uefi) {
  machineStore_.reset();
  if (bootPartition_ >= parts_.size()) return;
  const std::string dir = MountAs(bootPartition_, false);
  std::optional<std::string> path;
  if (!dir.empty()) path = ResolvePath(host_.volumes, dir, StorePath(uefi));
  if (path) machineStore_ = host_.volumes.ReadFile(*path, kStoreLimit);
}

Refusal AgentRun::PlaceBootFiles(size_t target, const std::vector<SavedFile>& saved,
                                 bool oldBootFilesBack) {
  host_.console.Step(ScreenStep::kBootFiles);
  storeReplaced_ = false;
  BootPlacement p;
  p.uefi = uefi_;
  p.windowsDir = MountAs(target, true);
  p.bootDir = bootPartition_ == target ? p.windowsDir : MountAs(bootPartition_, true);
  if (p.windowsDir.empty() || p.bootDir.empty()) {
    return Refuse(Failure::kBootFilesFailed, "the written or the boot partition cannot be opened");
  }
  p.bcd.windows = BcdPartitionOf(parts_[target]);
  p.bcd.boot = BcdPartitionOf(parts_[bootPartition_]);
  p.bcd.uefi = uefi_;
  p.bcd.loaderId = NewEntryId(parts_[target], host_.console.Timestamp());
  p.machineStore = machineStore_;
  p.description = EntryName(imageName_);
  BootFilesResult r;
  if (HasImageBootFiles(host_.volumes, p.windowsDir, uefi_)) {
    r = PlaceImageBootFiles(host_.volumes, host_.tools, p);
  } else if (!oldBootFilesBack && (uefi_ || HasBootFiles(host_.volumes, p.windowsDir))) {
    r = KeepOwnBootFiles(host_.volumes, host_.tools, p);
  } else {
    return PutBootFilesBack(target, saved);
  }
  for (const std::string& note : r.notes) log_.Add(note);
  if (!r.ok) return Refuse(Failure::kBootFilesFailed, r.detail);
  storeReplaced_ = bootPartition_ == target;
  // The image's boot manager took the loader's place.
  if (storeReplaced_) standIn_.clear();
  return Refusal{};
}

}  // namespace restore
}  // namespace kavi
