// SHA-256 (FIPS 180-4) over bytes in memory, for image hashes compared with
// the firmware's revocation list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kavi {

class Sha256 {
 public:
  Sha256();
  void Update(const char* data, size_t size);
  void Update(const std::string& bytes) { Update(bytes.data(), bytes.size()); }
  // The 32-byte digest; the object is spent afterwards.
  std::string Final();

 private:
  void Block(const uint8_t* block);

  uint32_t state_[8];
  uint8_t buffer_[64];
  size_t buffered_ = 0;
  uint64_t length_ = 0;
};

}  // namespace kavi
