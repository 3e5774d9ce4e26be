#include "download/base64.h"

namespace kavi {
namespace {

int Sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

bool Base64Decode(const char* text, size_t size, uint8_t* out, size_t capacity, size_t* length) {
  // First pass: validate and count.
  size_t characters = 0, padding = 0;
  for (size_t i = 0; i < size; ++i) {
    const char c = text[i];
    if (c == '\n') continue;
    if (c == '\r') {
      if (i + 1 < size && text[i + 1] == '\n') continue;
      return false;
    }
    if (c == ' ') {
      size_t next = i + 1;
      while (next < size && text[next] == ' ') ++next;
      if (next < size && Sextet(text[next]) >= 0) return false;
      continue;
    }
    if (c == '=') {
      if (++padding > 2) return false;
      ++characters;
      continue;
    }
    if (Sextet(c) < 0 || padding > 0) return false;
    ++characters;
  }
  const size_t needed = (characters * 6 + 7) / 8 - padding;
  *length = needed;
  if (capacity == 0) return true;
  if (!out || capacity < needed) return false;

  // Second pass: decode the data characters.
  size_t written = 0;
  uint32_t bits = 0;
  int count = 0;
  for (size_t i = 0; i < size && written < needed; ++i) {
    const int v = Sextet(text[i]);
    if (v < 0) continue;
    bits = (bits << 6) | static_cast<uint32_t>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out[written++] = static_cast<uint8_t>(bits >> count);
    }
  }
  // Unpadded text may leave bits for a last, partial byte.
  if (written < needed && count > 0) out[written++] = static_cast<uint8_t>(bits << (8 - count));
  while (written < needed) out[written++] = 0;
  return true;
}

bool Base64DecodeAll(const std::string& text, std::vector<uint8_t>* bytes) {
  size_t length = 0;
  if (!Base64Decode(text.data(), text.size(), nullptr, 0, &length)) return false;
  bytes->assign(length, 0);
  if (length == 0) return true;
  return Base64Decode(text.data(), text.size(), bytes->data(), length, &length);
}

std::string Base64Encode(const uint8_t* data, size_t size) {
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  for (size_t i = 0; i < size; i += 3) {
    uint32_t v = static_cast<uint32_t>(data[i]) << 16;
    if (i + 1 < size) v |= static_cast<uint32_t>(data[i + 1]) << 8;
    if (i + 2 < size) v |= data[i + 2];
    out.push_back(kAlphabet[(v >> 18) & 63]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.push_back(i + 1 < size ? kAlphabet[(v >> 6) & 63] : '=');
    out.push_back(i + 2 < size ? kAlphabet[v & 63] : '=');
  }
  return out;
}

}  // namespace kavi
