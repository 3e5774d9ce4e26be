// An image the machine cannot start is refused by the reinstall right after
// the image check, from the WIM's own XML, with nothing written.
#include "boot/wim_xml.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "boot/image_payload.h"
#include "boot/takeover.h"
#include "tests/boot/fake_boot_machine.h"

namespace kavi {
namespace {

using ::testing::IsEmpty;
using testing_boot::MachineFixture;

std::string Utf16(const std::string& ascii) {
  std::string out("\xFF\xFE", 2);
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

void Put(std::string* b, size_t at, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) (*b)[at + i] = static_cast<char>(v >> (8 * i));
}

// A WIM file whose XML lies after 5000 bytes of resources, as wimlib and
// Windows write it: header entry at 0x48 (size, flags, offset, size).
std::string Wim(const std::string& images) {
  const std::string xml = Utf16("<WIM><TOTALBYTES>1</TOTALBYTES>" + images + "</WIM>");
  std::string wim("MSWIM\0\0\0", 8);
  wim.resize(kWimHeaderBytes + 5000, 'r');
  Put(&wim, 0x48, xml.size(), 7);
  wim[0x4F] = 0;
  Put(&wim, 0x50, wim.size(), 8);
  Put(&wim, 0x58, xml.size(), 8);
  return wim + xml;
}

std::string Image(int index, int arch, int major, const std::string& name) {
  return "<IMAGE INDEX=\"" + std::to_string(index) + "\"><WINDOWS><ARCH>" + std::to_string(arch) +
         "</ARCH><VERSION><MAJOR>" + std::to_string(major) +
         "</MAJOR><MINOR>0</MINOR></VERSION></WINDOWS><NAME>" + name + "</NAME></IMAGE>";
}

TEST(WimXml, ReadsEachImageFromTheXmlTheHeaderPointsAt) {
  const std::string wim =
      Wim(Image(1, 0, 6, "Windows 7 Ultimate") + Image(2, 9, 10, "Windows 10 Pro"));
  const std::optional<WimXmlPlace> place = WimXmlPlaceOf(wim.substr(0, kWimHeaderBytes));
  ASSERT_TRUE(place);
  EXPECT_EQ(kWimHeaderBytes + 5000, place->offset);
  const std::vector<WimImageFacts> images = ParseWimXml(wim.substr(place->offset, place->size));
  ASSERT_EQ(2u, images.size());
  EXPECT_EQ(1, images[0].index);
  EXPECT_EQ(kWimArchX86, images[0].arch);
  EXPECT_EQ(6, images[0].major);
  EXPECT_EQ("Windows 7 Ultimate", images[0].name);
  EXPECT_EQ(kWimArchX64, images[1].arch);
  std::string compressed = wim.substr(0, kWimHeaderBytes);
  compressed[0x4F] = 0x04;
  EXPECT_FALSE(WimXmlPlaceOf(compressed));
}

TEST(WimXml, ReinstallRefusesWindowsThisMachineCannotStart) {
  struct Case {
    const char* what;
    std::string images;
    bool cpuX64;
    int32_t edition;
    const wchar_t* text;  // none: the takeover arms
  } cases[] = {
      {"x64 on a 32-bit processor", Image(1, 9, 10, "Windows 10 Pro"), false, 5,
       L"该镜像为64位系统，当前电脑的处理器只能运行32位系统，系统未作任何更改。"},
      {"x64 on an x64 processor under 32-bit Windows 7", Image(1, 9, 10, "Windows 10 Pro"), true, 5,
       nullptr},
      {"Windows 10 over Windows XP", Image(1, 0, 10, "Windows 10 Pro"), true, 2,
       L"当前系统为Windows XP/2003，无法直接安装该镜像中更新版本的Windows，系统未作任何更改。"},
      {"Windows XP over Windows XP", Image(1, 0, 5, "Windows XP"), true, 2, nullptr},
      {"only image 1 is written", Image(1, 0, 6, "Windows 7") + Image(2, 9, 10, "x64"), false, 5,
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MachineFixture m;
    m.edition = c.edition;
    m.firmware.cpuX64 = c.cpuX64;
    const std::wstring image = L"D:\\DURozazo\\Download\\win.wim";
    m.files.files[image] = Wim(c.images);
    BootMachine machine = m.Machine();
    EXPECT_EQ(c.text == nullptr, TakeOverForReinstall(machine, m.ui, image));
    if (c.text == nullptr) continue;
    ASSERT_EQ(1u, m.ui.messages.size());
    EXPECT_EQ(c.text, m.ui.messages[0].text);
    EXPECT_THAT(m.runner.lines, IsEmpty());
    EXPECT_THAT(m.files.log, IsEmpty());
  }
}

TEST(WimXml, BitLockerOnTheSystemOrTheImagePartitionIsRefused) {
  for (wchar_t encrypted : {L'C', L'D'}) {
    MachineFixture m;
    // Raw sectors of the encrypted volume: the BitLocker boot sector.
    std::vector<uint8_t> sector(512, 0);
    std::memcpy(&sector[3], "-FVE-FS-", 8);
    const size_t at = encrypted == L'C' ? 0 : 1;
    m.devices.sectors[{0, static_cast<uint64_t>(m.disks[0].partitions[at].startingOffset)}] =
        sector;
    const std::wstring image = L"D:\\DURozazo\\Download\\win.wim";
    m.files.files[image] = Wim(Image(1, 0, 10, "Windows 10 Pro"));
    BootMachine machine = m.Machine();
    EXPECT_FALSE(TakeOverForReinstall(machine, m.ui, image));
    ASSERT_EQ(1u, m.ui.messages.size());
    EXPECT_EQ(L"请先关闭BitLocker后再重装系统。系统未作任何更改。", m.ui.messages[0].text);
    EXPECT_THAT(m.files.log, IsEmpty());
  }
}

std::string Versioned(int arch, int major, int minor, int build) {
  return "<IMAGE INDEX=\"1\"><WINDOWS><ARCH>" + std::to_string(arch) + "</ARCH><VERSION><MAJOR>" +
         std::to_string(major) + "</MAJOR><MINOR>" + std::to_string(minor) + "</MINOR>" +
         (build ? "<BUILD>" + std::to_string(build) + "</BUILD>" : "") +
         "</VERSION></WINDOWS><NAME>w</NAME></IMAGE>";
}

// Image version x firmware x Secure Boot x architecture, from the XML to the
// refusal or the road. Windows 7 (6.1.7601) and Windows 8 (6.2.9200) differ
// only past MAJOR; Server 2008 R2 and 7 share a build.
TEST(WimXml, EachImageAndMachineGoesItsRoadOrIsRefused) {
  constexpr int x86 = kWimArchX86, x64 = kWimArchX64;
  struct Case {
    const char* what;
    std::string image;
    bool uefi, secureBoot, cpuX64;
    TakeoverResult result;
  } cases[] = {
      {"7 x64, UEFI, Secure Boot", Versioned(x64, 6, 1, 7601), true, true, true,
       TakeoverResult::kImageNeedsSecureBootOff},
      {"7 x64, UEFI, Secure Boot off", Versioned(x64, 6, 1, 7601), true, false, true,
       TakeoverResult::kArmed},
      {"7 x64, BIOS", Versioned(x64, 6, 1, 7601), false, true, true, TakeoverResult::kArmed},
      {"Vista x64, UEFI, Secure Boot", Versioned(x64, 6, 0, 6002), true, true, true,
       TakeoverResult::kImageNeedsSecureBootOff},
      {"7 without a build, UEFI, Secure Boot", Versioned(x64, 6, 1, 0), true, true, true,
       TakeoverResult::kImageNeedsSecureBootOff},
      {"8 x64, UEFI, Secure Boot", Versioned(x64, 6, 2, 9200), true, true, true,
       TakeoverResult::kArmed},
      {"8.1 x64, UEFI, Secure Boot", Versioned(x64, 6, 3, 9600), true, true, true,
       TakeoverResult::kArmed},
      {"10 x64, UEFI, Secure Boot", Versioned(x64, 10, 0, 19045), true, true, true,
       TakeoverResult::kArmed},
      {"10 x86, UEFI", Versioned(x86, 10, 0, 19045), true, false, true,
       TakeoverResult::kImageNoUefiLoader},
      {"10 x64, 32-bit processor", Versioned(x64, 10, 0, 19045), false, false, false,
       TakeoverResult::kImageNeedsX64},
      {"7 x86, BIOS, 32-bit processor", Versioned(x86, 6, 1, 7601), false, false, false,
       TakeoverResult::kArmed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MachineFixture m;
    m.firmware.secureBoot = c.secureBoot;
    m.firmware.cpuX64 = c.cpuX64;
    const std::wstring image = L"D:\\w.wim";
    m.files.files[image] = Wim(c.image);
    BootMachine machine = m.Machine();
    EXPECT_EQ(c.result, CheckImageForMachine(machine, image, c.uefi, false));
  }
  EXPECT_EQ(
      L"该镜像为Windows 7或更早的系统，无法在开启了安全启动(Secure "
      L"Boot)的电脑上启动。请在BIOS设置中"
      L"关闭安全启动后重试，或选择Windows 8及以上的镜像。系统未作任何更改。",
      TakeoverErrorText(TakeoverResult::kImageNeedsSecureBootOff));
}

TEST(WimXml, AnX86ImageHasNoLoaderForX64Uefi) {
  MachineFixture m;
  const std::wstring image = L"D:\\x86.wim";
  m.files.files[image] = Wim(Image(1, 0, 10, "Windows 10 Pro"));
  BootMachine machine = m.Machine();
  EXPECT_EQ(TakeoverResult::kImageNoUefiLoader, CheckImageForMachine(machine, image, true, false));
  EXPECT_EQ(TakeoverResult::kArmed, CheckImageForMachine(machine, image, false, false));
  EXPECT_EQ(L"该镜像为32位系统，无法在当前电脑的UEFI模式下启动，请使用64位镜像。系统未作任何更改。",
            TakeoverErrorText(TakeoverResult::kImageNoUefiLoader));
}

}  // namespace
}  // namespace kavi
