#include "host/command_line.h"

namespace kavi {

std::wstring SystemProgramFor(const std::wstring& commandLine, const std::wstring& systemFolder) {
  size_t start = commandLine.find_first_not_of(L" \t");
  if (start == std::wstring::npos || systemFolder.empty()) return L"";
  std::wstring word;
  if (commandLine[start] == L'"') {
    const size_t end = commandLine.find(L'"', start + 1);
    if (end == std::wstring::npos) return L"";
    word = commandLine.substr(start + 1, end - start - 1);
  } else {
    const size_t end = commandLine.find_first_of(L" \t", start);
    word = commandLine.substr(start, end == std::wstring::npos ? end : end - start);
  }
  if (word.empty() || word.find_first_of(L"\\/:") != std::wstring::npos) return L"";
  if (word.find(L'.') == std::wstring::npos) word += L".exe";
  return systemFolder + L"\\" + word;
}

}  // namespace kavi
