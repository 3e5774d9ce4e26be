#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>

#include "download/base64.h"
#include "download/md5.h"
#include "host/text.h"

namespace kavi {
namespace {

TEST(Md5, Rfc1321TestSuite) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [input, digest] : vectors) EXPECT_EQ(digest, Md5Hex(input, std::strlen(input)));
}

TEST(Md5, PiecesOfAnySizeGiveTheSameDigest) {
  std::mt19937 rng(7);
  std::string data(100'000, '\0');
  for (char& c : data) c = static_cast<char>(rng());
  const std::string whole = Md5Hex(data.data(), data.size());
  for (size_t piece : {1, 3, 55, 56, 63, 64, 65, 1024, 4099}) {
    Md5 md5;
    for (size_t i = 0; i < data.size(); i += piece) {
      md5.Update(data.data() + i, std::min(piece, data.size() - i));
    }
    EXPECT_EQ(whole, md5.FinalHex()) << piece;
  }
}

TEST(Md5, FileDigestAndMissingFile) {
  const std::string path = testing::TempDir() + "md5-file-test.bin";
  std::string data(3 * 1024 * 1024 + 17, 'x');
  std::ofstream(path, std::ios::binary)
      .write(data.data(), static_cast<std::streamsize>(data.size()));
  std::string hex;
  ASSERT_TRUE(Md5OfFile(FromUtf8(path), &hex));
  EXPECT_EQ(Md5Hex(data.data(), data.size()), hex);
  EXPECT_FALSE(Md5OfFile(FromUtf8(path + ".missing"), &hex));
  std::remove(path.c_str());
}

TEST(Md5, AnUnchangedFileIsHashedOnce) {
  const std::string path = testing::TempDir() + "md5-once-test.bin";
  std::string data(3 * 1024 * 1024, 'a');
  std::ofstream(path, std::ios::binary)
      .write(data.data(), static_cast<std::streamsize>(data.size()));
  int reads = 0;
  auto count = [&reads](int64_t, int64_t) { ++reads; };
  std::string first, second;
  ASSERT_TRUE(Md5OfFileOnce(FromUtf8(path), &first, count));
  EXPECT_EQ(3, reads) << "three pieces of 1 MiB";
  reads = 0;
  ASSERT_TRUE(Md5OfFileOnce(FromUtf8(path), &second, count));
  EXPECT_EQ(first, second);
  EXPECT_EQ(1, reads) << "told once that everything is done, nothing read";

  // Another size is another file: hashed again.
  std::ofstream(path, std::ios::binary | std::ios::app).write("b", 1);
  reads = 0;
  ASSERT_TRUE(Md5OfFileOnce(FromUtf8(path), &second, count));
  EXPECT_NE(first, second);
  EXPECT_EQ(4, reads);
  std::remove(path.c_str());
}

std::string Decode(const std::string& text, bool* ok) {
  std::vector<uint8_t> bytes;
  *ok = Base64DecodeAll(text, &bytes);
  return std::string(bytes.begin(), bytes.end());
}

TEST(Base64, Rfc4648TestVectors) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, code] : vectors) {
    EXPECT_EQ(code, Base64Encode(reinterpret_cast<const uint8_t*>(plain), std::strlen(plain)));
    bool ok;
    EXPECT_EQ(plain, Decode(code, &ok));
    EXPECT_TRUE(ok) << code;
  }
}

TEST(Base64, DecodesPaddedTextAndMeasuresFirst) {
  bool ok;
  EXPECT_EQ("A", Decode("QQ==", &ok));
  EXPECT_TRUE(ok);
  EXPECT_EQ("AB", Decode("QUI=", &ok));
  EXPECT_EQ("ABC", Decode("QUJD", &ok));
  size_t length = 99;
  ASSERT_TRUE(Base64Decode("QUJDRA==", 8, nullptr, 0, &length));
  EXPECT_EQ(4u, length);
}

TEST(Base64, LineBreaksAreSkipped) {
  bool ok;
  EXPECT_EQ("ABCD", Decode("QUJD\r\nRA==", &ok));
  EXPECT_TRUE(ok);
  EXPECT_EQ("ABCD", Decode("QU\nJDRA==\n", &ok));
  EXPECT_TRUE(ok);
  Decode("QUJD\rRA==", &ok);
  EXPECT_FALSE(ok) << "a lone CR is not a line break";
}

TEST(Base64, InvalidForms) {
  bool ok;
  for (const char* bad : {"QU JD", "QUJD RA==", "Q===", "QQ==A", "QQ=A", "QUJ*", "QUJD\t"}) {
    Decode(bad, &ok);
    EXPECT_FALSE(ok) << bad;
  }
  Decode("QUI= ", &ok);
  EXPECT_TRUE(ok) << "a blank with no data after it is allowed";
}

TEST(Base64, EncodeRoundTripsAllLengths) {
  std::mt19937 rng(3);
  for (size_t n = 0; n < 300; ++n) {
    std::vector<uint8_t> data(n);
    for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
    std::vector<uint8_t> back;
    ASSERT_TRUE(Base64DecodeAll(Base64Encode(data.data(), n), &back));
    EXPECT_EQ(data, back);
  }
}

}  // namespace
}  // namespace kavi
