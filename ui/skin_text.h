// Decoding of skin member bytes into wide text. std::wstring is UTF-16 on
// Windows and UTF-32 on Linux; both come out right here.
#pragma once

#include <cstddef>
#include <string>

namespace SkinUI {

enum class SkinEncoding { Utf8, Ansi, Utf16 };

// Turns the bytes of a member into text. UTF-8 drops a leading EF BB BF (a
// UTF-16 byte-order mark is honoured too); the ANSI code page (936) converts
// every byte; UTF-16 needs a byte-order mark, FF FE or FE FF, which is dropped.
// False for UTF-16 without a byte-order mark.
bool DecodeSkinBytes(const char* data, std::size_t size, SkinEncoding encoding, std::wstring* text);

// Strict-enough UTF-8 decoding: malformed sequences become U+FFFD, code points
// above U+FFFF become surrogate pairs where wchar_t is 16 bits wide.
void AppendUtf8(const unsigned char* data, std::size_t size, std::wstring* out);
// The same into `out`, which has room for `size` characters (UTF-8 never
// needs more); returns the number written.
std::size_t DecodeUtf8(const unsigned char* data, std::size_t size, wchar_t* out);

}  // namespace SkinUI
