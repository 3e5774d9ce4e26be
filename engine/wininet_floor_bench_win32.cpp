// wininet_floor URL FILE: the least a WinINet download does, as a floor for
// the engine's benchmark: one connection, InternetReadFile into one 1 MiB
// buffer, WriteFile of each read, no ranges, no second thread, no flush.
// Prints the time, the bytes and the peak working set in the engine
// benchmark's words.
#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: wininet_floor URL FILE\n");
    return 2;
  }
  std::vector<char> buffer(1024 * 1024);
  LARGE_INTEGER frequency, begin, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&begin);
  HINTERNET session =
      InternetOpenW(L"wininet_floor", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET request = session
                          ? InternetOpenUrlW(session, argv[1], nullptr, 0,
                                             INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD, 0)
                          : nullptr;
  HANDLE file = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (!request || file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "wininet_floor: can not open the address or the file\n");
    return 1;
  }
  long long bytes = 0;
  DWORD read = 0, written = 0;
  bool ok = true;
  while (
      (ok = InternetReadFile(request, buffer.data(), static_cast<DWORD>(buffer.size()), &read)) &&
      read > 0) {
    if (!WriteFile(file, buffer.data(), read, &written, nullptr) || written != read) {
      ok = false;
      break;
    }
    bytes += read;
  }
  CloseHandle(file);
  QueryPerformanceCounter(&end);
  InternetCloseHandle(request);
  InternetCloseHandle(session);
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
  const double seconds = double(end.QuadPart - begin.QuadPart) / frequency.QuadPart;
  std::printf("state %d bytes %lld seconds %.3f peak_working_set_MB %.1f\n", ok ? 4 : 1, bytes,
              seconds, memory.PeakWorkingSetSize / 1048576.0);
  return ok ? 0 : 1;
}
