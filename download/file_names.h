// The rule for file names that come from outside (the catalogue, the
// engine's status): a name is used only when it stays inside its folder.
#pragma once

#include <string>

namespace kavi {

// True for a plain file name: no path separators, no drive, not "." or
// "..", no characters Windows forbids, no device name (CON, NUL, COM1, ...)
// with or without extension, no trailing dot or blank.
bool IsPlainFileName(const std::wstring& name);

}  // namespace kavi
