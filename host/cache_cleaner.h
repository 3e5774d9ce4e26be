// Deletes what downloads and earlier runs left behind: partial downloads and
// engine temporaries in the download folder, and the cache folder's files.
// Completed images (*.gho) stay: they are the user's downloads, not cache.
#pragma once

#include <string>
#include <vector>

#include "host/process_runner.h"

namespace kavi {

// The five "cmd /c del /f /q" command lines, in the order they run.
std::vector<std::wstring> CleanCacheCommands(const std::wstring& downloadFolder,
                                             const std::wstring& cacheFolder);

// Runs the commands one after another and returns 0 when the last has ended.
// What the commands achieved is not examined.
int CleanCache(ProcessRunner& runner, const std::wstring& downloadFolder,
               const std::wstring& cacheFolder);

// The same with the system runner and the working-state folders.
int CleanCache();

}  // namespace kavi
