// The restore environment's log as the program reads it at start: the last
// entry's outcome, and a failure told once.
#include "boot/restore_log.h"

#include <gtest/gtest.h>

namespace kavi {
namespace {

const char kLog[] =
    "== kavi restore 2026-12-01 20:01:02\n"
    "found: KV.ima and Ghost.ba_ on /dev/sda1 (disk 1A2B3C4D, start 1048576, length "
    "104857600, NTFS)\n"
    "decided: dump 1:1 into /DURozazo/SYS.GHO on 1:2\n"
    "done: captured 2.1 GiB in 301 s\n"
    "result: ok 320 s\n"
    "== kavi restore 2026-12-05 08:30:00\n"
    "found: KV.ima and Ghost.ba_ on /dev/sda1 (disk 1A2B3C4D, start 1048576, length "
    "104857600, NTFS)\n"
    "decided: load /DURozazo/Download/win.wim image 1 from 1:2 onto 1:1\n"
    "result: failed write-failed: wimlib-imagex apply exited with status 47\n"
    "== kavi restore 2026-12-08 03:12:45\n"
    "found: KV.ima and Ghost.ba_ on /dev/sdb1 (disk 0000ABCD, start 1048576, length "
    "104857600, NTFS)\n"
    "result: failed record-mismatch: 1:2 mbr=1A2B3C4D start=105906176 matches no partition\n";

TEST(LastRestoreEntry, ReadsTheLastEntryOfARealLog) {
  const std::optional<RestoreLogEntry> last = LastRestoreEntry(kLog);
  ASSERT_TRUE(last);
  EXPECT_EQ("== kavi restore 2026-12-08 03:12:45", last->header);
  EXPECT_FALSE(last->ok);
  EXPECT_EQ("record-mismatch", last->code);
  EXPECT_EQ("1:2 mbr=1A2B3C4D start=105906176 matches no partition", last->detail);

  // A log holding only its first entry.
  std::string first(kLog, std::string(kLog).find("== kavi restore 2026-12-05"));
  EXPECT_TRUE(LastRestoreEntry(first)->ok);
  // CR LF lines, and an entry without its result line: the environment
  // stopped mid-way.
  const std::optional<RestoreLogEntry> cut =
      LastRestoreEntry("== kavi restore 2026-12-09 10:00:00\r\nfound: x\r\ndone: verified\r\n");
  EXPECT_FALSE(cut->ok);
  EXPECT_EQ("unfinished", cut->code);
  EXPECT_FALSE(LastRestoreEntry("found: nothing\n"));
}

class MemoryStore : public RestoreLogStore {
 public:
  std::vector<std::string> logs;
  std::string ack;
  std::vector<std::string> ReadLogs() override { return logs; }
  std::string ReadAck() override { return ack; }
  bool WriteAck(const std::string& header) override {
    ack = header;
    return true;
  }
};

TEST(TakeUnreportedRestoreFailure, TellsTheLatestFailureOnce) {
  MemoryStore store;
  store.logs = {kLog};
  EXPECT_EQ(L"上次重启时磁盘记录与磁盘不符，系统未作任何更改。",
            TakeUnreportedRestoreFailure(store).value_or(L"nothing"));
  EXPECT_EQ("== kavi restore 2026-12-08 03:12:45\r\n", store.ack);
  EXPECT_FALSE(TakeUnreportedRestoreFailure(store));

  // A later failure in the system partition's log is the one told, and says
  // the target was changed.
  store.logs.push_back(
      "== kavi restore 2026-12-09 07:00:00\nresult: failed boot-files-failed: no bootmgr\n");
  EXPECT_EQ(L"上次还原未能恢复启动文件，系统分区已被更改，可能无法正常启动。",
            TakeUnreportedRestoreFailure(store).value_or(L"nothing"));
  EXPECT_FALSE(TakeUnreportedRestoreFailure(store));

  // A task that succeeded afterwards leaves nothing to tell.
  store.logs[0] += "== kavi restore 2026-12-10 09:00:00\nresult: ok 58 s\n";
  store.ack.clear();
  EXPECT_FALSE(TakeUnreportedRestoreFailure(store));
}

}  // namespace
}  // namespace kavi
