// Payloads from the executable's resources, the attribute commands around a
// takeover, and the tools written at start-up.
#include "boot/boot_payloads.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "boot/boot_setup.h"
#include "tests/boot/fake_boot_machine.h"

namespace kavi {
namespace {

using ::testing::ElementsAre;
using testing_boot::MachineFixture;

TEST(WriteResourceToFile, WritesTheBytesOrLeavesAnEmptyFileAndFails) {
  MachineFixture m;
  m.resources.payloads[200] = "";
  m.files.files[L"C:\\old"] = "old contents";
  EXPECT_TRUE(WriteResourceToFile(m.files, m.resources, L"C:\\a", 145, L"GHOST"));
  EXPECT_EQ("floppy", m.files.files[L"C:\\a"]);
  // Missing, empty, or of another type: the file is created, stays empty.
  EXPECT_FALSE(WriteResourceToFile(m.files, m.resources, L"C:\\old", 199, L"GHOST"));
  EXPECT_EQ("", m.files.files[L"C:\\old"]);
  EXPECT_FALSE(WriteResourceToFile(m.files, m.resources, L"C:\\b", 200, L"GHOST"));
  EXPECT_EQ("", m.files.files[L"C:\\b"]);
  EXPECT_FALSE(WriteResourceToFile(m.files, m.resources, L"C:\\c", 145, L"OTHER"));
  // A file that cannot be created fails; so does a failing write.
  m.files.uncreatable.insert(L"C:\\d");
  EXPECT_FALSE(WriteResourceToFile(m.files, m.resources, L"C:\\d", 145, L"GHOST"));
  m.files.unwritable.insert(L"C:\\e");
  EXPECT_FALSE(WriteResourceToFile(m.files, m.resources, L"C:\\e", 145, L"GHOST"));
}

TEST(WriteBootPayloads, WritesIntoTheBootDriveRootInOrderAndStopsAtAFailure) {
  MachineFixture m;
  BootMachine machine = m.Machine();
  ASSERT_TRUE(WriteBootPayloads(machine, 145, true));
  EXPECT_THAT(m.files.Logged(L"create "),
              ElementsAre(L"create C:\\KV.ima", L"create C:\\kvldr", L"create C:\\kvldr.mbr"));
  EXPECT_EQ("bootsector", m.files.files[L"C:\\kvldr.mbr"]);

  MachineFixture bootIni;
  BootMachine xp = bootIni.Machine();
  ASSERT_TRUE(WriteBootPayloads(xp, 145, false));
  EXPECT_THAT(bootIni.files.Logged(L"create "),
              ElementsAre(L"create C:\\KV.ima", L"create C:\\kvldr"));

  MachineFixture failing;
  failing.resources.payloads.erase(145);
  BootMachine f = failing.Machine();
  EXPECT_FALSE(WriteBootPayloads(f, 145, true));
  EXPECT_THAT(failing.files.Logged(L"create "), ElementsAre(L"create C:\\KV.ima"));
  EXPECT_FALSE(HasBootPayloads(f, 145, false));
  failing.resources.payloads[145] = "floppy";
  failing.resources.payloads.erase(147);
  EXPECT_TRUE(HasBootPayloads(f, 145, false));
  EXPECT_FALSE(HasBootPayloads(f, 145, true));
}

TEST(BootFileAttributes, HideAndUnhideRunTheFiveCommandsInOrder) {
  MachineFixture m;
  BootMachine machine = m.Machine();
  UnhideBootFiles(machine);
  HideBootFiles(machine);
  EXPECT_THAT(
      m.runner.lines,
      ElementsAre(
          L"cmd /c attrib -h -s -r \"C:\\GHOST.*\"", L"cmd /c attrib -h -s -r \"C:\\boot.in*\"",
          L"cmd /c attrib -h -s -r \"C:\\*.ima\"", L"cmd /c attrib -h -s -r \"C:\\kvldr\"",
          L"cmd /c attrib -h -s -r \"C:\\kvldr.mbr\"", L"cmd /c attrib +h +s +r \"C:\\GHOST.*\"",
          L"cmd /c attrib +h +s +r \"C:\\boot.in*\"", L"cmd /c attrib +h +s +r \"C:\\*.ima\"",
          L"cmd /c attrib +h +s +r \"C:\\kvldr\"", L"cmd /c attrib +h +s +r \"C:\\kvldr.mbr\""));
}

TEST(BootSetUp, WritesTheFourToolsEvenWhenOneIsMissing) {
  MachineFixture m;
  m.resources.payloads = {{137, "bcdedit"}, {143, "bcdboot"}, {144, "bcdsect"}};
  WorkingFields fields;
  fields.bcdeditPath = L"T\\bcdedit.exe";
  fields.dsptPath = L"T\\dspt.exe";
  fields.bcdbootPath = L"T\\bcdboot.exe";
  fields.bcdsectPath = L"T\\bcdsect.exe";
  EXPECT_FALSE(WriteBootTools(m.files, m.resources, fields));
  EXPECT_THAT(m.files.Logged(L"create "),
              ElementsAre(L"create T\\bcdedit.exe", L"create T\\dspt.exe", L"create T\\bcdboot.exe",
                          L"create T\\bcdsect.exe"));
  EXPECT_EQ("bcdedit", m.files.files[L"T\\bcdedit.exe"]);
  EXPECT_EQ("", m.files.files[L"T\\dspt.exe"]);
  EXPECT_EQ("bcdsect", m.files.files[L"T\\bcdsect.exe"]);

  fields.bootDrive = L'D';
  BootTakeoverSetUp setUp(m.files, m.resources);
  static_cast<BootSetUp&>(setUp).InitBootSettings(fields);
  EXPECT_EQ(L'D', BootSettings().bootDrive);
}

}  // namespace
}  // namespace kavi
