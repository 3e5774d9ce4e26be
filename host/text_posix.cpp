// The native build's stand-in for the Windows ANSI conversions: code page 936
// through iconv, so that bytes match what a Chinese Windows produces.
#include "host/text.h"

#include <iconv.h>

#include <cerrno>

namespace kavi {
namespace {

// Converts with iconv, replacing what cannot be converted by `replacement`
// in the target encoding and skipping one input unit of `unit` bytes.
std::string Convert(const char* to, const char* from, const char* data, size_t size,
                    const std::string& replacement, size_t unit) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string();
  std::string out;
  char buffer[4096];
  char* in = const_cast<char*>(data);
  size_t inLeft = size;
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof(buffer);
    size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      out += replacement;
      size_t skip = unit < inLeft ? unit : inLeft;
      in += skip;
      inLeft -= skip;
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string ToAnsi(const std::wstring& text) {
  return Convert("CP936", "WCHAR_T", reinterpret_cast<const char*>(text.data()),
                 text.size() * sizeof(wchar_t), "?", sizeof(wchar_t));
}

std::wstring FromAnsi(const std::string& bytes) {
  wchar_t replacement = 0x30FB;  // what Windows uses for an unmapped DBCS byte
  std::string raw =
      Convert("WCHAR_T", "CP936", bytes.data(), bytes.size(),
              std::string(reinterpret_cast<const char*>(&replacement), sizeof(wchar_t)), 1);
  return std::wstring(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / sizeof(wchar_t));
}

}  // namespace kavi
