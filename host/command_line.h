// Where an elevated command's program comes from. CreateProcess looks for a
// program named without a folder in the executable's own folder first, and
// cmd.exe in its current folder first: places a user without administrator
// rights may write to (a copy of the program in Downloads). So the program
// is named by its full path in the system folder, which is also the child's
// current folder.
#pragma once

#include <string>

namespace kavi {

// The program `commandLine` starts when its first word names no folder
// ("cmd /c ..."): that word as a file of `systemFolder`, with ".exe" when it
// has no extension. Empty when the first word has a folder or drive of its
// own (or the line is empty): that line starts as it is.
std::wstring SystemProgramFor(const std::wstring& commandLine, const std::wstring& systemFolder);

}  // namespace kavi
