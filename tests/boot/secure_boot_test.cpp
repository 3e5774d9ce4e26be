// Secure Boot trust on recorded bytes, and the road each firmware takes.
#include "boot/secure_boot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "boot/firmware.h"
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
  // Secure Boot off starts any loader, even one carried without signatures.
  EXPECT_EQ(BootRoad::kUefi, DecideBootRoad(uefi, true, ""));
  EXPECT_EQ(BootRoad::kRefusedUntrusted, DecideBootRoad(trusted, true, ""));
}

}  // namespace
}  // namespace kavi
