// startup_probe RUNS EXE CLASS [EXE CLASS]...: the time from starting a
// program to its first painted window, under the same Wine for every
// program. Each run starts the program with CreateProcess and watches, from
// outside, for a top-level window of the given class owned by that process
// which is
//   1. visible,
//   2. without an update region (GetUpdateRect: the first WM_PAINT's
//      BeginPaint has validated the window), and
//   3. answering a sent WM_NULL. A sent message is handled only when the
//      window's thread asks for messages again, so this returns after the
//      WM_PAINT handler has finished drawing and blitting.
// The clock stops there; the program is then terminated. The first run of
// each program warms Wine's caches and is left out; the programs take turns
// so that a change in the machine's load touches them alike. Prints one line
// per program: its median, minimum and maximum in milliseconds, and for a
// program that records the tick of its first paint (the property
// "KaviFirstPaintTick") how long after that the probe noticed it.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr DWORD kTimeoutMs = 60000;

struct Program {
  std::wstring exe;
  std::wstring windowClass;
  std::vector<double> ms;
  std::vector<long> lagMs;
};

double Seconds() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

HWND WindowOf(DWORD processId, const std::wstring& windowClass) {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, windowClass.c_str(), nullptr)) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == processId) return window;
  }
  return nullptr;
}

bool Painted(HWND window) {
  if (!IsWindowVisible(window) || GetUpdateRect(window, nullptr, FALSE)) return false;
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kTimeoutMs, &answer)) return false;
  return IsWindowVisible(window) && !GetUpdateRect(window, nullptr, FALSE);
}

// One start of the program; false when it showed no painted window in time.
bool MeasureOnce(Program& program, double* ms, long* lagMs) {
  std::wstring command = L"\"" + program.exe + L"\"";
  std::wstring folder = program.exe.substr(0, program.exe.find_last_of(L"\\/") + 1);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  const double begin = Seconds();
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
    std::fprintf(stderr, "startup_probe: can not start %ls (error %lu)\n", program.exe.c_str(),
                 GetLastError());
    return false;
  }
  bool painted = false;
  *lagMs = -1;
  while (Seconds() - begin < kTimeoutMs / 1000.0) {
    HWND window = WindowOf(process.dwProcessId, program.windowClass);
    if (window && Painted(window)) {
      *ms = (Seconds() - begin) * 1000.0;
      const DWORD now = GetTickCount();
      if (HANDLE tick = GetPropW(window, L"KaviFirstPaintTick")) {
        *lagMs = static_cast<long>(now - static_cast<DWORD>(reinterpret_cast<UINT_PTR>(tick)));
      }
      painted = true;
      break;
    }
    if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) break;
  }
  TerminateProcess(process.hProcess, 0);
  WaitForSingleObject(process.hProcess, kTimeoutMs);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (!painted)
    std::fprintf(stderr, "startup_probe: no painted window from %ls\n", program.exe.c_str());
  return painted;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int runs = argc > 1 ? _wtoi(argv[1]) : 0;
  if (runs < 1 || argc < 4 || argc % 2) {
    std::fprintf(stderr, "usage: startup_probe RUNS EXE CLASS [EXE CLASS]...\n");
    return 2;
  }
  std::vector<Program> programs;
  for (int i = 2; i + 1 < argc; i += 2) programs.push_back({argv[i], argv[i + 1], {}, {}});
  for (int run = 0; run <= runs; ++run) {
    for (Program& program : programs) {
      double ms = 0;
      long lagMs = -1;
      if (!MeasureOnce(program, &ms, &lagMs)) return 1;
      if (run == 0) continue;  // the warm-up
      program.ms.push_back(ms);
      if (lagMs >= 0) program.lagMs.push_back(lagMs);
    }
  }
  for (const Program& program : programs) {
    const std::wstring name = program.exe.substr(program.exe.find_last_of(L"\\/") + 1);
    std::printf("startup %ls median_ms %.1f min_ms %.1f max_ms %.1f runs %d", name.c_str(),
                Median(program.ms), *std::min_element(program.ms.begin(), program.ms.end()),
                *std::max_element(program.ms.begin(), program.ms.end()), runs);
    if (!program.lagMs.empty()) {
      std::printf(" noticed_after_paint_ms_max %ld",
                  *std::max_element(program.lagMs.begin(), program.lagMs.end()));
    }
    std::printf("\n");
  }
  return 0;
}
