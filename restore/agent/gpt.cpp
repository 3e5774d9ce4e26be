#include "restore/agent/gpt.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace kavi {
namespace restore {
namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the fields are read in place");

#pragma pack(push, 1)
struct GptHeaderLayout {
  char signature[8];
  uint32_t revision;
  uint32_t headerSize;
  uint32_t headerCrc;
  uint32_t reserved;
  uint64_t myLba;
  uint64_t alternateLba;
  uint64_t firstUsableLba;
  uint64_t lastUsableLba;
  uint8_t diskGuid[16];
  uint64_t entriesLba;
  uint32_t entryCount;
  uint32_t entrySize;
  uint32_t entriesCrc;
};

struct GptEntryLayout {
  uint8_t type[16];
  uint8_t unique[16];
  uint64_t firstLba;
  uint64_t lastLba;
  uint64_t attributes;
  uint16_t name[36];
};
#pragma pack(pop)

static_assert(offsetof(GptHeaderLayout, headerSize) == 12, "header size");
static_assert(offsetof(GptHeaderLayout, headerCrc) == 16, "header CRC32");
static_assert(offsetof(GptHeaderLayout, myLba) == 24, "own LBA");
static_assert(offsetof(GptHeaderLayout, diskGuid) == 56, "disk GUID");
static_assert(offsetof(GptHeaderLayout, entriesLba) == 72, "entries LBA");
static_assert(offsetof(GptHeaderLayout, entryCount) == 80, "entry count");
static_assert(offsetof(GptHeaderLayout, entrySize) == 84, "entry size");
static_assert(offsetof(GptHeaderLayout, entriesCrc) == 88, "entries CRC32");
static_assert(sizeof(GptHeaderLayout) == 92, "the header's defined part");
static_assert(offsetof(GptEntryLayout, unique) == 16, "unique GUID");
static_assert(offsetof(GptEntryLayout, firstLba) == 32, "first LBA");
static_assert(offsetof(GptEntryLayout, lastLba) == 40, "last LBA");
static_assert(sizeof(GptEntryLayout) == 128, "one entry");

constexpr uint32_t kMaxEntriesBytes = 1u << 20;

// CRC32 as GPT (and zip) use it: reflected 0x04C11DB7, inverted.
uint32_t Crc32(const uint8_t* bytes, size_t size, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

Guid GuidOf(const uint8_t* bytes) {
  Guid g;
  std::memcpy(g.bytes.data(), bytes, 16);
  return g;
}

// The text's byte order: the first three fields reversed, the rest as stored.
constexpr int kTextOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string GuidText(const Guid& guid) {
  std::string text;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", guid.bytes[kTextOrder[i]]);
    text += hex;
  }
  return text;
}

std::optional<Guid> ParseGuid(const std::string& text) {
  if (text.size() != 36) return std::nullopt;
  Guid guid;
  size_t at = 0;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) {
      if (text[at++] != '-') return std::nullopt;
    }
    const int high = HexValue(text[at]);
    const int low = HexValue(text[at + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    guid.bytes[kTextOrder[i]] = static_cast<uint8_t>(high * 16 + low);
    at += 2;
  }
  return guid;
}

const Guid& EspType() {
  static const Guid esp = *ParseGuid("C12A7328-F81F-11D2-BA4B-00A0C93EC93B");
  return esp;
}

std::optional<GptHeader> ReadGptHeader(const uint8_t* sector, size_t sectorSize) {
  GptHeaderLayout h;
  if (sectorSize < sizeof h) return std::nullopt;
  std::memcpy(&h, sector, sizeof h);
  if (std::memcmp(h.signature, "EFI PART", 8) != 0) return std::nullopt;
  if (h.headerSize < sizeof h || h.headerSize > sectorSize || h.myLba != 1) return std::nullopt;
  std::vector<uint8_t> copy(sector, sector + h.headerSize);
  std::memset(copy.data() + offsetof(GptHeaderLayout, headerCrc), 0, 4);
  if (Crc32(copy.data(), copy.size()) != h.headerCrc) return std::nullopt;
  if (h.entrySize < sizeof(GptEntryLayout) || h.entrySize % 8 != 0 ||
      uint64_t{h.entryCount} * h.entrySize > kMaxEntriesBytes || h.entriesLba < 2) {
    return std::nullopt;
  }
  GptHeader header;
  header.diskGuid = GuidOf(h.diskGuid);
  header.entriesLba = h.entriesLba;
  header.entryCount = h.entryCount;
  header.entrySize = h.entrySize;
  header.entriesCrc = h.entriesCrc;
  return header;
}

std::optional<std::vector<GptPartition>> ReadGptEntries(const GptHeader& header,
                                                        const uint8_t* entries, size_t size) {
  if (size < header.EntriesBytes() || Crc32(entries, header.EntriesBytes()) != header.entriesCrc) {
    return std::nullopt;
  }
  std::vector<GptPartition> used;
  for (uint32_t i = 0; i < header.entryCount; ++i) {
    GptEntryLayout e;
    std::memcpy(&e, entries + size_t{i} * header.entrySize, sizeof e);
    GptPartition p;
    p.type = GuidOf(e.type);
    if (p.type.IsZero()) continue;
    p.number = i + 1;
    p.unique = GuidOf(e.unique);
    p.firstLba = e.firstLba;
    p.lastLba = e.lastLba;
    used.push_back(p);
  }
  return used;
}

}  // namespace restore
}  // namespace kavi
