// The next-boot screen's glyph table: rendered at build time from a CJK font
// (make_screen_font.py) at two sizes, 4 bits of coverage per pixel. The
// characters are the screen's fixed texts, printable ASCII and (small size)
// GB2312's first level; anything else is drawn as '?'.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kavi {
namespace restore {

struct ScreenGlyph {
  uint32_t codepoint;
  uint8_t width, height;
  int8_t left;  // from the pen position
  int8_t top;   // from the line's top
  uint8_t advance;
  uint32_t offset;  // into the face's coverage bytes; rows padded to whole bytes
};

struct ScreenFace {
  int pixelSize;
  int ascent;      // baseline below the line's top
  int lineHeight;  // ascent + descent
  const ScreenGlyph* glyphs;
  size_t count;
  const uint8_t* alpha;
};

const ScreenFace& SmallFace();
const ScreenFace& LargeFace();

// The glyph of `codepoint`, or the face's '?' when the table lacks it.
const ScreenGlyph& FindGlyph(const ScreenFace& face, uint32_t codepoint);

// Coverage 0..15 of the glyph's pixel (x, y).
int GlyphCoverage(const ScreenFace& face, const ScreenGlyph& glyph, int x, int y);

// The code points of UTF-8 text; a malformed byte becomes '?'.
std::vector<uint32_t> DecodeUtf8(const std::string& text);

// The Windows program's failure message for a failure code, as the screen
// says it while it happens: "镜像文件已损坏，系统未作任何更改。".
std::string FailureScreenText(const std::string& code);

}  // namespace restore
}  // namespace kavi
