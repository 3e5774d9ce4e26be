#include "engine/segment_map.h"

#include <algorithm>

namespace kavi {
namespace engine {

SegmentMap::SegmentMap(int64_t totalSize, int64_t minPiece)
    : total_(totalSize < 0 ? 0 : totalSize), minPiece_(minPiece > 0 ? minPiece : 1) {}

void SegmentMap::AddWritten(int64_t begin, int64_t end) {
  if (begin >= end) return;
  // Merge with every interval that overlaps or touches [begin, end).
  auto it = intervals_.upper_bound(begin);
  if (it != intervals_.begin() && std::prev(it)->second >= begin) --it;
  while (it != intervals_.end() && it->first <= end) {
    begin = std::min(begin, it->first);
    end = std::max(end, it->second);
    written_ -= it->second - it->first;
    it = intervals_.erase(it);
  }
  intervals_[begin] = end;
  written_ += end - begin;
}

bool SegmentMap::Claim(int worker, ByteRange* range) {
  Release(worker);

  // Everything written or ahead of a connection is covered; the rest is free.
  std::vector<ByteRange> covered;
  for (const auto& [begin, end] : intervals_) covered.push_back({begin, end});
  for (const auto& [id, a] : active_) {
    if (a.position < a.end) covered.push_back({a.position, a.end});
  }
  std::sort(covered.begin(), covered.end(),
            [](const ByteRange& x, const ByteRange& y) { return x.begin < y.begin; });
  ByteRange best;
  int64_t cursor = 0;
  for (const ByteRange& c : covered) {
    if (c.begin > cursor && c.begin - cursor > best.end - best.begin) best = {cursor, c.begin};
    cursor = std::max(cursor, c.end);
  }
  if (total_ > cursor && total_ - cursor > best.end - best.begin) best = {cursor, total_};
  if (best.end > best.begin) {
    active_[worker] = {best.begin, best.end, best.begin};
    *range = best;
    return true;
  }

  Active* victim = nullptr;
  for (auto& [id, a] : active_) {
    if (!victim || a.end - a.position > victim->end - victim->position) victim = &a;
  }
  if (!victim) return false;
  const int64_t mid =
      std::max({victim->position + (victim->end - victim->position) / 2,
                victim->position + minPiece_, std::min(victim->requested, victim->end)});
  if (victim->end - mid < minPiece_) return false;
  Active mine{mid, victim->end, mid};
  victim->end = mid;
  active_[worker] = mine;
  *range = {mine.position, mine.end};
  return true;
}

void SegmentMap::Request(int worker, int64_t end) {
  auto it = active_.find(worker);
  if (it != active_.end()) it->second.requested = std::max(it->second.requested, end);
}

int64_t SegmentMap::Advance(int worker, int64_t position) {
  auto it = active_.find(worker);
  if (it == active_.end()) return position;
  Active& a = it->second;
  position = std::min(position, a.end);
  if (position > a.position) {
    AddWritten(a.position, position);
    a.position = position;
  }
  return a.end;
}

bool SegmentMap::ActiveRange(int worker, ByteRange* range) const {
  auto it = active_.find(worker);
  if (it == active_.end() || it->second.position >= it->second.end) return false;
  *range = {it->second.position, it->second.end};
  return true;
}

void SegmentMap::Release(int worker) {
  active_.erase(worker);
}

std::vector<ByteRange> SegmentMap::Written() const {
  std::vector<ByteRange> out;
  for (const auto& [begin, end] : intervals_) out.push_back({begin, end});
  return out;
}

bool SegmentMap::Restore(const std::vector<ByteRange>& written) {
  int64_t cursor = 0;
  for (const ByteRange& r : written) {
    if (r.begin < cursor || r.end <= r.begin || r.end > total_) return false;
    cursor = r.end;
  }
  Reset();
  for (const ByteRange& r : written) AddWritten(r.begin, r.end);
  return true;
}

void SegmentMap::Reset() {
  intervals_.clear();
  written_ = 0;
  active_.clear();
}

}  // namespace engine
}  // namespace kavi
