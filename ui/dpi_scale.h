// DpiScale: the conversion between the skin's units (pixels at 96 DPI,
// "logical": layout, hit testing and the control tree stay in them) and a
// window's pixels at the system's DPI. Edges are scaled, not widths, so
// controls that touch in the skin still touch on the screen; every pixel
// belongs to exactly one logical unit, and at 96 DPI both are the same.
#pragma once

#include "ui/ui_types.h"

namespace SkinUI {

struct DpiScale {
  int dpi = 96;

  bool IsIdentity() const { return dpi == 96; }

  // The pixel edge of logical edge `x`, rounded half up (637 at 144 DPI:
  // 955.5 -> 956).
  int ToPixels(int x) const { return FloorDiv(x * dpi + 48, 96); }
  // The logical unit that pixel `p` lies in: the largest x whose pixel edge
  // is at or before p. A size of p pixels holds ToLogical(p) whole units.
  int ToLogical(int p) const { return FloorDiv(p * 96 + 47, dpi); }
  // A length that is not an edge (a border, a shadow): at least one pixel
  // when the logical length is.
  int ToPixelLength(int length) const {
    int pixels = ToPixels(length);
    return length > 0 && pixels < 1 ? 1 : pixels;
  }

  UiRect ToPixels(const UiRect& r) const {
    return {ToPixels(r.left), ToPixels(r.top), ToPixels(r.right), ToPixels(r.bottom)};
  }
  UiPoint ToLogical(UiPoint p) const { return {ToLogical(p.x), ToLogical(p.y)}; }
  // The smallest logical rectangle whose pixels cover `pixels`.
  UiRect CoverInLogical(const UiRect& pixels) const {
    if (pixels.IsEmpty()) return {};
    return {ToLogical(pixels.left), ToLogical(pixels.top), ToLogical(pixels.right - 1) + 1,
            ToLogical(pixels.bottom - 1) + 1};
  }

 private:
  // Rounds toward minus infinity (mouse points left of the window are
  // negative while the mouse is captured).
  static int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
};

}  // namespace SkinUI
