#include "host/cache_cleaner.h"

#include <gtest/gtest.h>

namespace kavi {
namespace {

class RecordingRunner : public ProcessRunner {
 public:
  std::vector<std::wstring> commands;
  bool startable = true;
  bool RunHiddenAndWait(const std::wstring& commandLine) override {
    commands.push_back(commandLine);
    return startable;
  }
};

TEST(CleanCache, FiveCommandsInOrder) {
  RecordingRunner runner;
  EXPECT_EQ(0, CleanCache(runner, L"D:\\DURozazo\\Download", L"C:\\Kavi\\cache"));
  const std::vector<std::wstring> expected = {
      L"cmd /c del /f /q \"D:\\DURozazo\\Download\\*.wim\"",
      L"cmd /c del /f /q \"D:\\DURozazo\\Download\\*.td*\"",
      L"cmd /c del /f /q \"C:\\Kavi\\cache\\*.exe\"",
      L"cmd /c del /f /q \"C:\\Kavi\\cache\\*.td*\"",
      L"cmd /c del /f /q \"C:\\Kavi\\cache\\*.ini\"",
  };
  EXPECT_EQ(expected, runner.commands);
}

TEST(CleanCache, CompletedImagesAreNotCache) {
  for (const std::wstring& c : CleanCacheCommands(L"D:\\DURozazo\\Download", L"C:\\k\\cache")) {
    EXPECT_EQ(std::wstring::npos, c.find(L".gho")) << c;
  }
}

TEST(CleanCache, AllCommandsRunAndSucceedEvenWhenNoneStarts) {
  RecordingRunner runner;
  runner.startable = false;
  EXPECT_EQ(0, CleanCache(runner, L"", L""));
  EXPECT_EQ(5u, runner.commands.size());
}

}  // namespace
}  // namespace kavi
