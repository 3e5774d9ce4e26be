// Text conversions at the narrow boundaries and printf-style formatting into
// strings. Inside the program all text is std::wstring; bytes that leave or
// enter it (HTTP bodies, scripts, file names for narrow APIs) are in the
// system ANSI code page, which is 936 on the Chinese Windows the tool is made
// for. The Windows side converts with CP_ACP; the native build uses iconv's
// CP936 so tests see the same bytes.
#pragma once

#include <cstdarg>
#include <string>

namespace kavi {

// UTF-16 (or the platform's wchar_t) to ANSI code page bytes. Characters the
// code page lacks become the code page's default character.
std::string ToAnsi(const std::wstring& text);

// ANSI code page bytes to wide text. Invalid sequences are replaced, never
// dropped silently with the rest of the text.
std::wstring FromAnsi(const std::string& bytes);

// UTF-8 bytes to wide text and back (for data that is UTF-8 by its format).
std::wstring FromUtf8(const std::string& bytes);
std::string ToUtf8(const std::wstring& text);

// printf-style formatting into a string of any length. Use %ls for wide
// string arguments and %lc for wide characters: they mean the same on
// mingw, MSVC and glibc.
std::wstring Format(const wchar_t* format, ...);
std::wstring FormatV(const wchar_t* format, va_list args);

}  // namespace kavi
