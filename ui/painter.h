// The drawing seam. Controls paint themselves through IPainter with absolute
// client coordinates; the Windows side implements it with GDI+ (loading
// images from the skin archive), the tests with a recording painter.
#pragma once

#include <string>
#include <vector>

#include "ui/skin_values.h"
#include "ui/ui_types.h"

namespace SkinUI {

enum class TextAlign { kLeft, kCenter, kRight };
enum class TextVAlign { kTop, kCenter, kBottom };

// One piece of text in one font. Plain text is one run in the control's
// font; text with inline mark-up may have several.
struct TextRun {
  std::wstring text;
  int font = -1;  // index into the window's font list; -1 = default font
  bool underline = false;
  bool operator==(const TextRun& o) const {
    return text == o.text && font == o.font && underline == o.underline;
  }
};

struct TextStyle {
  int font = -1;
  UiColor color = 0xFF000000;
  TextAlign align = TextAlign::kCenter;
  TextVAlign valign = TextVAlign::kCenter;
  bool endEllipsis = false;
  bool singleLine = true;
};

// An image to draw: the image attribute as written, with the target already resolved
// to client coordinates (see ImageDestRect). `frame` selects a frame of an
// animated image.
struct ImageDraw {
  ImageSpec spec;
  UiRect target;
  int frame = 0;
};

class IPainter {
 public:
  virtual ~IPainter() = default;
  virtual void FillRect(const UiRect& rect, UiColor color) = 0;
  virtual void DrawBorder(const UiRect& rect, int width, UiColor color) = 0;
  // Draws nothing and answers false when the member is missing or not an
  // image; that is not an error.
  virtual bool DrawImage(const ImageDraw& image) = 0;
  virtual void DrawText(const UiRect& rect, const std::vector<TextRun>& runs,
                        const TextStyle& style) = 0;
  // Clipping nests: every push is matched by a pop.
  virtual void PushClip(const UiRect& rect) = 0;
  virtual void PopClip() = 0;
};

// Splits text with inline mark-up into runs: "<f n>" ... "</f>" switches to
// font n, "<u>" ... "</u>" underlines; tags nest. Anything else, unknown
// tags included, is literal text.
std::vector<TextRun> ParseInlineText(const std::wstring& text, int baseFont);

}  // namespace SkinUI
