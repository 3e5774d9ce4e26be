// Parsing of the response header values the engine relies on.
#pragma once

#include <cstdint>
#include <string>

namespace kavi {
namespace engine {

// "bytes FIRST-LAST/TOTAL" (TOTAL may be "*"). False for anything else.
bool ParseContentRange(const std::string& value, int64_t* first, int64_t* last, int64_t* total);

// A decimal byte count; false for anything but digits (and surrounding
// blanks) or a value beyond 2^63.
bool ParseByteCount(const std::string& value, int64_t* count);

}  // namespace engine
}  // namespace kavi
