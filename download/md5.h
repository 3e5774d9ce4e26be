// MD5 (RFC 1321). Used to compare downloaded images with the catalogue and
// inside the check block of a check code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace kavi {

class Md5 {
 public:
  Md5();
  void Update(const void* data, size_t size);
  // The 16-byte digest; the object must not be updated afterwards.
  void Final(uint8_t digest[16]);
  // The digest as 32 lowercase hexadecimal digits.
  std::string FinalHex();

 private:
  void Block(const uint8_t* block);

  uint32_t state_[4];
  uint64_t length_ = 0;  // bytes so far
  uint8_t buffer_[64];
  size_t buffered_ = 0;
};

std::string Md5Hex(const void* data, size_t size);
std::string ToHex(const uint8_t* bytes, size_t size);

// Told the bytes read so far and the file's size while a file is hashed.
using Md5Progress = std::function<void(int64_t done, int64_t total)>;

// The MD5 of a whole file as 32 lowercase hex digits; false when the file
// cannot be opened or read. Reads sequentially in large pieces.
bool Md5OfFile(const std::wstring& path, std::string* hex, const Md5Progress& progress = {});

// The same, hashing a file once: the digest is remembered with the file's
// size and last-write time, and given again while both are unchanged (the
// download's comparison and the verification read the image once).
bool Md5OfFileOnce(const std::wstring& path, std::string* hex, const Md5Progress& progress = {});

// What identifies an unchanged file.
struct FileStamp {
  int64_t size = -1;
  uint64_t lastWrite = 0;
  bool operator==(const FileStamp& o) const { return size == o.size && lastWrite == o.lastWrite; }
};
bool ReadFileStamp(const std::wstring& path, FileStamp* stamp);

}  // namespace kavi
