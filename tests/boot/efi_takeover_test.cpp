// The takeover on a UEFI machine: the EFI system partition found on the
// system disk, our files in its folder, the firmware entry armed for one
// boot, every failing step taken back, and the machines no road can take
// refused before anything is written.
#include "boot/efi_takeover.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "boot/disk_layout.h"
#include "boot/secure_boot.h"
#include "host/text.h"
#include "tests/boot/efi_test_data.h"
#include "tests/boot/fake_boot_machine.h"

namespace kavi {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using namespace testing_disks;

constexpr const wchar_t* kEspVolume = L"\\\\?\\Volume{0001}\\";
constexpr const wchar_t* kEspFolder = L"\\\\?\\Volume{0001}\\EFI\\KaviRestore";
const std::string kDiskId = "01234567-89AB-CDEF-0123-456789ABCDEF";
const std::string kEspType = "C12A7328-F81F-11D2-BA4B-00A0C93EC93B";
const std::string kMsrType = "E3C9E316-0B5C-4DB8-817D-F92DF00215AE";
const std::string kDataType = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7";
const std::string kSystemId = "FEDCBA98-7654-3210-FEDC-BA9876543210";
const std::string kImageId = "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9";
const std::wstring kImage = L"D:\\DURozazo\\Download\\win11.wim";
const std::wstring kEntry = L"{0b1d6e2a-5c3f-11ef-9a4b-00155d012345}";
// bcdedit's answer on a Chinese Windows, code page 936.
const std::string kCopyOutput =
    "\xD2\xD1\xBD\xAB {bootmgr} \xB3\xC9\xB9\xA6\xB8\xB4\xD6\xC6\xB5\xBD "
    "{0b1d6e2a-5c3f-11ef-9a4b-00155d012345}\xA1\xA3\r\n";

// Windows 11 on a GPT disk: ESP, MSR, C: and D:, UEFI x64 firmware with
// Secure Boot off, every payload of both roads carried, a WIM on D:.
class UefiMachine : public testing_boot::MachineFixture {
 public:
  UefiMachine() {
    const int64_t c = 117 * kMiB;
    const int64_t d = c + 60 * kGiB;
    devices.drives = {GptDriveLayout(kDiskId, {{kMiB, 100 * kMiB, kEspType, kEspType},
                                               {101 * kMiB, 16 * kMiB, kMsrType, kMsrType},
                                               {c, 60 * kGiB, kDataType, kSystemId},
                                               {d, 100 * kGiB, kDataType, kImageId}})};
    devices.volumes.clear();
    devices.AddVolume(L'C', 0, c, kPartitionStyleGpt);
    devices.AddVolume(L'D', 0, d, kPartitionStyleGpt);
    devices.namedVolumes[kEspVolume] = FakeVolume{true, DiskExtents(0), PartitionInfo(1, kMiB)};
    devices.namedVolumes[testing_boot::kSystemVolume] =
        FakeVolume{true, DiskExtents(0), PartitionInfo(1, c)};
    disks = EnumerateDisks(devices);
    files.freeBytes[kEspVolume] = 70 * kMiB;
    files.files[kImage] = testing_boot::kWimHeader;
    for (uint16_t id = 149; id <= 154; ++id)
      resources.payloads[id] = "efi file " + std::to_string(id);
    firmware.type = FirmwareType::kUefi;
    firmware.x64 = true;
    runner.outputs[Copy()] = kCopyOutput;
  }

  std::wstring Copy() const { return Bcdedit(L"/copy {bootmgr} /d \"Kavi一键还原\""); }
  std::vector<std::wstring> EntryLines() const {
    return {Bcdedit(L"/enum firmware"), Copy(),
            Bcdedit(L"/set " + kEntry + L" device partition=\\Device\\HarddiskVolume1"),
            Bcdedit(L"/set " + kEntry + L" path \\EFI\\KaviRestore\\shimx64.efi"),
            Bcdedit(L"/set {fwbootmgr} bootsequence " + kEntry + L" /addfirst")};
  }
  std::wstring EspFile(const wchar_t* name) const {
    return std::wstring(kEspFolder) + L"\\" + name;
  }
  // Anything of ours on the ESP or in the root of C:.
  bool LeftAnything() const {
    for (const auto& file : files.files) {
      if (file.first.compare(0, 6, L"\\\\?\\Vo") == 0) return true;
    }
    return files.folders.count(kEspFolder) || files.files.count(L"C:\\KV.ima") ||
           files.files.count(L"C:\\Ghost.ba_") || files.files.count(L"C:\\Ghost.map");
  }
};

TEST(UefiTakeover, ReinstallWritesOurFolderAndArmsTheNextBootOnly) {
  UefiMachine m;
  BootMachine machine = m.Machine();
  EXPECT_TRUE(TakeOverForReinstall(machine, m.ui, kImage));
  EXPECT_THAT(m.ui.messages, IsEmpty());
  EXPECT_EQ(1, m.ui.restarts);
  EXPECT_THAT(
      m.files.log,
      ElementsAre(L"mkdir " + std::wstring(kEspFolder), L"create " + m.EspFile(L"shimx64.efi"),
                  L"create " + m.EspFile(L"mmx64.efi"), L"create " + m.EspFile(L"grubx64.efi"),
                  L"create " + m.EspFile(L"grub.cfg"), L"create " + m.EspFile(L"vmlinuz"),
                  L"create " + m.EspFile(L"initrd.img"), L"create C:\\KV.ima",
                  L"script C:\\Ghost.ba_", L"script C:\\Ghost.map"));
  EXPECT_EQ("efi file 149", m.files.files[m.EspFile(L"shimx64.efi")]);
  EXPECT_EQ("efi file 154", m.files.files[m.EspFile(L"initrd.img")]);
  EXPECT_EQ("KAVI UEFI task marker\r\n", m.files.files[L"C:\\KV.ima"]);
  EXPECT_THAT(m.ToolLines(), ElementsAreArray(m.EntryLines()));
  EXPECT_EQ(
      "Ghost.exe -nousb -clone,mode=pload,src=\"1:4\\DURozazo\\Download\\win11.wim:1\","
      "dst=\"1:3\" -fro -crcignore -sure -rb -fx -afile=\"GHOSTERR.TXT\"\r\nrestart\r\n",
      m.files.files[L"C:\\Ghost.ba_"]);
  EXPECT_EQ(
      "KAVI-DISKMAP 1\r\n"
      "1:4 gpt=01234567-89AB-CDEF-0123-456789ABCDEF part=0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9 "
      "start=64547192832 length=107374182400\r\n"
      "1:3 gpt=01234567-89AB-CDEF-0123-456789ABCDEF part=FEDCBA98-7654-3210-FEDC-BA9876543210 "
      "start=122683392 length=64424509440\r\n",
      m.files.files[L"C:\\Ghost.map"]);
}

// A takeover armed before and never started left its entry: it goes before
// the new one is made, so there is one entry of ours at a time.
TEST(UefiTakeover, ASecondTakeoverReplacesTheEntryOfTheFirst) {
  UefiMachine m;
  const std::wstring old = L"{0b1c2d3e-4f50-6172-8394-a5b6c7d8e9f0}";
  m.runner.outputs[m.Bcdedit(L"/enum firmware")] =
      "Firmware Boot Manager\r\n---\r\nidentifier {fwbootmgr}\r\n\r\n"
      "Windows Boot Manager\r\n---\r\nidentifier {bootmgr}\r\n"
      "path \\EFI\\Microsoft\\Boot\\bootmgfw.efi\r\n\r\n"
      "Firmware Application (101fffff)\r\n---\r\nidentifier " +
      ToAnsi(old) + "\r\npath \\EFI\\KAVIRESTORE\\shimx64.efi\r\n";
  BootMachine machine = m.Machine();
  EXPECT_TRUE(TakeOverForReinstall(machine, m.ui, kImage));
  std::vector<std::wstring> lines = m.EntryLines();
  lines.insert(lines.begin() + 1, m.Bcdedit(L"/delete " + old));
  EXPECT_THAT(m.ToolLines(), ElementsAreArray(lines));
}

// bcdedit over the firmware's entries as Windows keeps them: /copy makes an
// entry and names it, /set gives it a path or puts it first in the one-time
// sequence, /delete takes it away, /enum firmware lists every entry.
class FirmwareBcdedit : public testing_boot::FakeRunner {
 public:
  explicit FirmwareBcdedit(const std::wstring& bcdedit) : prefix_(bcdedit + L" ") {}
  std::map<std::wstring, std::wstring> paths = {
      {L"{bootmgr}", L"\\EFI\\Microsoft\\Boot\\bootmgfw.efi"}};
  std::vector<std::wstring> bootSequence;
  int copies = 0;

  std::optional<uint32_t> RunForExitCode(const std::wstring& line) override {
    std::string ignored;
    return RunForOutput(line, &ignored);
  }
  std::optional<uint32_t> RunForOutput(const std::wstring& line, std::string* output) override {
    lines.push_back(line);
    output->clear();
    if (line.compare(0, prefix_.size(), prefix_) != 0) return 0u;
    std::vector<std::wstring> words;
    std::wstring word;
    for (wchar_t c : line.substr(prefix_.size()) + L" ") {
      if (c != L' ') word += c;
      if (c == L' ' && !word.empty()) words.push_back(std::move(word)), word.clear();
    }
    if (words.size() == 2 && words[0] == L"/enum" && words[1] == L"firmware") {
      *output = "Firmware Boot Manager\r\n---\r\nidentifier {fwbootmgr}\r\n";
      for (const auto& [id, path] : paths) {
        *output += "\r\nFirmware Application (101fffff)\r\n---\r\nidentifier " + ToAnsi(id) +
                   "\r\npath " + ToAnsi(path) + "\r\n";
      }
      return 0u;
    }
    if (words.size() >= 2 && words[0] == L"/copy" && paths.count(words[1])) {
      const std::wstring id = Format(L"{0b1d6e2a-5c3f-11ef-9a4b-%012d}", ++copies);
      paths[id] = paths[words[1]];
      *output = "The entry was successfully copied to " + ToAnsi(id) + ".\r\n";
      return 0u;
    }
    if (words.size() == 2 && words[0] == L"/delete" && paths.erase(words[1])) {
      bootSequence.erase(std::remove(bootSequence.begin(), bootSequence.end(), words[1]),
                         bootSequence.end());
      return 0u;
    }
    if (words.size() == 4 && words[0] == L"/set" && words[2] == L"path" && paths.count(words[1])) {
      paths[words[1]] = words[3];
      return 0u;
    }
    if (words.size() == 5 && words[1] == L"{fwbootmgr}" && words[2] == L"bootsequence" &&
        paths.count(words[3])) {
      bootSequence = {words[3]};
      return 0u;
    }
    return words.size() == 4 && words[2] == L"device" && paths.count(words[1]) ? 0u : 1u;
  }

 private:
  std::wstring prefix_;
};

// Two takeovers in a row, and a backup after them: the firmware keeps one
// entry of ours, the one the next boot starts.
TEST(UefiTakeover, TakeoversInARowLeaveOneFirmwareEntryOfOurs) {
  UefiMachine m;
  m.files.files[L"D:\\DURozazo\\SYS.GHO"] = testing_boot::kWimHeader;
  FirmwareBcdedit bcdedit(m.settings.bcdeditPath);
  BootMachine machine{m.settings,  L'C',    m.edition, bcdedit, m.files,
                      m.resources, m.disks, m.devices, nullptr, m.firmware};
  ASSERT_TRUE(TakeOverForReinstall(machine, m.ui, kImage));
  ASSERT_TRUE(TakeOverForReinstall(machine, m.ui, kImage));
  ASSERT_EQ(TakeoverResult::kArmed, PrepareBackupBoot(machine, L"D:\\DURozazo\\SYS.GHO"));
  EXPECT_EQ(3, bcdedit.copies);
  std::vector<std::wstring> ours;
  for (const auto& [id, path] : bcdedit.paths) {
    if (path.find(L"KaviRestore") != std::wstring::npos) ours.push_back(id);
  }
  ASSERT_EQ(1u, ours.size());
  EXPECT_EQ(2u, bcdedit.paths.size());
  EXPECT_EQ(L"\\EFI\\KaviRestore\\shimx64.efi", bcdedit.paths[ours[0]]);
  EXPECT_EQ(std::vector<std::wstring>{ours[0]}, bcdedit.bootSequence);
}

// An MBR system disk on UEFI firmware takes the same road; its ESP is the
// partition of type 0xEF and the record keeps the mbr= form.
TEST(UefiTakeover, AnMbrDiskOnUefiUsesItsTypeEfPartition) {
  UefiMachine m;
  m.devices.drives = {DriveLayout({{kMiB, 1, 100 * kMiB, 0xEF}, {101 * kMiB, 2}, {2 * kGiB, 3}},
                                  kPartitionStyleMbr, 0x1A2B3C4D)};
  m.devices.volumes.clear();
  m.devices.AddVolume(L'C', 0, 101 * kMiB);
  m.devices.AddVolume(L'D', 0, 2 * kGiB);
  m.disks = EnumerateDisks(m.devices);
  BootMachine machine = m.Machine();
  EXPECT_TRUE(TakeOverForReinstall(machine, m.ui, kImage));
  EXPECT_THAT(m.ToolLines(), ElementsAreArray(m.EntryLines()));
  EXPECT_EQ(
      "KAVI-DISKMAP 1\r\n1:3 mbr=1A2B3C4D start=2147483648 length=1073741824\r\n"
      "1:2 mbr=1A2B3C4D start=105906176 length=1073741824\r\n",
      m.files.files[L"C:\\Ghost.map"]);
}

TEST(UefiTakeover, EveryFailingStepTakesBackWhatCameBefore) {
  struct Case {
    const char* what;
    void (*spoil)(UefiMachine&);
    TakeoverResult result;
    int lastLine;  // the last bcdedit line run before the failure (0: the listing); -1: none
    bool deletesEntry;
  } cases[] = {
      {"folder", [](UefiMachine& m) { m.files.unmakeableFolders.insert(kEspFolder); },
       TakeoverResult::kPayloadsNotWritten, -1, false},
      {"grubx64.efi", [](UefiMachine& m) { m.files.unwritable.insert(m.EspFile(L"grubx64.efi")); },
       TakeoverResult::kPayloadsNotWritten, -1, false},
      {"marker", [](UefiMachine& m) { m.files.uncreatable.insert(L"C:\\KV.ima"); },
       TakeoverResult::kPayloadsNotWritten, -1, false},
      {"record", [](UefiMachine& m) { m.files.uncreatable.insert(L"C:\\Ghost.map"); },
       TakeoverResult::kScriptNotWritten, -1, false},
      {"copy", [](UefiMachine& m) { m.runner.exitCodes[m.Copy()] = 1; },
       TakeoverResult::kBootEntryNotAdded, 1, true},
      {"copy names no entry", [](UefiMachine& m) { m.runner.outputs[m.Copy()] = "{bootmgr}\r\n"; },
       TakeoverResult::kBootEntryNotAdded, 1, false},
      {"device", [](UefiMachine& m) { m.runner.exitCodes[m.EntryLines()[2]] = 1; },
       TakeoverResult::kBootEntryNotAdded, 2, true},
      {"path", [](UefiMachine& m) { m.runner.exitCodes[m.EntryLines()[3]] = 1; },
       TakeoverResult::kBootEntryNotAdded, 3, true},
      {"boot sequence", [](UefiMachine& m) { m.runner.exitCodes[m.EntryLines()[4]] = 1; },
       TakeoverResult::kBootEntryNotAdded, 4, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UefiMachine m;
    c.spoil(m);
    BootMachine machine = m.Machine();
    EXPECT_FALSE(TakeOverForReinstall(machine, m.ui, kImage));
    ASSERT_EQ(1u, m.ui.messages.size());
    EXPECT_EQ(TakeoverErrorText(c.result), m.ui.messages[0].text);
    EXPECT_EQ(0, m.ui.restarts);
    EXPECT_FALSE(m.LeftAnything());
    std::vector<std::wstring> expected = m.EntryLines();
    expected.resize(c.lastLine + 1);
    if (c.deletesEntry) expected.push_back(m.Bcdedit(L"/delete " + kEntry));
    EXPECT_THAT(m.ToolLines(), ElementsAreArray(expected));
  }
}

// Machines no road can take, each told why before any command or file; the
// same machine with a db that trusts our shim arms.
TEST(UefiTakeover, MachinesNoRoadCanTakeAreRefusedBeforeAnythingIsWritten) {
  const wchar_t* const untrusted =
      L"当前电脑已开启安全启动（Secure Boot），且不信任本软件的启动文件，请关闭安全启动后重试。"
      L"系统未作任何更改。";
  const wchar_t* const noRoom = L"未找到EFI系统分区或其剩余空间不足，系统未作任何更改。";
  struct Case {
    const char* what;
    void (*spoil)(UefiMachine&);
    const wchar_t* text;
  } cases[] = {
      {"GPT on BIOS", [](UefiMachine& m) { m.firmware = FirmwareFacts(); },
       L"当前系统为GPT分区模式且以BIOS方式启动，无法进行此操作，系统未作任何更改。"},
      {"IA32 UEFI", [](UefiMachine& m) { m.firmware.x64 = false; },
       L"当前电脑以32位UEFI方式启动，无法进行此操作，系统未作任何更改。"},
      {"db without the shim's CA",
       [](UefiMachine& m) { m.firmware.db = testing_efi::OvmfDb().substr(0, 1543); }, untrusted},
      {"db unread", [](UefiMachine& m) { m.firmware.db.reset(); }, untrusted},
      {"dbx holds the shim's hash",
       [](UefiMachine& m) {
         m.firmware.dbx = testing_efi::SignatureList(
             kEfiCertSha256Guid, {AuthenticodeSha256(testing_efi::SignedShim()).value()});
       },
       L"安全启动已吊销本程序的启动文件，无法进行此操作，系统未作任何更改。"},
      {"ESP too small", [](UefiMachine& m) { m.files.freeBytes[kEspVolume] = kEfiRoomMargin + 60; },
       noRoom},
      {"ESP volume not found", [](UefiMachine& m) { m.devices.namedVolumes.erase(kEspVolume); },
       noRoom},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UefiMachine m;
    m.firmware.secureBoot = true;
    m.firmware.db = testing_efi::OvmfDb();
    m.resources.payloads[149] = testing_efi::SignedShim();
    c.spoil(m);
    BootMachine machine = m.Machine();
    EXPECT_FALSE(TakeOverForReinstall(machine, m.ui, kImage));
    OnBackupSystem(machine, m.ui, L"D:\\DURozazo\\SYS.GHO");
    ASSERT_EQ(2u, m.ui.messages.size());
    EXPECT_EQ(c.text, m.ui.messages[0].text);
    EXPECT_EQ(c.text, m.ui.messages[1].text);
    EXPECT_THAT(m.runner.lines, IsEmpty());
    EXPECT_THAT(m.files.log, IsEmpty());
  }
  // A Ghost image, though the DOS floppy is carried: it cannot start on UEFI.
  UefiMachine ghost;
  ghost.files.files[kImage] = std::string("\xFE\xEF\x01\x02", 4);
  BootMachine ghostMachine = ghost.Machine();
  EXPECT_FALSE(TakeOverForReinstall(ghostMachine, ghost.ui, kImage));
  ASSERT_EQ(1u, ghost.ui.messages.size());
  EXPECT_EQ(
      L"该镜像为GHO格式，Ghost启动文件无法在UEFI方式启动的电脑上运行，请选择WIM或ESD格式的镜像。"
      L"系统未作任何更改。",
      ghost.ui.messages[0].text);
  EXPECT_THAT(ghost.runner.lines, IsEmpty());
  EXPECT_FALSE(ghost.LeftAnything());

  UefiMachine trusted;
  trusted.firmware.secureBoot = true;
  trusted.firmware.db = testing_efi::OvmfDb();
  trusted.resources.payloads[149] = testing_efi::SignedShim();
  BootMachine machine = trusted.Machine();
  EXPECT_EQ(TakeoverResult::kArmed, PrepareRestoreBoot(machine, kImage));
  EXPECT_EQ(testing_efi::SignedShim(), trusted.files.files[trusted.EspFile(L"shimx64.efi")]);
}

}  // namespace
}  // namespace kavi
