// Windows XP lacks GetTickCount64, but mingw-w64's thread library (used by
// std::thread and timed waits) imports it, which would keep a binary from
// loading on XP at all. This defines the import slot itself: the real
// function where kernel32 has it, else a 64-bit count built from
// GetTickCount across its 49.7-day wrap. Linked as an object into every
// binary that ships.
#include <windows.h>

namespace {

ULONGLONG WINAPI TickCount64() {
  using Fn = ULONGLONG(WINAPI*)();
  static const Fn real = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "GetTickCount64")));
  if (real) return real();
  static volatile LONG busy = 0;
  static DWORD last = 0;
  static ULONGLONG wraps = 0;
  while (InterlockedCompareExchange(&busy, 1, 0) != 0) Sleep(0);
  const DWORD now = GetTickCount();
  if (now < last) wraps += ULONGLONG{1} << 32;
  last = now;
  const ULONGLONG result = wraps + now;
  InterlockedExchange(&busy, 0);
  return result;
}

}  // namespace

extern "C" {
ULONGLONG(WINAPI* kavi_GetTickCount64_slot)() __asm__("__imp__GetTickCount64@0") = TickCount64;
}
