// Plain geometry and colour values shared by the toolkit's controls, the
// layout code and the painter seam.
#pragma once

#include <cstdint>

namespace SkinUI {

// A colour as 32-bit AARRGGBB.
using UiColor = std::uint32_t;

struct UiPoint {
  int x = 0;
  int y = 0;
};

struct UiSize {
  int cx = 0;
  int cy = 0;
  bool operator==(const UiSize& o) const { return cx == o.cx && cy == o.cy; }
};

// A rectangle with exclusive right and bottom edges.
struct UiRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(UiPoint p) const {
    return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
  }
  bool Intersects(const UiRect& o) const {
    return !IsEmpty() && !o.IsEmpty() && left < o.right && o.left < right && top < o.bottom &&
           o.top < bottom;
  }
  // The overlap of both rectangles; empty (all zero) when they do not meet.
  UiRect Intersect(const UiRect& o) const {
    UiRect r{left > o.left ? left : o.left, top > o.top ? top : o.top,
             right < o.right ? right : o.right, bottom < o.bottom ? bottom : o.bottom};
    return r.IsEmpty() ? UiRect{} : r;
  }
  UiRect Offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  // Shrinks by the four margins of `m`.
  UiRect Deflate(const UiRect& m) const {
    return {left + m.left, top + m.top, right - m.right, bottom - m.bottom};
  }
  bool operator==(const UiRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
  bool operator!=(const UiRect& o) const { return !(*this == o); }
};

}  // namespace SkinUI
