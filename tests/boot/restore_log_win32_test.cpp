// The restore log and its reported mark on real files.
#include "boot/restore_log.h"

#include <gtest/gtest.h>

#include "tests/support/win32_test_util.h"

namespace kavi {
namespace {

TEST(RestoreLogFiles, AFailureInTheWorkFolderIsToldOnceAndMarkedBesideTheLog) {
  TempFolder work;
  ASSERT_TRUE(WriteFileBytes(work / L"restore.log",
                             "== kavi restore 2026-12-08 03:12:45\n"
                             "result: failed image-corrupt: resource hash mismatch\n"));
  // Q: has no DURozazo folder in the test prefix.
  EXPECT_EQ(L"上次还原的镜像文件已损坏，系统未作任何更改。",
            TakeUnreportedRestoreFailure(work.Path(), L'Q').value_or(L"nothing"));
  EXPECT_EQ("== kavi restore 2026-12-08 03:12:45\r\n", ReadFileBytes(work / L"restore.ack"));
  EXPECT_FALSE(TakeUnreportedRestoreFailure(work.Path(), L'Q'));
}

}  // namespace
}  // namespace kavi
