// Check codes from the catalogue: Base64 decoding in two calls, then the
// block checked against a digest. The decoded length must match what the
// measuring call promised.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "download/base64.h"
#include "download/check_code.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string code(reinterpret_cast<const char*>(data), size);
  size_t length = 0;
  if (kavi::Base64Decode(code.data(), code.size(), nullptr, 0, &length)) {
    std::vector<uint8_t> out(length);
    size_t second = 0;
    if (length > 0 &&
        (!kavi::Base64Decode(code.data(), code.size(), out.data(), out.size(), &second) ||
         second != length)) {
      __builtin_trap();
    }
  }
  kavi::CheckCodeMatches(code, "0123456789abcdef0123456789abcdef");
  return 0;
}
