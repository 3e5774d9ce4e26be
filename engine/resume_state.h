// The ".td.cfg" file beside a partial download: what is needed to continue
// it after a stop, a killed process or a power cut.
//
// Two sets of byte ranges are kept. `written` holds data the engine had
// handed to the file system: a killed process loses none of it. `durable`
// holds data known flushed to disk, the only part to trust after the machine
// itself went down, which `bootTime` tells apart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/segment_map.h"

namespace kavi {
namespace engine {

struct ResumeState {
  int64_t totalSize = 0;
  int64_t bootTime = 0;   // system start, seconds since the epoch
  std::string validator;  // ETag and Last-Modified of the remote file
  std::vector<ByteRange> written;
  std::vector<ByteRange> durable;
};

std::string SerializeResumeState(const ResumeState& state);

// False for anything but an intact state record (wrong magic or version,
// torn or truncated file, ranges out of order or outside the file).
bool ParseResumeState(const std::string& bytes, ResumeState* state);

// The ranges to trust when continuing on a machine started at `bootTime`.
const std::vector<ByteRange>& TrustedRanges(const ResumeState& state, int64_t bootTime);

}  // namespace engine
}  // namespace kavi
