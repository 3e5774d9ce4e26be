// The payloads packed by kavi_boot_payload_resources, as the program carries
// them: our tools and the loader pair as resources of type "GHOST".
#include <gtest/gtest.h>

#include <string>

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

// Built without KAVI_PAYLOAD_DIR there is no floppy image, and a takeover is
// refused before anything changes.
TEST(PackedPayloads, WithoutAFloppyImageTakeoversAreRefused) {
  if (!Resource(145).empty()) GTEST_SKIP() << "built with a KV.ima from KAVI_PAYLOAD_DIR";
  testing_boot::MachineFixture m;
  BootMachine machine{m.settings, L'C',      5,      m.runner, m.files, SystemPayloadResources(),
                      m.disks,    m.devices, nullptr};
  EXPECT_EQ(TakeoverResult::kPayloadsMissing, CheckTakeover(machine));
}

}  // namespace
}  // namespace kavi
