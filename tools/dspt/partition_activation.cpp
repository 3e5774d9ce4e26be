#include "tools/dspt/partition_activation.h"

#include <algorithm>
#include <cwchar>

#include "boot/disk_layout.h"
#include "host/text.h"

namespace kavi {
namespace {

uint32_t ReadU32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}

int64_t ReadI64(const std::vector<uint8_t>& b, size_t at) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | b[at + i];
  return static_cast<int64_t>(v);
}

// A decimal number of at most nine digits, nothing else.
std::optional<int> ParseNumber(const std::wstring& text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = value * 10 + (c - L'0');
  }
  return value;
}

}  // namespace

std::optional<DsptArguments> ParseDsptArguments(const std::vector<std::wstring>& arguments) {
  if (arguments.size() != 2) return std::nullopt;
  const std::wstring& act = arguments[1];
  if (act.size() < 5 || act[0] != L'/' || (act[1] != L'a' && act[1] != L'A') ||
      (act[2] != L'c' && act[2] != L'C') || (act[3] != L't' && act[3] != L'T') || act[4] != L':') {
    return std::nullopt;
  }
  const std::optional<int> disk = ParseNumber(arguments[0]);
  const std::optional<int> position = ParseNumber(act.substr(5));
  if (!disk || !position || *position < 1) return std::nullopt;
  return DsptArguments{*disk, *position};
}

Activation ActivatePartition(std::vector<uint8_t>& layout, int position) {
  Activation result;
  if (layout.size() < kLayoutEntriesOffset) return result;
  const uint32_t count = ReadU32(layout, 4);
  if (count > (layout.size() - kLayoutEntriesOffset) / kLayoutEntrySize) return result;
  result.layoutSize = kLayoutEntriesOffset + size_t{count} * kLayoutEntrySize;
  if (ReadU32(layout, 0) != kPartitionStyleMbr) {
    result.outcome = ActivationOutcome::kNotMbr;
    return result;
  }

  // The disk map's order: numbered partitions among the first 30 entries,
  // by starting offset.
  struct Numbered {
    size_t index;
    int64_t offset;
  };
  std::vector<Numbered> numbered;
  const size_t examined = std::min<size_t>(count, kMaxLayoutEntries);
  for (size_t i = 0; i < examined; ++i) {
    const size_t at = kLayoutEntriesOffset + i * kLayoutEntrySize;
    if (ReadU32(layout, at + 24) != 0) numbered.push_back({i, ReadI64(layout, at + 8)});
  }
  std::stable_sort(numbered.begin(), numbered.end(),
                   [](const Numbered& a, const Numbered& b) { return a.offset < b.offset; });
  if (position < 1 || static_cast<size_t>(position) > numbered.size()) {
    result.outcome = ActivationOutcome::kNoSuchPosition;
    return result;
  }
  const size_t target = numbered[position - 1].index;
  result.entryIndex = target;
  result.partitionNumber = ReadU32(layout, kLayoutEntriesOffset + target * kLayoutEntrySize + 24);
  if (target >= kPrimaryEntries) {
    result.outcome = ActivationOutcome::kNotPrimary;
    return result;
  }

  for (size_t i = 0; i < count; ++i) {
    const size_t at = kLayoutEntriesOffset + i * kLayoutEntrySize;
    layout[at + kEntryMbrBootIndicator] = i == target ? 1 : 0;
    layout[at + kEntryRewritePartition] = 1;
  }
  result.outcome = ActivationOutcome::kActivated;
  return result;
}

std::wstring DescribeActivation(const Activation& a, const DsptArguments& args) {
  switch (a.outcome) {
    case ActivationOutcome::kActivated:
      return Format(L"disk %d: partition %d (position %d) is now the active partition.\n",
                    args.disk, int(a.partitionNumber), args.position);
    case ActivationOutcome::kLayoutTooShort:
      return Format(L"disk %d: the partition layout could not be read.\n", args.disk);
    case ActivationOutcome::kNotMbr:
      return Format(L"disk %d is not an MBR disk; nothing was changed.\n", args.disk);
    case ActivationOutcome::kNoSuchPosition:
      return Format(L"disk %d has no partition at position %d; nothing was changed.\n", args.disk,
                    args.position);
    case ActivationOutcome::kNotPrimary:
      return Format(
          L"disk %d: position %d (partition %d) is a logical drive, not a primary partition; "
          L"nothing was changed.\n",
          args.disk, args.position, int(a.partitionNumber));
  }
  return std::wstring();
}

}  // namespace kavi
