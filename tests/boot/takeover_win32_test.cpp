// The boot takeover on the Windows side: boot.ini edited through the
// private-profile functions on a real file, the attrib commands on real
// files, resource writes, the launchers without their Windows tool, and the
// backup and restore commands on a machine without readable disk layouts.
// Nothing in the shared Wine C: drive is touched.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "boot/boot_entries.h"
#include "boot/boot_payloads.h"
#include "boot/efi_takeover.h"
#include "boot/takeover.h"
#include "host/text.h"
#include "host/win32_util.h"
#include "tests/boot/fake_boot_machine.h"
#include "tests/support/win32_test_util.h"

namespace kavi {
namespace {

using ::testing::HasSubstr;

// The boot drive is the prefix's second fixed drive D:, whose root no other
// suite uses. Files there with the boot files' names are moved aside first
// and put back afterwards.
class SpareDrive : public ::testing::Test {
 protected:
  static constexpr const wchar_t* kNames[] = {L"KV.ima",    L"kvldr",    L"kvldr.mbr",
                                              L"Ghost.ba_", L"boot.ini", L"boot.in_"};

  void SetUp() override {
    for (const wchar_t* name : kNames) {
      SetFileAttributesW(Root(name).c_str(), FILE_ATTRIBUTE_NORMAL);
      MoveFileW(Root(name).c_str(), (saved_ / name).c_str());
    }
    WorkingFields fields;
    fields.bootDrive = letter_;
    fields.bcdeditPath = saved_ / L"bcdedit.exe";
    settings_ = MakeBootTakeoverSettings(fields);
  }
  void TearDown() override {
    for (const wchar_t* name : kNames) {
      SetFileAttributesW(Root(name).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(Root(name).c_str());
      MoveFileW((saved_ / name).c_str(), Root(name).c_str());
    }
  }

  std::wstring Root(const wchar_t* file) const { return Format(L"%lc:\\%ls", letter_, file); }

  BootMachine Machine(int32_t edition = 1) {
    return BootMachine{settings_,
                       letter_,
                       edition,
                       SystemBootProcessRunner(),
                       SystemBootFiles(),
                       SystemPayloadResources(),
                       disks_,
                       devices_,
                       nullptr};
  }

  TempFolder saved_;
  const wchar_t letter_ = L'D';
  BootTakeoverSettings settings_;
  DiskList disks_;
  testing_disks::FakeDiskDevices devices_;
};

const char kBootIni[] =
    "[boot loader]\r\n"
    "timeout=30\r\n"
    "default=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
    "[operating systems]\r\n"
    "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Microsoft Windows XP Professional\" "
    "/noexecute=optin /fastdetect\r\n"
    "C:\\CMDCONS\\BOOTSECT.DAT=\"Microsoft Windows Recovery Console\" /cmdcons\r\n";

TEST_F(SpareDrive, BootIniGetsTheEntryAsDefaultAndKeepsTheOthers) {
  ASSERT_TRUE(WriteFileBytes(Root(L"boot.ini"), kBootIni));
  BootMachine machine = Machine();
  ASSERT_TRUE(AddBootIniEntry(machine, L"Kavi一键备份", kTakeoverBackup));
  EXPECT_EQ(kBootIni, ReadFileBytes(Root(L"boot.in_")));

  const std::wstring loader = Root(L"kvldr.mbr");
  const std::wstring ini = Root(L"boot.ini");
  wchar_t value[260] = {};
  GetPrivateProfileStringW(L"boot loader", L"default", L"", value, 260, ini.c_str());
  EXPECT_EQ(loader, value);
  GetPrivateProfileStringW(L"boot loader", L"timeout", L"", value, 260, ini.c_str());
  EXPECT_STREQ(L"3", value);
  GetPrivateProfileStringW(L"operating systems", loader.c_str(), L"", value, 260, ini.c_str());
  EXPECT_STREQ(L"Kavi一键备份", value);
  const std::string text = ReadFileBytes(Root(L"boot.ini"));
  EXPECT_THAT(text, HasSubstr("multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Microsoft Windows "
                              "XP Professional\" /noexecute=optin /fastdetect"));
  EXPECT_THAT(text, HasSubstr("C:\\CMDCONS\\BOOTSECT.DAT=\"Microsoft Windows Recovery Console\" "
                              "/cmdcons"));

  // A second takeover replaces the entry; restore mode keeps the backup.
  ASSERT_TRUE(AddBootIniEntry(machine, L"Kavi一键还原", kTakeoverRestore));
  GetPrivateProfileStringW(L"operating systems", loader.c_str(), L"", value, 260, ini.c_str());
  EXPECT_STREQ(L"Kavi一键还原", value);
  EXPECT_EQ(kBootIni, ReadFileBytes(Root(L"boot.in_")));
  const std::string replaced = ReadFileBytes(Root(L"boot.ini"));
  EXPECT_EQ(replaced.find("kvldr.mbr="), replaced.rfind("kvldr.mbr="));
}

// Wine's attrib applies only the last of several switches, so of "+h +s +r"
// it is the read-only flag that shows here.
TEST_F(SpareDrive, AttribUnhidesAReadOnlyLoaderForTheRewriteAndHidesAgain) {
  const std::wstring kvldr = Root(L"kvldr");
  ASSERT_TRUE(WriteFileBytes(kvldr, "old loader"));
  ASSERT_TRUE(WriteFileBytes(Root(L"kvldr.mbr"), "stale boot sector"));
  ASSERT_TRUE(SetFileAttributesW(kvldr.c_str(), FILE_ATTRIBUTE_READONLY));
  BootMachine machine = Machine();
  UnhideBootFiles(machine);
  EXPECT_EQ(0u, GetFileAttributesW(kvldr.c_str()) & FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(WriteBootPayloads(machine, 145, false));
  EXPECT_EQ("loader stand-in", ReadFileBytes(kvldr));
  EXPECT_EQ("floppy image stand-in", ReadFileBytes(Root(L"KV.ima")));
  // The boot.ini path writes no boot-sector form; the stale one is hidden too.
  EXPECT_EQ("stale boot sector", ReadFileBytes(Root(L"kvldr.mbr")));
  HideBootFiles(machine);
  for (const wchar_t* name : {L"kvldr", L"KV.ima", L"kvldr.mbr"}) {
    EXPECT_NE(0u, GetFileAttributesW(Root(name).c_str()) & FILE_ATTRIBUTE_READONLY) << name;
  }
}

TEST(ResourceWrites, MissingOrEmptyResourcesLeaveAnEmptyFileAndFail) {
  TempFolder dir;
  BootFiles& files = SystemBootFiles();
  PayloadResources& resources = SystemPayloadResources();
  ASSERT_TRUE(WriteResourceToFile(files, resources, dir / L"KV.ima", 145, L"GHOST"));
  EXPECT_EQ("floppy image stand-in", ReadFileBytes(dir / L"KV.ima"));
  ASSERT_TRUE(WriteFileBytes(dir / L"old", "previous contents"));
  EXPECT_FALSE(WriteResourceToFile(files, resources, dir / L"old", 999, L"GHOST"));
  EXPECT_TRUE(FileExists(dir / L"old"));
  EXPECT_EQ("", ReadFileBytes(dir / L"old"));
  EXPECT_FALSE(WriteResourceToFile(files, resources, dir / L"empty", 150, L"GHOST"));
  EXPECT_TRUE(FileExists(dir / L"empty"));
  EXPECT_EQ("", ReadFileBytes(dir / L"empty"));
  EXPECT_FALSE(WriteResourceToFile(files, resources, dir / L"no\\such\\folder", 145, L"GHOST"));
}

// The takeover reads an image's header while the download may still hold it
// open for writing.
TEST(ImageHeader, ReadFromAFileOthersHoldOpenForWriting) {
  TempFolder dir;
  const std::wstring image = dir / L"win10.wim";
  ASSERT_TRUE(WriteFileBytes(image, std::string("MSWIM\0\0\0\xD0\0\0\0", 12)));
  HANDLE writer = CreateFileW(image.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  std::string head;
  EXPECT_TRUE(SystemBootFiles().ReadStart(image, 8, &head));
  CloseHandle(writer);
  EXPECT_EQ(std::string("MSWIM\0\0\0", 8), head);
  ASSERT_TRUE(WriteFileBytes(dir / L"short", "\xFE\xEF"));
  EXPECT_TRUE(SystemBootFiles().ReadStart(dir / L"short", 8, &head));
  EXPECT_EQ("\xFE\xEF", head);
  EXPECT_FALSE(SystemBootFiles().ReadStart(dir / L"missing", 8, &head));
  EXPECT_FALSE(SystemBootFiles().ReadStart(dir.Path(), 8, &head));
}

// Wine has none of the Windows boot tools: each launcher says so and fails.
TEST(Launchers, ReportAMissingWindowsToolAndFail) {
  TempFolder dir;
  for (const wchar_t* name : {L"bcdedit", L"bcdboot", L"bcdsect"}) {
    const std::wstring launcher = Format(L"%ls\\%ls.exe", KAVI_LAUNCHER_DIR, name);
    const std::wstring out = dir / (std::wstring(name) + L".txt");
    const std::optional<uint32_t> code = SystemBootProcessRunner().RunForExitCode(
        Format(L"cmd /c \"\"%ls\" /enum all > \"%ls\" 2>&1\"", launcher.c_str(), out.c_str()));
    ASSERT_TRUE(code) << name;
    EXPECT_NE(0u, *code) << name;
    const std::string said = ReadFileBytes(out);
    EXPECT_THAT(said, HasSubstr("This Windows has no ")) << name;
    EXPECT_THAT(said, HasSubstr(std::wcscmp(name, L"bcdsect") == 0 ? "bootsect.exe"
                                                                   : ToAnsi(name) + ".exe"));
  }
  const std::optional<uint32_t> direct = SystemBootProcessRunner().RunForExitCode(
      Format(L"%ls\\bcdedit.exe /timeout 3", KAVI_LAUNCHER_DIR));
  ASSERT_TRUE(direct);
  EXPECT_EQ(9009u, *direct);
}

// bcdedit names the entry it made on its standard output: what a launcher
// and the process it starts write there reaches the takeover, with the exit
// code.
TEST(Launchers, OutputAndExitCodeComeBackThroughThePipe) {
  std::string out;
  const std::optional<uint32_t> code = SystemBootProcessRunner().RunForOutput(
      Format(L"%ls\\bcdedit.exe /copy {bootmgr} /d \"x\"", KAVI_LAUNCHER_DIR), &out);
  ASSERT_TRUE(code);
  EXPECT_EQ(9009u, *code);
  EXPECT_THAT(out, HasSubstr("This Windows has no bcdedit.exe"));
  EXPECT_TRUE(SystemBootProcessRunner().RunForOutput(
      L"cmd /c echo The entry was successfully copied to {0b1d6e2a-5c3f-11ef-9a4b-00155d012345}.",
      &out));
  EXPECT_EQ(L"{0b1d6e2a-5c3f-11ef-9a4b-00155d012345}", BcdEntryIdFromOutput(out).value_or(L""));
}

TEST(EfiFolder, MadeTwiceRemovedOnceAndItsVolumeHasRoom) {
  TempFolder dir;
  const std::wstring folder = dir / L"KaviRestore";
  EXPECT_TRUE(SystemBootFiles().CreateFolder(folder));
  EXPECT_TRUE(SystemBootFiles().CreateFolder(folder));
  EXPECT_TRUE(SystemBootFiles().Exists(folder));
  EXPECT_TRUE(SystemBootFiles().RemoveFolder(folder));
  EXPECT_FALSE(SystemBootFiles().Exists(folder));
  EXPECT_GT(SystemBootFiles().FreeBytes(dir.Path().substr(0, 3)).value_or(0), 0u);
  EXPECT_FALSE(SystemBootFiles().FreeBytes(L"Q:\\nowhere\\").has_value());
}

// Windows names the file system of a drive that is there; one that is not
// has none, which the takeover leaves to the next boot's checks.
TEST(VolumeReach, FileSystemNamedForADriveThatIsThere) {
  TempFolder dir;
  const std::wstring name = SystemBootFiles().FileSystemName(dir.Path()[0]);
  EXPECT_TRUE(name == L"NTFS" || name == L"FAT32" || name == L"FAT") << ToAnsi(name);
  EXPECT_EQ(L"", SystemBootFiles().FileSystemName(L'Q'));
}

// Wine has no UEFI firmware variables: it is a BIOS machine to the program.
TEST(Firmware, WineIsABiosMachine) {
  EXPECT_EQ(FirmwareType::kBios, SystemFirmwareFacts().type);
  EXPECT_FALSE(SystemFirmwareFacts().db.has_value());
}

// Wine reads no disk layout, so the map is empty and both commands stop at
// their first partition check.
TEST(Commands, StopAtThePartitionChecksWithoutDiskLayouts) {
  EnumerateDisks();
  WorkingFields fields;
  fields.bootDrive = L'C';
  fields.systemDrive = L'C';
  InitBootTakeoverSettings(fields);
  BootMachine machine{BootSettings(),
                      L'C',
                      5,
                      SystemBootProcessRunner(),
                      SystemBootFiles(),
                      SystemPayloadResources(),
                      Disks(),
                      SystemDiskDevices(),
                      nullptr};
  testing_boot::FakeUi ui;
  OnBackupSystem(machine, ui, L"D:\\DURozazo\\SYS.GHO");
  OnRestoreSystem(machine, ui, L"D:\\DURozazo\\SYS.GHO");
  ASSERT_EQ(2u, ui.messages.size());
  EXPECT_EQ(L"读取备份分区发生错误。", ui.messages[0].text);
  EXPECT_EQ(L"读取还原分区发生错误。", ui.messages[1].text);
  EXPECT_EQ(L"错误", ui.messages[1].caption);
  EXPECT_EQ(0, ui.restarts);
}

// A carried tool runs only while it holds the bytes the program carries, and
// nobody can write, delete or rename it during the run.
TEST(CarriedTools, RunOnlyUnchangedAndCannotBeReplacedWhileRunning) {
  TempFolder dir;
  const std::string launcher = ReadFileBytes(Format(L"%ls\\bcdedit.exe", KAVI_LAUNCHER_DIR));
  ASSERT_FALSE(launcher.empty());
  const std::wstring tool = dir / L"bcdedit.exe";
  ASSERT_TRUE(WriteFileBytes(tool, launcher));
  testing_boot::MachineFixture m;
  m.resources.payloads[kBcdeditResourceId] = launcher;
  WorkingFields fields;
  fields.bootDrive = L'C';
  fields.bcdeditPath = tool;
  m.settings = MakeBootTakeoverSettings(fields);
  BootMachine machine{
      m.settings, L'C',      5,      SystemBootProcessRunner(), SystemBootFiles(), m.resources,
      m.disks,    m.devices, nullptr};

  {
    const std::unique_ptr<HeldFile> held = HoldCarriedTool(machine, tool);
    ASSERT_TRUE(held);
    UniqueHandle writer(CreateFileW(tool.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer.Valid());
    EXPECT_FALSE(DeleteFileW(tool.c_str()));
    EXPECT_FALSE(MoveFileW(tool.c_str(), (dir / L"moved.exe").c_str()));
  }
  // The launcher starts while held and reports the missing Windows tool.
  EXPECT_EQ(9009u, RunCarriedTool(machine, tool, L"/timeout 3").value_or(0));

  // The same size, one byte changed: not run.
  std::string changed = launcher;
  changed[changed.size() / 2] ^= 1;
  ASSERT_TRUE(WriteFileBytes(tool, changed));
  EXPECT_FALSE(RunCarriedTool(machine, tool, L"/timeout 3").has_value());
  // Open for writing elsewhere: not run either.
  ASSERT_TRUE(WriteFileBytes(tool, launcher));
  UniqueHandle writer(CreateFileW(tool.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer.Valid());
  EXPECT_FALSE(HoldCarriedTool(machine, tool));
}

}  // namespace
}  // namespace kavi
