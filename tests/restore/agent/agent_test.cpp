// The whole agent run against a substitute machine: a load that keeps the
// boot code and boot files, refusals that write nothing to the target yet
// give Windows its boot configuration back, several tasks, and backups.
#include "restore/agent/agent.h"

#include <gtest/gtest.h>

#include <cctype>

#include "restore/agent/backup_record.h"
#include "restore/agent/backup_swap.h"
#include "restore/agent/ntfs_security.h"
#include "tests/restore/agent/fake_agent_host.h"

namespace kavi {
namespace restore {
namespace {

using testing_agent::FakeMachine;
using testing_agent::Node;
using testing_agent::Tree;

const std::string kLoadScript =
    "Ghost.exe -nousb -clone,mode=pload,src=\"1:2\\DURozazo\\Download\\win.wim:1\",dst=\"1:1\" "
    "-fro -crcignore -sure -rb -fx -afile=\"GHOSTERR.TXT\"\r\nrestart\r\n";
const std::string kRecord =
    "KAVI-DISKMAP 1\r\n1:1 mbr=1A2B3C4D start=1048576 length=104857600\r\n"
    "1:2 mbr=1A2B3C4D start=105906176 length=104857600\r\n";

constexpr const char* kLoader = "GRUB kvldr";
// The takeover's task files: administrators may change them, users read.
std::string TakeoverMade() {
  return AdminOnlyDescriptor(false, true);
}

// sda1: Windows with the takeover files; sda2: the work folder and image.
void Arrange(FakeMachine& m, const std::string& script = kLoadScript,
             const std::string& record = kRecord) {
  FakeMachine::Part& system = m.Add("/dev/sda1", 0x1A2B3C4D, 1048576, FsKind::kNtfs);
  std::vector<uint8_t>& mbr = m.mbrs["/dev/sda"];
  mbr.assign(512, 0);
  mbr[446] = 0x80, mbr[450] = 0x07, mbr[455] = 0x08;  // sda1 active, from sector 2048
  mbr[510] = 0x55, mbr[511] = 0xAA;
  // Large enough to go by ntfscp.
  system.tree = {{"/KV.ima", {false, "floppy" + std::string(1 << 20, '\0')}},
                 {"/kvldr", {false, kLoader}},
                 {"/Ghost.ba_", {false, script, TakeoverMade()}},
                 {"/Ghost.map", {false, record, TakeoverMade()}},
                 {"/BOOT.IN_", {false, "original ini"}},
                 {"/boot.ini", {false, "armed ini"}},
                 {"/bootmgr", {false, "BOOTMGR"}},
                 {"/Boot", {true, ""}},
                 {"/Boot/BCD", {false, "armed bcd"}},
                 {"/Boot/BCD_B", {false, "original bcd"}}};
  FakeMachine::Part& work = m.Add("/dev/sda2", 0x1A2B3C4D, 105906176, FsKind::kNtfs);
  work.tree = {{"/durozazo", {true, ""}},
               {"/durozazo/Download", {true, ""}},
               {"/durozazo/Download/win.wim", {false, std::string("MSWIM\0\0\0rest", 12)}}};
}

std::string Utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

std::string Read(FakeMachine& m, const std::string& device, const std::string& path) {
  const Node& node = m.PartOf(device).tree[path];
  return node.bytes;
}

std::string ToLower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string LastLine(const std::string& text) {
  const size_t end = text.size() - 1;
  return text.substr(text.rfind('\n', end - 1) + 1, end - text.rfind('\n', end - 1) - 1);
}

size_t RunIndex(const FakeMachine& m, const std::string& tool, const std::string& verb) {
  for (size_t i = 0; i < m.runs.size(); ++i) {
    if (m.runs[i][0] == tool && (verb.empty() || m.runs[i][1] == verb)) return i;
  }
  return m.runs.size();
}

Refusal RunAgent(FakeMachine& m) {
  AgentHost host{m, m, m, m, m};
  return RunRestoreAgent(host);
}

const std::string kImage = std::string("MSWIM\0\0\0rest", 12);

// The record of a load checked against `image` before the restart.
void BindImage(FakeMachine& m, const std::string& image = kImage) {
  m.PartOf("/dev/sda1").tree["/Ghost.map"].bytes += "image size=" + std::to_string(image.size()) +
                                                    " md5=" + testing_agent::FakeMd5(image) +
                                                    "\r\n";
}

TEST(RestoreAgent, BoundImageIsHashedOnceInsteadOfVerifiedAndTheEntryStartsFirst) {
  // libntfs-3g reads the unmounted volume and ntfscp writes KV.ima; when
  // they cannot, the mount does.
  for (int ntfsReadStatus : {1, 0}) {
    SCOPED_TRACE(ntfsReadStatus);
    FakeMachine m;
    Arrange(m);
    BindImage(m);
    m.ntfsReadStatus = m.ntfscpStatus = ntfsReadStatus;
    ASSERT_FALSE(RunAgent(m).failed());
    EXPECT_LT(RunIndex(m, "kavi-agent", ntfsReadStatus ? "--md5" : "--md5-ntfs"),
              RunIndex(m, "mkntfs", ""));
    EXPECT_EQ(ntfsReadStatus != 0, m.Ran("kavi-agent", "--md5"));
  }

  FakeMachine m;
  Arrange(m);
  BindImage(m);
  std::string logAtFormat;
  m.beforeRun = [&](const std::vector<std::string>& argv) {
    if (argv[0] == "mkntfs") logAtFormat = Read(m, "/dev/sda2", "/durozazo/restore.log");
  };
  const Refusal outcome = RunAgent(m);
  ASSERT_FALSE(outcome.failed()) << outcome.detail;
  EXPECT_FALSE(m.Ran("wimlib-imagex", "verify"));

  // A cut during the format leaves an entry without a result line.
  EXPECT_EQ(0u, logAtFormat.find("== kavi restore ")) << logAtFormat;
  EXPECT_NE(std::string::npos, logAtFormat.find("\ndecided: load ")) << logAtFormat;
  EXPECT_EQ(std::string::npos, logAtFormat.find("result:")) << logAtFormat;
  const std::string log = Read(m, "/dev/sda2", "/durozazo/restore.log");
  EXPECT_EQ(0u, log.find(logAtFormat)) << log;
  EXPECT_EQ(log.find("decided:"), log.rfind("decided:")) << log;  // the start is not repeated
  EXPECT_NE(std::string::npos, log.find("\ndone: checked the MD5 of ")) << log;
  EXPECT_EQ(0u, LastLine(log).find("result: ok ")) << log;
}

TEST(RestoreAgent, LoadVerifiesFirstThenKeepsTheBootCodeAndBootFiles) {
  FakeMachine m;
  Arrange(m);
  const Refusal outcome = RunAgent(m);
  ASSERT_FALSE(outcome.failed()) << outcome.detail;

  EXPECT_LT(RunIndex(m, "wimlib-imagex", "verify"), RunIndex(m, "mkntfs", ""));
  const std::vector<std::string> mkntfs = m.runs[RunIndex(m, "mkntfs", "")];
  EXPECT_EQ((std::vector<std::string>{"mkntfs", "-Q", "-p", "2048", "-H", "255", "-S", "63", "-s",
                                      "512", "-c", "4096", "-L", "SYSTEM", "/dev/sda1"}),
            mkntfs);
  EXPECT_EQ((std::vector<std::string>{"wimlib-imagex", "apply", "/m/sda2/durozazo/Download/win.wim",
                                      "1", "/dev/sda1"}),
            m.runs[RunIndex(m, "wimlib-imagex", "apply")]);

  // The fresh BPB (code 0x00 from the stand-in mkntfs) with the old code 0xC7
  // and the old hidden sectors, in front and at the backup position.
  const std::vector<uint8_t>& region = m.written.at("/dev/sda1@0");
  ASSERT_EQ(kNtfsBootRegionSize, region.size());
  EXPECT_EQ(0x00, region[0x53]);
  EXPECT_EQ(0xC7, region[0x54]);
  EXPECT_EQ(0xC7, region[0x1FD]);
  EXPECT_EQ(0x55, region[0x1FE]);
  EXPECT_EQ(0x08, region[0x1D]);  // 2048 = 0x800
  EXPECT_EQ(0xC7, region[512]);
  const std::vector<uint8_t>& backup =
      m.written.at("/dev/sda1@" + std::to_string(0x31FFFull * 512));
  EXPECT_EQ(std::vector<uint8_t>(region.begin(), region.begin() + 512), backup);

  // The image brought no boot files: the old ones, with the boot
  // configuration already put back, are there again beside the image's.
  EXPECT_EQ("BOOTMGR", Read(m, "/dev/sda1", "/bootmgr"));
  EXPECT_EQ("original bcd", Read(m, "/dev/sda1", "/Boot/BCD"));
  EXPECT_EQ("original ini", Read(m, "/dev/sda1", "/boot.ini"));
  EXPECT_EQ(1u, m.PartOf("/dev/sda1").tree.count("/Windows/explorer.exe"));
  EXPECT_EQ(0u, m.PartOf("/dev/sda1").tree.count("/Boot/BCD_B"));

  const std::string log = Read(m, "/dev/sda2", "/durozazo/restore.log");
  EXPECT_EQ(0u, log.find("== kavi restore 2026-12-08 03:12:45\n"
                         "found: firmware BIOS\n"
                         "found: KV.ima and Ghost.ba_ on /dev/sda1 (disk 1A2B3C4D, start 1048576, "
                         "length 104857600, NTFS)\n"
                         "decided: load /DURozazo/Download/win.wim image 1 from 1:2 onto 1:1\n"
                         "found: image 1 of 1 \"\" (no architecture, Windows 0)\n"
                         "done: verified 60.0 MiB in "))
      << log;
  EXPECT_EQ(0u, LastLine(log).find("result: ok ")) << log;
  EXPECT_TRUE(m.mounted.empty());

  using S = ScreenStep;
  EXPECT_EQ((std::vector<S>{S::kFind, S::kVerify, S::kFormat, S::kWrite, S::kBootFiles, S::kDone}),
            m.steps);
  EXPECT_EQ(ScreenTask::kInstall, m.task);
  EXPECT_EQ("DURozazo\\Download\\win.wim", m.taskName);
}

// The power goes at one step of a load; the machine is started again with
// whatever the disks hold. Before the format the old Windows starts as it
// was; from the format on the next start writes the image again, and C:
// ends as an uncut load leaves it.
struct PowerCut {};

TEST(RestoreAgent, ACutLoadEitherLeavesTheOldWindowsOrIsFinishedByTheNextStart) {
  FakeMachine uncut;
  Arrange(uncut);
  BindImage(uncut);
  ASSERT_FALSE(RunAgent(uncut).failed());
  const Tree written = uncut.PartOf("/dev/sda1").tree;
  FakeMachine untouched;
  Arrange(untouched);
  Tree old = untouched.PartOf("/dev/sda1").tree;
  old.erase("/Ghost.ba_");
  old.erase("/Ghost.map");
  old.erase("/BOOT.IN_");
  old.erase("/Boot/BCD_B");
  old["/boot.ini"].bytes = "original ini";
  old["/Boot/BCD"].bytes = "original bcd";

  struct Instant {
    const char* tool;
    const char* verb;
  };
  struct Cuts {
    std::vector<Instant> starts;  // each start cut when it reaches its instant
    bool resumes;
  };
  // ntfscp writes KV.ima into the hold (sda2), then back onto the formatted C:.
  const Instant md5{"kavi-agent", "--md5-ntfs"}, hold{"ntfscp", "/dev/sda2"}, format{"mkntfs", ""},
      putBack{"ntfscp", "/dev/sda1"}, rearm{"hivexsh", ""}, apply{"wimlib-imagex", "apply"};
  for (const Cuts& cuts : {Cuts{{md5}, false}, Cuts{{hold}, false}, Cuts{{format}, false},
                           Cuts{{putBack}, true}, Cuts{{rearm}, true}, Cuts{{apply}, true},
                           // Cut again while the resumed start checks the image, and once more
                           // before its format: the task stays armed through both.
                           Cuts{{apply, md5}, true}, Cuts{{apply, rearm, md5, format}, true},
                           Cuts{{apply, apply}, true}}) {
    std::string trace;
    for (const Instant& cut : cuts.starts) trace += std::string(cut.tool) + " " + cut.verb + "; ";
    SCOPED_TRACE(trace);
    FakeMachine m;
    Arrange(m);
    BindImage(m);
    for (const Instant& cut : cuts.starts) {
      m.beforeRun = [&](const std::vector<std::string>& argv) {
        if (argv[0] != cut.tool || (*cut.verb && argv[1] != cut.verb)) return;
        // Half the image's files are there when the apply is cut.
        if (argv[0] == "wimlib-imagex") m.PartOf("/dev/sda1").tree["/Windows"] = Node{true, ""};
        throw PowerCut{};
      };
      EXPECT_THROW(RunAgent(m), PowerCut);
      m.beforeRun = nullptr;
      m.mounted.clear();
    }
    if (!cuts.resumes) {
      EXPECT_EQ(old, m.PartOf("/dev/sda1").tree);
      continue;
    }
    // The active C: keeps its boot code, which loads \bootmgr by name: on
    // a real BIOS chain (no boot manager's one-time entry to read) the file
    // found there is our loader, which finds the task.
    EXPECT_EQ(kLoader, Read(m, "/dev/sda1", "/bootmgr"));
    const Refusal outcome = RunAgent(m);
    ASSERT_FALSE(outcome.failed()) << outcome.detail;
    EXPECT_EQ(written, m.PartOf("/dev/sda1").tree);
    // The cut starts' entries have no result line; the last one tells of them.
    const std::string log = Read(m, "/dev/sda2", "/durozazo/restore.log");
    EXPECT_EQ(log.find("result:"), log.rfind("result:")) << log;
    EXPECT_NE(std::string::npos, log.find("found: the last start stopped at step apply")) << log;
  }
}

// FAT is emptied rather than formatted: the task and the boot files stay at
// its root, armed, while the image goes into a folder of its own and then
// into place. Cut in the apply (once, twice) or while the image's entries
// are moved, the next start finishes as an uncut load does.
TEST(RestoreAgent, ACutLoadOnFatIsFinishedByTheNextStart) {
  const auto arrange = [](FakeMachine& m) {
    Arrange(m);
    m.parts[0].found.fs = FsKind::kFat;
    BindImage(m);
  };
  FakeMachine uncut;
  arrange(uncut);
  ASSERT_FALSE(RunAgent(uncut).failed());
  const Tree written = uncut.PartOf("/dev/sda1").tree;
  EXPECT_EQ("original ini", Read(uncut, "/dev/sda1", "/boot.ini"));
  for (const int cut : {1, 2, -1}) {
    SCOPED_TRACE(cut > 0 ? std::to_string(cut) + " cuts in the apply" : "a cut in the moves");
    FakeMachine m;
    arrange(m);
    for (int start = 0; start < (cut > 0 ? cut : 1); ++start) {
      int changesAfterApply = -1;
      m.beforeRun = [&](const std::vector<std::string>& argv) {
        if (argv[0] != "wimlib-imagex" || argv[1] != "apply") return;
        if (cut < 0) {
          changesAfterApply = 0;
          return;
        }
        m.PartOf("/dev/sda1").tree["/KAVI.NEW/Windows"] = Node{true, ""};
        throw PowerCut{};
      };
      m.beforeChange = [&] {
        if (changesAfterApply >= 0 && ++changesAfterApply == 3) throw PowerCut{};
      };
      EXPECT_THROW(RunAgent(m), PowerCut);
      m.beforeRun = nullptr;
      m.beforeChange = nullptr;
      m.mounted.clear();
      // NTLDR reads the armed boot.ini, whose loader finds the task.
      EXPECT_EQ("armed ini", Read(m, "/dev/sda1", "/boot.ini"));
      EXPECT_EQ(1u, m.PartOf("/dev/sda1").tree.count("/Ghost.ba_"));
    }
    const Refusal outcome = RunAgent(m);
    ASSERT_FALSE(outcome.failed()) << outcome.detail;
    EXPECT_EQ(written, m.PartOf("/dev/sda1").tree);
  }
}

// hivex truncates the store it writes back: a cut inside that write must
// not leave the formatted target without the store that starts the agent.
TEST(RestoreAgent, ACutWhileTheStoreIsArmedAgainLeavesItWhole) {
  FakeMachine m;
  Arrange(m);
  BindImage(m);
  m.beforeRun = [&](const std::vector<std::string>& argv) {
    if (argv[0] != "hivexsh") return;
    m.WriteFile(argv.back(), "");
    throw PowerCut{};
  };
  EXPECT_THROW(RunAgent(m), PowerCut);
  EXPECT_EQ("armed bcd", Read(m, "/dev/sda1", "/Boot/BCD"));
}

// The task could not be put back on the formatted target, so only the hold
// carries it: a cut after the apply has made \Windows is still taken up
// (the volume is a new one), and the next start finishes the write. Only
// administrators can change the hold; one a user could have written (here:
// the record replaced by a user's own file) is left alone.
TEST(RestoreAgent, ACutApplyWithTheTaskOnlyInItsHoldIsFinishedByTheNextStart) {
  FakeMachine uncut;
  Arrange(uncut);
  BindImage(uncut);
  ASSERT_FALSE(RunAgent(uncut).failed());
  for (bool forged : {false, true}) {
    SCOPED_TRACE(forged ? "a user's hold record" : "the agent's own hold");
    FakeMachine m;
    Arrange(m);
    BindImage(m);
    m.lockedByFormat.insert("/dev/sda1");  // nothing goes back onto it once formatted
    m.beforeRun = [&](const std::vector<std::string>& argv) {
      if (argv[0] != "wimlib-imagex" || argv[1] != "apply") return;
      ASSERT_EQ(0u, m.PartOf("/dev/sda1").tree.count("/Ghost.ba_")) << "the task is on the target";
      m.PartOf("/dev/sda1").tree["/Windows"] = Node{true, ""};
      throw PowerCut{};
    };
    EXPECT_THROW(RunAgent(m), PowerCut);
    Tree& work = m.PartOf("/dev/sda2").tree;
    for (const char* held : {"/durozazo/hold", "/durozazo/hold/hold.txt",
                             "/durozazo/hold/boot-region", "/durozazo/hold/Ghost.ba_"}) {
      EXPECT_TRUE(IsAdminOnly(work[held].security)) << held;
    }
    if (forged) work["/durozazo/hold/hold.txt"].security = FakeMachine::kUserMade;
    m.beforeRun = nullptr;
    m.lockedByFormat.clear();
    m.readOnly.clear();
    m.mounted.clear();
    m.runs.clear();
    const Refusal outcome = RunAgent(m);
    if (forged) {
      EXPECT_EQ(Failure::kNoTask, outcome.failure) << outcome.detail;
      EXPECT_FALSE(m.Ran("mkntfs"));
      continue;
    }
    ASSERT_FALSE(outcome.failed()) << outcome.detail;
    EXPECT_EQ(uncut.PartOf("/dev/sda1").tree, m.PartOf("/dev/sda1").tree);
  }
}

// An image with boot files of its own: those of the takeover are not kept
// in their way, however long the image's listing (its root names after
// \Windows come past the first MiB of it).
TEST(RestoreAgent, TheImagesOwnBootFilesAreNotKeptInTheirWay) {
  FakeMachine m;
  Arrange(m);
  for (int i = 0; i < 40000; ++i) {
    m.imageFiles["/Windows/WinSxS/component-" + std::to_string(i)] = Node{false, ""};
  }
  m.imageFiles["/bootmgr"] = Node{false, "NEW BOOTMGR"};
  m.imageFiles["/Boot"] = Node{true, ""};
  m.imageFiles["/Boot/BCD"] = Node{false, "image bcd"};
  const Refusal outcome = RunAgent(m);
  ASSERT_FALSE(outcome.failed()) << outcome.detail;
  EXPECT_EQ("NEW BOOTMGR", Read(m, "/dev/sda1", "/bootmgr"));
  EXPECT_EQ("image bcd", Read(m, "/dev/sda1", "/Boot/BCD"));
  EXPECT_EQ(0u, m.PartOf("/dev/sda1").tree.count("/KV.ima"));
}

struct RefusalCase {
  const char* name;
  Failure failure;
  const char* logDevice;  // where the entry goes: the image's partition when known
  std::function<void(FakeMachine&)> change;
};

class RestoreAgentRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(RestoreAgentRefusal, WritesNothingToTheTargetAndBootsWindowsAgain) {
  FakeMachine m;
  Arrange(m);
  GetParam().change(m);
  const Refusal outcome = RunAgent(m);
  EXPECT_EQ(GetParam().failure, outcome.failure) << outcome.detail;

  EXPECT_TRUE(m.diskWrites.empty());
  EXPECT_FALSE(m.Ran("mkntfs"));
  EXPECT_FALSE(m.Ran("wimlib-imagex", "apply"));
  EXPECT_EQ("original ini", Read(m, "/dev/sda1", "/boot.ini"));
  EXPECT_EQ("original bcd", Read(m, "/dev/sda1", "/Boot/BCD"));
  const auto& system = m.PartOf("/dev/sda1").tree;
  EXPECT_EQ(0u, system.count("/BOOT.IN_") + system.count("/Boot/BCD_B"));
  EXPECT_EQ(0u, system.count("/Ghost.ba_") + system.count("/Ghost.map"));
  for (const auto& [path, node] : system) EXPECT_NE("/durozazo", ToLower(path.substr(0, 9)));

  const std::string log = Read(m, GetParam().logDevice, "/durozazo/restore.log") +
                          Read(m, GetParam().logDevice, "/DURozazo/restore.log");
  EXPECT_EQ(
      0u, LastLine(log).find("result: failed " + std::string(FailureCode(outcome.failure)) + ": "))
      << log;
  EXPECT_TRUE(m.mounted.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RestoreAgentRefusal,
    testing::Values(
        RefusalCase{"GhostImage", Failure::kImageGho, "/dev/sda2",
                    [](FakeMachine& m) {
                      m.PartOf("/dev/sda2").tree["/durozazo/Download/win.wim"].bytes = "\xFE\xEF..";
                    }},
        RefusalCase{"CorruptImage", Failure::kImageCorrupt, "/dev/sda2",
                    [](FakeMachine& m) { m.verifyStatus = 1; }},
        RefusalCase{
            "MissingImage", Failure::kImageMissing, "/dev/sda2",
            [](FakeMachine& m) { m.PartOf("/dev/sda2").tree.erase("/durozazo/Download/win.wim"); }},
        RefusalCase{"Hibernated", Failure::kTargetHibernated, "/dev/sda2",
                    [](FakeMachine& m) {
                      m.PartOf("/dev/sda1").tree["/hiberfil.sys"] = Node{false, "HIBRxxxx"};
                    }},
        RefusalCase{"TooSmall", Failure::kImageTooLarge, "/dev/sda2",
                    [](FakeMachine& m) {
                      // 60 MiB of files do not fit 64 MiB; the record says the same.
                      m.parts[0].found.length = 64ull << 20;
                      std::string& record = m.PartOf("/dev/sda1").tree["/Ghost.map"].bytes;
                      record.replace(record.find("length=104857600"), 16, "length=67108864");
                    }},
        RefusalCase{"SwappedImage", Failure::kImageChanged, "/dev/sda2",
                    [](FakeMachine& m) {
                      BindImage(m);
                      m.PartOf("/dev/sda2").tree["/durozazo/Download/win.wim"].bytes =
                          std::string("MSWIM\0\0\0evil", 12);
                    }},
        RefusalCase{"TruncatedImage", Failure::kImageChanged, "/dev/sda2",
                    [](FakeMachine& m) { BindImage(m, kImage + "more"); }},
        RefusalCase{"X64ImageOn32BitProcessor", Failure::kImageNotForMachine, "/dev/sda2",
                    [](FakeMachine& m) {
                      m.infoImage = "Name:                   Windows 10 Pro\n";
                      m.infoXml = Utf16(
                          "<WIM><IMAGE INDEX=\"1\"><WINDOWS><ARCH>9</ARCH>"
                          "</WINDOWS></IMAGE></WIM>");
                      m.firmware.longMode = false;
                    }},
        RefusalCase{"X86ImageOnUefi", Failure::kImageNotForMachine, "/dev/sda2",
                    [](FakeMachine& m) {
                      m.infoXml = Utf16(
                          "<WIM><IMAGE INDEX=\"1\"><WINDOWS><ARCH>0</ARCH>"
                          "</WINDOWS></IMAGE></WIM>");
                      m.firmware.uefi = true;
                    }},
        RefusalCase{"Windows7UnderSecureBoot", Failure::kImageNotForMachine, "/dev/sda2",
                    [](FakeMachine& m) {
                      m.infoXml = Utf16(
                          "<WIM><IMAGE INDEX=\"1\"><WINDOWS><ARCH>9</ARCH><VERSION><MAJOR>6"
                          "</MAJOR><MINOR>1</MINOR><BUILD>7601</BUILD></VERSION>"
                          "</WINDOWS></IMAGE></WIM>");
                      m.firmware.uefi = true;
                      m.firmware.secureBoot = true;
                    }},
        RefusalCase{"SignatureOnTwoDisks", Failure::kRecordMismatch, "/dev/sda2",
                    [](FakeMachine& m) { m.Add("/dev/sdb1", 0x1A2B3C4D, 1048576, FsKind::kFat); }},
        RefusalCase{"ImageOnTarget", Failure::kImageOnTarget, "/dev/sda2",
                    [](FakeMachine& m) {
                      std::string& script = m.PartOf("/dev/sda1").tree["/Ghost.ba_"].bytes;
                      script.replace(script.find("src=\"1:2"), 8, "src=\"1:1");
                    }},
        // Without a hold a cut in the format would leave nothing to start,
        // and on FAT any user could change what the hold holds.
        RefusalCase{"HoldOnFat", Failure::kNotHeld, "/dev/sda2",
                    [](FakeMachine& m) { m.PartOf("/dev/sda2").found.fs = FsKind::kFat; }},
        RefusalCase{"ImageFilesUnlisted", Failure::kNotHeld, "/dev/sda2",
                    [](FakeMachine& m) { m.dirStatus = 1; }}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

TEST(RestoreAgent, TaskOnAnEncryptedVolumeIsReportedAsBitLocker) {
  FakeMachine m;
  Arrange(m);
  m.parts[0].found.fs = FsKind::kBitLocker;
  const Refusal outcome = RunAgent(m);
  EXPECT_EQ(Failure::kTargetEncrypted, outcome.failure) << outcome.detail;
  EXPECT_TRUE(m.diskWrites.empty());
}

TEST(RestoreAgent, SeveralTasksAreRefusedButEachBootsWindowsAgain) {
  FakeMachine m;
  Arrange(m);
  m.Add("/dev/sdb1", 0x55667788, 1048576, FsKind::kFat).tree = {
      {"/kv.ima", {false, "floppy"}},
      {"/GHOST.BA_", {false, kLoadScript}},
      {"/boot.in_", {false, "second ini"}}};
  EXPECT_EQ(Failure::kSeveralTasks, RunAgent(m).failure);
  EXPECT_EQ("original ini", Read(m, "/dev/sda1", "/boot.ini"));
  EXPECT_EQ("original bcd", Read(m, "/dev/sda1", "/Boot/BCD"));
  EXPECT_EQ("second ini", Read(m, "/dev/sdb1", "/boot.ini"));
  EXPECT_TRUE(m.runs.empty());
  EXPECT_TRUE(m.diskWrites.empty());
  EXPECT_NE(std::string::npos,
            Read(m, "/dev/sda2", "/durozazo/restore.log").find("result: failed several-tasks"));
  EXPECT_EQ(0u, m.PartOf("/dev/sdb1").tree.count("/DURozazo"));
}

TEST(RestoreAgent, ATaskAnyUserCouldHaveWrittenIsNeitherRunNorCounted) {
  // KV.ima and Ghost.ba_ dropped at the root of the image's NTFS partition
  // by a standard user, beside the administrator's task on C:.
  FakeMachine m;
  Arrange(m);
  m.PartOf("/dev/sda2").tree["/KV.ima"] = Node{false, "floppy"};
  m.PartOf("/dev/sda2").tree["/Ghost.ba_"] =
      Node{false, "Ghost.exe -clone,mode=pload,src=x,dst=1:1\r\n", FakeMachine::kUserMade};
  const Refusal outcome = RunAgent(m);
  ASSERT_FALSE(outcome.failed()) << outcome.detail;
  EXPECT_NE(std::string::npos,
            Read(m, "/dev/sda2", "/durozazo/restore.log")
                .find("ignored: a task any user could have written on /dev/sda2"));
  EXPECT_EQ(1u, m.PartOf("/dev/sda2").tree.count("/Ghost.ba_"));

  // The administrator's own script, changed to be any user's: no task at all.
  FakeMachine changed;
  Arrange(changed);
  changed.PartOf("/dev/sda1").tree["/Ghost.ba_"].security = FakeMachine::kUserMade;
  EXPECT_EQ(Failure::kNoTask, RunAgent(changed).failure);
  EXPECT_TRUE(changed.diskWrites.empty());
}

// A backup into a folder named in code page 936, whose second byte is a
// backslash ("乗" is 81 5C): the folder is made under its UTF-8 name.
const std::string kDumpScript =
    "Ghost.exe -nousb -clone,mode=pdump,src=\"1:1\",dst=\"1:2\\DURozazo\\\x81\\\\SYS.GHO\" -sure "
    "-rb -crcignore -fro -z3 -auto -afile=\"GHOSTERR.TXT\"\r\nrestart\r\n";

TEST(RestoreAgent, BackupReplacesTheOldFileOnlyAfterItVerified) {
  for (int verifyStatus : {0, 1}) {
    FakeMachine m;
    Arrange(m, kDumpScript);
    m.PartOf("/dev/sda2").tree["/durozazo/\xE4\xB9\x97"] = Node{true, ""};
    m.PartOf("/dev/sda2").tree["/durozazo/\xE4\xB9\x97/sys.gho"] = Node{false, "old backup"};
    m.verifyStatus = verifyStatus;
    const Refusal outcome = RunAgent(m);

    const auto& runs = m.runs;
    const size_t capture = RunIndex(m, "wimlib-imagex", "capture");
    ASSERT_LT(capture, runs.size());
    EXPECT_EQ("/dev/sda1", runs[capture][2]);
    EXPECT_EQ("/m/sda2/durozazo/\xE4\xB9\x97/sys.gho.kavi-new", runs[capture][3]);
    const auto& work = m.PartOf("/dev/sda2").tree;
    EXPECT_EQ(0u, work.count("/durozazo/\xE4\xB9\x97/sys.gho.kavi-new"));
    EXPECT_EQ(0u, work.count("/durozazo/\xE4\xB9\x97/SYS.GHO"));
    if (verifyStatus == 0) {
      EXPECT_FALSE(outcome.failed()) << outcome.detail;
      EXPECT_EQ(0u, Read(m, "/dev/sda2", "/durozazo/\xE4\xB9\x97/sys.gho").find("MSWIM"));
      // It holds the system's hives; Windows trusts it by its record.
      EXPECT_TRUE(IsAdminOnly(work.at("/durozazo/\xE4\xB9\x97/sys.gho").security));
      EXPECT_TRUE(IsAdminOnly(m.PartOf("/dev/sda1").tree.at("/Ghost.sum").security));
    } else {
      EXPECT_EQ(Failure::kCaptureFailed, outcome.failure);
      EXPECT_EQ("old backup", Read(m, "/dev/sda2", "/durozazo/\xE4\xB9\x97/sys.gho"));
    }
    EXPECT_TRUE(m.diskWrites.empty());
    EXPECT_EQ("original ini", Read(m, "/dev/sda1", "/boot.ini"));
  }
}

// The backup's record on C: names whatever backup a cut at any change of
// the dump leaves under the backup's name once the replacement is finished;
// a dump that ran through names the new backup alone, and the backup never
// holds the record itself.
TEST(RestoreAgent, TheBackupsRecordNamesTheBackupACutLeaves) {
  const std::string folder = "/durozazo/\xE4\xB9\x97";
  const std::string old = "old backup";
  auto arrange = [&](FakeMachine& m) {
    Arrange(m, kDumpScript);
    m.PartOf("/dev/sda1").tree["/Ghost.sum"] =
        Node{false, BackupRecordText({ImageBinding{old.size(), testing_agent::FakeMd5(old)}})};
    m.PartOf("/dev/sda2").tree[folder] = Node{true, ""};
    m.PartOf("/dev/sda2").tree[folder + "/sys.gho"] = Node{false, old};
  };
  // What the record says of the backup under its name after the next pass.
  auto named = [&](FakeMachine& m) {
    m.mounted.clear();
    const std::string c = m.Mount(m.PartOf("/dev/sda1").found, false);
    const std::string d = m.Mount(m.PartOf("/dev/sda2").found, true);
    EXPECT_TRUE(FinishBackupSwap(m, d + folder, "sys.gho"));
    const std::string backup = Read(m, "/dev/sda2", folder + "/sys.gho");
    const auto record = ParseBackupRecord(m.ReadFile(c + "/Ghost.sum", 4096).value_or(""));
    EXPECT_TRUE(record.has_value());
    size_t found = 0;
    for (const ImageBinding& b : record.value_or(std::vector<ImageBinding>())) {
      found += b.size == backup.size() && b.md5 == testing_agent::FakeMd5(backup);
    }
    return std::make_pair(found, record ? record->size() : 0);
  };
  FakeMachine uncut;
  arrange(uncut);
  int changes = 0;
  uncut.beforeChange = [&] { ++changes; };
  // The renames on D: are on its disk before the record names the new
  // backup alone: a cut between the two must not find the old name.
  bool finalRecord = false;
  uncut.beforeWrite = [&](const std::string& file, const std::string& bytes) {
    const auto record = ParseBackupRecord(bytes);
    if (file.find("Ghost.sum") == std::string::npos || !record || record->size() != 1) return;
    finalRecord = true;
    EXPECT_EQ(0u, uncut.unflushedRenames.count("/dev/sda2"));
  };
  std::string config;  // what wimlib is told to leave out
  uncut.beforeRun = [&](const std::vector<std::string>& argv) {
    if (argv[0] != "wimlib-imagex" || argv[1] != "capture") return;
    config = uncut.ReadFile(argv.back().substr(argv.back().find('=') + 1), 4096).value_or("");
  };
  ASSERT_FALSE(RunAgent(uncut).failed());
  EXPECT_TRUE(finalRecord);
  uncut.beforeWrite = nullptr;
  EXPECT_EQ(0u, config.find("[ExclusionList]\n")) << config;
  for (const char* left :
       {"\\pagefile.sys", "\\hiberfil.sys", "\\swapfile.sys", "\\System Volume Information",
        "\\$Recycle.Bin", "\\Ghost.sum", "\\KV.ima", "\\kvldr", "\\Ghost.run"}) {
    EXPECT_NE(std::string::npos, config.find(std::string("\n") + left + "\n")) << left;
  }
  EXPECT_EQ(0u, uncut.PartOf("/dev/sda2").tree.count(folder + "/sys.gho.kavi-cfg"));
  EXPECT_EQ(std::make_pair(size_t{1}, size_t{1}), named(uncut));
  EXPECT_NE(old, Read(uncut, "/dev/sda2", folder + "/sys.gho"));

  for (int cut = 0; cut < changes; ++cut) {
    SCOPED_TRACE(cut);
    FakeMachine m;
    arrange(m);
    int left = cut;
    m.beforeChange = [&] {
      if (left-- == 0) throw PowerCut{};
    };
    EXPECT_THROW(RunAgent(m), PowerCut);
    m.beforeChange = nullptr;
    EXPECT_EQ(1u, named(m).first);
  }
}

// Whatever step of the backup's replacement a cut interrupted, the next
// pass leaves one whole backup under its name: the new one once it was
// verified, else the old one.
TEST(RestoreAgent, AnInterruptedBackupReplacementIsFinished) {
  struct Case {
    std::vector<std::string> present;  // names in the folder after the cut
    const char* left;                  // what SYS.GHO then holds
  };
  const std::map<std::string, std::string> bytes = {{"SYS.GHO", "old"},
                                                    {"SYS.GHO.kavi-new", "half"},
                                                    {"SYS.GHO.kavi-done", "new"},
                                                    {"SYS.GHO.kavi-old", "old"}};
  for (const Case& c :
       {Case{{"SYS.GHO", "SYS.GHO.kavi-new"}, "old"}, Case{{"SYS.GHO", "SYS.GHO.kavi-done"}, "new"},
        Case{{"SYS.GHO.kavi-old", "SYS.GHO.kavi-done"}, "new"},
        Case{{"SYS.GHO.kavi-old"}, "old"}}) {
    FakeMachine m;
    FakeMachine::Part& d = m.Add("/dev/sda2", 1, 1048576, FsKind::kNtfs);
    d.tree["/B"] = Node{true, ""};
    for (const std::string& name : c.present) d.tree["/B/" + name] = Node{false, bytes.at(name)};
    const std::string dir = m.Mount(d.found, true);
    EXPECT_TRUE(FinishBackupSwap(m, dir + "/B", "SYS.GHO"));
    EXPECT_EQ((Tree{{"/B", {true, ""}}, {"/B/SYS.GHO", {false, c.left}}}), d.tree)
        << c.present.front() << " " << c.present.back();
  }
  // Done in the fresh state too: SYS.GHO and the one after it.
  FakeMachine m;
  FakeMachine::Part& d = m.Add("/dev/sda2", 1, 1048576, FsKind::kNtfs);
  d.tree = {
      {"/B", {true, ""}}, {"/B/SYS.GHO", {false, "new"}}, {"/B/SYS.GHO.kavi-old", {false, "x"}}};
  EXPECT_TRUE(FinishBackupSwap(m, m.Mount(d.found, true) + "/B", "SYS.GHO"));
  EXPECT_EQ((Tree{{"/B", {true, ""}}, {"/B/SYS.GHO", {false, "new"}}}), d.tree);
}

// A UEFI machine with a GPT disk: ESP, Microsoft reserved, C: (the task),
// D: (the image); a second GPT disk with an ESP of its own.
const std::string kDisk = "01234567-89AB-CDEF-0123-456789ABCDEF";
const std::string kSystemPart = "A1B2C3D4-E5F6-0718-293A-4B5C6D7E8F90";
const std::string kGptLoadScript =
    "Ghost.exe -nousb -clone,mode=pload,src=\"1:4\\DURozazo\\Download\\win.wim:1\",dst=\"1:3\" "
    "-fro -crcignore -sure -rb -fx -afile=\"GHOSTERR.TXT\"\r\nrestart\r\n";
const Tree kEsp = {{"/EFI", {true, ""}},
                   {"/EFI/Boot", {true, ""}},
                   {"/EFI/Boot/bootx64.efi", {false, "fallback"}},
                   {"/EFI/Microsoft", {true, ""}},
                   {"/EFI/Microsoft/Boot", {true, ""}},
                   {"/EFI/Microsoft/Boot/bootmgfw.efi", {false, "bootmgfw"}},
                   {"/EFI/kavirestore", {true, ""}},
                   {"/EFI/kavirestore/shimx64.efi", {false, "shim"}},
                   {"/EFI/kavirestore/grub.cfg", {false, "linux $cmdpath/vmlinuz"}}};

void ArrangeGpt(FakeMachine& m, const std::string& systemPart) {
  m.firmware.uefi = true;
  m.firmware.secureBoot = true;
  m.AddGpt("/dev/sda1", kDisk, "FEDCBA98-7654-3210-FEDC-BA9876543210", 1048576, FsKind::kFat, true)
      .tree = kEsp;
  m.AddGpt("/dev/sda2", kDisk, "11111111-2222-3333-4444-555555555555", 105906176, FsKind::kOther);
  FakeMachine::Part& system = m.AddGpt("/dev/sda3", kDisk, kSystemPart, 122683392, FsKind::kNtfs);
  const std::string record = "KAVI-DISKMAP 1\r\n1:3 gpt=" + kDisk + " part=" + systemPart +
                             " start=122683392 length=104857600\r\n1:4 gpt=" + kDisk +
                             " part=0F0E0D0C-0B0A-0908-0706-050403020100 start=227540992 "
                             "length=104857600\r\n";
  system.tree = {{"/KV.ima", {false, "marker"}},
                 {"/Ghost.ba_", {false, kGptLoadScript, TakeoverMade()}},
                 {"/Ghost.map", {false, record, TakeoverMade()}},
                 {"/Windows", {true, ""}}};
  m.AddGpt("/dev/sda4", kDisk, "0F0E0D0C-0B0A-0908-0706-050403020100", 227540992, FsKind::kNtfs)
      .tree = {{"/DURozazo", {true, ""}},
               {"/DURozazo/Download", {true, ""}},
               {"/DURozazo/Download/win.wim", {false, std::string("MSWIM\0\0\0rest", 12)}}};
  m.AddGpt("/dev/sdb1", "99999999-8888-7777-6666-555555555555",
           "44444444-3333-2222-1111-000000000000", 1048576, FsKind::kFat, true)
      .tree = kEsp;
  m.loadOptions[1] = testing_agent::LoadOptionValue("Windows Boot Manager",
                                                    "\\EFI\\Microsoft\\Boot\\bootmgfw.efi");
  m.loadOptions[4] = testing_agent::LoadOptionValue("Kavi", "\\EFI\\kavirestore\\shimx64.efi");
}

// On UEFI the firmware starts our entry again after a cut apply, which finds
// the task on C: and finishes; then nothing of ours is left.
// A write that fails twice leaves the task armed on the formatted target.
TEST(RestoreAgent, AWriteThatFailsTwiceKeepsTheTaskArmed) {
  FakeMachine m;
  ArrangeGpt(m, kSystemPart);
  int applies = 0;
  m.beforeRun = [&](const std::vector<std::string>& argv) {
    if (argv[0] == "wimlib-imagex" && argv[1] == "apply") ++applies;
  };
  m.applyStatus = 1;
  EXPECT_EQ(Failure::kWriteFailed, RunAgent(m).failure);
  EXPECT_EQ(2, applies);
  const Tree& system = m.PartOf("/dev/sda3").tree;
  for (const char* kept : {"/KV.ima", "/Ghost.ba_", "/Ghost.map", "/Ghost.run"}) {
    EXPECT_EQ(1u, system.count(kept)) << kept;
  }
  EXPECT_EQ(kEsp, m.PartOf("/dev/sda1").tree);
  EXPECT_EQ(4, m.bootNext.value_or(0));
}

TEST(RestoreAgent, ACutLoadOnUefiStartsOurEntryAgainAndThenLeavesNothing) {
  FakeMachine m;
  ArrangeGpt(m, kSystemPart);
  m.beforeRun = [&](const std::vector<std::string>& argv) {
    if (argv[0] == "wimlib-imagex" && argv[1] == "apply") throw PowerCut{};
  };
  EXPECT_THROW(RunAgent(m), PowerCut);
  EXPECT_EQ(4, m.bootNext.value_or(0));
  EXPECT_EQ(1u, m.PartOf("/dev/sda3").tree.count("/KV.ima"));
  EXPECT_EQ(1u, m.PartOf("/dev/sda3").tree.count("/Ghost.ba_"));
  EXPECT_EQ(kEsp, m.PartOf("/dev/sda1").tree);

  m.beforeRun = nullptr;
  m.mounted.clear();
  m.bootNext.reset();  // spent by the start
  const Refusal outcome = RunAgent(m);
  ASSERT_FALSE(outcome.failed()) << outcome.detail;
  EXPECT_EQ(0u, m.loadOptions.count(4));
  EXPECT_FALSE(m.bootNext);
  const Tree& system = m.PartOf("/dev/sda3").tree;
  for (const char* gone : {"/KV.ima", "/Ghost.ba_", "/Ghost.map", "/Ghost.run"}) {
    EXPECT_EQ(0u, system.count(gone)) << gone;
  }
  EXPECT_EQ(1u, system.count("/Windows/explorer.exe"));
}

TEST(RestoreAgent, GptTaskResolvesByGuidsAndTakesOurFolderOffTheEspOnly) {
  for (const bool rightGuid : {true, false}) {
    FakeMachine m;
    ArrangeGpt(m, rightGuid ? kSystemPart : "A1B2C3D4-E5F6-0718-293A-4B5C6D7E8F91");
    const Refusal outcome = RunAgent(m);
    // Our firmware entry goes, the others stay.
    EXPECT_EQ(1u, m.loadOptions.size());
    EXPECT_EQ(1u, m.loadOptions.count(1));
    EXPECT_FALSE(m.bootNext);

    if (rightGuid) {
      ASSERT_FALSE(outcome.failed()) << outcome.detail;
      EXPECT_EQ((std::vector<std::string>{"wimlib-imagex", "apply",
                                          "/m/sda4/DURozazo/Download/win.wim", "1", "/dev/sda3"}),
                m.runs[RunIndex(m, "wimlib-imagex", "apply")]);
    } else {
      EXPECT_EQ(Failure::kRecordMismatch, outcome.failure) << outcome.detail;
      EXPECT_TRUE(m.runs.empty());
      EXPECT_TRUE(m.diskWrites.empty());
      EXPECT_EQ(1u, m.PartOf("/dev/sda3").tree.count("/Windows"));
    }
    Tree espLeft = kEsp;
    espLeft.erase(espLeft.find("/EFI/kavirestore"), espLeft.end());
    EXPECT_EQ(espLeft, m.PartOf("/dev/sda1").tree);
    EXPECT_EQ(kEsp, m.PartOf("/dev/sdb1").tree);  // another disk's ESP

    // Only the work folder gets the entry; C: keeps neither it nor the marker.
    EXPECT_EQ(0u, m.PartOf("/dev/sda3").tree.count("/DURozazo") +
                      m.PartOf("/dev/sda3").tree.count("/KV.ima"));
    const std::string log = Read(m, "/dev/sda4", "/DURozazo/restore.log");
    EXPECT_NE(std::string::npos, log.find("found: firmware UEFI, Secure Boot enabled\n"
                                          "found: KV.ima and Ghost.ba_ on /dev/sda3 (disk " +
                                          kDisk + ", partition " + kSystemPart +
                                          ", start 122683392, length 104857600, NTFS)\n"))
        << log;
    EXPECT_NE(std::string::npos, log.find("done: removed EFI/kavirestore from /dev/sda1\n")) << log;
    EXPECT_TRUE(m.mounted.empty());
  }
}

// Our firmware entry as the takeover leaves it: HD(1,GPT,ESP)/\EFI\KaviRestore\shimx64.efi.
std::string OurEntryOn(const std::string& espGuid) {
  std::string hd(42, '\0');
  hd[0] = 4, hd[1] = 1, hd[2] = 42, hd[4] = 1, hd[40] = 2, hd[41] = 2;
  const Guid esp = *ParseGuid(espGuid);
  std::copy(esp.bytes.begin(), esp.bytes.end(), hd.begin() + 24);
  std::string file;
  for (char c : std::string("\\EFI\\KaviRestore\\shimx64.efi")) file += std::string{c, '\0'};
  file = std::string{4, 4, static_cast<char>(file.size() + 6), 0} + file + std::string(2, '\0');
  const std::string path = hd + file + std::string{0x7F, static_cast<char>(0xFF), 4, 0};
  return std::string{1, 0, 0, 0, static_cast<char>(path.size()), 0} + Utf16("Kavi") +
         std::string(2, '\0') + path;
}

// Windows left the task on C:, then BitLocker made C: unreadable here: the
// refusal reaches the work folder Windows reads, the boot is disarmed and
// C: is never opened. An encrypted volume on a disk our firmware entry did
// not start from hides no task of ours.
TEST(RestoreAgent, TaskUnseenOnAnEncryptedSystemIsToldInTheWorkFolderAndDisarmed) {
  for (const char* esp :
       {"FEDCBA98-7654-3210-FEDC-BA9876543210", "44444444-3333-2222-1111-000000000000"}) {
    SCOPED_TRACE(esp);
    const bool ourDisk = esp[0] == 'F';
    FakeMachine m;
    ArrangeGpt(m, kSystemPart);
    m.loadOptions[4] = OurEntryOn(esp);
    m.PartOf("/dev/sda3").found.fs = FsKind::kBitLocker;
    const Tree system = m.PartOf("/dev/sda3").tree;
    const Refusal outcome = RunAgent(m);
    EXPECT_EQ(system, m.PartOf("/dev/sda3").tree);
    EXPECT_TRUE(m.diskWrites.empty());
    EXPECT_TRUE(m.runs.empty());
    EXPECT_EQ(1u, m.loadOptions.size());
    EXPECT_FALSE(m.bootNext);
    if (!ourDisk) {
      EXPECT_EQ(Failure::kNoTask, outcome.failure) << outcome.detail;
      continue;
    }
    EXPECT_EQ(Failure::kTargetEncrypted, outcome.failure) << outcome.detail;
    const std::string log = Read(m, "/dev/sda4", "/DURozazo/restore.log");
    EXPECT_NE(std::string::npos,
              log.find("found: BitLocker-encrypted /dev/sda3 (disk " + kDisk + ", partition " +
                       kSystemPart + ", start 122683392, length 104857600, BitLocker)\n"))
        << log;
    EXPECT_NE(std::string::npos, log.find("result: failed target-encrypted")) << log;
    Tree espLeft = kEsp;
    espLeft.erase(espLeft.find("/EFI/kavirestore"), espLeft.end());
    EXPECT_EQ(espLeft, m.PartOf("/dev/sda1").tree);
    EXPECT_EQ(kEsp, m.PartOf("/dev/sdb1").tree);
  }
}

}  // namespace
}  // namespace restore
}  // namespace kavi
