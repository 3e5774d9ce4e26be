#include "boot/guid.h"

#include <cstdio>

namespace kavi {
namespace {

// Where each text digit pair lands in the byte layout.
constexpr int kByteOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool DashAt(size_t i) {
  return i == 8 || i == 13 || i == 18 || i == 23;
}

}  // namespace

std::string FormatGuid(const Guid& g) {
  char text[40];
  std::snprintf(text, sizeof(text),
                "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", g[3], g[2],
                g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14],
                g[15]);
  return text;
}

std::optional<Guid> ParseGuid(const std::string& text) {
  std::string t = text;
  if (t.size() == 38 && t.front() == '{' && t.back() == '}') t = t.substr(1, 36);
  if (t.size() != 36) return std::nullopt;
  Guid g{};
  int digit = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    if (DashAt(i)) {
      if (t[i] != '-') return std::nullopt;
      continue;
    }
    const int v = HexValue(t[i]);
    if (v < 0) return std::nullopt;
    uint8_t& byte = g[kByteOrder[digit / 2]];
    byte = static_cast<uint8_t>(digit % 2 == 0 ? v << 4 : byte | v);
    ++digit;
  }
  return g;
}

}  // namespace kavi
