// The Windows painter: IPainter over a device context, images decoded with
// GDI+ from the skin's members (PNG, GIF, BMP), text with GDI in the
// window's fonts (ClearType). It takes logical coordinates (the skin's
// 96-DPI units) and draws at the window's DPI: rectangles scaled edge by
// edge, fonts made at the scaled pixel height, pictures resampled from the
// skin's own with GDI+'s high-quality filter. Win32 only.
#pragma once

#include <windows.h>
// after windows.h
#include <objidl.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/dpi_scale.h"
#include "ui/paint_manager.h"
#include "ui/painter.h"

namespace Gdiplus {
class Bitmap;
}

namespace SkinUI {

// Loads and starts GDI+ once for the process (it stays up until the process
// ends). False when the system lacks GDI+ (host/gdiplus_runtime.h).
bool StartGdiplus();

// A decoded skin picture. Stills are kept premultiplied for fast drawing;
// animations keep their frames.
struct SkinImage {
  SkinImage();
  ~SkinImage();
  SkinImage(const SkinImage&) = delete;
  SkinImage& operator=(const SkinImage&) = delete;

  std::unique_ptr<Gdiplus::Bitmap> bitmap;
  IStream* stream = nullptr;  // backs an animation's frames
  int width = 0;
  int height = 0;
  std::vector<int> delays;  // per frame, milliseconds as stored (0 stays 0)
  int activeFrame = 0;
};

// Decoded pictures by member name (ASCII case ignored, like the archive),
// read through SkinResources::Process(). A picture is decoded when first
// drawn; missing members are remembered as missing. UI thread only.
class SkinImageCache {
 public:
  static SkinImageCache& Process();
  // Null when the member is missing or not a picture.
  SkinImage* Get(const std::wstring& file);
  // What Get(file)->delays holds (empty for no picture). A GIF's delays come
  // from its blocks; its bytes wait, inflated once, for Get.
  std::vector<int> FrameDelays(const std::wstring& file);
  // Decodes `files` on a worker while the UI thread goes on; Get waits for
  // it when it asks for one of them.
  void Prefetch(const std::vector<std::wstring>& files);
  // How many pictures were decoded so far.
  std::size_t DecodeCount() const { return decodes_; }
  void Clear();

 private:
  struct Pending {
    std::string bytes;
    std::vector<int> delays;
  };
  struct Batch;
  void TakeBatch();

  std::map<std::wstring, std::unique_ptr<SkinImage>> images_;
  std::map<std::wstring, Pending> pending_;  // read, not decoded yet
  Batch* batch_ = nullptr;                   // being decoded by the worker
  std::size_t decodes_ = 0;
};

// The GDI fonts of one window's font list, made on first use at the
// window's DPI (a skin size of 12 is 18 pixels high at 144 DPI).
class FontCache {
 public:
  explicit FontCache(const CPaintManagerUI& manager) : manager_(manager) {}
  ~FontCache();
  FontCache(const FontCache&) = delete;
  FontCache& operator=(const FontCache&) = delete;
  // Font `index` of the list (-1 or out of range: the default font).
  HFONT Get(int index, bool underline);
  void Clear();
  // Fonts made from now on are scaled by `scale`.
  void SetScale(const DpiScale& scale);

 private:
  const CPaintManagerUI& manager_;
  DpiScale scale_;
  std::map<std::pair<int, bool>, HFONT> fonts_;
};

class GdiplusPainter : public IPainter {
 public:
  GdiplusPainter(HDC dc, FontCache& fonts, const DpiScale& scale = DpiScale());
  ~GdiplusPainter() override;

  void FillRect(const UiRect& rect, UiColor color) override;
  void DrawBorder(const UiRect& rect, int width, UiColor color) override;
  bool DrawImage(const ImageDraw& image) override;
  void DrawText(const UiRect& rect, const std::vector<TextRun>& runs,
                const TextStyle& style) override;
  void PushClip(const UiRect& rect) override;
  void PopClip() override;

 private:
  // These take pixels.
  void FillPixels(const UiRect& rect, UiColor color);
  void DrawRuns(const UiRect& rect, const std::vector<TextRun>& runs, const TextStyle& style);

  HDC dc_;
  FontCache& fonts_;
  DpiScale scale_;
  int clipDepth_ = 0;
};

}  // namespace SkinUI
