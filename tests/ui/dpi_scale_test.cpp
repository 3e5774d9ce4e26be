#include "ui/dpi_scale.h"

#include <gtest/gtest.h>

namespace SkinUI {
namespace {

TEST(DpiScale, WindowSizesAndEveryPixelInItsOwnUnit) {
  EXPECT_EQ(1350, DpiScale{144}.ToPixels(900));
  EXPECT_EQ(956, DpiScale{144}.ToPixels(637));  // 955.5 rounds up
  EXPECT_EQ(637, DpiScale{144}.ToLogical(956));
  EXPECT_EQ(796, DpiScale{120}.ToPixels(637));
  // Unit x covers the pixels [ToPixels(x), ToPixels(x + 1)), for points left
  // of the window (a captured mouse) too; at 96 both are the same.
  for (int dpi : {96, 120, 144, 192}) {
    DpiScale scale{dpi};
    for (int x = -40; x < 1000; ++x) {
      for (int p = scale.ToPixels(x); p < scale.ToPixels(x + 1); ++p)
        ASSERT_EQ(x, scale.ToLogical(p)) << dpi << " dpi, pixel " << p;
    }
  }
  // The units that cover a dirty rectangle of pixels paint all of it.
  DpiScale scale{144};
  UiRect dirty = {301, 2, 303, 958};
  UiRect cover = scale.CoverInLogical(dirty);
  EXPECT_EQ((UiRect{200, 1, 202, 639}), cover);
  EXPECT_EQ(cover, scale.CoverInLogical(scale.ToPixels(cover)));
}

}  // namespace
}  // namespace SkinUI
