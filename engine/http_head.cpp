#include "engine/http_head.h"

namespace kavi {
namespace engine {
namespace {

bool ParseDigits(const std::string& text, size_t* pos, int64_t* value) {
  size_t start = *pos;
  uint64_t v = 0;
  while (*pos < text.size() && text[*pos] >= '0' && text[*pos] <= '9') {
    v = v * 10 + static_cast<uint64_t>(text[*pos] - '0');
    if (v > static_cast<uint64_t>(INT64_MAX)) return false;
    ++*pos;
  }
  *value = static_cast<int64_t>(v);
  return *pos > start && *pos - start <= 19;
}

void SkipBlanks(const std::string& text, size_t* pos) {
  while (*pos < text.size() && (text[*pos] == ' ' || text[*pos] == '\t')) ++*pos;
}

}  // namespace

bool ParseContentRange(const std::string& value, int64_t* first, int64_t* last, int64_t* total) {
  size_t pos = 0;
  SkipBlanks(value, &pos);
  if (value.compare(pos, 6, "bytes ") != 0) return false;
  pos += 6;
  SkipBlanks(value, &pos);
  if (!ParseDigits(value, &pos, first) || pos >= value.size() || value[pos++] != '-' ||
      !ParseDigits(value, &pos, last) || pos >= value.size() || value[pos++] != '/') {
    return false;
  }
  if (pos < value.size() && value[pos] == '*') {
    *total = -1;
    ++pos;
  } else if (!ParseDigits(value, &pos, total) || *last >= *total) {
    return false;
  }
  SkipBlanks(value, &pos);
  return pos == value.size() && *first <= *last;
}

bool ParseByteCount(const std::string& value, int64_t* count) {
  size_t pos = 0;
  SkipBlanks(value, &pos);
  if (!ParseDigits(value, &pos, count)) return false;
  SkipBlanks(value, &pos);
  return pos == value.size();
}

}  // namespace engine
}  // namespace kavi
