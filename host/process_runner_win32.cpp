#include "host/process_runner.h"

#include <windows.h>

#include <vector>

#include "host/command_line.h"
#include "host/win32_util.h"

namespace kavi {

bool CreateSystemProcess(const std::wstring& commandLine, DWORD flags, STARTUPINFOW* startup,
                         PROCESS_INFORMATION* process) {
  wchar_t system[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  const std::wstring program = SystemProgramFor(commandLine, system);
  // CreateProcessW may write into the command line, so it gets a copy.
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.resize(commandLine.size() + 2, L'\0');
  *process = {};
  return CreateProcessW(program.empty() ? nullptr : program.c_str(), buffer.data(), nullptr,
                        nullptr, TRUE, flags, nullptr, system, startup, process) != FALSE;
}

namespace {

class Win32ProcessRunner : public ProcessRunner {
 public:
  bool RunHiddenAndWait(const std::wstring& commandLine) override {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    static_assert(sizeof(STARTUPINFOW) == (sizeof(void*) == 4 ? 68 : 104), "STARTUPINFOW layout");
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!CreateSystemProcess(commandLine, CREATE_NEW_CONSOLE, &startup, &process)) return false;
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
