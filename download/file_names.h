// Rules for names and addresses that come from outside (the catalogue, the
// engine's status): a name is used only when it stays inside its folder, an
// address only when the engine can fetch it.
#pragma once

#include <string>

namespace kavi {

// True for a plain file name: no path separators, no drive, not "." or
// "..", no characters Windows forbids, no device name (CON, NUL, COM1, ...)
// with or without extension, no trailing dot or blank.
bool IsPlainFileName(const std::wstring& name);

// True for an absolute http:// or https:// address (any case) with a host,
// and without blanks or control characters.
bool IsHttpUrl(const std::wstring& url);

}  // namespace kavi
