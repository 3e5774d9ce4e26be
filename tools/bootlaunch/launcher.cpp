#include "tools/bootlaunch/launcher.h"

namespace kavi {
namespace {

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t';
}

}  // namespace

std::wstring ArgumentText(const std::wstring& commandLine) {
  size_t i = 0;
  if (!commandLine.empty() && commandLine[0] == L'"') {
    const size_t close = commandLine.find(L'"', 1);
    i = close == std::wstring::npos ? commandLine.size() : close + 1;
  } else {
    while (i < commandLine.size() && !IsBlank(commandLine[i])) ++i;
  }
  while (i < commandLine.size() && IsBlank(commandLine[i])) ++i;
  return commandLine.substr(i);
}

std::wstring LaunchCommandLine(const std::wstring& toolPath, const std::wstring& argumentText) {
  std::wstring line = L"\"" + toolPath + L"\"";
  if (!argumentText.empty()) line += L" " + argumentText;
  return line;
}

std::vector<ToolCandidate> NativeToolCandidates(const std::wstring& windowsDirectory,
                                                const std::wstring& systemDirectory, bool wow64,
                                                const std::wstring& tool) {
  if (!wow64) return {{systemDirectory + L"\\" + tool, false}};
  return {{windowsDirectory + L"\\Sysnative\\" + tool, false},
          {systemDirectory + L"\\" + tool, true}};
}

}  // namespace kavi
