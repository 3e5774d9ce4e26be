// The download engine's ".td.cfg" file as a crash or a damaged disk leaves
// it: parsed, and when accepted, restored into a segment map.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/resume_state.h"
#include "engine/segment_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kavi::engine::ResumeState state;
  if (!kavi::engine::ParseResumeState(std::string(reinterpret_cast<const char*>(data), size),
                                      &state)) {
    return 0;
  }
  kavi::engine::SegmentMap map(state.totalSize);
  if (!map.Restore(kavi::engine::TrustedRanges(state, state.bootTime))) __builtin_trap();
  kavi::engine::ByteRange range;
  map.Claim(1, &range);
  return 0;
}
