// The frame delays of a GIF read from its blocks, without decoding a pixel:
// an animation learns its timing before anything draws it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace SkinUI {

// One delay per frame in milliseconds (the graphic control extension's
// hundredths of a second times ten; 0 where a frame has none). Nothing when
// the bytes are not a whole GIF (header, blocks and trailer), so that the
// caller can leave the question to the full decoder.
std::optional<std::vector<int>> GifFrameDelays(const std::string& bytes);

}  // namespace SkinUI
