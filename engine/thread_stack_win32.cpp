#include "engine/thread_stack.h"

#include <windows.h>

namespace kavi {
namespace engine {

namespace {
// Left in place below the caller's frame: what the next calls use at once.
constexpr UINT_PTR kKeptBytes = 16 * 1024;

// The lowest committed, usable page of the stack holding `frame`: above the
// reserved part and the guard page, the whole stack under Wine. 0 when the
// stack does not look like one.
UINT_PTR LowestCommitted(UINT_PTR frame) {
  MEMORY_BASIC_INFORMATION region = {};
  if (!VirtualQuery(reinterpret_cast<void*>(frame), &region, sizeof(region))) return 0;
  UINT_PTR at = reinterpret_cast<UINT_PTR>(region.AllocationBase);
  while (at < frame && VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof(region))) {
    if (region.State == MEM_COMMIT && !(region.Protect & (PAGE_GUARD | PAGE_NOACCESS))) {
      return at;
    }
    at = reinterpret_cast<UINT_PTR>(region.BaseAddress) + region.RegionSize;
  }
  return 0;
}
}  // namespace

void ReleaseUnusedStack() {
  volatile char here = 0;
  const UINT_PTR used = reinterpret_cast<UINT_PTR>(&here);
  const UINT_PTR low = LowestCommitted(used);
  if (!low || used < low + kKeptBytes) return;
  const UINT_PTR high = (used - kKeptBytes) & ~static_cast<UINT_PTR>(4095);
  // MEM_RESET keeps the range committed and lets the system drop its
  // contents, which below the stack pointer nobody reads.
  if (high > low) {
    VirtualAlloc(reinterpret_cast<void*>(low), high - low, MEM_RESET, PAGE_READWRITE);
  }
}

}  // namespace engine
}  // namespace kavi
