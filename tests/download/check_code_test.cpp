#include "download/check_code.h"

#include <gtest/gtest.h>

#include <random>

#include "download/base64.h"
#include "download/md5.h"

namespace kavi {
namespace {

uint32_t NextRandom(void* context) {
  return (*static_cast<std::mt19937*>(context))();
}

const std::string kImage = "the bytes of a system image";

std::vector<uint8_t> BlockFor(const std::string& data, unsigned seed = 1) {
  std::mt19937 rng(seed);
  return MakeCheckBlock(Md5Hex(data.data(), data.size()), &NextRandom, &rng);
}

std::string CodeFor(const std::vector<uint8_t>& block) {
  return Base64Encode(block.data(), block.size());
}

TEST(CheckCode, AcceptsTheRightImageOnly) {
  const std::string md5 = Md5Hex(kImage.data(), kImage.size());
  std::vector<uint8_t> block = BlockFor(kImage);
  for (size_t i = 0; i < 32; ++i) EXPECT_GE(block[i], 32) << "positions past the position bytes";
  EXPECT_TRUE(CheckCodeMatches(CodeFor(block), md5));
  std::string other = kImage;
  other[5] ^= 1;
  EXPECT_FALSE(CheckCodeMatches(CodeFor(block), Md5Hex(other.data(), other.size())));
  // The digest a valid code carries, and none from a code whose table changed.
  EXPECT_EQ(md5, CheckCodeMd5(CodeFor(block)));
  block[block[7]] = static_cast<uint8_t>(md5[7] == 'a' ? 'b' : 'a');
  EXPECT_EQ("", CheckCodeMd5(CodeFor(block)));
}

TEST(CheckCode, PositionsMayPointIntoThePositionBytes) {
  // p1 = 0 points at p0 itself, so p0 must be the code of the second digit;
  // the first digit then sits where p0 points.
  const std::string md5 = Md5Hex(kImage.data(), kImage.size());
  std::vector<uint8_t> block(kCheckBlockSize, 0);
  block[1] = 0;
  block[0] = static_cast<uint8_t>(md5[1]);
  block[block[0]] = static_cast<uint8_t>(md5[0]);
  for (size_t i = 2; i < 32; ++i) {
    block[i] = static_cast<uint8_t>(120 + i);
    block[120 + i] = static_cast<uint8_t>(md5[i]);
  }
  Md5 m;
  m.Update(block.data(), 256);
  m.Final(block.data() + 256);
  EXPECT_TRUE(CheckBlockMatches(block, md5));
}

TEST(CheckCode, LineBreakInsideTheCodeIsIgnored) {
  const std::string md5 = Md5Hex(kImage.data(), kImage.size());
  std::string code = CodeFor(BlockFor(kImage));
  code.insert(76, "\r\n");
  EXPECT_TRUE(CheckCodeMatches(code, md5));
}

TEST(CheckCode, BrokenCodesAreRejected) {
  const std::string md5 = Md5Hex(kImage.data(), kImage.size());
  const std::string code = CodeFor(BlockFor(kImage));
  std::string spaced = code;
  spaced.insert(10, " ");
  EXPECT_FALSE(CheckCodeMatches(spaced, md5));
  EXPECT_FALSE(CheckCodeMatches(code + "===", md5));
  EXPECT_FALSE(CheckCodeMatches(code + "A", md5)) << "data after the padding";
  EXPECT_FALSE(CheckCodeMatches("", md5));
}

TEST(CheckCode, ChangedTableDigestIsRejected) {
  const std::string md5 = Md5Hex(kImage.data(), kImage.size());
  std::vector<uint8_t> block = BlockFor(kImage);
  block[260] ^= 0x10;
  EXPECT_FALSE(CheckBlockMatches(block, md5));
}

TEST(CheckCode, ShortBlocksAreInvalidAndLongOnesIgnoreTheRest) {
  const std::string md5 = Md5Hex(kImage.data(), kImage.size());
  std::vector<uint8_t> block = BlockFor(kImage);
  std::vector<uint8_t> shorter(block.begin(), block.begin() + 271);
  EXPECT_FALSE(CheckBlockMatches(shorter, md5));
  block.push_back(0xAA);
  EXPECT_TRUE(CheckBlockMatches(block, md5));
}

}  // namespace
}  // namespace kavi
