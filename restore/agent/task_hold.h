// A load's task held on the image's partition while the target is formatted:
// between the format and the moment the task is back on the target, the
// target holds neither the old system nor the task. The hold is the folder
// "DURozazo/hold" beside the log: the task's root entries as they go back
// onto the target, the target's old boot region ("boot-region", whose
// geometry and boot code a new format repeats) and, written last, the record
// "hold.txt" naming the target. A start that finds no task but a hold
// formats the target again, puts the task back and carries on from there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kavi {
namespace restore {

constexpr const char* kHoldFolder = "DURozazo/hold";
constexpr const char* kHoldRecord = "hold.txt";
constexpr const char* kHoldBootRegion = "boot-region";

struct HoldRecord {
  std::string disk;  // DiskIdentity of the target's disk
  uint64_t start = 0;
  uint64_t length = 0;
  std::string label;    // the target's volume label
  bool loader = false;  // KV.ima and kvldr were copied to the partition's root
};

// "KAVI-HOLD 1" and one "key=value" line a field, CR LF ended.
std::string HoldRecordText(const HoldRecord& record);
// None unless the text is a whole record (a cut while writing it leaves
// none).
std::optional<HoldRecord> ParseHoldRecord(const std::string& text);

}  // namespace restore
}  // namespace kavi
