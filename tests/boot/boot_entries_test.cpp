// Boot menu entries: every bcdedit, bcdboot and activation command line in
// order, the device of the boot drive, the one-time boot sequence, boot.ini.
#include "boot/boot_entries.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/boot/fake_boot_machine.h"

namespace kavi {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing_boot::MachineFixture;

const std::wstring kId = L"{DD97BC62-B9FD-466E-89A6-DCCF8465F855}";

TEST(HasBootFolder, LooksForMemtestOrTheChineseFolder) {
  MachineFixture m;
  EXPECT_TRUE(HasBootFolder(m.files, L'C'));
  m.files.files.erase(L"C:\\Boot\\memtest.exe");
  EXPECT_FALSE(HasBootFolder(m.files, L'C'));
  m.files.folders.insert(L"C:\\Boot\\zh-CN");
  EXPECT_TRUE(HasBootFolder(m.files, L'C'));
}

TEST(BackupBcdStore, CopiesOnceAndExportsOnlyWhenNoCopyCouldBeMade) {
  MachineFixture m;
  BootMachine machine = m.Machine();
  BackupBcdStore(machine);
  EXPECT_EQ("store", m.files.files[L"C:\\BOOT\\BCD_B"]);
  EXPECT_THAT(m.runner.lines, IsEmpty());
  // An existing backup is kept.
  m.files.files[L"C:\\BOOT\\BCD"] = "changed";
  BackupBcdStore(machine);
  EXPECT_EQ("store", m.files.files[L"C:\\BOOT\\BCD_B"]);

  MachineFixture hidden;
  hidden.files.files.erase(L"C:\\BOOT\\BCD");
  BootMachine h = hidden.Machine();
  BackupBcdStore(h);
  EXPECT_THAT(hidden.runner.lines, ElementsAre(hidden.Bcdedit(L"/export C:\\BOOT\\BCD_B")));
}

TEST(AddBcdEntrySystemStore, RunsEveryCommandInOrderAndArmsTheNextBootOnly) {
  MachineFixture m;
  BootMachine machine = m.Machine();
  ASSERT_TRUE(AddBcdEntrySystemStore(machine, L"Kavi一键备份", 1));
  EXPECT_THAT(
      m.runner.lines,
      ElementsAre(m.Bcdedit(L"/create " + kId + L" /d \"Kavi一键备份\" /application bootsector"),
                  m.Bcdedit(L"/set " + kId + L" path \\kvldr.mbr"),
                  m.Bcdedit(L"/displayorder " + kId + L" /addlast"), m.Bcdedit(L"/timeout 3"),
                  m.Bcdedit(L"/set " + kId + L" device partition=\\Device\\HarddiskVolume2"),
                  m.Bcdedit(L"/bootsequence " + kId)));
  EXPECT_EQ("store", m.files.files[L"C:\\BOOT\\BCD_B"]);
}

TEST(AddBcdEntrySystemStore, NamesTheBootDriveItselfWhenItsVolumeIsNotFound) {
  // Never "\Device\Harddisk0\Partition1": C: may be any partition.
  MachineFixture m;
  m.devices.volumeNames.pop_back();
  BootMachine machine = m.Machine();
  ASSERT_TRUE(AddBcdEntrySystemStore(machine, L"Kavi一键还原", 2));
  EXPECT_EQ(m.Bcdedit(L"/set " + kId + L" device partition=C:"), m.runner.lines[4]);
}

TEST(AddBcdEntrySystemStore, AFailureRemovesTheEntryAndTheBackupItMade) {
  MachineFixture m;
  m.runner.exitCodes[m.Bcdedit(L"/bootsequence " + kId)] = 1;
  BootMachine machine = m.Machine();
  EXPECT_FALSE(AddBcdEntrySystemStore(machine, L"Kavi一键备份", 1));
  EXPECT_EQ(m.Bcdedit(L"/delete " + kId), m.runner.lines.back());
  EXPECT_FALSE(m.files.Exists(L"C:\\BOOT\\BCD_B"));

  // A backup from before this attempt stays; an existing entry (the create
  // line failing) is not a failure.
  MachineFixture again;
  again.files.files[L"C:\\BOOT\\BCD_B"] = "first";
  again.runner.exitCodes[again.Bcdedit(L"/create " + kId +
                                       L" /d \"Kavi一键备份\" /application bootsector")] = 1;
  BootMachine a = again.Machine();
  EXPECT_TRUE(AddBcdEntrySystemStore(a, L"Kavi一键备份", 1));
  again.runner.exitCodes[again.Bcdedit(L"/set " + kId + L" path \\kvldr.mbr")] = 1;
  EXPECT_FALSE(AddBcdEntrySystemStore(a, L"Kavi一键备份", 1));
  EXPECT_EQ("first", again.files.files[L"C:\\BOOT\\BCD_B"]);

  // bcdedit that cannot start, or a mode other than 1 and 2.
  MachineFixture none;
  none.runner.unstartable = {none.settings.bcdeditPath};
  BootMachine n = none.Machine();
  EXPECT_FALSE(AddBcdEntrySystemStore(n, L"Kavi一键备份", 1));
  EXPECT_FALSE(AddBcdEntrySystemStore(n, L"Kavi一键备份", 3));
}

TEST(AddBcdEntryOwnStore, MakesTheDriveBootableThenFillsItsStore) {
  // Windows 7 with its boot manager on a hidden partition: C: is partition 2.
  MachineFixture m;
  using namespace testing_disks;
  m.devices.drives = {DriveLayout({{kMiB, 1}, {101 * kMiB, 2}, {60 * kGiB, 3}})};
  m.devices.AddVolume(L'C', 0, 101 * kMiB);
  m.disks = EnumerateDisks(m.devices);
  BootMachine machine = m.Machine();
  const std::wstring store = L"/store C:\\boot\\bcd ";
  ASSERT_TRUE(AddBcdEntryOwnStore(machine, L"Kavi一键还原", 2));
  EXPECT_THAT(
      m.runner.lines,
      ElementsAre(
          m.settings.bcdbootPath + L" C:\\windows /s C: /l zh-cn",
          m.settings.dsptPath + L" 0 /act:2",
          m.Bcdedit(store + L"/create " + kId + L" /d \"Kavi一键还原\" /application bootsector"),
          m.Bcdedit(store + L"/set " + kId + L" path \\kvldr.mbr"),
          m.Bcdedit(store + L"/displayorder " + kId + L" /addlast"),
          m.Bcdedit(store + L"/timeout 3"),
          m.Bcdedit(store + L"/set " + kId + L" device partition=\\Device\\HarddiskVolume2"),
          m.Bcdedit(store + L"/bootsequence " + kId)));
}

TEST(MakeSystemPartitionBootable, NeverActivatesWithoutBootFilesOrAPosition) {
  {
    MachineFixture m;
    const std::wstring bcdboot = m.settings.bcdbootPath + L" C:\\windows /s C: /l zh-cn";
    m.runner.exitCodes[bcdboot] = 1;
    BootMachine machine = m.Machine();
    // The own store then gets no entry either.
    EXPECT_FALSE(AddBcdEntryOwnStore(machine, L"Kavi一键备份", 1));
    EXPECT_THAT(m.runner.lines, ElementsAre(bcdboot));
  }
  {
    MachineFixture m;
    m.devices.volumes.erase(L'C');  // disk number of C: unknown
    BootMachine machine = m.Machine();
    const BootTakeoverSettings& s = m.settings;
    EXPECT_FALSE(MakeSystemPartitionBootable(machine, L'C', s.bcdbootPath, s.dsptPath));
    EXPECT_THAT(m.runner.lines, ElementsAre(s.bcdbootPath + L" C:\\windows /s C: /l zh-cn"));
  }
  {
    MachineFixture m;
    const BootTakeoverSettings& s = m.settings;
    m.runner.exitCodes[s.dsptPath + L" 0 /act:1"] = 2;  // e.g. a GPT disk
    BootMachine machine = m.Machine();
    EXPECT_FALSE(MakeSystemPartitionBootable(machine, L'C', s.bcdbootPath, s.dsptPath));
    EXPECT_THAT(m.runner.lines, ElementsAre(s.bcdbootPath + L" C:\\windows /s C: /l zh-cn",
                                            s.dsptPath + L" 0 /act:1"));
  }
}

TEST(AddBootIniEntry, CopiesThenWritesDefaultTimeoutAndEntry) {
  MachineFixture m;
  BootMachine machine = m.Machine();
  ASSERT_TRUE(AddBootIniEntry(machine, L"Kavi一键备份", 1));
  EXPECT_THAT(m.files.log,
              ElementsAre(L"copy C:\\boot.ini C:\\boot.in_",
                          L"ini C:\\boot.ini [boot loader] default=C:\\kvldr.mbr",
                          L"ini C:\\boot.ini [boot loader] timeout=3",
                          L"ini C:\\boot.ini [operating systems] C:\\kvldr.mbr=Kavi一键备份"));
  EXPECT_THAT(m.runner.lines, IsEmpty());
}

// "boot.in_" is what the next boot puts back, so it must never hold an armed
// boot.ini: restore mode copies too, over a stale copy, and a second
// takeover before the next boot keeps the first one's copy.
TEST(AddBootIniEntry, TheCopyIsAlwaysTheBootIniBeforeAnyTakeover) {
  MachineFixture m;
  const std::string original = "[boot loader]\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\r\n";
  m.files.files[L"C:\\boot.ini"] = original;
  m.files.files[L"C:\\boot.in_"] = "stale";
  BootMachine machine = m.Machine();
  ASSERT_TRUE(AddBootIniEntry(machine, L"Kavi一键还原", kTakeoverRestore));
  EXPECT_EQ(original, m.files.files[L"C:\\boot.in_"]);
  const std::string armed = m.files.files[L"C:\\boot.ini"];
  ASSERT_TRUE(NamesBootIniEntry(armed, L"c:\\KVLDR.MBR"));
  ASSERT_TRUE(AddBootIniEntry(machine, L"Kavi一键备份", kTakeoverBackup));
  EXPECT_EQ(original, m.files.files[L"C:\\boot.in_"]);

  // Armed, and the copy gone: there is no clean boot.ini to put back.
  m.files.files.erase(L"C:\\boot.in_");
  m.files.files[L"C:\\boot.ini"] = armed;
  EXPECT_FALSE(AddBootIniEntry(machine, L"Kavi一键还原", kTakeoverRestore));
  EXPECT_EQ(armed, m.files.files[L"C:\\boot.ini"]);
  EXPECT_FALSE(m.files.Exists(L"C:\\boot.in_"));
}

TEST(AddBootIniEntry, FailsWithoutBootIniOrItsCopy) {
  MachineFixture m;
  BootMachine machine = m.Machine();
  EXPECT_FALSE(AddBootIniEntry(machine, L"x", 0));
  m.files.files.erase(L"C:\\boot.ini");
  EXPECT_FALSE(AddBootIniEntry(machine, L"x", 2));
  EXPECT_THAT(m.files.log, IsEmpty());

  MachineFixture noCopy;
  noCopy.files.files.erase(L"C:\\boot.ini");
  noCopy.files.folders.insert(L"C:\\boot.ini");  // present but not copyable
  BootMachine n = noCopy.Machine();
  EXPECT_FALSE(AddBootIniEntry(n, L"x", 1));
  EXPECT_THAT(noCopy.files.Logged(L"ini "), IsEmpty());
}

}  // namespace
}  // namespace kavi
