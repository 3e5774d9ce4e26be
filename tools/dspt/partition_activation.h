// The layout logic of dspt.exe, our partition activation tool: find the
// partition at a 1-based position in the order of the program's disk map
// (numbered partitions among the first 30 layout entries, ascending by
// starting offset) and mark it active and every other partition inactive,
// in the raw DRIVE_LAYOUT_INFORMATION_EX bytes that the disk IOCTLs read and
// write. Only a primary partition of an MBR disk can be made active.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kavi {

struct DsptArguments {
  int disk = 0;
  int position = 0;
};

// "DISK /act:POSITION" (the switch in either case); none when malformed.
std::optional<DsptArguments> ParseDsptArguments(const std::vector<std::wstring>& arguments);

// Offsets inside a PARTITION_INFORMATION_EX entry of an MBR layout.
constexpr size_t kEntryRewritePartition = 28;
constexpr size_t kEntryMbrPartitionType = 32;
constexpr size_t kEntryMbrBootIndicator = 33;

// Primary partitions are the first four entries of an MBR layout; logical
// drives follow in groups of four per extended boot record.
constexpr size_t kPrimaryEntries = 4;

enum class ActivationOutcome {
  kActivated,
  kLayoutTooShort,  // not even the header, or fewer entries than it counts
  kNotMbr,          // GPT or raw: there is no active flag
  kNoSuchPosition,  // fewer numbered partitions than the position
  kNotPrimary,      // a logical drive cannot start the machine
};

struct Activation {
  ActivationOutcome outcome = ActivationOutcome::kLayoutTooShort;
  size_t entryIndex = 0;         // the layout entry of the position found
  uint32_t partitionNumber = 0;  // its Windows partition number
  size_t layoutSize = 0;         // bytes to hand to IOCTL_DISK_SET_DRIVE_LAYOUT_EX
};

// Changes `layout` in place only when the outcome is kActivated: the boot
// indicator of the target entry is set, those of all other entries cleared,
// and every entry is marked for rewriting.
Activation ActivatePartition(std::vector<uint8_t>& layout, int position);

// What dspt prints about an outcome.
std::wstring DescribeActivation(const Activation& activation, const DsptArguments& arguments);

}  // namespace kavi
