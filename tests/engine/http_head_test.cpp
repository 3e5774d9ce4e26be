#include "engine/http_head.h"

#include <gtest/gtest.h>

namespace kavi {
namespace engine {
namespace {

TEST(ContentRange, ParsesTheUsualForms) {
  int64_t first, last, total;
  ASSERT_TRUE(ParseContentRange("bytes 0-99/1000", &first, &last, &total));
  EXPECT_EQ(0, first);
  EXPECT_EQ(99, last);
  EXPECT_EQ(1000, total);
  ASSERT_TRUE(ParseContentRange("bytes 4294967296-4294967299/8589934592", &first, &last, &total));
  EXPECT_EQ(4294967296, first);
  EXPECT_EQ(8589934592, total);
  ASSERT_TRUE(ParseContentRange("bytes 5-9/*", &first, &last, &total));
  EXPECT_EQ(-1, total);
}

TEST(ContentRange, RejectsMalformedValues) {
  int64_t first, last, total;
  for (const char* bad : {"", "bytes */1000", "bytes 10-5/100", "bytes 0-100/100", "items 0-1/2",
                          "bytes 0-1/2x", "bytes -1-5/10", "bytes 0-99999999999999999999/1"}) {
    EXPECT_FALSE(ParseContentRange(bad, &first, &last, &total)) << bad;
  }
}

TEST(ByteCount, DigitsOnly) {
  int64_t n;
  EXPECT_TRUE(ParseByteCount(" 1234 ", &n));
  EXPECT_EQ(1234, n);
  EXPECT_FALSE(ParseByteCount("", &n));
  EXPECT_FALSE(ParseByteCount("-5", &n));
  EXPECT_FALSE(ParseByteCount("12a", &n));
  EXPECT_FALSE(ParseByteCount("99999999999999999999", &n));
}

}  // namespace
}  // namespace engine
}  // namespace kavi
