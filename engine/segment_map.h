// Which bytes of a download are written and which connection works where.
//
// Written bytes are kept as a set of disjoint intervals. A connection claims
// a range and writes it front to back; what it has passed is written. A
// connection that finds nothing unclaimed takes the back half of the largest
// range another connection still has ahead of it, so all connections stay
// busy to the end. Every byte is claimed by one connection at a time. Not
// thread-safe: the task serialises access.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace kavi {
namespace engine {

// Ranges are not split below twice this size.
constexpr int64_t kMinPiece = 512 * 1024;

struct ByteRange {
  int64_t begin = 0;
  int64_t end = 0;  // exclusive
  bool operator==(const ByteRange& o) const { return begin == o.begin && end == o.end; }
};

class SegmentMap {
 public:
  explicit SegmentMap(int64_t totalSize, int64_t minPiece = kMinPiece);

  int64_t TotalSize() const { return total_; }

  // Work for `worker` (any range it held is given back first): the largest
  // unclaimed gap, else the back half of the active range with the most
  // left, if both halves get at least a piece. False when nothing is left.
  bool Claim(int worker, ByteRange* range);

  // The worker asks the server for its range up to `end`: a split never
  // cuts before it, so no byte is fetched by two connections.
  void Request(int worker, int64_t end);

  // The worker has written its range up to `position`. Returns the range's
  // current end, which a split may have moved closer.
  int64_t Advance(int worker, int64_t position);

  // The worker's position and end, to reconnect after a broken connection.
  bool ActiveRange(int worker, ByteRange* range) const;

  // Gives the unwritten rest of the worker's range back.
  void Release(int worker);

  bool Complete() const { return written_ == total_; }
  int64_t WrittenBytes() const { return written_; }

  // The written intervals, in order.
  std::vector<ByteRange> Written() const;
  // Replaces what is written; false (and nothing written) when the
  // intervals are unordered, overlap or leave [0, total].
  bool Restore(const std::vector<ByteRange>& written);
  void Reset();

 private:
  struct Active {
    int64_t position;
    int64_t end;
    int64_t requested;  // the end of the request in flight
  };
  void AddWritten(int64_t begin, int64_t end);

  int64_t total_;
  int64_t minPiece_;
  std::map<int64_t, int64_t> intervals_;  // begin -> end, disjoint, not touching
  int64_t written_ = 0;
  std::map<int, Active> active_;
};

}  // namespace engine
}  // namespace kavi
