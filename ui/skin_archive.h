// Read-only access to a zip archive held in memory (the skin resource).
// Members are stored or deflated; every offset and length read from the
// archive is checked against the buffer, so a damaged archive yields an
// error and never an out-of-bounds read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace SkinUI {

class SkinArchive {
 public:
  enum class ReadStatus { kOk, kNotFound, kTooLarge, kDamaged };

  // Names of this many characters or more are never looked up.
  static constexpr std::size_t kMaxNameLength = 256;

  // Reads the central directory of `size` bytes at `data`. The bytes are not
  // copied: they must stay valid while the archive is used (resource memory
  // lives as long as the process). False when the bytes are not a readable
  // zip archive; the archive is then empty.
  bool Open(const void* data, std::size_t size);
  void Close();
  bool IsOpen() const { return data_ != nullptr; }

  std::size_t MemberCount() const { return members_.size(); }
  bool Contains(const std::wstring& name) const { return Find(name) >= 0; }

  // The member's uncompressed size as the directory states it.
  bool MemberSize(const std::wstring& name, std::uint32_t* size) const;

  // Reads a member whole. Members larger than `maxSize` are not inflated.
  ReadStatus Read(const std::wstring& name, std::string* bytes,
                  std::size_t maxSize = 0xFFFFFFFFu) const;

 private:
  struct Member {
    std::string key;  // ASCII-lowered, forward slashes
    bool utf8 = false;
    bool readable = true;  // not encrypted, a method we know, no zip64
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint32_t packedSize = 0;
    std::uint32_t size = 0;
    std::uint32_t localOffset = 0;
  };

  int Find(const std::wstring& name) const;

  const unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
  std::vector<Member> members_;
};

}  // namespace SkinUI
