#include "ui/skin_text.h"

#include <cstdint>
#include <cstring>

#include "host/text.h"

namespace SkinUI {
namespace {

void AppendCodePoint(char32_t cp, std::wstring* out) {
  if (sizeof(wchar_t) == 2 && cp > 0xFFFF) {
    cp -= 0x10000;
    out->push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
    out->push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out->push_back(static_cast<wchar_t>(cp));
  }
}

void AppendUtf16(const unsigned char* data, std::size_t size, bool bigEndian, std::wstring* out) {
  std::size_t units = size / 2;  // an odd trailing byte is no character
  out->reserve(out->size() + units);
  for (std::size_t i = 0; i < units; ++i) {
    const unsigned char* u = data + 2 * i;
    char16_t c = bigEndian ? static_cast<char16_t>(u[0] << 8 | u[1])
                           : static_cast<char16_t>(u[1] << 8 | u[0]);
    if (sizeof(wchar_t) == 2) {
      out->push_back(static_cast<wchar_t>(c));
      continue;
    }
    // UTF-32 side: join surrogate pairs, replace lone halves.
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units) {
      const unsigned char* n = u + 2;
      char16_t low = bigEndian ? static_cast<char16_t>(n[0] << 8 | n[1])
                               : static_cast<char16_t>(n[1] << 8 | n[0]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendCodePoint(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00), out);
        ++i;
        continue;
      }
    }
    out->push_back(c >= 0xD800 && c <= 0xDFFF ? L'\xFFFD' : static_cast<wchar_t>(c));
  }
}

}  // namespace

std::size_t DecodeUtf8(const unsigned char* data, std::size_t size, wchar_t* out) {
  wchar_t* const begin = out;
  std::size_t i = 0;
  while (i < size) {
    // Runs of ASCII, eight bytes at a time.
    while (size - i >= 8) {
      std::uint64_t word;
      std::memcpy(&word, data + i, 8);
      if (word & 0x8080808080808080ull) break;
      for (int k = 0; k < 8; ++k) out[k] = static_cast<wchar_t>(data[i + k]);
      out += 8;
      i += 8;
    }
    if (i >= size) break;
    unsigned char b = data[i];
    if (b < 0x80) {
      *out++ = static_cast<wchar_t>(b);
      ++i;
      continue;
    }
    int extra;
    char32_t cp, min;
    if ((b & 0xE0) == 0xC0) {
      extra = 1, cp = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2, cp = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3, cp = b & 0x07, min = 0x10000;
    } else {
      *out++ = L'\xFFFD';
      ++i;
      continue;
    }
    int got = 0;
    while (got < extra && i + 1 + got < size && (data[i + 1 + got] & 0xC0) == 0x80) {
      cp = (cp << 6) | (data[i + 1 + got] & 0x3F);
      ++got;
    }
    if (got < extra || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      *out++ = L'\xFFFD';
      i += 1 + got;
      continue;
    }
    if (sizeof(wchar_t) == 2 && cp > 0xFFFF) {  // four bytes give two units
      cp -= 0x10000;
      *out++ = static_cast<wchar_t>(0xD800 + (cp >> 10));
      *out++ = static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
      *out++ = static_cast<wchar_t>(cp);
    }
    i += 1 + extra;
  }
  return static_cast<std::size_t>(out - begin);
}

void AppendUtf8(const unsigned char* data, std::size_t size, std::wstring* out) {
  std::size_t old = out->size();
  out->resize(old + size);
  out->resize(old + DecodeUtf8(data, size, size ? &(*out)[old] : nullptr));
}

bool DecodeSkinBytes(const char* data, std::size_t size, SkinEncoding encoding,
                     std::wstring* text) {
  text->clear();
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data);
  bool utf16le = size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
  bool utf16be = size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF;
  switch (encoding) {
    case SkinEncoding::Utf8:
      if (utf16le || utf16be) {  // a UTF-16 file can never be read as UTF-8
        AppendUtf16(bytes + 2, size - 2, utf16be, text);
        return true;
      }
      if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        bytes += 3;
        size -= 3;
      }
      AppendUtf8(bytes, size, text);
      return true;
    case SkinEncoding::Ansi:
      *text = kavi::FromAnsi(std::string(data, size));
      return true;
    case SkinEncoding::Utf16:
      if (!utf16le && !utf16be) return false;
      AppendUtf16(bytes + 2, size - 2, utf16be, text);
      return true;
  }
  return false;
}

}  // namespace SkinUI
