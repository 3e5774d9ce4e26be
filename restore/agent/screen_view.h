// The next-boot screen drawn into memory: the layout after the main window's
// skin (caption band with the program's name, white body, blue progress,
// red warning), centred on screens larger than 1024x768, and the packing of
// its pixels into the framebuffer's 16, 24 or 32-bit format.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "restore/agent/screen_state.h"

namespace kavi {
namespace restore {

struct ScreenRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool Contains(int px, int py) const {
    return px >= x && py >= y && px < x + width && py < y + height;
  }
};

// Where each part goes on a screen of the given size.
struct ScreenLayout {
  ScreenRect content;  // at most 1024x768, centred
  ScreenRect caption;  // the band with the title
  ScreenRect title;    // the title's line
  ScreenRect task;     // "正在安装系统", centred in this line
  ScreenRect steps;    // the row of steps
  ScreenRect bar;      // the progress bar's track
  ScreenRect figures;  // percent, speed, time left under the bar
  ScreenRect name;     // the image's name
  ScreenRect warning;  // "请勿关闭电脑…"
};

ScreenLayout LayoutScreen(int width, int height);

// The bar's filled width in pixels for a percent (clamped to 0..100).
int BarFill(int barWidth, int percent);

// 0xRRGGBB pixels.
struct Canvas {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  Canvas(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {}
};

// Draws `state`; only pixels inside `clip` change.
void DrawScreen(const ScreenState& state, const ScreenRect& clip, Canvas* canvas);

// The rows `clip` covers of a screen showing `state` whose progress alone
// changed since `before`: the bar and the figures under it.
ScreenRect ChangedArea(const ScreenLayout& layout, const ScreenState& before,
                       const ScreenState& state);

// A framebuffer pixel format: bits per pixel and each colour's bit field.
struct PixelFormat {
  int bitsPerPixel = 32;
  int redOffset = 16, redLength = 8;
  int greenOffset = 8, greenLength = 8;
  int blueOffset = 0, blueLength = 8;
};

// `count` pixels of 0xRRGGBB as the format's little-endian bytes.
void PackPixels(const uint32_t* rgb, int count, const PixelFormat& format, uint8_t* out);

}  // namespace restore
}  // namespace kavi
