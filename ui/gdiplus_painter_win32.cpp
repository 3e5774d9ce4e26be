#include "ui/gdiplus_painter.h"

// clang-format off
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <optional>

#include "host/gdiplus_runtime.h"
#include "ui/gif_frames.h"
#include "ui/skin_resources.h"

namespace SkinUI {
namespace {

// Not in every SDK's headers.
const GUID kFrameDimensionTime = {
    0x6aedbd6d, 0x3fb5, 0x418a, {0x83, 0xa6, 0x7f, 0x45, 0x22, 0x9d, 0xc8, 0x72}};
constexpr PROPID kPropertyFrameDelay = 0x5100;

Gdiplus::Color ToColor(UiColor c) {
  return Gdiplus::Color(static_cast<BYTE>(c >> 24), static_cast<BYTE>(c >> 16),
                        static_cast<BYTE>(c >> 8), static_cast<BYTE>(c));
}

COLORREF ToColorRef(UiColor c) {
  return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

std::wstring CacheKey(const std::wstring& file) {
  std::wstring key = file;
  for (wchar_t& ch : key) {
    if (ch == L'\\') ch = L'/';
    if (ch >= L'A' && ch <= L'Z') ch = static_cast<wchar_t>(ch - L'A' + L'a');
  }
  return key;
}

IStream* StreamOver(const std::string& bytes) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (!memory) return nullptr;
  void* p = GlobalLock(memory);
  std::memcpy(p, bytes.data(), bytes.size());
  GlobalUnlock(memory);
  IStream* stream = nullptr;
  if (CreateStreamOnHGlobal(memory, TRUE, &stream) != S_OK) {
    GlobalFree(memory);
    return nullptr;
  }
  return stream;
}

std::vector<int> DecodedFrameDelays(Gdiplus::Bitmap& bitmap, int frames) {
  std::vector<int> delays(frames, 0);
  UINT size = bitmap.GetPropertyItemSize(kPropertyFrameDelay);
  if (size == 0) return delays;
  std::vector<unsigned char> buffer(size);
  auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(buffer.data());
  if (bitmap.GetPropertyItem(kPropertyFrameDelay, size, item) != Gdiplus::Ok) return delays;
  // One 32-bit count of hundredths of a second per frame.
  const auto* values = static_cast<const UINT32*>(item->value);
  int count = static_cast<int>(item->length / sizeof(UINT32));
  for (int i = 0; i < frames && i < count; ++i) delays[i] = static_cast<int>(values[i]) * 10;
  return delays;
}

// `resampled`: the picture is being scaled to the screen's DPI, where the
// bicubic filter keeps its edges sharper than the bilinear one.
void DrawPiece(Gdiplus::Graphics& g, Gdiplus::Bitmap& image, Gdiplus::ImageAttributes& attrs,
               bool resampled, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh) {
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
  bool exact = dw == sw && dh == sh;
  g.SetInterpolationMode(exact       ? Gdiplus::InterpolationModeNearestNeighbor
                         : resampled ? Gdiplus::InterpolationModeHighQualityBicubic
                                     : Gdiplus::InterpolationModeHighQualityBilinear);
  g.DrawImage(&image, Gdiplus::Rect(dx, dy, dw, dh), sx, sy, sw, sh, Gdiplus::UnitPixel, &attrs);
}

}  // namespace

bool StartGdiplus() {
  static bool started = [] {
    if (!kavi::LoadGdiplus()) return false;
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
  }();
  return started;
}

SkinImage::SkinImage() = default;

SkinImage::~SkinImage() {
  bitmap.reset();
  if (stream) stream->Release();
}

SkinImageCache& SkinImageCache::Process() {
  static SkinImageCache cache;
  return cache;
}

std::vector<int> SkinImageCache::FrameDelays(const std::wstring& file) {
  if (file.empty()) return {};
  const std::wstring key = CacheKey(file);
  auto decoded = images_.find(key);
  if (decoded != images_.end())
    return decoded->second ? decoded->second->delays : std::vector<int>();
  auto waiting = pending_.find(key);
  if (waiting != pending_.end()) return waiting->second.delays;
  std::string bytes;
  std::wstring error;
  if (SkinResources::Process().ReadMember(file, &bytes, &error)) {
    if (std::optional<std::vector<int>> delays = GifFrameDelays(bytes)) {
      // A still keeps one delay of 0, as Get gives it.
      if (delays->size() == 1) (*delays)[0] = 0;
      Pending& entry = pending_[key];
      entry.bytes = std::move(bytes);
      entry.delays = std::move(*delays);
      return entry.delays;
    }
  }
  SkinImage* image = Get(file);
  return image ? image->delays : std::vector<int>();
}

namespace {

// Touches nothing shared: the prefetch worker runs it too.
std::unique_ptr<SkinImage> Decode(const std::string& bytes) {
  IStream* stream = StreamOver(bytes);
  if (!stream) return nullptr;
  auto decoded = std::make_unique<Gdiplus::Bitmap>(stream, FALSE);
  if (decoded->GetLastStatus() != Gdiplus::Ok || decoded->GetWidth() == 0) {
    decoded.reset();
    stream->Release();
    return nullptr;
  }
  auto image = std::make_unique<SkinImage>();
  image->width = static_cast<int>(decoded->GetWidth());
  image->height = static_cast<int>(decoded->GetHeight());
  int frames = static_cast<int>(decoded->GetFrameCount(&kFrameDimensionTime));
  if (frames > 1) {
    // The blocks give every frame's delay, where some GDI+ (Wine's) gives
    // only the first one's.
    std::optional<std::vector<int>> scanned = GifFrameDelays(bytes);
    image->delays = scanned && static_cast<int>(scanned->size()) == frames
                        ? std::move(*scanned)
                        : DecodedFrameDelays(*decoded, frames);
    image->bitmap = std::move(decoded);
    image->stream = stream;
  } else {
    image->delays.assign(1, 0);
    auto still =
        std::make_unique<Gdiplus::Bitmap>(image->width, image->height, PixelFormat32bppPARGB);
    {
      Gdiplus::Graphics g(still.get());
      g.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
      g.DrawImage(decoded.get(), 0, 0, image->width, image->height);
    }
    decoded.reset();
    stream->Release();
    image->bitmap = std::move(still);
  }
  return image;
}

}  // namespace

// The prefetch worker's files and results; the UI thread reads the results
// once the worker has ended.
struct SkinImageCache::Batch {
  std::vector<std::wstring> files;
  std::vector<std::unique_ptr<SkinImage>> images;  // null: missing
  HANDLE thread = nullptr;

  static DWORD WINAPI Run(void* parameter) {
    auto* batch = static_cast<Batch*>(parameter);
    for (const std::wstring& file : batch->files) {
      std::string bytes;
      std::wstring error;
      batch->images.push_back(
          SkinResources::Process().ReadMember(file, &bytes, &error) ? Decode(bytes) : nullptr);
    }
    return 0;
  }
};

void SkinImageCache::Prefetch(const std::vector<std::wstring>& files) {
  if (batch_ || !StartGdiplus()) return;
  auto batch = std::make_unique<Batch>();
  for (const std::wstring& file : files) {
    const std::wstring key = CacheKey(file);
    bool known = images_.count(key) || pending_.count(key);
    for (const std::wstring& queued : batch->files) known = known || CacheKey(queued) == key;
    if (!file.empty() && !known) batch->files.push_back(file);
  }
  if (batch->files.empty()) return;
  batch->thread = CreateThread(nullptr, 0, &Batch::Run, batch.get(), 0, nullptr);
  if (batch->thread) batch_ = batch.release();
}

void SkinImageCache::TakeBatch() {
  std::unique_ptr<Batch> batch(batch_);
  batch_ = nullptr;
  WaitForSingleObject(batch->thread, INFINITE);
  CloseHandle(batch->thread);
  for (std::size_t i = 0; i < batch->files.size() && i < batch->images.size(); ++i) {
    if (batch->images[i]) ++decodes_;
    images_[CacheKey(batch->files[i])] = std::move(batch->images[i]);
  }
}

void SkinImageCache::Clear() {
  if (batch_) TakeBatch();
  images_.clear();
  pending_.clear();
}

SkinImage* SkinImageCache::Get(const std::wstring& file) {
  if (file.empty()) return nullptr;
  std::wstring key = CacheKey(file);
  if (batch_) {
    for (const std::wstring& queued : batch_->files) {
      if (CacheKey(queued) == key) {
        TakeBatch();
        break;
      }
    }
  }
  auto it = images_.find(key);
  if (it != images_.end()) return it->second.get();
  std::unique_ptr<SkinImage>& slot = images_[key];  // null: missing
  std::string bytes;
  auto waiting = pending_.find(key);
  if (waiting != pending_.end()) {
    bytes = std::move(waiting->second.bytes);
    pending_.erase(waiting);
  }
  if (!StartGdiplus()) return nullptr;
  std::wstring error;
  if (bytes.empty() && !SkinResources::Process().ReadMember(file, &bytes, &error)) return nullptr;
  ++decodes_;
  slot = Decode(bytes);
  return slot.get();
}

FontCache::~FontCache() {
  Clear();
}

void FontCache::Clear() {
  for (auto& entry : fonts_) DeleteObject(entry.second);
  fonts_.clear();
}

void FontCache::SetScale(const DpiScale& scale) {
  if (scale.dpi == scale_.dpi) return;
  Clear();
  scale_ = scale;
}

HFONT FontCache::Get(int index, bool underline) {
  const FontSpec* spec = manager_.GetFont(index);
  if (!spec) index = -1;
  auto key = std::make_pair(index, underline);
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return it->second;
  FontSpec font = spec ? *spec : manager_.GetDefaultFont();
  if (font.name.empty()) font.name = L"微软雅黑";
  LOGFONTW lf = {};
  lf.lfHeight = -scale_.ToPixelLength(font.size > 0 ? font.size : 12);
  lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = font.italic;
  lf.lfUnderline = font.underline || underline;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = CLEARTYPE_QUALITY;
  lstrcpynW(lf.lfFaceName, font.name.c_str(), LF_FACESIZE);
  HFONT handle = CreateFontIndirectW(&lf);
  if (!handle) handle = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  fonts_[key] = handle;
  return handle;
}

GdiplusPainter::GdiplusPainter(HDC dc, FontCache& fonts, const DpiScale& scale)
    : dc_(dc), fonts_(fonts), scale_(scale) {
  StartGdiplus();
  SetBkMode(dc_, TRANSPARENT);
}

GdiplusPainter::~GdiplusPainter() {
  while (clipDepth_ > 0) PopClip();
}

void GdiplusPainter::FillRect(const UiRect& rect, UiColor color) {
  FillPixels(scale_.ToPixels(rect), color);
}

void GdiplusPainter::FillPixels(const UiRect& rect, UiColor color) {
  if ((color >> 24) == 0 || rect.IsEmpty()) return;  // no alpha: nothing to draw
  if ((color >> 24) == 0xFF) {
    RECT rc = {rect.left, rect.top, rect.right, rect.bottom};
    SetBkColor(dc_, ToColorRef(color));
    ExtTextOutW(dc_, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
    return;
  }
  Gdiplus::Graphics g(dc_);
  Gdiplus::SolidBrush brush(ToColor(color));
  g.FillRectangle(&brush, rect.left, rect.top, rect.Width(), rect.Height());
}

void GdiplusPainter::DrawBorder(const UiRect& logical, int logicalWidth, UiColor color) {
  if (logicalWidth <= 0 || logical.IsEmpty()) return;
  if ((color >> 24) == 0) color |= 0xFF000000u;
  // One width on all four sides, whatever the rounding of the edges.
  UiRect rect = scale_.ToPixels(logical);
  int width = scale_.ToPixelLength(logicalWidth);
  FillPixels({rect.left, rect.top, rect.right, rect.top + width}, color);
  FillPixels({rect.left, rect.bottom - width, rect.right, rect.bottom}, color);
  FillPixels({rect.left, rect.top + width, rect.left + width, rect.bottom - width}, color);
  FillPixels({rect.right - width, rect.top + width, rect.right, rect.bottom - width}, color);
}

bool GdiplusPainter::DrawImage(const ImageDraw& draw) {
  SkinImage* image = SkinImageCache::Process().Get(draw.spec.file);
  if (!image) return false;
  Gdiplus::Bitmap& bitmap = *image->bitmap;
  int frames = static_cast<int>(image->delays.size());
  if (frames > 1) {
    int frame = draw.frame % frames;
    if (frame < 0) frame += frames;
    if (frame != image->activeFrame) {
      bitmap.SelectActiveFrame(&kFrameDimensionTime, static_cast<UINT>(frame));
      image->activeFrame = frame;
    }
  }
  // The source rectangle, "0,0,0,0" meaning the whole picture, kept inside it.
  UiRect src = draw.spec.source;
  if (src.IsEmpty()) src = {0, 0, image->width, image->height};
  src = src.Intersect({0, 0, image->width, image->height});
  const UiRect& target = draw.target;
  if (src.IsEmpty() || target.IsEmpty()) return false;
  const UiRect dst = scale_.ToPixels(target);
  const bool resampled = !scale_.IsIdentity();

  Gdiplus::Graphics g(dc_);
  g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  Gdiplus::ImageAttributes attrs;
  // Stretching samples beyond the edge of the piece otherwise.
  attrs.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
  if (draw.spec.hasMask) {
    Gdiplus::Color key = ToColor(draw.spec.mask | 0xFF000000u);
    attrs.SetColorKey(key, key);
  }
  if (draw.spec.fade < 255) {
    Gdiplus::ColorMatrix m = {{{1, 0, 0, 0, 0},
                               {0, 1, 0, 0, 0},
                               {0, 0, 1, 0, 0},
                               {0, 0, 0, draw.spec.fade / 255.0f, 0},
                               {0, 0, 0, 0, 1}}};
    attrs.SetColorMatrix(&m);
  }
  const UiRect& c = draw.spec.corner;
  if (c.left == 0 && c.top == 0 && c.right == 0 && c.bottom == 0) {
    DrawPiece(g, bitmap, attrs, resampled, dst.left, dst.top, dst.Width(), dst.Height(), src.left,
              src.top, src.Width(), src.Height());
    return true;
  }
  // Nine-grid: corners keep their size in the skin's units (scaled only by
  // the DPI), edges stretch one way, the middle both.
  int cl = std::min(c.left, std::min(src.Width(), target.Width()));
  int cr = std::min(c.right, std::min(src.Width() - cl, target.Width() - cl));
  int ct = std::min(c.top, std::min(src.Height(), target.Height()));
  int cb = std::min(c.bottom, std::min(src.Height() - ct, target.Height() - ct));
  const int sx[4] = {src.left, src.left + cl, src.right - cr, src.right};
  const int sy[4] = {src.top, src.top + ct, src.bottom - cb, src.bottom};
  // Rounded corner widths may meet in the middle; the middle piece is then empty.
  const int dl = dst.left + scale_.ToPixels(cl), dt = dst.top + scale_.ToPixels(ct);
  const int dx[4] = {dst.left, dl, std::max(dl, dst.right - scale_.ToPixels(cr)), dst.right};
  const int dy[4] = {dst.top, dt, std::max(dt, dst.bottom - scale_.ToPixels(cb)), dst.bottom};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      DrawPiece(g, bitmap, attrs, resampled, dx[col], dy[row], dx[col + 1] - dx[col],
                dy[row + 1] - dy[row], sx[col], sy[row], sx[col + 1] - sx[col],
                sy[row + 1] - sy[row]);
    }
  }
  return true;
}

void GdiplusPainter::DrawText(const UiRect& logical, const std::vector<TextRun>& runs,
                              const TextStyle& style) {
  if (runs.empty() || logical.IsEmpty()) return;
  const UiRect rect = scale_.ToPixels(logical);
  SetTextColor(dc_, ToColorRef(style.color));
  if (runs.size() > 1 || runs[0].underline) {
    DrawRuns(rect, runs, style);
    return;
  }
  const TextRun& run = runs[0];
  HGDIOBJ old = SelectObject(dc_, fonts_.Get(run.font, false));
  UINT flags = DT_NOPREFIX;
  flags |= style.align == TextAlign::kCenter  ? DT_CENTER
           : style.align == TextAlign::kRight ? DT_RIGHT
                                              : DT_LEFT;
  if (style.endEllipsis) flags |= DT_END_ELLIPSIS;
  RECT rc = {rect.left, rect.top, rect.right, rect.bottom};
  if (style.singleLine) {
    flags |= DT_SINGLELINE;
    flags |= style.valign == TextVAlign::kCenter   ? DT_VCENTER
             : style.valign == TextVAlign::kBottom ? DT_BOTTOM
                                                   : DT_TOP;
  } else {
    flags |= DT_WORDBREAK | DT_EDITCONTROL;
    RECT measure = rc;
    ::DrawTextW(dc_, run.text.c_str(), static_cast<int>(run.text.size()), &measure,
                flags | DT_CALCRECT);
    int height = measure.bottom - measure.top;
    if (height < rect.Height()) {
      if (style.valign == TextVAlign::kCenter) rc.top += (rect.Height() - height) / 2;
      if (style.valign == TextVAlign::kBottom) rc.top = rc.bottom - height;
    }
  }
  ::DrawTextW(dc_, run.text.c_str(), static_cast<int>(run.text.size()), &rc, flags);
  SelectObject(dc_, old);
}

// Several runs on one line: measured in their own fonts, placed by the
// alignment and sharing one baseline; the run that crosses the right edge
// ends with an ellipsis when asked for.
void GdiplusPainter::DrawRuns(const UiRect& rect, const std::vector<TextRun>& runs,
                              const TextStyle& style) {
  struct Piece {
    HFONT font;
    int width;
    int ascent;
    int height;
  };
  std::vector<Piece> pieces;
  int total = 0, ascent = 0, descent = 0;
  HGDIOBJ old = SelectObject(dc_, fonts_.Get(runs[0].font, runs[0].underline));
  for (const TextRun& run : runs) {
    HFONT font = fonts_.Get(run.font, run.underline);
    SelectObject(dc_, font);
    TEXTMETRICW tm;
    GetTextMetricsW(dc_, &tm);
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc_, run.text.c_str(), static_cast<int>(run.text.size()), &size);
    pieces.push_back({font, static_cast<int>(size.cx), static_cast<int>(tm.tmAscent),
                      static_cast<int>(tm.tmHeight)});
    total += size.cx;
    ascent = std::max(ascent, static_cast<int>(tm.tmAscent));
    descent = std::max(descent, static_cast<int>(tm.tmHeight - tm.tmAscent));
  }
  int lineHeight = ascent + descent;
  int x = rect.left;
  if (total < rect.Width()) {
    if (style.align == TextAlign::kCenter) x += (rect.Width() - total) / 2;
    if (style.align == TextAlign::kRight) x = rect.right - total;
  }
  int top = style.valign == TextVAlign::kTop      ? rect.top
            : style.valign == TextVAlign::kBottom ? rect.bottom - lineHeight
                                                  : rect.top + (rect.Height() - lineHeight) / 2;
  int baseline = top + ascent;
  for (std::size_t i = 0; i < runs.size() && x < rect.right; ++i) {
    const Piece& p = pieces[i];
    SelectObject(dc_, p.font);
    RECT rc = {x, baseline - p.ascent, rect.right, baseline - p.ascent + p.height};
    UINT flags = DT_NOPREFIX | DT_SINGLELINE | DT_TOP | DT_LEFT;
    if (style.endEllipsis && x + p.width > rect.right) flags |= DT_END_ELLIPSIS;
    ::DrawTextW(dc_, runs[i].text.c_str(), static_cast<int>(runs[i].text.size()), &rc, flags);
    x += p.width;
  }
  SelectObject(dc_, old);
}

void GdiplusPainter::PushClip(const UiRect& logical) {
  SaveDC(dc_);
  ++clipDepth_;
  const UiRect rect = scale_.ToPixels(logical);
  IntersectClipRect(dc_, rect.left, rect.top, rect.right, rect.bottom);
}

void GdiplusPainter::PopClip() {
  if (clipDepth_ == 0) return;
  --clipDepth_;
  RestoreDC(dc_, -1);
}

}  // namespace SkinUI
