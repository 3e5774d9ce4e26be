// The shipped skin's pictures under the image cache: the first paint's are
// decoded ahead on a worker, once each; animations know their timing before
// anything draws them, and the decode keeps it.
#include <gtest/gtest.h>

#include "ui/gdiplus_painter.h"
#include "ui/gif_frames.h"
#include "ui/skin_resources.h"

namespace kavi {
namespace {

TEST(SkinImages, AnimationTimingComesFromTheBlocksBeforeAndAfterTheDecode) {
  SkinUI::SkinResources::Process().UseFolder(KAVI_SKIN_DIR);
  SkinUI::SkinImageCache cache;
  // The download page's animation (24 frames of 5/100 s) and the
  // verification page's (20 frames without a delay).
  const struct {
    const wchar_t* file;
    std::vector<int> delays;
  } animations[] = {{L"downloading.GIF", std::vector<int>(24, 50)},
                    {L"499.GIF", std::vector<int>(20, 0)}};
  for (const auto& a : animations) {
    const std::size_t decodes = cache.DecodeCount();
    EXPECT_EQ(a.delays, cache.FrameDelays(a.file)) << a.file;
    EXPECT_EQ(decodes, cache.DecodeCount()) << "timing alone decodes nothing";
    SkinUI::SkinImage* decoded = cache.Get(a.file);
    ASSERT_NE(nullptr, decoded) << a.file;
    EXPECT_EQ(a.delays, decoded->delays) << a.file;
    EXPECT_EQ(decodes + 1, cache.DecodeCount());
  }
  // A GIF cut short is left to the decoder; a still has one frame.
  std::string bytes;
  std::wstring error;
  ASSERT_TRUE(SkinUI::SkinResources::Process().ReadMember(L"499.gif", &bytes, &error));
  EXPECT_FALSE(SkinUI::GifFrameDelays(bytes.substr(0, bytes.size() - 1)));
  EXPECT_EQ(std::vector<int>{0}, cache.FrameDelays(L"ico.png"));
}

TEST(SkinImages, PrefetchedPicturesAreDecodedOnceAndHandedOver) {
  SkinUI::SkinResources::Process().UseFolder(KAVI_SKIN_DIR);
  SkinUI::SkinImageCache cache;
  cache.Prefetch({L"ico.png", L"scanbtn.png", L"ICO.png", L"nothere.png"});
  SkinUI::SkinImage* icon = cache.Get(L"ico.png");
  ASSERT_NE(nullptr, icon);
  EXPECT_EQ(20, icon->width);
  EXPECT_EQ(2u, cache.DecodeCount()) << "both pictures, each once";
  EXPECT_NE(nullptr, cache.Get(L"scanbtn.png"));
  EXPECT_EQ(nullptr, cache.Get(L"nothere.png"));
  EXPECT_EQ(2u, cache.DecodeCount()) << "nothing decoded again";
}

}  // namespace
}  // namespace kavi
