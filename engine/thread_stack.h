// Each of the engine's threads calls this first.
#pragma once

namespace kavi {
namespace engine {

// Gives back the pages of the calling thread's stack below what it is
// using now. Wine commits a thread's whole stack, at least a megabyte, and
// writes every page of it, so each thread would hold a megabyte of memory
// whatever stack size it asks for; Windows commits a stack as it grows and
// there this finds nothing to give back. The pages stay committed: the
// stack grows into them again as it needs them.
void ReleaseUnusedStack();

}  // namespace engine
}  // namespace kavi
