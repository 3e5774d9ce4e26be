// The logic of our bcdedit.exe, bcdboot.exe and bcdsect.exe: each runs the
// Windows tool of the same role (bcdedit.exe, bcdboot.exe, bootsect.exe)
// from the native system folder with the argument text passed through
// unchanged, and returns that tool's exit code. A 32-bit process on 64-bit
// Windows sees SysWOW64 in place of System32, where these tools are missing,
// so it looks in Sysnative first and then in System32 with file-system
// redirection turned off.
#pragma once

#include <string>
#include <vector>

namespace kavi {

// Exit code when Windows has no such tool (as cmd.exe reports it).
constexpr int kToolNotFoundExitCode = 9009;

// The command line without the program name and the blanks after it, as
// Windows splits the program name off (quoted, or up to the first blank).
std::wstring ArgumentText(const std::wstring& commandLine);

// "\"TOOL\" ARGUMENTS", or the quoted tool alone.
std::wstring LaunchCommandLine(const std::wstring& toolPath, const std::wstring& argumentText);

struct ToolCandidate {
  std::wstring path;
  bool withoutRedirection;  // look and start with file-system redirection off
};

// Where to look for the tool, in order.
std::vector<ToolCandidate> NativeToolCandidates(const std::wstring& windowsDirectory,
                                                const std::wstring& systemDirectory, bool wow64,
                                                const std::wstring& tool);

}  // namespace kavi
