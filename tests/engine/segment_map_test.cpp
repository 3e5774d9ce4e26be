#include "engine/segment_map.h"

#include <gtest/gtest.h>

namespace kavi {
namespace engine {
namespace {

constexpr int64_t kPiece = 100;  // small pieces keep the numbers readable

TEST(SegmentMap, FirstClaimTakesEverythingAndLaterOnesSplit) {
  SegmentMap map(1000, kPiece);
  ByteRange a, b, c;
  ASSERT_TRUE(map.Claim(1, &a));
  EXPECT_EQ((ByteRange{0, 1000}), a);
  ASSERT_TRUE(map.Claim(2, &b));
  EXPECT_EQ((ByteRange{500, 1000}), b);
  EXPECT_EQ(500, map.Advance(1, 0)) << "the first range now ends where the second begins";
  map.Advance(1, 100);
  ASSERT_TRUE(map.Claim(3, &c));
  EXPECT_EQ((ByteRange{750, 1000}), c) << "the range with the most left is split";
}

TEST(SegmentMap, PartialProgressSurvivesARelease) {
  SegmentMap map(1000, kPiece);
  ByteRange r;
  ASSERT_TRUE(map.Claim(1, &r));
  map.Advance(1, 150);
  map.Release(1);
  EXPECT_EQ(150, map.WrittenBytes());
  ASSERT_TRUE(map.Claim(1, &r));
  EXPECT_EQ((ByteRange{150, 1000}), r);
}

TEST(SegmentMap, BrokenConnectionContinuesItsOwnRange) {
  SegmentMap map(1000, kPiece);
  ByteRange r;
  map.Claim(1, &r);
  map.Claim(2, &r);
  map.Advance(1, 120);
  ASSERT_TRUE(map.ActiveRange(1, &r));
  EXPECT_EQ((ByteRange{120, 500}), r);
  map.Advance(1, 500);
  EXPECT_FALSE(map.ActiveRange(1, &r)) << "a finished range has nothing left";
}

TEST(SegmentMap, RangesBelowTwoPiecesAreNotSplit) {
  SegmentMap map(199, kPiece);
  ByteRange a, b;
  ASSERT_TRUE(map.Claim(1, &a));
  EXPECT_FALSE(map.Claim(2, &b));
  map.Advance(1, 199);
  EXPECT_TRUE(map.Complete());
}

TEST(SegmentMap, SplitsStayOutOfTheRequestAConnectionIsReading) {
  SegmentMap map(1000, kPiece);
  ByteRange a, b;
  map.Claim(1, &a);
  map.Request(1, 300);
  map.Advance(1, 100);
  map.Request(1, 200);  // an earlier request still in flight keeps its bytes
  map.Advance(1, 200);
  map.Request(1, 900);
  map.Advance(1, 600);
  ASSERT_TRUE(map.Claim(2, &b));
  EXPECT_EQ((ByteRange{900, 1000}), b) << "not at 800: bytes up to 900 are asked for";
  ByteRange c;
  EXPECT_FALSE(map.Claim(3, &c));
}

TEST(SegmentMap, AdvanceNeverPassesTheEndOfAShortenedRange) {
  SegmentMap map(1000, kPiece);
  ByteRange a, b;
  map.Claim(1, &a);
  map.Claim(2, &b);
  EXPECT_EQ(500, map.Advance(1, 700));
  EXPECT_EQ(500, map.WrittenBytes()) << "bytes beyond the split belong to the other range";
}

TEST(SegmentMap, RestoredGapsAreClaimedLargestFirst) {
  SegmentMap map(1000, kPiece);
  ASSERT_TRUE(map.Restore({{0, 100}, {300, 900}}));
  EXPECT_EQ(700, map.WrittenBytes());
  ByteRange r;
  ASSERT_TRUE(map.Claim(1, &r));
  EXPECT_EQ((ByteRange{100, 300}), r);
  ASSERT_TRUE(map.Claim(2, &r));
  EXPECT_EQ((ByteRange{900, 1000}), r);
}

TEST(SegmentMap, RestoreRejectsBadIntervals) {
  SegmentMap map(1000, kPiece);
  map.Restore({{0, 10}});
  EXPECT_FALSE(map.Restore({{0, 1001}}));
  EXPECT_FALSE(map.Restore({{50, 60}, {55, 70}}));
  EXPECT_FALSE(map.Restore({{60, 50}}));
  EXPECT_FALSE(map.Restore({{-5, 10}}));
  EXPECT_EQ(10, map.WrittenBytes()) << "a rejected restore changes nothing";
}

TEST(SegmentMap, AdjacentWritesMergeIntoOneInterval) {
  SegmentMap map(1000, kPiece);
  ByteRange r;
  map.Claim(1, &r);
  map.Claim(2, &r);
  map.Advance(2, 1000);
  map.Advance(1, 500);
  EXPECT_TRUE(map.Complete());
  EXPECT_EQ(std::vector<ByteRange>({{0, 1000}}), map.Written());
}

TEST(SegmentMap, EmptyFileIsCompleteAtOnce) {
  SegmentMap map(0, kPiece);
  EXPECT_TRUE(map.Complete());
  ByteRange r;
  EXPECT_FALSE(map.Claim(1, &r));
}

TEST(SegmentMap, ManyWorkersWriteEveryByteExactlyOnce) {
  const int64_t size = 10'007;
  SegmentMap map(size, kPiece);
  std::vector<int> writes(size, 0);
  std::vector<ByteRange> ranges(8);
  std::vector<bool> holding(8, false);
  for (int round = 0; round < 100'000 && !map.Complete(); ++round) {
    int w = (round * 5) % 8;
    if (!holding[w] || ranges[w].begin >= ranges[w].end) {
      holding[w] = map.Claim(w, &ranges[w]);
      if (!holding[w]) continue;
    }
    int64_t next = std::min(ranges[w].begin + 37 + round % 50, ranges[w].end);
    int64_t end = map.Advance(w, next);
    for (int64_t i = ranges[w].begin; i < std::min(next, end); ++i) writes[i]++;
    ranges[w] = {std::min(next, end), end};
    if (round % 97 == 0) {  // now and then a connection breaks and gives back its rest
      map.Release(w);
      holding[w] = false;
    }
  }
  ASSERT_TRUE(map.Complete());
  for (int64_t i = 0; i < size; ++i) ASSERT_EQ(1, writes[i]) << "byte " << i;
}

}  // namespace
}  // namespace engine
}  // namespace kavi
