#include "download/check_code.h"

#include <cstring>

#include "download/base64.h"
#include "download/md5.h"

namespace kavi {

bool CheckBlockMatches(const std::vector<uint8_t>& block, const std::string& md5Hex) {
  if (block.size() < kCheckBlockSize || md5Hex.size() != 32) return false;
  for (size_t i = 0; i < 32; ++i) {
    if (block[block[i]] != static_cast<uint8_t>(md5Hex[i])) return false;
  }
  uint8_t digest[16];
  Md5 md5;
  md5.Update(block.data(), 256);
  md5.Final(digest);
  return std::memcmp(digest, block.data() + 256, 16) == 0;
}

bool CheckCodeMatches(const std::string& checkCode, const std::string& md5Hex) {
  std::vector<uint8_t> block;
  if (!Base64DecodeAll(checkCode, &block) || block.empty()) return false;
  return CheckBlockMatches(block, md5Hex);
}

std::string CheckCodeMd5(const std::string& checkCode) {
  std::vector<uint8_t> block;
  if (!Base64DecodeAll(checkCode, &block) || block.size() < kCheckBlockSize) return std::string();
  std::string md5Hex(32, '0');
  for (size_t i = 0; i < 32; ++i) md5Hex[i] = static_cast<char>(block[block[i]]);
  const bool digits = md5Hex.find_first_not_of("0123456789abcdef") == std::string::npos;
  return digits && CheckBlockMatches(block, md5Hex) ? md5Hex : std::string();
}

bool VerifyImageFile(const std::wstring& imagePath, const std::string& checkCode,
                     const Md5Progress& progress) {
  std::string md5Hex;
  if (!Md5OfFileOnce(imagePath, &md5Hex, progress)) return false;
  return CheckCodeMatches(checkCode, md5Hex);
}

std::vector<uint8_t> MakeCheckBlock(const std::string& md5Hex, uint32_t (*random)(void*),
                                    void* context) {
  std::vector<uint8_t> block(kCheckBlockSize, 0);
  for (size_t i = 32; i < 256; ++i) block[i] = static_cast<uint8_t>(random(context));
  // Positions past the position bytes themselves, all distinct.
  bool used[256] = {};
  for (size_t i = 0; i < 32; ++i) {
    uint8_t p;
    do {
      p = static_cast<uint8_t>(32 + random(context) % 224);
    } while (used[p]);
    used[p] = true;
    block[i] = p;
    block[p] = static_cast<uint8_t>(md5Hex[i]);
  }
  Md5 md5;
  md5.Update(block.data(), 256);
  md5.Final(block.data() + 256);
  return block;
}

}  // namespace kavi
