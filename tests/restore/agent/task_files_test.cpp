// The script and the disk record as the Windows side writes them, what is
// refused, and how designations meet the partitions found.
#include "restore/agent/task_files.h"

#include <gtest/gtest.h>

#include "restore/agent/cp936.h"
#include "restore/agent/partitions.h"

namespace kavi {
namespace restore {
namespace {

TEST(GhostScript, BothTemplatesOfTheWindowsSide) {
  const ScriptResult dump = ParseGhostScript(
      "Ghost.exe -nousb -clone,mode=pdump,src=\"1:1\",dst=\"2:12\\DURozazo\\SYS.GHO\" -sure -rb "
      "-crcignore -fro -z3 -auto -afile=\"GHOSTERR.TXT\"\r\nrestart\r\n");
  ASSERT_TRUE(dump.ok) << dump.error;
  EXPECT_EQ(TaskMode::kDump, dump.task.mode);
  EXPECT_EQ((Designation{1, 1}), dump.task.source);
  EXPECT_EQ((Designation{2, 12}), dump.task.imagePartition);
  EXPECT_EQ("\\DURozazo\\SYS.GHO", dump.task.imagePath);

  // LF only, and a path whose code page 936 bytes hold a backslash and a
  // colon-free trail: the image number is what follows the last colon.
  const ScriptResult load = ParseGhostScript(
      "Ghost.exe -nousb "
      "-clone,mode=pload,src=\"1:2\\\xCF\xB5\xCD\xB3\\\x81\\\\x.wim:3\",dst=\"1:1\" "
      "-fro -crcignore -sure -rb -fx -afile=\"GHOSTERR.TXT\"\nrestart\n");
  ASSERT_TRUE(load.ok) << load.error;
  EXPECT_EQ(TaskMode::kLoad, load.task.mode);
  EXPECT_EQ((Designation{1, 2}), load.task.imagePartition);
  EXPECT_EQ((Designation{1, 1}), load.task.target);
  EXPECT_EQ(3, load.task.imageIndex);
  EXPECT_EQ("\\\xE7\xB3\xBB\xE7\xBB\x9F\\\xE4\xB9\x97\\x.wim",
            Cp936ToUtf8(load.task.imagePath).value_or("?"));
}

TEST(GhostScript, RefusesWhatTheWindowsSideNeverWrites) {
  const char* const bad[] = {
      "Ghost.exe -clone,mode=pload,src=\"1:2\\x.wim:1\",dst=\"1:1\"\rrestart\r\n",  // lone CR
      "Ghost.exe -clone,mode=prestore,src=\"1:1\",dst=\"1:2\\x\"\r\n",
      "Ghost.exe -clone,mode=pload,src=\"1:2\\x.wim\",dst=\"1:1\"\r\n",    // no image number
      "Ghost.exe -clone,mode=pload,src=\"1:2\\x.wim:1\",dst=\"0:1\"\r\n",  // Ghost counts from 1
      "Ghost.exe -clone,mode=pload,src=\"1:2\\x.wim:1\",dst=\"1:1\\y\"\r\n",
      "Ghost.exe -clone,mode=pdump,src=\"1:1\",dst=\"1:2\"\r\n",   // no file
      "Ghost.exe -clone,mode=pdump,src=\"1:1,dst=\"1:2\\x\"\r\n",  // unclosed quote
      "Ghost.exe -clone,mode=pdump,src=\"1:1\",dst=\"1:2\\x\"\r\nformat c:\r\n",
      "format.com -clone,mode=pdump,src=\"1:1\",dst=\"1:2\\x\"\r\n",
      "\r\n",
  };
  for (const char* script : bad) EXPECT_FALSE(ParseGhostScript(script).ok) << script;
  EXPECT_FALSE(
      ParseGhostScript(std::string("Ghost.exe -clone,mode=pdump,src=\"1:1\",dst=\"1:2\\x\0\"", 50))
          .ok);
}

TEST(DiskRecord, LinesAndWhatIsRefused) {
  const DiskRecordResult record = ParseDiskRecord(
      "KAVI-DISKMAP 1\r\n1:1 mbr=1A2B3C4D start=1048576 length=104857600\r\n"
      "2:3 mbr=00000001 start=0 length=18446744073709551615\n");
  ASSERT_TRUE(record.ok) << record.error;
  ASSERT_EQ(2u, record.lines.size());
  EXPECT_EQ(0x1A2B3C4Du, record.lines[0].signature);
  EXPECT_EQ(104857600u, record.lines[0].length);
  EXPECT_EQ((Designation{2, 3}), record.lines[1].designation);
  EXPECT_EQ(UINT64_MAX, record.lines[1].length);

  const std::string gptLine =
      "1:3 gpt=01234567-89AB-CDEF-0123-456789ABCDEF part=FEDCBA98-7654-3210-FEDC-BA9876543210 "
      "start=1048576 length=104857600";
  const DiskRecordResult gpt = ParseDiskRecord("KAVI-DISKMAP 1\r\n" + gptLine + "\r\n");
  ASSERT_TRUE(gpt.ok) << gpt.error;
  EXPECT_TRUE(gpt.lines[0].gpt);
  EXPECT_EQ(0x01u, gpt.lines[0].diskGuid.bytes[3]);  // the first field little-endian
  EXPECT_EQ("FEDCBA98-7654-3210-FEDC-BA9876543210", GuidText(gpt.lines[0].partitionGuid));
  EXPECT_EQ(gptLine, DiskRecordText(gpt.lines[0]));

  const char* const bad[] = {
      "KAVI-DISKMAP 2\r\n",
      "KAVI-DISKMAP 1\r\n1:1 mbr=1a2b3c4d start=1 length=2\r\n",
      "KAVI-DISKMAP 1\r\n1:1 mbr=1A2B3C4 start=1 length=2\r\n",
      "KAVI-DISKMAP 1\r\n1:1  mbr=1A2B3C4D start=1 length=2\r\n",
      "KAVI-DISKMAP 1\r\n1:1 mbr=1A2B3C4D start=-1 length=2\r\n",
      "KAVI-DISKMAP 1\r\n1:1 mbr=1A2B3C4D start=1 length=2 x\r\n",
      "KAVI-DISKMAP 1\r\n1:1 mbr=1A2B3C4D start=1 length=2\r\n1:1 mbr=1A2B3C4D start=1 "
      "length=2\r\n",
      "KAVI-DISKMAP 1\r\n1:1 mbr=1A2B3C4Dstart=1 length=2\r\n",
      "KAVI-DISKMAP 1\r\n1:1 mbr=1A2B3C4D start=01 length=2\r\n",
      "KAVI-DISKMAP 1\r\n1:3 gpt=01234567-89ab-CDEF-0123-456789ABCDEF "
      "part=FEDCBA98-7654-3210-FEDC-BA9876543210 start=1 length=2\r\n",
      "KAVI-DISKMAP 1\r\n1:3 gpt={01234567-89AB-CDEF-0123-456789ABCDEF} "
      "part=FEDCBA98-7654-3210-FEDC-BA9876543210 start=1 length=2\r\n",
      "KAVI-DISKMAP 1\r\n1:3 gpt=01234567-89AB-CDEF-0123-456789ABCDEF "
      "part=00000000-0000-0000-0000-000000000000 start=1 length=2\r\n",
      "KAVI-DISKMAP 1\r\n1:3 gpt=01234567-89AB-CDEF-0123-456789ABCDEF start=1 length=2\r\n",
  };
  for (const char* text : bad) EXPECT_FALSE(ParseDiskRecord(text).ok) << text;
}

TEST(ResolveDesignations, EachRuleOfTheRecord) {
  auto part = [](const char* disk, uint32_t sig, uint64_t start) {
    FoundPartition p;
    p.disk = disk;
    p.signature = sig;
    p.start = start;
    p.length = 1000;
    return p;
  };
  const std::vector<FoundPartition> found = {part("sda", 0xA, 0), part("sda", 0xA, 1000),
                                             part("sdb", 0xB, 0), part("sdc", 0xC, 0),
                                             part("sdd", 0xC, 500)};
  auto line = [](int d, int p, uint32_t sig, uint64_t start) {
    DiskRecordLine l;
    l.designation = Designation{d, p};
    l.signature = sig;
    l.start = start;
    l.length = 1000;
    return l;
  };
  const std::vector<Designation> wanted = {{1, 2}, {2, 1}};

  Resolution ok =
      ResolveDesignations(wanted, {line(2, 1, 0xB, 0), line(1, 2, 0xA, 1000)}, found, 0);
  EXPECT_FALSE(ok.refusal.failed()) << ok.refusal.detail;
  EXPECT_EQ((std::vector<size_t>{1, 2}), ok.partitions);

  const std::vector<std::vector<DiskRecordLine>> mismatches = {
      {line(1, 2, 0xA, 1000)},                      // 2:1 has no line
      {line(1, 2, 0xA, 1000), line(2, 1, 0xB, 1)},  // no partition starts there
      {line(1, 2, 0xA, 1000), line(2, 1, 0xC, 0)},  // signature on two disks
      {line(1, 2, 0xA, 1000), line(2, 1, 0xA, 0)},  // two Ghost disks, one signature
      {line(1, 1, 0xB, 0), line(2, 1, 0xA, 0)},     // disk 1 is not the task's
  };
  for (size_t i = 0; i < mismatches.size(); ++i) {
    const std::vector<Designation> w = i == 4 ? std::vector<Designation>{{1, 1}, {2, 1}} : wanted;
    EXPECT_EQ(Failure::kRecordMismatch,
              ResolveDesignations(w, mismatches[i], found, 0).refusal.failure)
        << i;
  }
  // One Ghost disk, two signatures.
  EXPECT_EQ(
      Failure::kRecordMismatch,
      ResolveDesignations({{1, 1}, {1, 2}}, {line(1, 1, 0xA, 0), line(1, 2, 0xB, 0)}, found, 0)
          .refusal.failure);
}

}  // namespace
}  // namespace restore
}  // namespace kavi
