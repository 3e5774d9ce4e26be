#include "engine/thread_stack.h"

namespace kavi {
namespace engine {

// A POSIX thread's stack is in memory only where it has been used.
void ReleaseUnusedStack() {}

}  // namespace engine
}  // namespace kavi
