#include "engine/resume_state.h"

#include <gtest/gtest.h>

namespace kavi {
namespace engine {
namespace {

ResumeState Sample() {
  ResumeState s;
  s.totalSize = 5 * 1024 * 1024 + 7;
  s.bootTime = 1'765'000'000;
  s.validator = "\"etag-1\"\nMon, 07 Dec 2026 10:00:00 GMT";
  s.written = {{0, 4096}, {1 << 20, 3 << 20}};
  s.durable = {{0, 4096}};
  return s;
}

TEST(ResumeState, RoundTrips) {
  ResumeState back;
  ASSERT_TRUE(ParseResumeState(SerializeResumeState(Sample()), &back));
  EXPECT_EQ(Sample().totalSize, back.totalSize);
  EXPECT_EQ(Sample().bootTime, back.bootTime);
  EXPECT_EQ(Sample().validator, back.validator);
  EXPECT_EQ(Sample().written, back.written);
  EXPECT_EQ(Sample().durable, back.durable);
}

TEST(ResumeState, EveryTruncationAndEveryFlippedByteIsRejected) {
  const std::string bytes = SerializeResumeState(Sample());
  ResumeState back;
  for (size_t n = 0; n < bytes.size(); ++n) {
    EXPECT_FALSE(ParseResumeState(bytes.substr(0, n), &back)) << "length " << n;
  }
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::string damaged = bytes;
    damaged[i] ^= 0x40;
    EXPECT_FALSE(ParseResumeState(damaged, &back)) << "byte " << i;
  }
  EXPECT_FALSE(ParseResumeState(bytes + "x", &back));
}

TEST(ResumeState, RangesMustBeOrderedAndInsideTheFile) {
  ResumeState back;
  for (std::vector<ByteRange> bad : std::vector<std::vector<ByteRange>>{
           {{0, 10}, {5, 20}}, {{10, 5}}, {{0, 6 << 20}}, {{-1, 5}}}) {
    ResumeState s = Sample();
    s.written = bad;
    EXPECT_FALSE(ParseResumeState(SerializeResumeState(s), &back));
  }
}

TEST(ResumeState, AfterARestartOnlyFlushedBlocksCount) {
  ResumeState s = Sample();
  EXPECT_EQ(s.written, TrustedRanges(s, s.bootTime));
  EXPECT_EQ(s.written, TrustedRanges(s, s.bootTime + 1));
  EXPECT_EQ(s.durable, TrustedRanges(s, s.bootTime + 3600));
}

}  // namespace
}  // namespace engine
}  // namespace kavi
