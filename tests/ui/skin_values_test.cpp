#include "ui/skin_values.h"

#include <gtest/gtest.h>

#include "ui/painter.h"

namespace SkinUI {
namespace {

TEST(SkinValues, ColoursWithOrWithoutHash) {
  EXPECT_EQ(0x003C6AA2u, ParseColor(L"003C6AA2"));
  EXPECT_EQ(0x003C6AA2u, ParseColor(L"#003C6AA2"));
  EXPECT_EQ(0xFFEFF5F8u, ParseColor(L"#ffeff5f8"));
  EXPECT_EQ(0x333333u, ParseColor(L"#333333"));
  EXPECT_EQ(0u, ParseColor(L"nonsense"));
  EXPECT_EQ(0u, ParseColor(nullptr));
}

TEST(SkinValues, BooleansIntegersRectanglesSizes) {
  EXPECT_TRUE(ParseBool(L"true"));
  EXPECT_FALSE(ParseBool(L"TRUE"));
  EXPECT_FALSE(ParseBool(L"1"));
  EXPECT_EQ(-12, ParseInt(L"-12px"));
  EXPECT_EQ(0, ParseInt(L"x"));
  // Sizes are clamped so that sums of a few never overflow.
  EXPECT_EQ(1000000, ParseInt(L"99999999999999"));
  EXPECT_EQ(-1000000, ParseInt(L"-2147483648"));
  EXPECT_EQ((UiRect{50, 11, 0, 0}), ParseRect(L"50,11"));
  EXPECT_EQ((UiRect{1, 2, 3, 4}), ParseRect(L" 1, 2 ,3,4,5"));
  EXPECT_EQ((UiSize{900, 637}), ParseSize(L"900,637"));
}

TEST(SkinValues, ImageAttributeForms) {
  ImageSpec bare = ParseImageSpec(L"xt.png");
  EXPECT_EQ(L"xt.png", bare.file);
  EXPECT_FALSE(bare.hasDest);

  ImageSpec full = ParseImageSpec(
      L"file='switch.png' source='129,0,172,23' dest='26,16,62,52' corner='2,3,4,5' "
      L"mask='#FFFF00FF'");
  EXPECT_EQ(L"switch.png", full.file);
  EXPECT_EQ((UiRect{129, 0, 172, 23}), full.source);
  EXPECT_EQ((UiRect{26, 16, 62, 52}), full.dest);
  EXPECT_TRUE(full.hasDest);
  EXPECT_EQ((UiRect{2, 3, 4, 5}), full.corner);
  EXPECT_TRUE(full.hasMask);
  EXPECT_EQ(0xFFFF00FFu, full.mask);

  // Blanks before keys and around "=" are skipped; the list ends at the
  // first item not followed by a blank.
  ImageSpec spaced = ParseImageSpec(L"  file = 'a.png' source='1,2,3,4'");
  EXPECT_EQ(L"a.png", spaced.file);
  EXPECT_EQ((UiRect{1, 2, 3, 4}), spaced.source);
  ImageSpec stops = ParseImageSpec(L"file='a.png'source='1,2,3,4'");
  EXPECT_EQ(L"a.png", stops.file);
  EXPECT_EQ((UiRect{}), stops.source);
  ImageSpec chinese = ParseImageSpec(L"file='备份资料按钮.png'");
  EXPECT_EQ(L"备份资料按钮.png", chinese.file);
}

TEST(SkinValues, DestIsRelativeAndClippedToTheControl) {
  UiRect control{100, 200, 180, 280};  // the 80 x 80 tile
  ImageSpec icon = ParseImageSpec(L"file='data.png' dest='26,16,62,52' source='0,0,0,0'");
  EXPECT_EQ((UiRect{126, 216, 162, 252}), ImageDestRect(icon, control));
  ImageSpec big = ParseImageSpec(L"file='x.png' dest='10,10,500,500'");
  EXPECT_EQ((UiRect{110, 210, 180, 280}), ImageDestRect(big, control));
  EXPECT_EQ(control, ImageDestRect(ParseImageSpec(L"x.png"), control));
}

TEST(SkinValues, AttributeListsStopAtTheFirstMalformedPair) {
  bool complete = false;
  auto pairs = ParseAttributeList(
      L"bkimage=\"file='data.png' dest='26,16,62,52'\" text=\"资料备份\"", &complete);
  ASSERT_EQ(2u, pairs.size());
  EXPECT_TRUE(complete);
  EXPECT_EQ(L"file='data.png' dest='26,16,62,52'", pairs[0].second);
  EXPECT_EQ(L"text", pairs[1].first);

  pairs = ParseAttributeList(L"a=\"1\" b=2 c=\"3\"", &complete);
  ASSERT_EQ(1u, pairs.size());
  EXPECT_FALSE(complete);
  pairs = ParseAttributeList(L"a=\"1\"  b=\"2\"", &complete);  // two blanks
  EXPECT_EQ(1u, pairs.size());
  pairs = ParseAttributeList(L"a=\"1\"b=\"2\"", &complete);
  EXPECT_EQ(1u, pairs.size());
  pairs = ParseAttributeList(L"a=\"unterminated", &complete);
  EXPECT_TRUE(pairs.empty());
  EXPECT_FALSE(complete);
}

TEST(InlineText, FontAndUnderlineTags) {
  auto runs = ParseInlineText(L"保存到: <f 1><u>D:\\DURozazo\\a.gho</u></f> 完", 0);
  ASSERT_EQ(3u, runs.size());
  EXPECT_EQ((TextRun{L"保存到: ", 0, false}), runs[0]);
  EXPECT_EQ((TextRun{L"D:\\DURozazo\\a.gho", 1, true}), runs[1]);
  EXPECT_EQ((TextRun{L" 完", 0, false}), runs[2]);
}

TEST(InlineText, UnknownTagsAndStrayClosersAreHarmless) {
  auto runs = ParseInlineText(L"a<b>c</f></u><f x>d<", 2);
  ASSERT_EQ(2u, runs.size());
  EXPECT_EQ(L"a<b>c", runs[0].text);
  EXPECT_EQ(L"<f x>d<", runs[1].text);
  EXPECT_EQ(2, runs[1].font);
  EXPECT_FALSE(runs[1].underline);
  EXPECT_TRUE(ParseInlineText(L"", 0).empty());
}

}  // namespace
}  // namespace SkinUI
