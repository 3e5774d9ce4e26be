// GUID partition tables: the primary header at LBA 1 and its partition
// entries, each trusted only when its CRC32 agrees, and GUIDs in the text
// form Windows' registry and the disk record use.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kavi {
namespace restore {

// The 16 bytes as a GPT stores them: the first three fields little-endian.
struct Guid {
  std::array<uint8_t, 16> bytes{};

  bool operator==(const Guid& o) const { return bytes == o.bytes; }
  bool operator!=(const Guid& o) const { return !(*this == o); }
  bool IsZero() const { return *this == Guid{}; }
};

// "C12A7328-F81F-11D2-BA4B-00A0C93EC93B": upper case, no braces.
std::string GuidText(const Guid& guid);

// The text form above; hex digits in upper case only (as we write them).
std::optional<Guid> ParseGuid(const std::string& text);

// The EFI system partition's type.
const Guid& EspType();

struct GptHeader {
  Guid diskGuid;
  uint64_t entriesLba = 0;
  uint32_t entryCount = 0;
  uint32_t entrySize = 0;
  uint32_t entriesCrc = 0;

  uint64_t EntriesBytes() const { return uint64_t{entryCount} * entrySize; }
};

// The header from the sector at LBA 1 (`sector` holds one whole sector):
// "EFI PART", a header size from 92 to the sector, its CRC32, LBA 1 as its
// own place, entries of 128 bytes or a multiple of 8 above, at most 1 MiB of
// them. None otherwise.
std::optional<GptHeader> ReadGptHeader(const uint8_t* sector, size_t sectorSize);

struct GptPartition {
  uint32_t number = 0;  // the entry's 1-based place, as Linux numbers it
  Guid type;
  Guid unique;
  uint64_t firstLba = 0;
  uint64_t lastLba = 0;  // inclusive
};

// The used entries (type not zero) of the array the header names; none when
// the array is shorter than the header says or its CRC32 disagrees.
std::optional<std::vector<GptPartition>> ReadGptEntries(const GptHeader& header,
                                                        const uint8_t* entries, size_t size);

}  // namespace restore
}  // namespace kavi
