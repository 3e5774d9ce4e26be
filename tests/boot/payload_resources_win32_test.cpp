// The payloads packed by kavi_boot_payload_resources, as the program carries
// them: our tools and the loader pair as resources of type "GHOST".
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "boot/boot_entries.h"
#include "boot/boot_machine.h"
#include "boot/boot_payloads.h"
#include "boot/takeover.h"
#include "tests/boot/fake_boot_machine.h"

namespace kavi {
namespace {

std::string Resource(uint16_t id) {
  ResourceBytes bytes;
  if (!SystemPayloadResources().Load(id, L"GHOST", &bytes)) return std::string();
  return std::string(reinterpret_cast<const char*>(bytes.data), bytes.size);
}

TEST(PackedPayloads, ToolsAndLoaderPairAreCarried) {
  for (uint16_t id : {137, 142, 143, 144}) {
    const std::string tool = Resource(id);
    ASSERT_GT(tool.size(), 1024u) << id;
    EXPECT_EQ("MZ", tool.substr(0, 2)) << id;
  }
  // The boot-sector form is 16 sectors; the loader starts with GRUB's head.
  EXPECT_EQ(8192u, Resource(147).size());
  EXPECT_NE(std::string::npos, Resource(147).find("No kvldr"));
  EXPECT_GT(Resource(146).size(), 100000u);
}

// Every build carries the restore environment; built without
// KAVI_PAYLOAD_DIR there is no floppy image, so a backup can be armed while a
// Ghost image is refused before anything changes.
TEST(PackedPayloads, TheEnvironmentIsAlwaysCarriedAndGhostImagesNeedTheFloppy) {
  EXPECT_FALSE(Resource(148).empty());
  if (!Resource(145).empty()) GTEST_SKIP() << "built with a KV.ima from KAVI_PAYLOAD_DIR";
  testing_boot::MachineFixture m;
  m.files.files[m.settings.bcdeditPath] = Resource(kBcdeditResourceId);  // as the set-up writes it
  BootMachine machine{m.settings, L'C',      5,      m.runner, m.files, SystemPayloadResources(),
                      m.disks,    m.devices, nullptr};
  EXPECT_EQ(TakeoverResult::kArmed, CheckTakeover(machine, kTakeoverBackup, L"D:\\x\\SYS.GHO"));
  EXPECT_EQ(TakeoverResult::kImageNeedsGhost,
            CheckTakeover(machine, kTakeoverRestore, L"D:\\DURozazo\\SYS.GHO"));
}

// The UEFI road's six files, byte for byte as KAVI_RESTORE_EFI holds them.
TEST(PackedPayloads, TheUefiFilesAreCarriedAsBuilt) {
  uint16_t id = kEfiFirstResourceId;
  for (const wchar_t* name : kEfiFileNames) {
    const std::wstring wide(name);
    std::ifstream in(KAVI_RESTORE_EFI_DIR + std::string(wide.begin(), wide.end()),
                     std::ios::binary);
    ASSERT_TRUE(in) << id;
    const std::string built{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_FALSE(built.empty());
    EXPECT_EQ(built, Resource(id++));
  }
}

}  // namespace
}  // namespace kavi
