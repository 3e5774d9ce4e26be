// Secure Boot trust on recorded bytes, and the road each firmware takes.
#include "boot/secure_boot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "boot/firmware.h"
#include "boot/sha256.h"
#include "tests/boot/efi_test_data.h"

namespace kavi {
namespace {

using ::testing::HasSubstr;
using testing_efi::OvmfDb;
using testing_efi::SignedShim;

const std::string kUefiCa2011 = "Microsoft Corporation UEFI CA 2011";

TEST(SecureBoot, OvmfsMicrosoftDbTrustsDebiansShim) {
  const std::string db = OvmfDb();
  ASSERT_EQ(3143u, db.size());
  const std::vector<std::string> certificates = DatabaseCertificates(db);
  ASSERT_EQ(2u, certificates.size());
  EXPECT_THAT(CertificateSubject(certificates[0]).value(),
              HasSubstr("Microsoft Windows Production PCA 2011"));
  EXPECT_THAT(CertificateSubject(certificates[1]).value(), HasSubstr(kUefiCa2011));
  EXPECT_THAT(CertificateIssuer(certificates[1]).value(),
              HasSubstr("Third Party Marketplace Root"));

  const std::string shim = SignedShim();
  const std::vector<std::string> issuers = ImageSignerIssuers(shim);
  ASSERT_EQ(2u, issuers.size());
  EXPECT_THAT(issuers[0], HasSubstr(kUefiCa2011));
  EXPECT_THAT(issuers[1], HasSubstr("Microsoft UEFI CA 2023"));
  EXPECT_TRUE(DatabaseTrustsImage(db, shim));
}

TEST(SecureBoot, OnlyTheIssuingCertificateItselfTrustsTheShim) {
  const std::string db = OvmfDb();
  const std::string shim = SignedShim();
  // Windows' own CA alone: the first signature list.
  const std::string windowsOnly = db.substr(0, 1543);
  ASSERT_EQ(1u, DatabaseCertificates(windowsOnly).size());
  EXPECT_FALSE(DatabaseTrustsImage(windowsOnly, shim));
  // The UEFI CA's subject one letter off.
  std::string changed = db;
  const size_t subject = changed.find(kUefiCa2011, 1543);
  ASSERT_NE(std::string::npos, subject);
  changed[subject] = 'm';
  EXPECT_FALSE(DatabaseTrustsImage(changed, shim));
  // A list claiming more bytes than db has ends the walk.
  std::string overlong = db;
  overlong[1543 + 16] = '\x7F';
  EXPECT_EQ(1u, DatabaseCertificates(overlong).size());
  // An image without signatures, and bytes that are no image.
  EXPECT_FALSE(DatabaseTrustsImage(db, testing_efi::ImageWithSignatures("")));
  EXPECT_FALSE(DatabaseTrustsImage(db, shim.substr(0, 0x100)));
}

// The real shim of the EFI build, when the native tree has built it.
TEST(SecureBoot, TheShimWeCarryIsTrustedByOvmf) {
  const std::string shim = testing_efi::ReadFile(KAVI_EFI_BUILD_DIR "shimx64.efi");
  if (shim.empty()) GTEST_SKIP() << "no EFI build at " KAVI_EFI_BUILD_DIR;
  EXPECT_TRUE(DatabaseTrustsImage(OvmfDb(), shim));
}

std::string Sha256Of(const std::string& bytes) {
  Sha256 hash;
  hash.Update(bytes);
  return hash.Final();
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) out += std::string{digits[c >> 4], digits[c & 15]};
  return out;
}

// dbx revokes by the image's hash or by a certificate of its chain, and the
// SBAT level by a component's generation; db alone would trust each image.
TEST(SecureBoot, DbxAndTheSbatLevelRevokeWhatDbTrusts) {
  EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
            Hex(Sha256Of("abc")));
  EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
            Hex(Sha256Of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")));
  const std::string db = OvmfDb();
  const std::string shim = testing_efi::ImageWithSignatures(
      testing_efi::ReadFile(std::string(KAVI_BOOT_TEST_DATA) + "shim_signatures.bin"),
      "sbat,1,SBAT Version,sbat,1,https://example.invalid/SBAT.md\n"
      "shim,4,UEFI shim,shim,15.8,https://example.invalid/shim\n");
  ASSERT_TRUE(DatabaseTrustsImage(db, shim));
  const std::string hash = AuthenticodeSha256(shim).value_or("");
  ASSERT_EQ(32u, hash.size());
  const std::string other(32, '\x5A');
  const std::string hashes = testing_efi::SignatureList(kEfiCertSha256Guid, {other, hash});
  const std::string signer = ImageCertificates(shim).at(0);
  const struct {
    const char* what;
    std::string dbx;
    std::string level;
    std::optional<ImageRevocation> revocation;
  } cases[] = {
      {"nothing revoked", testing_efi::SignatureList(kEfiCertSha256Guid, {other}), "",
       std::nullopt},
      {"its hash", hashes, "", ImageRevocation::kImageHash},
      {"a certificate it carries", testing_efi::SignatureList(kEfiCertX509Guid, {signer}), "",
       ImageRevocation::kSigner},
      {"the db certificate that issued its signer", db.substr(1543), "", ImageRevocation::kSigner},
      {"a higher shim generation", "", "sbat,1,2024010900\nshim,5\ngrub,3\n",
       ImageRevocation::kSbatGeneration},
      {"its own shim generation", "", "sbat,1,2024010900\nshim,4\ngrub,3\n", std::nullopt},
      {"a component it has not", "", "sbat,1,2024010900\ngrub.debian,9\n", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.revocation, RevocationOfImage(c.dbx, db, c.level, shim)) << c.what;
  }
  // One byte of a section changes the hash; the checksum does not.
  std::string changed = shim;
  changed[changed.find("shim,4")] = 'S';
  EXPECT_NE(hash, AuthenticodeSha256(changed));
  changed = shim;
  changed[0x80 + 24 + 64] = '\x7F';
  EXPECT_EQ(hash, AuthenticodeSha256(changed));
}

// The real shim of the EFI build: the hash computed here is the one its
// signatures sign, and its .sbat names a shim generation.
TEST(SecureBoot, TheCarriedShimsHashIsTheSignedOne) {
  const std::string shim = testing_efi::ReadFile(KAVI_EFI_BUILD_DIR "shimx64.efi");
  if (shim.empty()) GTEST_SKIP() << "no EFI build at " KAVI_EFI_BUILD_DIR;
  const std::string hash = AuthenticodeSha256(shim).value_or("");
  ASSERT_EQ(32u, hash.size());
  EXPECT_NE(std::string::npos, shim.find(hash, shim.size() / 2)) << Hex(hash);
  EXPECT_TRUE(SbatGeneration(ImageSection(shim, ".sbat").value_or(""), "shim").has_value());
}

// The levels published up to the carried shim's build (its .sbatlevel)
// pass that shim and the GRUB it starts; under Secure Boot a shim or GRUB
// one generation below them is refused before anything is written, even
// where the firmware shows no SbatLevelRT.
TEST(SecureBoot, TheCarriedShimsLevelsPassOursAndRefuseOlderOnes) {
  const std::string shim = testing_efi::ReadFile(KAVI_EFI_BUILD_DIR "shimx64.efi");
  const std::string grub = testing_efi::ReadFile(KAVI_EFI_BUILD_DIR "grubx64.efi");
  if (shim.empty() || grub.empty()) GTEST_SKIP() << "no EFI build at " KAVI_EFI_BUILD_DIR;
  const std::vector<std::string> levels = PublishedSbatLevels(shim);
  ASSERT_EQ(2u, levels.size());
  EXPECT_EQ(0u, levels[1].find("sbat,1,")) << levels[1];
  FirmwareFacts f;
  f.type = FirmwareType::kUefi;
  f.x64 = true;
  f.secureBoot = true;
  f.db = OvmfDb();
  EXPECT_EQ(BootRoad::kUefi, DecideBootRoad(f, true, shim, grub));

  // One generation below the latest level's, in the image's own .sbat.
  const auto older = [&](std::string image, const std::string& component) {
    const uint32_t latest = SbatGeneration(levels[1], component).value_or(0);
    const std::string line = "\n" + component + "," + std::to_string(latest) + ",";
    const size_t at = image.find(line);
    if (latest == 0 || latest > 9 || at == std::string::npos) return std::string();
    image[at + line.size() - 2] = static_cast<char>('0' + latest - 1);
    return image;
  };
  const std::string olderShim = older(shim, "shim");
  const std::string olderGrub = older(grub, "grub");
  ASSERT_FALSE(olderShim.empty());
  ASSERT_FALSE(olderGrub.empty());
  EXPECT_EQ(BootRoad::kRefusedRevoked, DecideBootRoad(f, true, olderShim, grub));
  EXPECT_EQ(BootRoad::kRefusedRevoked, DecideBootRoad(f, true, shim, olderGrub));
  f.secureBoot = false;
  EXPECT_EQ(BootRoad::kUefi, DecideBootRoad(f, true, olderShim, olderGrub));
}

TEST(BootRoad, FirmwareTypeAndBitness) {
  EXPECT_EQ(FirmwareType::kUefi, FirmwareTypeFrom(kFirmwareTypeUefi, std::nullopt));
  EXPECT_EQ(FirmwareType::kBios, FirmwareTypeFrom(kFirmwareTypeBios, 998u));
  EXPECT_EQ(FirmwareType::kBios, FirmwareTypeFrom(std::nullopt, kErrorInvalidFunction));
  EXPECT_EQ(FirmwareType::kUefi, FirmwareTypeFrom(std::nullopt, 998u));  // ERROR_NOACCESS
  EXPECT_EQ(FirmwareType::kBios, FirmwareTypeFrom(std::nullopt, std::nullopt));
  EXPECT_TRUE(WindowsIsX64(true, std::nullopt));
  EXPECT_FALSE(WindowsIsX64(false, std::nullopt));
  EXPECT_FALSE(WindowsIsX64(true, uint16_t{0xAA64}));  // ARM64
  EXPECT_TRUE(WindowsIsX64(true, kMachineAmd64));
}

TEST(BootRoad, EachFirmwareTakesItsRoadOrIsRefused) {
  const std::string shim = SignedShim();
  const FirmwareFacts bios;
  FirmwareFacts uefi;
  uefi.type = FirmwareType::kUefi;
  uefi.x64 = true;
  FirmwareFacts ia32 = uefi;
  ia32.x64 = false;
  FirmwareFacts trusted = uefi;
  trusted.secureBoot = true;
  trusted.db = OvmfDb();
  FirmwareFacts untrusted = trusted;
  untrusted.db = OvmfDb().substr(0, 1543);
  FirmwareFacts unread = trusted;
  unread.db.reset();

  EXPECT_EQ(BootRoad::kBios, DecideBootRoad(bios, false, shim));
  EXPECT_EQ(BootRoad::kRefusedGptOnBios, DecideBootRoad(bios, true, shim));
  EXPECT_EQ(BootRoad::kUefi, DecideBootRoad(uefi, true, shim));
  EXPECT_EQ(BootRoad::kUefi, DecideBootRoad(uefi, false, shim));
  EXPECT_EQ(BootRoad::kRefusedNotX64, DecideBootRoad(ia32, true, shim));
  EXPECT_EQ(BootRoad::kUefi, DecideBootRoad(trusted, true, shim));
  EXPECT_EQ(BootRoad::kRefusedUntrusted, DecideBootRoad(untrusted, true, shim));
  EXPECT_EQ(BootRoad::kRefusedUntrusted, DecideBootRoad(unread, true, shim));
  FirmwareFacts revoked = trusted;
  revoked.dbx = testing_efi::SignatureList(kEfiCertSha256Guid, {AuthenticodeSha256(shim).value()});
  EXPECT_EQ(BootRoad::kRefusedRevoked, DecideBootRoad(revoked, true, shim));
  revoked.secureBoot = false;
  EXPECT_EQ(BootRoad::kUefi, DecideBootRoad(revoked, true, shim));
  // Secure Boot off starts any loader, even one carried without signatures.
  EXPECT_EQ(BootRoad::kUefi, DecideBootRoad(uefi, true, ""));
  EXPECT_EQ(BootRoad::kRefusedUntrusted, DecideBootRoad(trusted, true, ""));
}

}  // namespace
}  // namespace kavi
