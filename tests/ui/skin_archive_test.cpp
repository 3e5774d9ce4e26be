#include "ui/skin_archive.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/ui/zip_writer.h"

namespace SkinUI {
namespace {

using testing::ZipWriter;

class SkinArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ZipWriter zip;
    zip.Add("skin.xml", "<Window/>");
    zip.Add("499.gif", "GIF89a-stored", false);
    zip.Add("images/Btn.PNG", "png");
    zip.Add("\xB1\xB8\xB7\xDD.png", "gbk");                       // 备份 in code page 936
    zip.Add("\xE8\xBF\x98\xE5\x8E\x9F.png", "utf8", true, true);  // 还原, UTF-8 flagged
    bytes_ = zip.Finish();
    ASSERT_TRUE(archive_.Open(bytes_.data(), bytes_.size()));
  }
  std::string Read(const std::wstring& name) {
    std::string out;
    status_ = archive_.Read(name, &out);
    return out;
  }

  std::string bytes_;
  SkinArchive archive_;
  SkinArchive::ReadStatus status_ = SkinArchive::ReadStatus::kOk;
};

TEST_F(SkinArchiveTest, StoredAndDeflatedMembers) {
  EXPECT_EQ(5u, archive_.MemberCount());
  EXPECT_EQ("<Window/>", Read(L"skin.xml"));
  EXPECT_EQ("GIF89a-stored", Read(L"499.gif"));
  std::uint32_t size = 0;
  EXPECT_TRUE(archive_.MemberSize(L"skin.xml", &size));
  EXPECT_EQ(9u, size);
}

TEST_F(SkinArchiveTest, NamesIgnoreAsciiCaseAndBackslashes) {
  EXPECT_EQ("GIF89a-stored", Read(L"499.GIF"));
  EXPECT_EQ("png", Read(L"IMAGES\\btn.png"));
  EXPECT_EQ("png", Read(L"images/btn.png"));
  EXPECT_TRUE(archive_.Contains(L"Skin.XML"));
}

TEST_F(SkinArchiveTest, AnsiAndUtf8FlaggedNames) {
  EXPECT_EQ("gbk", Read(L"备份.png"));
  EXPECT_EQ("utf8", Read(L"还原.png"));
  EXPECT_EQ("", Read(L"备份.PNG.bak"));
  EXPECT_EQ(SkinArchive::ReadStatus::kNotFound, status_);
}

TEST_F(SkinArchiveTest, MissingAndOverlongNames) {
  Read(L"tile.xml");
  EXPECT_EQ(SkinArchive::ReadStatus::kNotFound, status_);
  Read(L"");
  EXPECT_EQ(SkinArchive::ReadStatus::kNotFound, status_);

  ZipWriter zip;
  std::string longName(255, 'a'), tooLong(256, 'b');
  zip.Add(longName, "255");
  zip.Add(tooLong, "256");
  std::string bytes = zip.Finish();
  SkinArchive archive;
  ASSERT_TRUE(archive.Open(bytes.data(), bytes.size()));
  std::string out;
  EXPECT_EQ(SkinArchive::ReadStatus::kOk,
            archive.Read(std::wstring(longName.begin(), longName.end()), &out));
  EXPECT_EQ(SkinArchive::ReadStatus::kNotFound,
            archive.Read(std::wstring(tooLong.begin(), tooLong.end()), &out));
}

TEST_F(SkinArchiveTest, SizeLimitIsCheckedBeforeInflating) {
  std::string out;
  EXPECT_EQ(SkinArchive::ReadStatus::kTooLarge, archive_.Read(L"skin.xml", &out, 8));
  EXPECT_EQ(SkinArchive::ReadStatus::kOk, archive_.Read(L"skin.xml", &out, 9));
}

TEST(SkinArchiveDamage, NotAnArchive) {
  SkinArchive archive;
  EXPECT_FALSE(archive.Open(nullptr, 0));
  EXPECT_FALSE(archive.Open("PK\x05\x06", 4));
  std::string junk(1000, 'x');
  EXPECT_FALSE(archive.Open(junk.data(), junk.size()));
  EXPECT_FALSE(archive.IsOpen());
  std::string out;
  EXPECT_EQ(SkinArchive::ReadStatus::kNotFound, archive.Read(L"skin.xml", &out));
}

TEST(SkinArchiveDamage, TruncationsAndFlippedBytesNeverReadOutside) {
  ZipWriter zip;
  zip.Add("skin.xml", std::string(300, 'a') + "<Window/>");
  zip.Add("plain.txt", "stored text", false);
  const std::string good = zip.Finish();
  // Every truncation and every single flipped byte: the reader answers
  // without reading past the buffer (the sanitizer build checks that) and
  // never reports damaged content as good.
  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    std::string bytes = good.substr(0, cut);
    SkinArchive archive;
    if (!archive.Open(bytes.data(), bytes.size())) continue;
    std::string out;
    archive.Read(L"skin.xml", &out);
    archive.Read(L"plain.txt", &out);
  }
  for (std::size_t i = 0; i < good.size(); ++i) {
    std::string bytes = good;
    bytes[i] = static_cast<char>(bytes[i] ^ 0xA5);
    SkinArchive archive;
    if (!archive.Open(bytes.data(), bytes.size())) continue;
    std::string out;
    if (archive.Read(L"skin.xml", &out) == SkinArchive::ReadStatus::kOk) {
      EXPECT_EQ(std::string(300, 'a') + "<Window/>", out) << "byte " << i;
    }
    if (archive.Read(L"plain.txt", &out) == SkinArchive::ReadStatus::kOk) {
      EXPECT_EQ("stored text", out) << "byte " << i;
    }
  }
}

TEST(SkinArchiveDamage, EncryptedAndUnknownMethodsAreDamage) {
  ZipWriter zip;
  zip.Add("a.xml", "aaaa", false);
  std::string bytes = zip.Finish();
  std::size_t central = bytes.find("PK\x01\x02");
  ASSERT_NE(std::string::npos, central);
  std::string encrypted = bytes;
  encrypted[central + 8] |= 1;  // general purpose flag bit 0
  std::string bzip = bytes;
  bzip[central + 10] = 12;  // method 12
  for (const std::string* b : {&encrypted, &bzip}) {
    SkinArchive archive;
    ASSERT_TRUE(archive.Open(b->data(), b->size()));
    std::string out;
    EXPECT_EQ(SkinArchive::ReadStatus::kDamaged, archive.Read(L"a.xml", &out));
    EXPECT_TRUE(out.empty());
  }
}

}  // namespace
}  // namespace SkinUI

namespace SkinUI {
namespace {

TEST(SkinArchiveDamage, AHugeStatedSizeIsDamageNotAnAllocation) {
  testing::ZipWriter zip;
  zip.Add("a.xml", std::string(100, 'a'));
  std::string bytes = zip.Finish();
  std::size_t central = bytes.find("PK\x01\x02");
  ASSERT_NE(std::string::npos, central);
  bytes[central + 27] = static_cast<char>(0xC0);  // uncompressed size ~3 GiB
  SkinArchive archive;
  ASSERT_TRUE(archive.Open(bytes.data(), bytes.size()));
  std::string out;
  EXPECT_EQ(SkinArchive::ReadStatus::kDamaged, archive.Read(L"a.xml", &out));
}

}  // namespace
}  // namespace SkinUI
