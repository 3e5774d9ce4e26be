#include "restore/agent/screen_view.h"

#include <algorithm>
#include <cstdio>

#include "restore/agent/screen_font.h"
#include "restore/agent/screen_texts.h"

namespace kavi {
namespace restore {
namespace {

// The main window's skin.
constexpr uint32_t kBody = 0xFFFFFF;
constexpr uint32_t kCaption = 0xEFF5F8;
constexpr uint32_t kLine = 0xE6EAEE;
constexpr uint32_t kText = 0x2B3E51;
constexpr uint32_t kSlate = 0x5B6B7A;
constexpr uint32_t kGrey = 0x959EA5;
constexpr uint32_t kLater = 0xC5CCD3;
constexpr uint32_t kBlue = 0x2F80ED;
constexpr uint32_t kRed = 0xFF0000;

constexpr int kContentWidth = 1024;
constexpr int kContentHeight = 768;
constexpr int kCaptionHeight = 64;
constexpr int kBarHeight = 20;

using Text = std::vector<uint32_t>;

ScreenRect Intersect(const ScreenRect& a, const ScreenRect& b) {
  const int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
  const int x1 = std::min(a.x + a.width, b.x + b.width);
  const int y1 = std::min(a.y + a.height, b.y + b.height);
  return ScreenRect{x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)};
}

void Fill(Canvas* canvas, const ScreenRect& rect, uint32_t colour, const ScreenRect& clip) {
  const ScreenRect r =
      Intersect(Intersect(rect, clip), ScreenRect{0, 0, canvas->width, canvas->height});
  for (int y = r.y; y < r.y + r.height; ++y) {
    uint32_t* row = canvas->pixels.data() + static_cast<size_t>(y) * canvas->width;
    std::fill(row + r.x, row + r.x + r.width, colour);
  }
}

uint32_t Blend(uint32_t under, uint32_t over, int coverage) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int u = (under >> shift) & 0xFF, o = (over >> shift) & 0xFF;
    out |= static_cast<uint32_t>((u * (15 - coverage) + o * coverage + 7) / 15) << shift;
  }
  return out;
}

int TextWidth(const ScreenFace& face, const Text& text) {
  int width = 0;
  for (uint32_t c : text) width += FindGlyph(face, c).advance;
  return width;
}

// Draws `text` with its line's top at `top`; returns the pen's end.
int DrawText(Canvas* canvas, const ScreenFace& face, const Text& text, int x, int top,
             uint32_t colour, const ScreenRect& clip) {
  const ScreenRect visible = Intersect(clip, ScreenRect{0, 0, canvas->width, canvas->height});
  for (uint32_t c : text) {
    const ScreenGlyph& g = FindGlyph(face, c);
    for (int gy = 0; gy < g.height; ++gy) {
      for (int gx = 0; gx < g.width; ++gx) {
        const int px = x + g.left + gx, py = top + g.top + gy;
        const int coverage = GlyphCoverage(face, g, gx, gy);
        if (coverage == 0 || !visible.Contains(px, py)) continue;
        uint32_t& pixel = canvas->pixels[static_cast<size_t>(py) * canvas->width + px];
        pixel = Blend(pixel, colour, coverage);
      }
    }
    x += g.advance;
  }
  return x;
}

void DrawCentred(Canvas* canvas, const ScreenFace& face, const Text& text, const ScreenRect& line,
                 uint32_t colour, const ScreenRect& clip) {
  DrawText(canvas, face, text, line.x + (line.width - TextWidth(face, text)) / 2, line.y, colour,
           clip);
}

// Lines of at most `width` pixels, broken between any two characters (the
// texts are Chinese).
std::vector<Text> Wrap(const ScreenFace& face, const Text& text, int width) {
  std::vector<Text> lines(1);
  int used = 0;
  for (uint32_t c : text) {
    const int advance = FindGlyph(face, c).advance;
    if (used + advance > width && !lines.back().empty()) {
      lines.emplace_back();
      used = 0;
    }
    lines.back().push_back(c);
    used += advance;
  }
  return lines;
}

// `label` and `text` within `width` pixels: a long text loses its start to
// "...", since a path's end names the file.
Text Fit(const ScreenFace& face, const Text& label, Text text, int width) {
  const int room = width - TextWidth(face, label);
  bool cut = false;
  const Text dots = DecodeUtf8("...");
  while (!text.empty() && TextWidth(face, text) + (cut ? TextWidth(face, dots) : 0) > room) {
    text.erase(text.begin());
    cut = true;
  }
  Text shown = label;
  if (cut) shown.insert(shown.end(), dots.begin(), dots.end());
  shown.insert(shown.end(), text.begin(), text.end());
  return shown;
}

const char* TaskText(ScreenTask task) {
  switch (task) {
    case ScreenTask::kInstall:
      return screen_text::kInstall;
    case ScreenTask::kBackup:
      return screen_text::kBackup;
    case ScreenTask::kRestore:
      return screen_text::kRestore;
    case ScreenTask::kUnknown:
      break;
  }
  return screen_text::kStarting;
}

const char* StepText(ScreenStep step) {
  switch (step) {
    case ScreenStep::kFind:
      return screen_text::kFind;
    case ScreenStep::kVerify:
      return screen_text::kVerify;
    case ScreenStep::kFormat:
      return screen_text::kFormat;
    case ScreenStep::kWrite:
      return screen_text::kWrite;
    case ScreenStep::kBootFiles:
      return screen_text::kBootFiles;
    case ScreenStep::kCapture:
      return screen_text::kCapture;
    case ScreenStep::kVerifyBackup:
      return screen_text::kVerifyBackup;
    case ScreenStep::kDone:
      return screen_text::kDone;
  }
  return "";
}

std::vector<ScreenStep> StepsOf(ScreenTask task, ScreenStep current) {
  using S = ScreenStep;
  switch (task) {
    case ScreenTask::kInstall:
    case ScreenTask::kRestore:
      return {S::kFind, S::kVerify, S::kFormat, S::kWrite, S::kBootFiles, S::kDone};
    case ScreenTask::kBackup:
      return {S::kFind, S::kCapture, S::kVerifyBackup, S::kDone};
    case ScreenTask::kUnknown:
      break;
  }
  return {current};
}

void DrawSteps(Canvas* canvas, const ScreenState& state, const ScreenRect& line,
               const ScreenRect& clip) {
  const ScreenFace& face = SmallFace();
  const std::vector<ScreenStep> steps = StepsOf(state.task, state.step);
  const Text separator = DecodeUtf8(screen_text::kStepSeparator);
  int width = 0;
  for (size_t i = 0; i < steps.size(); ++i) {
    width += TextWidth(face, DecodeUtf8(StepText(steps[i])));
    if (i + 1 < steps.size()) width += TextWidth(face, separator);
  }
  int x = line.x + (line.width - width) / 2;
  for (size_t i = 0; i < steps.size(); ++i) {
    const uint32_t colour = steps[i] == state.step  ? kBlue
                            : steps[i] < state.step ? kSlate
                                                    : kLater;
    x = DrawText(canvas, face, DecodeUtf8(StepText(steps[i])), x, line.y, colour, clip);
    if (i + 1 < steps.size()) x = DrawText(canvas, face, separator, x, line.y, kLater, clip);
  }
}

void DrawFigures(Canvas* canvas, const ScreenState& state, const ScreenRect& line,
                 const ScreenRect& clip) {
  const ScreenFace& face = SmallFace();
  char text[64];
  std::snprintf(text, sizeof text, "%d%%", std::min(100, std::max(0, state.percent)));
  DrawText(canvas, face, DecodeUtf8(text), line.x, line.y, kText, clip);
  if (state.megabytesPerSecond >= 0) {
    std::snprintf(text, sizeof text, "%s%.1f MB/s", screen_text::kSpeed, state.megabytesPerSecond);
    DrawCentred(canvas, face, DecodeUtf8(text), line, kSlate, clip);
  }
  if (state.secondsLeft >= 0) {
    std::snprintf(text, sizeof text, "%s%ld:%02ld", screen_text::kLeft, state.secondsLeft / 60,
                  state.secondsLeft % 60);
    const Text left = DecodeUtf8(text);
    DrawText(canvas, face, left, line.x + line.width - TextWidth(face, left), line.y, kSlate, clip);
  }
}

void DrawFailure(Canvas* canvas, const ScreenState& state, const ScreenLayout& layout,
                 const ScreenRect& clip) {
  DrawCentred(canvas, LargeFace(), DecodeUtf8(screen_text::kFailed), layout.task, kRed, clip);
  const ScreenFace& face = LargeFace();
  const Text reason = DecodeUtf8(FailureScreenText(state.failureCode));
  int top = layout.steps.y;
  for (const Text& line : Wrap(face, reason, layout.bar.width + 160)) {
    DrawCentred(canvas, face, line, ScreenRect{layout.content.x, top, layout.content.width, 0},
                kText, clip);
    top += face.lineHeight + 8;
  }
  char text[96];
  std::snprintf(text, sizeof text, screen_text::kRestartIn, state.restartSeconds);
  DrawCentred(canvas, SmallFace(), DecodeUtf8(text), layout.name, kSlate, clip);
  ScreenRect hint = layout.name;
  hint.y += SmallFace().lineHeight + 12;
  DrawCentred(canvas, SmallFace(), DecodeUtf8(screen_text::kLogHint), hint, kGrey, clip);
}

}  // namespace

ScreenLayout LayoutScreen(int width, int height) {
  ScreenLayout l;
  const int cw = std::min(width, kContentWidth), ch = std::min(height, kContentHeight);
  l.content = ScreenRect{(width - cw) / 2, (height - ch) / 2, cw, ch};
  const int x = l.content.x, y = l.content.y;
  const int large = LargeFace().lineHeight, small = SmallFace().lineHeight;
  // The caption band runs across the whole screen, as the window's does.
  l.caption = ScreenRect{0, 0, width, y + kCaptionHeight};
  l.title = ScreenRect{x + 40, y + (kCaptionHeight - large) / 2, cw - 80, large};
  l.task = ScreenRect{x, y + ch * 26 / 100, cw, large};
  l.steps = ScreenRect{x, l.task.y + large + 30, cw, small};
  const int barWidth = std::min(640, cw - 120);
  l.bar = ScreenRect{x + (cw - barWidth) / 2, l.steps.y + small + 40, barWidth, kBarHeight};
  l.figures = ScreenRect{l.bar.x, l.bar.y + kBarHeight + 14, barWidth, small};
  l.name = ScreenRect{x, l.figures.y + small + 30, cw, small};
  l.warning = ScreenRect{x, y + ch - 110, cw, small};
  return l;
}

int BarFill(int barWidth, int percent) {
  return barWidth * std::min(100, std::max(0, percent)) / 100;
}

void DrawScreen(const ScreenState& state, const ScreenRect& clip, Canvas* canvas) {
  const ScreenLayout l = LayoutScreen(canvas->width, canvas->height);
  Fill(canvas, ScreenRect{0, 0, canvas->width, canvas->height}, kBody, clip);
  Fill(canvas, l.caption, kCaption, clip);
  Fill(canvas, ScreenRect{l.caption.x, l.caption.y + l.caption.height - 1, l.caption.width, 1},
       kLine, clip);
  DrawText(canvas, LargeFace(), DecodeUtf8(screen_text::kTitle), l.title.x, l.title.y, kText, clip);
  if (state.failed) {
    DrawFailure(canvas, state, l, clip);
    return;
  }
  DrawCentred(canvas, LargeFace(), DecodeUtf8(TaskText(state.task)), l.task, kText, clip);
  DrawSteps(canvas, state, l.steps, clip);
  if (state.percent >= 0) {
    Fill(canvas, l.bar, kLine, clip);
    Fill(canvas, ScreenRect{l.bar.x, l.bar.y, BarFill(l.bar.width, state.percent), l.bar.height},
         kBlue, clip);
    DrawFigures(canvas, state, l.figures, clip);
  }
  if (!state.name.empty()) {
    const Text name = Fit(SmallFace(), DecodeUtf8(screen_text::kImage), DecodeUtf8(state.name),
                          l.bar.width + 160);
    DrawCentred(canvas, SmallFace(), name, l.name, kSlate, clip);
  }
  DrawCentred(canvas, SmallFace(), DecodeUtf8(screen_text::kWarning), l.warning, kRed, clip);
}

ScreenRect ChangedArea(const ScreenLayout& layout, const ScreenState& before,
                       const ScreenState& state) {
  // A failure's screen has no bar; its countdown sits elsewhere.
  const bool progressOnly = !before.failed && !state.failed && before.task == state.task &&
                            before.step == state.step && before.name == state.name &&
                            (before.percent >= 0) == (state.percent >= 0);
  if (!progressOnly) return ScreenRect{0, 0, 1 << 30, 1 << 30};
  const int top = layout.bar.y;
  return ScreenRect{layout.content.x, top, layout.content.width,
                    layout.figures.y + layout.figures.height + 8 - top};
}

void PackPixels(const uint32_t* rgb, int count, const PixelFormat& f, uint8_t* out) {
  const int bytes = (f.bitsPerPixel + 7) / 8;
  auto field = [](uint32_t value8, int offset, int length) {
    return length <= 0 ? 0u : (value8 >> (8 - std::min(8, length))) << offset;
  };
  for (int i = 0; i < count; ++i) {
    const uint32_t p = rgb[i];
    const uint32_t value = field((p >> 16) & 0xFF, f.redOffset, f.redLength) |
                           field((p >> 8) & 0xFF, f.greenOffset, f.greenLength) |
                           field(p & 0xFF, f.blueOffset, f.blueLength);
    for (int b = 0; b < bytes; ++b) *out++ = static_cast<uint8_t>(value >> (8 * b));
  }
}

}  // namespace restore
}  // namespace kavi
