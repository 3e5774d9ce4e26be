// Base64 with the RFC 4648 alphabet and "=" padding, as check codes use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kavi {

// Decodes `text`. Line breaks (CR LF or a lone LF) are skipped; blanks are
// allowed only where no data character follows them; at most two "=" and no
// data character after one. Called with `capacity` 0 it only measures:
// `*length` receives the decoded length, (characters x 6 + 7) / 8 less the
// padding, counting the padding among the characters. Called again with a
// buffer of that length it decodes. False when the text is not valid.
bool Base64Decode(const char* text, size_t size, uint8_t* out, size_t capacity, size_t* length);

// The two calls together; false for an invalid code.
bool Base64DecodeAll(const std::string& text, std::vector<uint8_t>* bytes);

std::string Base64Encode(const uint8_t* data, size_t size);

}  // namespace kavi
