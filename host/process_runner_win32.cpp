#include "host/process_runner.h"

#include <windows.h>

#include <vector>

#include "host/win32_util.h"

namespace kavi {
namespace {

class Win32ProcessRunner : public ProcessRunner {
 public:
  bool RunHiddenAndWait(const std::wstring& commandLine) override {
    // CreateProcessW may write into the command line, so it gets a copy.
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.resize(commandLine.size() + 2, L'\0');

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    static_assert(sizeof(STARTUPINFOW) == (sizeof(void*) == 4 ? 68 : 104), "STARTUPINFOW layout");
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE, nullptr,
                        nullptr, &startup, &process)) {
      return false;
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    return true;
  }
};

}  // namespace

ProcessRunner& SystemProcessRunner() {
  static Win32ProcessRunner runner;
  return runner;
}

bool RunHiddenAndWait(const std::wstring& commandLine) {
  return SystemProcessRunner().RunHiddenAndWait(commandLine);
}

}  // namespace kavi
