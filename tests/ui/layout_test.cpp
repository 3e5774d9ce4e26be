// Positions of the skins' controls after layout.
#include <gtest/gtest.h>

#include "tests/ui/skin_fixture.h"

namespace SkinUI {
namespace {

using testing::RecordingPainter;
using testing::SkinFixture;

UiRect Pos(CControlUI* c) {
  return c ? c->GetPos() : UiRect{-1, -1, -1, -1};
}

TEST_F(SkinFixture, MainWindowBands) {
  CControlUI* root = BuildWindow(L"skin.xml");
  ASSERT_NE(nullptr, root);
  EXPECT_EQ((UiRect{0, 0, 900, 637}), root->GetPos());
  EXPECT_EQ((UiRect{11, 0, 246, 34}), Pos(Find(L"labcaption")));
  EXPECT_EQ((UiRect{770, 0, 810, 34}), Pos(Find(L"btnfeedback")));
  EXPECT_EQ((UiRect{810, 0, 850, 34}), Pos(Find(L"btnmin")));
  EXPECT_EQ((UiRect{850, 0, 900, 34}), Pos(Find(L"btnclose")));
  EXPECT_EQ((UiRect{0, 34, 580, 601}), Pos(Find(L"tabmain")));
  EXPECT_EQ((UiRect{0, 601, 222, 637}), Pos(Find(L"btnmain")));
  EXPECT_EQ((UiRect{222, 601, 333, 637}), Pos(Find(L"btnbacksys")));
  EXPECT_EQ((UiRect{333, 601, 444, 637}), Pos(Find(L"btnrecosys")));
  EXPECT_EQ((UiRect{604, 58, 854, 88}), Pos(Find(L"labcursystem")));
  EXPECT_EQ(320, Pos(Find(L"tilesoft")).Width());
  EXPECT_EQ(80, Pos(Find(L"tilesoft")).Height());
}

TEST_F(SkinFixture, StartPageShowsTheInstallButtonAt190By140) {
  ASSERT_NE(nullptr, BuildWindow(L"skin.xml"));
  auto* tab = FindAs<CTabLayoutUI>(L"tabmain");
  ASSERT_EQ(4, tab->GetCount());
  EXPECT_EQ(0, tab->GetCurSel());
  for (int i = 0; i < 4; ++i) EXPECT_EQ(i == 0, tab->GetItemAt(i)->IsVisible()) << i;
  CControlUI* install = Find(L"btninstall");
  UiRect page = tab->GetItemAt(0)->GetPos();
  EXPECT_EQ((UiRect{190, 140, 382, 332}), install->GetPos().Offset(-page.left, -page.top));

  RecordingPainter painter;
  manager_.Paint(painter, {0, 0, 900, 637});
  const ImageDraw* scan = painter.FindImage(L"scanbtn.png");
  ASSERT_NE(nullptr, scan);
  EXPECT_EQ((UiRect{0, 0, 192, 192}), scan->spec.source);
  EXPECT_EQ(install->GetPos(), scan->target);
  EXPECT_EQ(nullptr, painter.FindText(L"选择然后下一步"));  // page 1 is hidden
  EXPECT_EQ(0, painter.clipDepth);
}

TEST_F(SkinFixture, SelectPageShowsExactlyOnePage) {
  ASSERT_NE(nullptr, BuildWindow(L"skin.xml"));
  auto* tab = FindAs<CTabLayoutUI>(L"tabmain");
  EXPECT_TRUE(tab->SelectPage(2));
  EXPECT_FALSE(tab->SelectPage(4));
  EXPECT_EQ(2, tab->GetCurSel());
  manager_.UpdateLayout();
  EXPECT_FALSE(Find(L"btninstall")->IsVisibleInTree());
  EXPECT_TRUE(Find(L"gifprocess")->IsVisibleInTree());
  // labdownpro floats over the animation's centre.
  UiRect gif = Pos(Find(L"gifprocess"));
  UiRect pro = Pos(Find(L"labdownpro"));
  EXPECT_EQ(70, pro.Width());
  EXPECT_EQ(60, pro.Height());
  EXPECT_EQ((gif.left + gif.right) / 2, (pro.left + pro.right) / 2);
  EXPECT_EQ((gif.top + gif.bottom) / 2, (pro.top + pro.bottom) / 2);
  EXPECT_EQ(340, Pos(Find(L"btnfilename")).Width());
  EXPECT_EQ(30, Pos(Find(L"btnfilename")).Height());
}

TEST_F(SkinFixture, RowTemplateLayout) {
  CControlUI* row = BuildTemplate(L"item1.xml");
  ASSERT_NE(nullptr, row);
  row->SetFixedHeight(70);
  row->SetPos({0, 0, 578, 70});
  EXPECT_EQ((UiRect{0, 0, 580, 70}), Pos(row->FindSubControl(L"hortooltip")));
  EXPECT_EQ((UiRect{50, 11, 98, 59}), Pos(row->FindSubControl(L"labpic")));
  EXPECT_EQ((UiRect{138, 15, 488, 37}), Pos(row->FindSubControl(L"labsystemname")));
  EXPECT_EQ((UiRect{138, 42, 288, 62}), Pos(row->FindSubControl(L"labsize")));
  EXPECT_EQ((UiRect{288, 42, 488, 62}), Pos(row->FindSubControl(L"labdata")));
  EXPECT_EQ((UiRect{493, 25, 536, 48}), Pos(row->FindSubControl(L"optselectsystem")));
  delete row;
}

TEST_F(SkinFixture, TileTemplateDrawsItsIconInTheMiddle) {
  CControlUI* tile = BuildTemplate(L"tile.xml");
  ASSERT_NE(nullptr, tile);
  tile->SetPos({100, 0, 180, 80});
  tile->ApplyAttributeList(L"bkimage=\"file='data.png' dest='26,16,62,52' source='0,0,0,0'\"");
  tile->SetText(L"资料备份");
  RecordingPainter painter;
  tile->DoPaint(painter, {0, 0, 1000, 1000});
  const ImageDraw* icon = painter.FindImage(L"data.png");
  ASSERT_NE(nullptr, icon);
  EXPECT_EQ((UiRect{126, 16, 162, 52}), icon->target);
  const RecordingPainter::Text* caption = painter.FindText(L"资料备份");
  ASSERT_NE(nullptr, caption);
  EXPECT_EQ(TextAlign::kCenter, caption->style.align);
  EXPECT_EQ(TextVAlign::kBottom, caption->style.valign);
  delete tile;
}

TEST_F(SkinFixture, ListRowsScrollAndTilesFillColumns) {
  ASSERT_NE(nullptr, BuildWindow(L"skin.xml"));
  auto* list = FindAs<CListUI>(L"listsystem");
  for (int i = 0; i < 10; ++i) {
    CControlUI* row = BuildTemplate(L"item1.xml");
    row->SetFixedHeight(70);
    ASSERT_TRUE(list->AddAt(row, i));
  }
  CControlUI* stray = BuildTemplate(L"item1.xml");
  EXPECT_FALSE(list->AddAt(stray, 12));
  delete stray;
  FindAs<CTabLayoutUI>(L"tabmain")->SelectPage(1);
  manager_.UpdateLayout();
  EXPECT_EQ(578, list->GetPos().Width());
  EXPECT_EQ(417, list->GetPos().Height());
  EXPECT_EQ(700 - 417, list->GetScrollRange());
  ASSERT_NE(nullptr, list->GetVerticalScrollBar());
  EXPECT_TRUE(list->GetVerticalScrollBar()->IsVisible());
  EXPECT_EQ(8, list->GetVerticalScrollBar()->GetFixedWidth());  // from Default "VScrollBar"
  EXPECT_EQ(570, list->GetItemAt(0)->GetPos().Width());

  EXPECT_TRUE(list->SelectItem(9));
  EXPECT_EQ(283, list->GetScrollPos());
  EXPECT_EQ(list->GetPos().bottom, list->GetItemAt(9)->GetPos().bottom);
  EXPECT_TRUE(list->SelectItem(0));
  EXPECT_EQ(0, list->GetScrollPos());
  EXPECT_FALSE(list->SelectItem(10));

  manager_.OnMouseWheel({100, 300}, -120);  // three lines of 24 down
  EXPECT_EQ(72, list->GetScrollPos());

  auto* tiles = FindAs<CTileLayoutUI>(L"tilesoft");
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(tiles->AddAt(BuildTemplate(L"tile.xml"), i));
  manager_.UpdateLayout();
  UiRect area = tiles->GetPos();
  EXPECT_EQ((UiRect{area.left, area.top, area.left + 80, area.top + 80}),
            tiles->GetItemAt(0)->GetPos());
  EXPECT_EQ(area.left + 80, tiles->GetItemAt(1)->GetPos().left);
  EXPECT_FALSE(tiles->GetVerticalScrollBar()->IsVisible());
  tiles->RemoveAll();
  EXPECT_EQ(0, tiles->GetCount());
}

TEST_F(SkinFixture, DataBackupWindowFloatsAtFixedPositions) {
  ASSERT_NE(nullptr, BuildWindow(L"backuprecovery.xml"));
  EXPECT_EQ((UiSize{404, 426}), manager_.GetWindowAttributes().size);
  EXPECT_EQ((UiRect{377, 0, 404, 25}), Pos(Find(L"btnclose")));
  // The panel starts below the 25-pixel title bar.
  EXPECT_EQ((UiRect{20, 94, 333, 119}), Pos(Find(L"editdatapath")));
  EXPECT_EQ((UiRect{342, 94, 382, 119}), Pos(Find(L"btnbrowserdata")));
  EXPECT_EQ((UiRect{24, 184, 174, 226}), Pos(Find(L"optdocument")));
  EXPECT_EQ((UiRect{24, 249, 174, 291}), Pos(Find(L"optfavorite")));
  EXPECT_EQ((UiRect{232, 184, 382, 226}), Pos(Find(L"optdesktop")));
  EXPECT_EQ((UiRect{42, 367, 172, 407}), Pos(Find(L"btnbackupdata")));
  EXPECT_EQ((UiRect{222, 367, 352, 407}), Pos(Find(L"btnrecoverydata")));
  for (const wchar_t* name : {L"optdocument", L"optfavorite", L"optdesktop"}) {
    EXPECT_FALSE(FindAs<COptionUI>(name)->IsSelected()) << name;
  }
}

TEST(Layout, VerticalStackSharesTheRestAndHonoursMinMax) {
  CVerticalLayoutUI box;
  auto* fixed = new CControlUI;
  fixed->SetFixedHeight(40);
  auto* a = new CControlUI;
  auto* b = new CControlUI;
  b->SetAttribute(L"maxheight", L"10");
  auto* c = new CControlUI;
  c->SetAttribute(L"padding", L"5,5,5,5");
  box.Add(fixed);
  box.Add(a);
  box.Add(b);
  box.Add(c);
  box.SetAttribute(L"inset", L"1,1,1,1");
  box.SetPos({0, 0, 102, 143});
  EXPECT_EQ((UiRect{1, 1, 101, 41}), fixed->GetPos());
  // 141 - 40 - 10 (c's padding) = 91 shared by three: 30, 30 (clamped to 10), 31.
  EXPECT_EQ((UiRect{1, 41, 101, 71}), a->GetPos());
  EXPECT_EQ((UiRect{1, 71, 101, 81}), b->GetPos());
  EXPECT_EQ((UiRect{6, 86, 96, 117}), c->GetPos());
}

TEST(Layout, HiddenChildrenTakeNoSpace) {
  CHorizontalLayoutUI row;
  auto* a = new CControlUI;
  a->SetFixedWidth(30);
  auto* hidden = new CControlUI;
  hidden->SetFixedWidth(500);
  hidden->SetVisible(false);
  auto* b = new CControlUI;
  row.Add(a);
  row.Add(hidden);
  row.Add(b);
  row.SetPos({0, 0, 100, 20});
  EXPECT_EQ((UiRect{30, 0, 100, 20}), b->GetPos());
}

}  // namespace
}  // namespace SkinUI
