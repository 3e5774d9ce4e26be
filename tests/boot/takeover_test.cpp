// The backup, restore and reinstall takeovers: questions, messages, the
// whole sequence of commands and files, and failures that never restart.
#include "boot/takeover.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "boot/disk_layout.h"
#include "tests/boot/fake_boot_machine.h"

namespace kavi {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing_boot::MachineFixture;

const std::wstring kImage = L"D:\\DURozazo\\SYS.GHO";
const std::wstring kId = L"{DD97BC62-B9FD-466E-89A6-DCCF8465F855}";

std::vector<std::wstring> Texts(const testing_boot::FakeUi& ui) {
  std::vector<std::wstring> out;
  for (const auto& m : ui.messages) out.push_back(m.caption + L":" + m.text);
  return out;
}

TEST(Questions, ShowTheGhostDesignations) {
  EXPECT_EQ(
      L"备份工作已经准备就绪，是否继续？【1:1-1:2】\r\n立刻重启备份\"是\"，手动重启备份\"否\"，"
      L"取消本次操作\"取消\"\r\n",
      BackupQuestionText(L"1:1", L"1:2"));
  EXPECT_EQ(
      L"还原工作已经准备就绪，是否继续？【1:2-1:1】\r\n立刻重启还原\"是\"，手动重启还原\"否\"，"
      L"取消本次操作\"取消\"\r\n",
      RestoreQuestionText(L"1:2", L"1:1"));
}

TEST(OnBackupSystem, YesArmsEverythingInOrderThenRestarts) {
  MachineFixture m;
  BootMachine machine = m.Machine();
  OnBackupSystem(machine, m.ui, kImage);

  ASSERT_EQ(1u, m.ui.messages.size());
  EXPECT_EQ(BackupQuestionText(L"1:1", L"1:2"), m.ui.messages[0].text);
  EXPECT_EQ(L"提示", m.ui.messages[0].caption);
  EXPECT_EQ(kMbYesNoCancel, m.ui.messages[0].type);
  EXPECT_EQ(1, m.ui.restarts);

  // Unhide, payloads, script, entry, hide.
  ASSERT_EQ(16u, m.runner.lines.size());
  EXPECT_EQ(L"cmd /c attrib -h -s -r \"C:\\GHOST.*\"", m.runner.lines[0]);
  EXPECT_EQ(L"cmd /c attrib +h +s +r \"C:\\kvldr.mbr\"", m.runner.lines[15]);
  EXPECT_THAT(m.files.log,
              ElementsAre(L"create C:\\KV.ima", L"create C:\\kvldr", L"create C:\\kvldr.mbr",
                          L"script C:\\Ghost.ba_", L"script C:\\Ghost.map",
                          L"copy C:\\BOOT\\BCD C:\\BOOT\\BCD_B"));
  // A backup is made by the restore environment.
  EXPECT_EQ("environment", m.files.files[L"C:\\KV.ima"]);
  EXPECT_EQ(m.Bcdedit(L"/create " + kId + L" /d \"Kavi一键备份\" /application bootsector"),
            m.runner.lines[5]);
  EXPECT_EQ(m.Bcdedit(L"/bootsequence " + kId), m.runner.lines[10]);
  EXPECT_EQ(
      "Ghost.exe -nousb -clone,mode=pdump,src=\"1:1\",dst=\"1:2\\DURozazo\\SYS.GHO\" -sure -rb "
      "-crcignore -fro -z3 -auto -afile=\"GHOSTERR.TXT\"\r\nrestart\r\n",
      m.files.files[L"C:\\Ghost.ba_"]);
}

TEST(OnBackupSystem, NoArmsWithoutRestartAndCancelChangesNothing) {
  MachineFixture no;
  no.ui.answer = kIdNo;
  BootMachine n = no.Machine();
  OnBackupSystem(n, no.ui, kImage);
  EXPECT_EQ(0, no.ui.restarts);
  EXPECT_TRUE(no.files.Exists(L"C:\\Ghost.ba_"));
  EXPECT_EQ(1u, no.ui.messages.size());

  MachineFixture cancel;
  cancel.ui.answer = kIdCancel;
  BootMachine c = cancel.Machine();
  OnBackupSystem(c, cancel.ui, kImage);
  EXPECT_EQ(0, cancel.ui.restarts);
  EXPECT_THAT(cancel.runner.lines, IsEmpty());
  EXPECT_THAT(cancel.files.log, IsEmpty());
}

TEST(OnBackupSystem, PartitionErrorsComeFirst) {
  MachineFixture m;
  BootMachine machine = m.Machine();
  OnBackupSystem(machine, m.ui, L"");
  EXPECT_THAT(m.ui.messages, IsEmpty());
  OnBackupSystem(machine, m.ui, L"F:\\DURozazo\\SYS.GHO");
  m.devices.volumes.erase(L'C');
  OnBackupSystem(machine, m.ui, kImage);
  EXPECT_THAT(Texts(m.ui),
              ElementsAre(L"错误:读取备份保存分区发生错误。", L"错误:读取备份分区发生错误。"));
  EXPECT_EQ(kMbOk | kMbIconError, m.ui.messages[0].type);
  EXPECT_EQ(kMbOk | kMbIconError, m.ui.messages[1].type);
  EXPECT_THAT(m.runner.lines, IsEmpty());
}

TEST(OnRestoreSystem, AsksWithTheImageFirstAndLoadsIt) {
  MachineFixture m;
  m.ui.answer = kIdNo;
  BootMachine machine = m.Machine();
  OnRestoreSystem(machine, m.ui, kImage);
  ASSERT_EQ(2u, m.ui.messages.size());
  EXPECT_EQ(RestoreQuestionText(L"1:2", L"1:1"), m.ui.messages[0].text);
  // No record of the backups: restored only once the user says so.
  EXPECT_EQ(UnprovenBackupText(BackupCheck::kUnrecorded), m.ui.messages[1].text);
  EXPECT_EQ(kMbYesNo | kMbIconWarning, m.ui.messages[1].type);
  EXPECT_EQ(0, m.ui.restarts);
  EXPECT_EQ(
      "Ghost.exe -nousb -clone,mode=pload,src=\"1:2\\DURozazo\\SYS.GHO:1\",dst=\"1:1\" -fro "
      "-crcignore -sure -rb -fx -afile=\"GHOSTERR.TXT\"\r\nrestart\r\n",
      m.files.files[L"C:\\Ghost.ba_"]);
  EXPECT_EQ(m.Bcdedit(L"/create " + kId + L" /d \"Kavi一键还原\" /application bootsector"),
            m.runner.lines[5]);
}

// A cut inside the backup's replacement left the new one verified under its
// recorded name and the old one renamed: "取消" leaves both as they are;
// "否" finishes the replacement and restores the new one.
TEST(OnRestoreSystem, FinishesAnInterruptedBackupReplacementOnlyOnceAnswered) {
  const std::string fresh = testing_boot::kWimHeader + "new";
  const std::string old = testing_boot::kWimHeader + "old";
  for (int answer : {kIdCancel, kIdNo}) {
    SCOPED_TRACE(answer);
    MachineFixture m;
    m.files.files.erase(kImage);
    m.files.files[kImage + L".kavi-old"] = old;
    m.files.files[kImage + L".kavi-done"] = fresh;
    const auto before = m.files.files;
    m.ui.answer = answer;
    BootMachine machine = m.Machine();
    OnRestoreSystem(machine, m.ui, kImage);
    ASSERT_EQ(answer == kIdCancel ? 1u : 2u, m.ui.messages.size());
    EXPECT_EQ(RestoreQuestionText(L"1:2", L"1:1"), m.ui.messages[0].text);
    if (answer == kIdCancel) {
      EXPECT_EQ(before, m.files.files);
      continue;
    }
    EXPECT_EQ(fresh, m.files.files[kImage]);
    EXPECT_EQ(0u, m.files.files.count(kImage + L".kavi-old") +
                      m.files.files.count(kImage + L".kavi-done"));
    EXPECT_EQ(1u, m.files.files.count(L"C:\\Ghost.ba_"));
  }
}

// The agent's record of its backups decides: SYS.GHO restores only as one
// of them, bound to it in the disk record so the next boot checks again; a
// backup with no record, or with one any user could have written, only when
// the user says so, unbound; anything else is refused before a file is
// written.
TEST(OnRestoreSystem, ARecordedBackupIsRestoredOnlyAsRecordedAndBoundToIt) {
  const std::string md5 = "0123456789abcdef0123456789abcdef";
  const std::string other = "fedcba9876543210fedcba9876543210";
  const std::string one = "KAVI-BACKUP 1\r\nimage size=123 md5=" + md5 + "\r\n";
  const std::string two =
      "KAVI-BACKUP 1\r\nimage size=9 md5=" + other + "\r\nimage size=123 md5=" + md5 + "\r\n";
  struct Case {
    std::string record;    // empty: none
    std::string measured;  // empty: SYS.GHO cannot be read
    std::string binding;   // the disk record's binding line, or empty
    std::wstring error;    // or the error shown, nothing written
    bool anyoneCanChangeTheRecord = false;
    int confirm = kIdYes;
  };
  for (const Case& c : std::vector<Case>{
           {"", md5, "", L""},
           {"", md5, "", UnprovenBackupText(BackupCheck::kUnrecorded), false, kIdNo},
           {one, md5, "", L"", true},
           {one, md5, "", UnprovenBackupText(BackupCheck::kRecordUnprotected), true, kIdNo},
           {two, md5, "image size=123 md5=" + md5 + "\r\n", L""},
           {one, other, "",
            L"备份文件已被改动，与备份时记录的大小和校验值不符，无法还原，系统未作任何更改。"},
           {one.substr(0, one.size() - 1), md5, "",
            L"无法读取备份记录，不能确认备份文件未被改动，系统未作任何更改。"},
           {one, "", "", L"无法读取镜像文件，系统未作任何更改。"}}) {
    SCOPED_TRACE(c.record + " " + c.measured);
    MachineFixture m;
    m.ui.answer = kIdNo;
    m.ui.confirm = c.confirm;
    if (!c.record.empty()) m.files.files[L"C:\\Ghost.sum"] = c.record;
    if (c.anyoneCanChangeTheRecord) m.files.anyoneCanChange.insert(L"C:\\Ghost.sum");
    BootMachine machine = m.Machine();
    OnRestoreSystem(machine, m.ui, kImage, [&](const std::wstring& path, ImageBinding* b) {
      EXPECT_EQ(kImage, path);
      b->size = 123;
      b->md5 = c.measured;
      return !c.measured.empty();
    });
    if (!c.error.empty()) {
      EXPECT_EQ(c.error, m.ui.messages.back().text);
      EXPECT_THAT(m.files.log, IsEmpty());
      EXPECT_THAT(m.runner.lines, IsEmpty());
      continue;
    }
    EXPECT_EQ(c.binding.empty() ? 2u : 1u, m.ui.messages.size());
    const std::string map = m.files.files[L"C:\\Ghost.map"];
    const size_t image = map.find("image ");
    EXPECT_EQ(c.binding, image == std::string::npos ? "" : map.substr(image)) << map;
  }
}

// Fast Startup is off while a task is armed, so "否" and a shutdown later
// still leave volumes the next boot can write; it comes back as the user had
// it once the task is gone, and a second takeover keeps the first's record.
TEST(FastStartup, OffWhileATaskIsArmedThenAsTheUserHadIt) {
  using Value = std::optional<uint32_t>;
  for (Value own : {Value(1u), Value(0u), Value()}) {
    SCOPED_TRACE(own ? std::to_string(*own) : "no Fast Startup");
    MachineFixture m;
    m.power.hiberboot = own;
    m.ui.answer = kIdNo;
    BootMachine machine = m.Machine();
    const Value off = own ? Value(0u) : Value();
    for (int takeover = 0; takeover < 2; ++takeover) {
      OnRestoreSystem(machine, m.ui, kImage);
      ASSERT_EQ(1u, m.files.files.count(L"C:\\Ghost.ba_"));
      EXPECT_EQ(off, m.power.hiberboot);
    }
    PutBackFastStartupWhenNoTask(machine);  // the task is still there
    EXPECT_EQ(off, m.power.hiberboot);
    m.files.files.erase(L"C:\\Ghost.ba_");  // the next boot took it
    PutBackFastStartupWhenNoTask(machine);
    EXPECT_EQ(own, m.power.hiberboot);
    EXPECT_FALSE(m.power.kept);
  }
}

TEST(OnRestoreSystem, MissingImageIsToldAfterBothPartitionChecks) {
  MachineFixture m;
  m.files.files.erase(kImage);
  BootMachine machine = m.Machine();
  OnRestoreSystem(machine, m.ui, kImage);
  OnRestoreSystem(machine, m.ui, L"F:\\DURozazo\\SYS.GHO");
  m.devices.volumes.erase(L'C');
  OnRestoreSystem(machine, m.ui, kImage);
  EXPECT_THAT(Texts(m.ui),
              ElementsAre(L"提示:备份文件不存在,请先使用备份系统功能",
                          L"错误:读取还原分区发生错误。", L"错误:读取还原分区发生错误。"));
  for (const auto& shown : m.ui.messages) EXPECT_EQ(kMbOk, shown.type);
  EXPECT_EQ(0, m.ui.restarts);
}

// The system drive's volume tells its disk, but no partition of the map
// carries its letter: the image's partition is found, the target is not.
TEST(OnRestoreSystem, SystemPartitionMissingFromTheMapIsTold) {
  MachineFixture m;
  for (PartitionRecord& p : m.disks[0].partitions) {
    if (p.letter == L'C') p.letter = 0;
  }
  BootMachine machine = m.Machine();
  OnRestoreSystem(machine, m.ui, kImage);
  EXPECT_THAT(Texts(m.ui), ElementsAre(L"错误:读取还原镜像分区发生错误。"));
  EXPECT_EQ(kMbOk, m.ui.messages[0].type);
  EXPECT_THAT(m.runner.lines, IsEmpty());
  EXPECT_THAT(m.files.log, IsEmpty());
}

// Takeovers that cannot arm: an error, nothing else changed, no restart.
TEST(TakeoverFailures, UnsupportedWindowsOrMissingPiecesStopBeforeTheQuestion) {
  struct Case {
    const char* what;
    void (*spoil)(MachineFixture&);
    const wchar_t* text;
  } cases[] = {
      {"edition 14", [](MachineFixture& m) { m.edition = 14; },
       L"错误:不支持当前的Windows版本，系统未作任何更改。"},
      {"no restore environment",
       [](MachineFixture& m) {
         m.resources.payloads.erase(148);
         m.files.files[kImage] = testing_boot::kWimHeader;
       },
       L"错误:程序缺少启动文件，系统未作任何更改。"},
      {"empty kvldr.mbr", [](MachineFixture& m) { m.resources.payloads[147] = ""; },
       L"错误:程序缺少启动文件，系统未作任何更改。"},
      {"no bcdedit", [](MachineFixture& m) { m.files.files.erase(m.settings.bcdeditPath); },
       L"错误:缺少启动配置工具，系统未作任何更改。"},
      {"bcdedit replaced", [](MachineFixture& m) { m.files.files[m.settings.bcdeditPath] += "!"; },
       L"错误:启动配置工具已被其他程序改动，无法安全运行，系统未作任何更改。"},
      {"own store, dspt open for writing",
       [](MachineFixture& m) {
         m.files.files.erase(L"C:\\Boot\\memtest.exe");
         m.files.openForWriting.insert(m.settings.dsptPath);
       },
       L"错误:启动配置工具已被其他程序改动，无法安全运行，系统未作任何更改。"},
      {"no protected tools folder", [](MachineFixture& m) { m.settings.bcdeditPath.clear(); },
       L"错误:无法建立仅管理员可写入的文件夹来存放启动配置工具，系统未作任何更改。"},
      {"own store without dspt",
       [](MachineFixture& m) {
         m.files.files.erase(L"C:\\Boot\\memtest.exe");
         m.files.files.erase(m.settings.dsptPath);
       },
       L"错误:缺少启动配置工具，系统未作任何更改。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MachineFixture m;
    c.spoil(m);
    BootMachine machine = m.Machine();
    OnBackupSystem(machine, m.ui, kImage);
    OnRestoreSystem(machine, m.ui, kImage);
    EXPECT_THAT(Texts(m.ui), ElementsAre(c.text, c.text));
    EXPECT_EQ(kMbOk | kMbIconError, m.ui.messages[0].type);
    EXPECT_EQ(0, m.ui.restarts);
    EXPECT_THAT(m.runner.lines, IsEmpty());
    EXPECT_THAT(m.files.log, IsEmpty());
  }
}

TEST(TakeoverFailures, LaterFailuresAddNoEntryAndNeverRestart) {
  {
    MachineFixture m;
    m.files.unwritable.insert(L"C:\\kvldr");
    BootMachine machine = m.Machine();
    OnBackupSystem(machine, m.ui, kImage);
    EXPECT_EQ(L"错误:写入启动文件失败，未添加启动项。", Texts(m.ui).back());
    EXPECT_THAT(m.ToolLines(), IsEmpty());
    EXPECT_FALSE(m.files.Exists(L"C:\\Ghost.ba_"));
    EXPECT_EQ(10u, m.runner.lines.size());  // unhidden and hidden again
    EXPECT_EQ(0, m.ui.restarts);
  }
  {
    MachineFixture m;
    m.files.uncreatable.insert(L"C:\\Ghost.ba_");
    BootMachine machine = m.Machine();
    OnRestoreSystem(machine, m.ui, kImage);
    EXPECT_EQ(L"错误:写入Ghost任务脚本失败，未添加启动项。", Texts(m.ui).back());
    EXPECT_THAT(m.ToolLines(), IsEmpty());
    EXPECT_EQ(0, m.ui.restarts);
  }
  {
    MachineFixture m;
    m.files.uncreatable.insert(L"C:\\Ghost.map");
    BootMachine machine = m.Machine();
    EXPECT_EQ(TakeoverResult::kScriptNotWritten, PrepareBackupBoot(machine, kImage));
    EXPECT_THAT(m.ToolLines(), IsEmpty());
  }
  {
    MachineFixture m;
    m.runner.exitCodes[m.Bcdedit(L"/set " + kId + L" device partition=\\Device\\HarddiskVolume2")] =
        1;
    BootMachine machine = m.Machine();
    OnBackupSystem(machine, m.ui, kImage);
    EXPECT_EQ(L"错误:添加启动项失败，下次启动仍进入Windows。", Texts(m.ui).back());
    EXPECT_EQ(kMbOk | kMbIconError, m.ui.messages.back().type);
    EXPECT_EQ(0, m.ui.restarts);
    EXPECT_EQ(L"cmd /c attrib +h +s +r \"C:\\kvldr.mbr\"", m.runner.lines.back());
  }
  {
    // A script whose path has no form in the ANSI code page is never written.
    MachineFixture m;
    m.files.files[L"D:\\DURozazo\\\u00e9\u0301\\SYS.GHO"] = testing_boot::kGhostHeader;
    BootMachine machine = m.Machine();
    EXPECT_EQ(TakeoverResult::kScriptNotWritten,
              PrepareRestoreBoot(machine, L"D:\\DURozazo\\\u00e9\u0301\\SYS.GHO"));
    EXPECT_THAT(m.runner.lines, IsEmpty());
  }
}

// NTLDR starts the boot-sector form too: it is written on this path as well,
// and its absence refuses the takeover.
TEST(WindowsXp, BackupUsesBootIniWithTheBootSectorForm) {
  MachineFixture m;
  m.edition = 1;
  BootMachine machine = m.Machine();
  OnBackupSystem(machine, m.ui, kImage);
  EXPECT_EQ(1, m.ui.restarts);
  EXPECT_THAT(m.ToolLines(), IsEmpty());
  EXPECT_THAT(m.files.log,
              ElementsAre(L"create C:\\KV.ima", L"create C:\\kvldr", L"create C:\\kvldr.mbr",
                          L"script C:\\Ghost.ba_", L"script C:\\Ghost.map",
                          L"copy C:\\boot.ini C:\\boot.in_",
                          L"ini C:\\boot.ini [boot loader] default=C:\\kvldr.mbr",
                          L"ini C:\\boot.ini [boot loader] timeout=3",
                          L"ini C:\\boot.ini [operating systems] C:\\kvldr.mbr=Kavi一键备份"));

  MachineFixture missing;
  missing.edition = 2;
  missing.resources.payloads.erase(147);
  BootMachine x = missing.Machine();
  EXPECT_EQ(TakeoverResult::kPayloadsMissing, PrepareRestoreBoot(x, kImage));
  EXPECT_THAT(missing.files.log, IsEmpty());
}

// An edit that stops after the default line would start the loader at every
// boot: boot.ini is put back byte for byte and the copy made for it goes.
TEST(WindowsXp, ABootIniEditFailingPartWayPutsTheFileBack) {
  MachineFixture m;
  m.edition = 1;
  m.files.profileWritesLeft = 1;
  const std::string original = m.files.files[L"C:\\boot.ini"];
  BootMachine machine = m.Machine();
  OnRestoreSystem(machine, m.ui, kImage);
  EXPECT_EQ(L"错误:添加启动项失败，下次启动仍进入Windows。", Texts(m.ui).back());
  EXPECT_EQ(0, m.ui.restarts);
  EXPECT_EQ(original, m.files.files[L"C:\\boot.ini"]);
  EXPECT_FALSE(m.files.Exists(L"C:\\boot.in_"));
}

TEST(Reinstall, RestoresAndRestartsWithoutAskingOrReportsAndReturns) {
  MachineFixture m;
  m.files.files[L"D:\\DURozazo\\Download\\win7.gho"] = testing_boot::kGhostHeader;
  BootMachine machine = m.Machine();
  EXPECT_TRUE(TakeOverForReinstall(machine, m.ui, L"D:\\DURozazo\\Download\\win7.gho"));
  EXPECT_EQ("floppy", m.files.files[L"C:\\KV.ima"]);
  EXPECT_THAT(m.ui.messages, IsEmpty());
  EXPECT_EQ(1, m.ui.restarts);

  MachineFixture bad;
  BootMachine b = bad.Machine();
  EXPECT_FALSE(TakeOverForReinstall(b, bad.ui, L"F:\\x.gho"));
  EXPECT_THAT(Texts(bad.ui), ElementsAre(L"错误:读取分区发生错误。"));
  bad.edition = 14;
  BootMachine b14 = bad.Machine();
  EXPECT_FALSE(TakeOverForReinstall(b14, bad.ui, kImage));
  EXPECT_EQ(2u, bad.ui.messages.size());
  EXPECT_EQ(0, bad.ui.restarts);

  MachineFixture stuck;
  stuck.ui.restartStarts = false;
  BootMachine s = stuck.Machine();
  EXPECT_TRUE(TakeOverForReinstall(s, stuck.ui, kImage));
  EXPECT_EQ(L"警告", stuck.ui.messages.back().caption);
}

// Two disks, Windows order: disk 0 holds the image partition E:, disk 1 the
// system C: behind a recovery partition. A WIM image arms the restore
// environment, and the record names both partitions by signature, start and
// length.
TEST(ImagePayload, AWimImageArmsTheEnvironmentWithItsDiskRecord) {
  using namespace testing_disks;
  MachineFixture m;
  m.devices.drives = {
      DriveLayout({{kMiB, 1, 200 * kGiB}}, kPartitionStyleMbr, 0xA1B2C3D4),
      DriveLayout({{kMiB, 1, 100 * kMiB}, {101 * kMiB, 2, 60 * kGiB}}, kPartitionStyleMbr, 0x1A2B)};
  m.devices.volumes.clear();
  m.devices.AddVolume(L'E', 0, kMiB);
  m.devices.AddVolume(L'C', 1, 101 * kMiB);
  m.disks = EnumerateDisks(m.devices);
  const std::wstring image = L"E:\\DURozazo\\Download\\win10.wim";
  m.files.files[image] = testing_boot::kWimHeader;
  BootMachine machine = m.Machine();

  // Bound to the bytes that were checked.
  EXPECT_TRUE(TakeOverForReinstall(machine, m.ui, image,
                                   ImageBinding{4294967297, "0123456789abcdef0123456789abcdef"}));
  EXPECT_THAT(m.ui.messages, IsEmpty());
  EXPECT_EQ("environment", m.files.files[L"C:\\KV.ima"]);
  EXPECT_EQ(
      "Ghost.exe -nousb -clone,mode=pload,src=\"2:1\\DURozazo\\Download\\win10.wim:1\","
      "dst=\"1:2\" -fro -crcignore -sure -rb -fx -afile=\"GHOSTERR.TXT\"\r\nrestart\r\n",
      m.files.files[L"C:\\Ghost.ba_"]);
  EXPECT_EQ(
      "KAVI-DISKMAP 1\r\n"
      "2:1 mbr=A1B2C3D4 start=1048576 length=214748364800\r\n"
      "1:2 mbr=00001A2B start=105906176 length=64424509440\r\n"
      "image size=4294967297 md5=0123456789abcdef0123456789abcdef\r\n",
      m.files.files[L"C:\\Ghost.map"]);
}

// An image no carried payload can load is refused before any question,
// command or file.
TEST(ImagePayload, ImagesNoPayloadCanLoadAreRefusedWithNothingWritten) {
  struct Case {
    const char* what;
    const char* head;  // none: the file cannot be read
    size_t size;
    const wchar_t* text;
  } cases[] = {
      {"Ghost image without the floppy", "\xFE\xEF\x01\x02", 4,
       L"错误:该镜像为GHO格式，需要Ghost启动文件，系统未作任何更改。"},
      {"unknown header", "PK\x03\x04\0\0\0\0", 8,
       L"错误:无法识别镜像文件的格式，系统未作任何更改。"},
      {"unreadable", nullptr, 0, L"错误:无法读取镜像文件，系统未作任何更改。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MachineFixture m;
    m.resources.payloads.erase(145);
    const std::wstring download = L"D:\\DURozazo\\Download\\x.gho";
    if (c.head != nullptr) {
      m.files.files[kImage] = std::string(c.head, c.size);
      m.files.files[download] = std::string(c.head, c.size);
    }
    BootMachine machine = m.Machine();
    EXPECT_FALSE(TakeOverForReinstall(machine, m.ui, download));
    if (c.head != nullptr) OnRestoreSystem(machine, m.ui, kImage);
    for (const auto& shown : m.ui.messages) {
      EXPECT_EQ(c.text, shown.caption + L":" + shown.text);
      EXPECT_EQ(kMbOk | kMbIconError, shown.type);
    }
    EXPECT_EQ(c.head != nullptr ? 2u : 1u, m.ui.messages.size());
    EXPECT_THAT(m.runner.lines, IsEmpty());
    EXPECT_THAT(m.files.log, IsEmpty());
    EXPECT_EQ(0, m.ui.restarts);
  }
}

// On a machine whose only partition is C:, the backup and its restore are
// refused before the question: the environment cannot read C: whole while
// writing into it, nor write C: whole from a file on it.
TEST(ImagePayload, AnImageOnTheSystemDriveIsRefusedBeforeTheQuestion) {
  MachineFixture m;
  const std::wstring onSystem = L"c:\\DURozazo\\SYS.GHO";
  m.files.files[onSystem] = std::string("MSWIM\0\0\0", 8);
  BootMachine machine = m.Machine();
  OnBackupSystem(machine, m.ui, onSystem);
  OnRestoreSystem(machine, m.ui, onSystem);
  EXPECT_THAT(Texts(m.ui),
              ElementsAre(L"错误:备份文件位于系统分区上，无法把系统分区备份到其自身，请将其放在其他"
                          L"分区。系统未作任何更改。",
                          L"错误:镜像文件位于系统分区上，无法在重启后写入系统分区，请将其放在其他"
                          L"分区。系统未作任何更改。"));
  EXPECT_THAT(m.runner.lines, IsEmpty());
  EXPECT_THAT(m.files.log, IsEmpty());
}

}  // namespace
}  // namespace kavi
