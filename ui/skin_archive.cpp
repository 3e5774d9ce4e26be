#include "ui/skin_archive.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

#include "host/text.h"

namespace SkinUI {
namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kLocalSize = 30;

std::uint16_t U16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t U32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Member names compare with forward slashes and ASCII case folded.
std::string NormalisedKey(std::string name) {
  for (char& c : name) {
    if (c == '\\')
      c = '/';
    else if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

}  // namespace

bool SkinArchive::Open(const void* data, std::size_t size) {
  Close();
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  if (!bytes || size < kEndSize) return false;

  // The end record sits in the last 64 KiB + 22 bytes (its comment is at
  // most 65535 bytes long).
  std::size_t lowest = size > kEndSize + 0xFFFF ? size - kEndSize - 0xFFFF : 0;
  std::size_t end = size - kEndSize + 1;
  bool found = false;
  while (end-- > lowest) {
    if (U32(bytes + end) == kEndSignature && end + kEndSize + U16(bytes + end + 20) <= size) {
      found = true;
      break;
    }
  }
  if (!found) return false;
  const unsigned char* record = bytes + end;
  std::size_t count = U16(record + 10);
  std::size_t dirSize = U32(record + 12);
  std::size_t dirOffset = U32(record + 16);
  if (dirOffset > end || dirSize > end - dirOffset) return false;

  std::vector<Member> members;
  members.reserve(count);
  std::size_t pos = dirOffset;
  const std::size_t dirEnd = dirOffset + dirSize;
  for (std::size_t i = 0; i < count; ++i) {
    if (dirEnd - pos < kCentralSize) return false;
    const unsigned char* h = bytes + pos;
    if (U32(h) != kCentralSignature) return false;
    std::size_t nameLength = U16(h + 28);
    std::size_t variable = nameLength + U16(h + 30) + U16(h + 32);
    if (dirEnd - pos - kCentralSize < variable) return false;
    Member m;
    std::uint16_t flags = U16(h + 8);
    m.method = U16(h + 10);
    m.crc = U32(h + 16);
    m.packedSize = U32(h + 20);
    m.size = U32(h + 24);
    m.localOffset = U32(h + 42);
    m.utf8 = (flags & 0x0800) != 0;
    m.readable = (flags & 0x0001) == 0 && (m.method == 0 || m.method == 8) &&
                 m.packedSize != 0xFFFFFFFFu && m.size != 0xFFFFFFFFu &&
                 m.localOffset != 0xFFFFFFFFu;
    m.key = NormalisedKey(std::string(reinterpret_cast<const char*>(h + kCentralSize), nameLength));
    members.push_back(std::move(m));
    pos += kCentralSize + variable;
  }
  data_ = bytes;
  size_ = size;
  members_ = std::move(members);
  return true;
}

void SkinArchive::Close() {
  data_ = nullptr;
  size_ = 0;
  members_.clear();
}

int SkinArchive::Find(const std::wstring& name) const {
  if (!data_ || name.empty() || name.size() >= kMaxNameLength) return -1;
  std::wstring slashed = name;
  std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
  std::string ansiKey, utf8Key;
  bool haveAnsi = false, haveUtf8 = false;
  // ASCII names read the same in every encoding; skip the conversions.
  if (std::all_of(slashed.begin(), slashed.end(), [](wchar_t c) { return c < 0x80; })) {
    ansiKey = NormalisedKey(std::string(slashed.begin(), slashed.end()));
    utf8Key = ansiKey;
    haveAnsi = haveUtf8 = true;
  }
  for (std::size_t i = 0; i < members_.size(); ++i) {
    const Member& m = members_[i];
    const std::string* key;
    if (m.utf8) {
      if (!haveUtf8) utf8Key = NormalisedKey(kavi::ToUtf8(slashed)), haveUtf8 = true;
      key = &utf8Key;
    } else {
      if (!haveAnsi) ansiKey = NormalisedKey(kavi::ToAnsi(slashed)), haveAnsi = true;
      key = &ansiKey;
    }
    if (m.key == *key) return static_cast<int>(i);
  }
  return -1;
}

bool SkinArchive::MemberSize(const std::wstring& name, std::uint32_t* size) const {
  int index = Find(name);
  if (index < 0) return false;
  *size = members_[index].size;
  return true;
}

SkinArchive::ReadStatus SkinArchive::Read(const std::wstring& name, std::string* bytes,
                                          std::size_t maxSize) const {
  bytes->clear();
  int index = Find(name);
  if (index < 0) return ReadStatus::kNotFound;
  const Member& m = members_[index];
  if (m.size > maxSize) return ReadStatus::kTooLarge;
  if (!m.readable) return ReadStatus::kDamaged;

  if (m.localOffset > size_ || size_ - m.localOffset < kLocalSize) return ReadStatus::kDamaged;
  const unsigned char* local = data_ + m.localOffset;
  if (U32(local) != kLocalSignature) return ReadStatus::kDamaged;
  std::size_t start =
      static_cast<std::size_t>(m.localOffset) + kLocalSize + U16(local + 26) + U16(local + 28);
  if (start > size_ || size_ - start < m.packedSize) return ReadStatus::kDamaged;
  const unsigned char* packed = data_ + start;

  if (m.method == 0) {
    if (m.packedSize != m.size) return ReadStatus::kDamaged;
    bytes->assign(reinterpret_cast<const char*>(packed), m.size);
  } else {
    // Raw deflate into a buffer of the stated size: inflate never writes
    // more, and anything short or long of it is damage. Deflate cannot
    // expand data more than about 1032 times, so a larger stated size is a
    // damaged directory, not a reason to allocate gigabytes.
    if (m.size / 1032 > m.packedSize + 1) return ReadStatus::kDamaged;
    bytes->resize(m.size);
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return ReadStatus::kDamaged;
    z.next_in = const_cast<Bytef*>(packed);
    z.avail_in = m.packedSize;
    unsigned char spare = 0;  // zlib wants room even for an empty member
    z.next_out = m.size ? reinterpret_cast<Bytef*>(&(*bytes)[0]) : &spare;
    z.avail_out = m.size ? m.size : 0;
    int rc = inflate(&z, Z_FINISH);
    bool whole = rc == Z_STREAM_END && z.total_out == m.size;
    inflateEnd(&z);
    if (!whole) {
      bytes->clear();
      return ReadStatus::kDamaged;
    }
  }
  std::uint32_t crc = static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes->data()), static_cast<uInt>(bytes->size())));
  if (crc != m.crc) {
    bytes->clear();
    return ReadStatus::kDamaged;
  }
  return ReadStatus::kOk;
}

}  // namespace SkinUI
