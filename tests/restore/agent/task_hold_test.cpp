// The hold record: read back whole, and never from what a cut while writing
// it leaves.
#include "restore/agent/task_hold.h"

#include <gtest/gtest.h>

namespace kavi {
namespace restore {
namespace {

TEST(TaskHold, RecordReadsBackAndNoCutPrefixReads) {
  HoldRecord written;
  written.disk = "gpt=5C0E3F4A-8B21-4D6E-9A7C-2F1B3D4E5A60";
  written.start = 122683392;
  written.length = 100663296;
  written.label = "系统";
  written.loader = true;
  const std::string text = HoldRecordText(written);
  std::optional<HoldRecord> read = ParseHoldRecord(text);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->disk, written.disk);
  EXPECT_EQ(read->start, written.start);
  EXPECT_EQ(read->length, written.length);
  EXPECT_EQ(read->label, written.label);
  EXPECT_TRUE(read->loader);
  for (size_t n = 0; n < text.size(); ++n)
    EXPECT_FALSE(ParseHoldRecord(text.substr(0, n))) << "read from its first " << n << " bytes";
}

}  // namespace
}  // namespace restore
}  // namespace kavi
