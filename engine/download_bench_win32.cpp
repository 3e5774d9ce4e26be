// xldl_bench URL FOLDER NAME [--resume]: downloads one file through
// xldl.dll as the program does and prints the time, throughput, the bytes
// taken from the network and the peak working set. With --resume a partial
// download left by an earlier run is continued.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "download/engine_api.h"

int wmain(int argc, wchar_t** argv) {
  using namespace kavi;
  const bool resume = argc == 5 && std::wstring(argv[4]) == L"--resume";
  if (argc != 4 && !resume) {
    std::fprintf(stderr, "usage: xldl_bench URL FOLDER NAME [--resume]\n");
    return 2;
  }
  HMODULE engine = LoadLibraryW(L"xldl.dll");
  if (!engine) {
    std::fprintf(stderr, "can not load xldl.dll\n");
    return 1;
  }
  auto get = [&](const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(engine, name));
  };
  auto init = reinterpret_cast<XL_InitFn>(get("XL_Init"));
  auto create = reinterpret_cast<XL_CreateTaskFn>(get("XL_CreateTask"));
  auto start = reinterpret_cast<XL_StartTaskFn>(get("XL_StartTask"));
  auto query = reinterpret_cast<XL_QueryTaskInfoExFn>(get("XL_QueryTaskInfoEx"));
  auto remove = reinterpret_cast<XL_DeleteTaskFn>(get("XL_DeleteTask"));
  init();
  // What the process holds before the download: Wine, WinINet and the engine.
  PROCESS_MEMORY_COUNTERS idle = {};
  idle.cb = sizeof(idle);
  GetProcessMemoryInfo(GetCurrentProcess(), &idle, sizeof(idle));
  static DownloadTaskRequest request;
  if (!FillDownloadRequest(&request, argv[1], argv[3], argv[2])) return 2;
  request.resume = resume ? 1 : 0;
  LARGE_INTEGER frequency, begin, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&begin);
  EngineHandle task = create(&request);
  start(task);
  DownloadTaskStatus status = {};
  SIZE_T peak = 0;
  for (;;) {
    query(task, &status);
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory))) {
      peak = memory.PeakWorkingSetSize;
    }
    if (status.state == kTaskStateFinished || status.state == kTaskStateFailed) break;
    Sleep(20);
  }
  QueryPerformanceCounter(&end);
  remove(task);
  const double seconds = double(end.QuadPart - begin.QuadPart) / frequency.QuadPart;
  std::printf(
      "state %d bytes %lld seconds %.3f MB/s %.1f peak_working_set_MB %.1f received %lld "
      "connections %d idle_peak_MB %.1f\n",
      static_cast<int>(status.state), static_cast<long long>(status.totalSize), seconds,
      status.totalSize / seconds / 1048576.0, peak / 1048576.0,
      static_cast<long long>(status.counters64[0]), static_cast<int>(status.counters32[0]),
      idle.PeakWorkingSetSize / 1048576.0);
  std::fflush(stdout);
  return status.state == kTaskStateFinished ? 0 : 1;
}
