// Check codes: the Base64 text of a check block that carries an image's MD5
// scattered over a 256-byte table, followed by the MD5 of that table.
//
//   bytes 0..255    the table; its first 32 bytes are also the positions
//                   p0..p31 into it, and table[p(i)] is the i-th hex digit
//                   of the image's MD5 (lowercase)
//   bytes 256..271  MD5 of bytes 0..255
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "download/md5.h"

namespace kavi {

constexpr size_t kCheckBlockSize = 272;

// True when `block` is consistent and carries `md5Hex` (32 lowercase
// digits). A block shorter than 272 bytes is never valid.
bool CheckBlockMatches(const std::vector<uint8_t>& block, const std::string& md5Hex);

// True when the check code (ANSI text) is valid Base64 of a block that
// carries `md5Hex`.
bool CheckCodeMatches(const std::string& checkCode, const std::string& md5Hex);

// The verification of a downloaded image: its MD5 against the check code.
// False when the file cannot be read or anything does not match. A digest
// the download already computed for the unchanged file is used again.
bool VerifyImageFile(const std::wstring& imagePath, const std::string& checkCode,
                     const Md5Progress& progress = {});

// The MD5 (32 lowercase digits) a valid check code carries; empty when the
// code is not valid.
std::string CheckCodeMd5(const std::string& checkCode);

// A fresh check block for `md5Hex`. `random` supplies bytes; positions are
// distinct so every digit has a place of its own.
std::vector<uint8_t> MakeCheckBlock(const std::string& md5Hex, uint32_t (*random)(void*),
                                    void* context);

}  // namespace kavi
