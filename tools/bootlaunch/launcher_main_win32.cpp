// bcdedit.exe / bcdboot.exe / bcdsect.exe: runs KAVI_LAUNCHED_TOOL from the
// native system folder with our argument text and returns its exit code.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "host/text.h"
#include "host/win32_util.h"
#include "tools/bootlaunch/launcher.h"

#ifndef KAVI_LAUNCHED_TOOL
#error "KAVI_LAUNCHED_TOOL names the Windows tool, e.g. L\"bcdedit.exe\""
#endif

namespace {

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
using DisableRedirectionFn = BOOL(WINAPI*)(PVOID*);
using RevertRedirectionFn = BOOL(WINAPI*)(PVOID);

// A kernel32 function that older Windows may lack, as a pointer of its type.
template <typename Fn>
Fn Kernel32Function(const char* name) {
  return reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

bool RunningUnderWow64() {
  auto isWow64 = Kernel32Function<IsWow64ProcessFn>("IsWow64Process");
  BOOL wow64 = FALSE;
  return isWow64 != nullptr && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

// File-system redirection off for this thread while it lives. Windows
// without WOW64 has no such functions, and nothing to turn off.
class RedirectionOff {
 public:
  RedirectionOff() {
    auto disable = Kernel32Function<DisableRedirectionFn>("Wow64DisableWow64FsRedirection");
    revert_ = Kernel32Function<RevertRedirectionFn>("Wow64RevertWow64FsRedirection");
    active_ = disable != nullptr && revert_ != nullptr && disable(&old_);
  }
  ~RedirectionOff() {
    if (active_) revert_(old_);
  }
  RedirectionOff(const RedirectionOff&) = delete;
  RedirectionOff& operator=(const RedirectionOff&) = delete;

 private:
  RevertRedirectionFn revert_ = nullptr;
  PVOID old_ = nullptr;
  bool active_ = false;
};

std::wstring Directory(UINT(WINAPI* query)(LPWSTR, UINT)) {
  wchar_t buffer[MAX_PATH + 1] = {};
  const UINT length = query(buffer, MAX_PATH);
  return length > 0 && length <= MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Starts the tool with our standard handles and console, waits for it, and
// returns its exit code.
int RunTool(const std::wstring& commandLine) {
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return -1;
  }
  kavi::UniqueHandle processHandle(process.hProcess);
  kavi::UniqueHandle threadHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  return static_cast<int>(code);
}

void PrintError(const std::wstring& text) {
  std::fputs(kavi::ToAnsi(text).c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace

int wmain() {
  const std::wstring tool = KAVI_LAUNCHED_TOOL;
  const std::wstring arguments = kavi::ArgumentText(GetCommandLineW());
  const std::vector<kavi::ToolCandidate> candidates =
      kavi::NativeToolCandidates(Directory(GetSystemWindowsDirectoryW),
                                 Directory(GetSystemDirectoryW), RunningUnderWow64(), tool);
  for (const kavi::ToolCandidate& candidate : candidates) {
    const std::wstring line = kavi::LaunchCommandLine(candidate.path, arguments);
    int code;
    if (candidate.withoutRedirection) {
      RedirectionOff off;
      if (!IsFile(candidate.path)) continue;
      code = RunTool(line);
    } else {
      if (!IsFile(candidate.path)) continue;
      code = RunTool(line);
    }
    if (code == -1) {
      PrintError(kavi::Format(L"%ls could not be started (error %lu).\n", candidate.path.c_str(),
                              GetLastError()));
      return kavi::kToolNotFoundExitCode;
    }
    return code;
  }
  PrintError(kavi::Format(L"This Windows has no %ls (looked in %ls).\n", tool.c_str(),
                          candidates.back().path.c_str()));
  return kavi::kToolNotFoundExitCode;
}
