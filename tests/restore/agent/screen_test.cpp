// The next-boot screen without a framebuffer: pixel packing for the formats
// firmware hands over, the bar's width and the centring, glyph fallback for
// names, and a Windows text for every failure the agent can report.
#include <gtest/gtest.h>

#include "restore/agent/failure.h"
#include "restore/agent/screen_font.h"
#include "restore/agent/screen_view.h"

namespace kavi {
namespace restore {
namespace {

struct PackCase {
  PixelFormat format;
  std::vector<uint8_t> bytes;  // of the skin's blue 0x2F80ED
};

TEST(Screen, PacksTheSkinsBlueForEachFramebufferFormat) {
  const PackCase cases[] = {
      {{32, 16, 8, 8, 8, 0, 8}, {0xED, 0x80, 0x2F, 0x00}},  // XRGB
      {{32, 0, 8, 8, 8, 16, 8}, {0x2F, 0x80, 0xED, 0x00}},  // XBGR
      {{24, 16, 8, 8, 8, 0, 8}, {0xED, 0x80, 0x2F}},
      {{16, 11, 5, 5, 6, 0, 5}, {0x1D, 0x2C}},  // RGB565: 5<<11 | 32<<5 | 29
      {{16, 10, 5, 5, 5, 0, 5}, {0x1D, 0x16}},  // RGB555: 5<<10 | 16<<5 | 29
  };
  for (const PackCase& c : cases) {
    const uint32_t blue[2] = {0x2F80ED, 0x2F80ED};
    std::vector<uint8_t> out(c.bytes.size() * 2);
    PackPixels(blue, 2, c.format, out.data());
    std::vector<uint8_t> twice = c.bytes;
    twice.insert(twice.end(), c.bytes.begin(), c.bytes.end());
    EXPECT_EQ(twice, out) << c.format.bitsPerPixel << " bpp, red at " << c.format.redOffset;
  }
}

int BlueRun(const Canvas& canvas, const ScreenRect& bar) {
  const int y = bar.y + bar.height / 2;
  int n = 0;
  while (n < bar.width && canvas.pixels[y * canvas.width + bar.x + n] == 0x2F80ED) ++n;
  return n;
}

TEST(Screen, BarFillsItsShareAndTheContentIsCentredOnLargerScreens) {
  for (const auto& [width, height] : {std::pair{1024, 768}, std::pair{1920, 1080}}) {
    ScreenState state;
    state.task = ScreenTask::kInstall;
    state.step = ScreenStep::kWrite;
    state.percent = 43;
    Canvas canvas(width, height);
    DrawScreen(state, ScreenRect{0, 0, width, height}, &canvas);
    const ScreenLayout l = LayoutScreen(width, height);
    EXPECT_EQ((width - 1024) / 2, l.content.x);
    EXPECT_EQ((height - 768) / 2, l.content.y);
    EXPECT_EQ(l.content.x + (1024 - l.bar.width) / 2, l.bar.x);
    EXPECT_EQ(l.bar.width * 43 / 100, BlueRun(canvas, l.bar)) << width;

    // Progress alone redraws the bar and the figures, nothing above them.
    ScreenState later = state;
    later.percent = 44;
    const ScreenRect area = ChangedArea(l, state, later);
    EXPECT_LE(area.y, l.bar.y);
    EXPECT_GE(area.y + area.height, l.figures.y + l.figures.height);
    EXPECT_GT(area.y, l.steps.y + l.steps.height);
    DrawScreen(later, area, &canvas);
    EXPECT_EQ(l.bar.width * 44 / 100, BlueRun(canvas, l.bar));

    // A failure's countdown is no progress: the whole screen again.
    ScreenState failed = later, counted = later;
    failed.failed = counted.failed = true;
    failed.restartSeconds = 9;
    counted.restartSeconds = 8;
    EXPECT_TRUE(ChangedArea(l, failed, counted).Contains(l.name.x, l.name.y));
  }
}

TEST(Screen, NamesUseTheTableWhereItHasTheGlyphAndQuestionMarksElsewhere) {
  const ScreenFace& small = SmallFace();
  const uint32_t question = FindGlyph(small, '?').codepoint;
  // "专业版" is in GB2312's first level; U+4E44 and U+20000 are not.
  for (uint32_t c : DecodeUtf8("专业版.wim")) EXPECT_EQ(c, FindGlyph(small, c).codepoint);
  EXPECT_EQ(question, FindGlyph(small, 0x4E44).codepoint);
  EXPECT_EQ((std::vector<uint32_t>{'a', 0x20000, '?', '?', 'b'}),
            DecodeUtf8("a\xF0\xA0\x80\x80\xE4\xB8"
                       "b"));
  EXPECT_EQ(question, FindGlyph(small, 0x20000).codepoint);
  // The large face holds the fixed texts only.
  EXPECT_EQ(0x8FD8u, FindGlyph(LargeFace(), 0x8FD8).codepoint);  // 还
}

TEST(Screen, EveryFailureHasTheWindowsProgramsWords) {
  EXPECT_EQ("还原的镜像文件已损坏，系统未作任何更改。", FailureScreenText("image-corrupt"));
  const std::string fallback = FailureScreenText("no-such-code");
  for (int f = static_cast<int>(Failure::kNone) + 1;
       std::string(FailureCode(static_cast<Failure>(f))) != "unknown"; ++f) {
    const std::string code = FailureCode(static_cast<Failure>(f));
    EXPECT_NE(fallback, FailureScreenText(code)) << code << " has no text on Windows";
  }
}

}  // namespace
}  // namespace restore
}  // namespace kavi
