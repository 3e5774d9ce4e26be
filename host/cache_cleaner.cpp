#include "host/cache_cleaner.h"

#include "host/text.h"

namespace kavi {

std::vector<std::wstring> CleanCacheCommands(const std::wstring& downloadFolder,
                                             const std::wstring& cacheFolder) {
  struct Pattern {
    const std::wstring* folder;
    const wchar_t* format;
  };
  const Pattern patterns[] = {
      {&downloadFolder, L"%ls\\*.wim"}, {&downloadFolder, L"%ls\\*.td*"},
      {&cacheFolder, L"%ls\\*.exe"},    {&cacheFolder, L"%ls\\*.td*"},
      {&cacheFolder, L"%ls\\*.ini"},
  };
  std::vector<std::wstring> commands;
  for (const Pattern& p : patterns) {
    std::wstring pattern = Format(p.format, p.folder->c_str());
    commands.push_back(L"cmd /c del /f /q \"" + pattern + L"\"");
  }
  return commands;
}

int CleanCache(ProcessRunner& runner, const std::wstring& downloadFolder,
               const std::wstring& cacheFolder) {
  for (const std::wstring& command : CleanCacheCommands(downloadFolder, cacheFolder)) {
    runner.RunHiddenAndWait(command);
  }
  return 0;
}

}  // namespace kavi
