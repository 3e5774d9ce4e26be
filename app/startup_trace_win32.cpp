#include "app/startup_trace_win32.h"

#include <windows.h>

#include <cstdio>

namespace kavi {
namespace {

struct Trace {
  HANDLE file = INVALID_HANDLE_VALUE;
  ULONGLONG created = 0;  // 100 ns units, system time
};

ULONGLONG Ticks(const FILETIME& t) {
  return static_cast<ULONGLONG>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
}

// Opened on the first mark; marks come from the UI thread and, later, from
// workers, each line written by one append.
Trace& OpenTrace() {
  static Trace trace = [] {
    Trace t;
    wchar_t path[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"KAVI_STARTUP_TRACE", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return t;
    t.file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
      t.created = Ticks(created);
    return t;
  }();
  return trace;
}

}  // namespace

void StartupMark(const char* what) {
  Trace& trace = OpenTrace();
  if (trace.file == INVALID_HANDLE_VALUE) return;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  char line[160];
  int n = std::snprintf(line, sizeof(line), "%8.1f %lu %s\r\n",
                        static_cast<double>(Ticks(now) - trace.created) / 10000.0,
                        GetCurrentProcessId(), what);
  if (n <= 0) return;
  DWORD written = 0;
  WriteFile(trace.file, line,
            static_cast<DWORD>(n < static_cast<int>(sizeof(line)) ? n : sizeof(line) - 1), &written,
            nullptr);
}

}  // namespace kavi
