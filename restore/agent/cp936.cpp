#include "restore/agent/cp936.h"

#include <iconv.h>

#include <vector>

namespace kavi {
namespace restore {

std::optional<std::string> Cp936ToUtf8(const std::string& bytes) {
  iconv_t cd = iconv_open("UTF-8", "CP936");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  // Every CP936 character becomes at most three UTF-8 bytes (two-byte ones
  // come from the BMP; a four-byte GB18030 form is not CP936).
  std::vector<char> out(bytes.size() * 3 + 4);
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* to = out.data();
  size_t outLeft = out.size();
  const size_t done = iconv(cd, &in, &inLeft, &to, &outLeft);
  iconv_close(cd);
  if (done == static_cast<size_t>(-1) || inLeft != 0) return std::nullopt;
  return std::string(out.data(), out.size() - outLeft);
}

}  // namespace restore
}  // namespace kavi
