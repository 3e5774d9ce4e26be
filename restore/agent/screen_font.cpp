#include "restore/agent/screen_font.h"

#include <algorithm>
#include <cstring>

namespace kavi {
namespace restore {
namespace {

struct FailureEntry {
  const char* code;
  const char* text;
};

#include "screen_font.inc"

}  // namespace

const ScreenFace& SmallFace() {
  return kSmallFace;
}
const ScreenFace& LargeFace() {
  return kLargeFace;
}

const ScreenGlyph& FindGlyph(const ScreenFace& face, uint32_t codepoint) {
  const ScreenGlyph* end = face.glyphs + face.count;
  auto byCode = [](const ScreenGlyph& g, uint32_t c) { return g.codepoint < c; };
  const ScreenGlyph* it = std::lower_bound(face.glyphs, end, codepoint, byCode);
  if (it != end && it->codepoint == codepoint) return *it;
  // The generator always includes '?'.
  return *std::lower_bound(face.glyphs, end, uint32_t{'?'}, byCode);
}

int GlyphCoverage(const ScreenFace& face, const ScreenGlyph& glyph, int x, int y) {
  const int rowBytes = (glyph.width + 1) / 2;
  const uint8_t byte = face.alpha[glyph.offset + y * rowBytes + x / 2];
  return x % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

std::vector<uint32_t> DecodeUtf8(const std::string& text) {
  std::vector<uint32_t> out;
  size_t i = 0;
  while (i < text.size()) {
    const uint8_t lead = static_cast<uint8_t>(text[i]);
    int more = lead < 0x80         ? 0
               : (lead >> 5) == 6  ? 1
               : (lead >> 4) == 14 ? 2
               : (lead >> 3) == 30 ? 3
                                   : -1;
    uint32_t cp = more == 0   ? lead
                  : more == 1 ? lead & 0x1F
                  : more == 2 ? lead & 0x0F
                              : lead & 0x07;
    bool ok = more >= 0 && i + more < text.size();
    for (int k = 1; ok && k <= more; ++k) {
      const uint8_t next = static_cast<uint8_t>(text[i + k]);
      ok = (next & 0xC0) == 0x80;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (!ok) {
      out.push_back('?');
      ++i;
      continue;
    }
    out.push_back(cp);
    i += 1 + more;
  }
  return out;
}

std::string FailureScreenText(const std::string& code) {
  for (const FailureEntry& t : kFailureTexts) {
    if (code == t.code) return t.text;
  }
  return kFailureFallback;
}

}  // namespace restore
}  // namespace kavi
