// The keyboard on the shipped main window: Tab order, keys that press,
// arrows in the system list and the tool tiles, and the focus mark.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/ui/skin_fixture.h"

namespace SkinUI {
namespace {

using testing::NotifyLog;
using testing::RecordingPainter;
using testing::SkinFixture;

class KeyboardTest : public SkinFixture {
 protected:
  void SetUp() override {
    SkinFixture::SetUp();
    ASSERT_NE(nullptr, BuildWindow(L"skin.xml"));
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(FindAs<CListUI>(L"listsystem")->AddAt(BuildTemplate(L"item1.xml"), i));
      ASSERT_TRUE(FindAs<CTileLayoutUI>(L"tilesoft")->AddAt(BuildTemplate(L"tile.xml"), i));
    }
    manager_.UpdateLayout();
    manager_.AddNotifier(&log_);
  }
  // The names the focus visits, one Tab (or Shift+Tab) each.
  std::vector<std::wstring> Visit(int keys, bool shift = false) {
    std::vector<std::wstring> names;
    for (int i = 0; i < keys; ++i) {
      manager_.OnKeyDown(UiKey::kTab, shift);
      names.push_back(manager_.GetFocus() ? manager_.GetFocus()->GetName() : L"-");
    }
    return names;
  }
  CControlUI* Tile(int i) {
    CControlUI* tile = FindAs<CTileLayoutUI>(L"tilesoft")->GetItemAt(i);
    return tile->GetName() == L"btnsoft" ? tile : tile->FindSubControl(L"btnsoft");
  }
  NotifyLog log_;
};

TEST_F(KeyboardTest, TabFollowsTheMarkupAndKeysPressWhatHasTheFocus) {
  using V = std::vector<std::wstring>;
  Find(L"btnmin")->SetEnabled(false);
  Tile(2)->ApplyAttributeList(L"tabstop=\"false\"");
  EXPECT_EQ((V{L"btnfeedback", L"btnclose", L"btninstall", L"btnsoft", L"btnsoft", L"btnmain",
               L"btnbacksys", L"btnrecosys", L"btnfeedback"}),
            Visit(9));
  EXPECT_EQ((V{L"btnrecosys", L"btnbacksys"}), Visit(2, true));

  // Arrows go from tile to tile and stop at the last one that takes the focus.
  CControlUI* tile0 = Tile(0);
  CControlUI* tile1 = Tile(1);
  tile0->SetFocus();
  manager_.OnKeyDown(UiKey::kRight, false);
  manager_.OnKeyDown(UiKey::kRight, false);
  EXPECT_EQ(tile1, manager_.GetFocus());
  manager_.OnKeyDown(UiKey::kLeft, false);
  EXPECT_EQ(tile0, manager_.GetFocus());

  Find(L"btninstall")->SetFocus();
  manager_.OnKeyDown(UiKey::kSpace, false);
  manager_.OnKeyDown(UiKey::kReturn, false);
  EXPECT_EQ((V{L"click:btninstall", L"click:btninstall"}), log_.entries);

  // Page 1: the list is one stop; arrows select rows, Space activates one.
  // The start button, now hidden, neither presses nor stays a stop.
  FindAs<CTabLayoutUI>(L"tabmain")->SelectPage(1);
  log_.entries.clear();
  manager_.OnKeyDown(UiKey::kReturn, false);
  EXPECT_TRUE(log_.entries.empty());
  EXPECT_EQ((V{L"listsystem", L"btnselectandnext", L"btnsoft"}), Visit(3));
  CControlUI* list = Find(L"listsystem");
  list->SetFocus();
  log_.entries.clear();
  host_.announced.clear();
  for (UiKey key : {UiKey::kDown, UiKey::kDown, UiKey::kDown, UiKey::kUp, UiKey::kSpace})
    manager_.OnKeyDown(key, false);
  EXPECT_EQ(1, FindAs<CListUI>(L"listsystem")->GetCurSel());
  EXPECT_EQ((V{L"itemselect:listsystem", L"itemselect:listsystem", L"itemselect:listsystem",
               L"itemselect:listsystem", L"itemactivate:"}),
            log_.entries);
  // A screen reader hears the focus go with each selected row.
  EXPECT_EQ(4, std::count(host_.announced.begin(), host_.announced.end(),
                          std::make_pair(AccessibleChange::kFocus, list)));
}

TEST_F(KeyboardTest, TheFocusMarkShowsOnlyOnceTheKeyboardWasUsed) {
  auto marks = [this] {
    RecordingPainter painter;
    manager_.Paint(painter, {0, 0, 900, 637});
    std::vector<UiRect> rects;
    for (const auto& b : painter.borders)
      if (b.color == 0xFF1B62C8) rects.push_back(b.rect);
    return rects;
  };
  Find(L"btninstall")->SetFocus();
  EXPECT_TRUE(marks().empty());
  manager_.ShowFocusMark(true);
  EXPECT_EQ(std::vector<UiRect>{Find(L"btninstall")->GetPos()}, marks());
  Find(L"labbackstatus")->SetFocus();  // a click on a text: no mark
  EXPECT_TRUE(marks().empty());
}

}  // namespace
}  // namespace SkinUI
