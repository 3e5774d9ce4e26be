#include "engine/resume_state.h"

#include <cstring>

namespace kavi {
namespace engine {
namespace {

constexpr char kMagic[4] = {'K', 'V', 'T', 'D'};
constexpr uint32_t kVersion = 2;
constexpr uint64_t kMaxRanges = 1 << 16;
constexpr size_t kMaxValidator = 4096;

uint64_t Fnv1a(const std::string& bytes, size_t size) {
  uint64_t hash = 14695981039346656037ull;
  for (size_t i = 0; i < size; ++i) {
    hash ^= static_cast<uint8_t>(bytes[i]);
    hash *= 1099511628211ull;
  }
  return hash;
}

void PutU64(std::string& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

class Reader {
 public:
  Reader(const std::string& bytes, size_t limit) : bytes_(bytes), limit_(limit) {}
  bool U64(uint64_t* v) {
    if (limit_ - pos_ < 8) return false;
    *v = 0;
    for (int i = 0; i < 8; ++i) {
      *v |= static_cast<uint64_t>(static_cast<uint8_t>(bytes_[pos_ + i])) << (8 * i);
    }
    pos_ += 8;
    return true;
  }
  bool Bytes(size_t n, std::string* out) {
    if (limit_ - pos_ < n) return false;
    out->assign(bytes_, pos_, n);
    pos_ += n;
    return true;
  }
  bool AtEnd() const { return pos_ == limit_; }

 private:
  const std::string& bytes_;
  size_t limit_;
  size_t pos_ = 0;
};

}  // namespace

std::string SerializeResumeState(const ResumeState& s) {
  std::string out(kMagic, sizeof(kMagic));
  PutU64(out, kVersion);
  PutU64(out, static_cast<uint64_t>(s.totalSize));
  PutU64(out, static_cast<uint64_t>(s.bootTime));
  PutU64(out, s.validator.size());
  out += s.validator;
  for (const std::vector<ByteRange>* ranges : {&s.written, &s.durable}) {
    PutU64(out, ranges->size());
    for (const ByteRange& r : *ranges) {
      PutU64(out, static_cast<uint64_t>(r.begin));
      PutU64(out, static_cast<uint64_t>(r.end));
    }
  }
  PutU64(out, Fnv1a(out, out.size()));
  return out;
}

bool ParseResumeState(const std::string& bytes, ResumeState* s) {
  if (bytes.size() < sizeof(kMagic) + 8 || std::memcmp(bytes.data(), kMagic, 4) != 0) {
    return false;
  }
  const size_t body = bytes.size() - 8;
  Reader check(bytes, bytes.size());
  std::string skipped;
  uint64_t sum = 0;
  if (!check.Bytes(body, &skipped) || !check.U64(&sum) || sum != Fnv1a(bytes, body)) {
    return false;
  }

  Reader r(bytes, body);
  std::string text;
  uint64_t version, total, boot, length;
  if (!r.Bytes(4, &text) || !r.U64(&version) || version != kVersion || !r.U64(&total) ||
      !r.U64(&boot) || !r.U64(&length) || length > kMaxValidator ||
      !r.Bytes(length, &s->validator)) {
    return false;
  }
  if (static_cast<int64_t>(total) < 0) return false;
  for (std::vector<ByteRange>* ranges : {&s->written, &s->durable}) {
    uint64_t count;
    if (!r.U64(&count) || count > kMaxRanges) return false;
    ranges->clear();
    int64_t cursor = 0;
    for (uint64_t i = 0; i < count; ++i) {
      uint64_t begin, end;
      if (!r.U64(&begin) || !r.U64(&end)) return false;
      ByteRange range{static_cast<int64_t>(begin), static_cast<int64_t>(end)};
      if (range.begin < cursor || range.end <= range.begin ||
          range.end > static_cast<int64_t>(total)) {
        return false;
      }
      cursor = range.end;
      ranges->push_back(range);
    }
  }
  if (!r.AtEnd()) return false;
  s->totalSize = static_cast<int64_t>(total);
  s->bootTime = static_cast<int64_t>(boot);
  return true;
}

const std::vector<ByteRange>& TrustedRanges(const ResumeState& state, int64_t bootTime) {
  // Boot times read twice can differ by a second of rounding.
  int64_t delta = state.bootTime - bootTime;
  bool sameBoot = delta >= -2 && delta <= 2;
  return sameBoot ? state.written : state.durable;
}

}  // namespace engine
}  // namespace kavi
