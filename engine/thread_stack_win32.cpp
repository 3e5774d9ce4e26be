#include "engine/thread_stack.h"

#include <windows.h>

namespace kavi {
namespace engine {

namespace {
// Left in place below the caller's frame: what the next calls use at once.
constexpr UINT_PTR kKeptBytes = 16 * 1024;
}  // namespace

void ReleaseUnusedStack() {
  const NT_TIB* tib = reinterpret_cast<const NT_TIB*>(NtCurrentTeb());
  volatile char here = 0;
  const UINT_PTR low = reinterpret_cast<UINT_PTR>(tib->StackLimit);
  const UINT_PTR used = reinterpret_cast<UINT_PTR>(&here);
  if (used < low + kKeptBytes) return;
  const UINT_PTR high = (used - kKeptBytes) & ~static_cast<UINT_PTR>(4095);
  // MEM_RESET keeps the range committed and lets the system drop its
  // contents, which below the stack pointer nobody reads.
  if (high > low) {
    VirtualAlloc(reinterpret_cast<void*>(low), high - low, MEM_RESET, PAGE_READWRITE);
  }
}

}  // namespace engine
}  // namespace kavi
