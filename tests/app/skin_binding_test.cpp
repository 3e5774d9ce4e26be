// The program's bindings against the skins it ships (resources/skin).
#include <gtest/gtest.h>

#include <algorithm>

#include "app/main_window_controls.h"
#include "ui/skin_ui.h"

namespace kavi {
namespace {

class ShippedSkin : public ::testing::Test {
 protected:
  void SetUp() override { resources_.UseFolder(KAVI_SKIN_DIR); }
  SkinUI::SkinResources resources_;
};

TEST_F(ShippedSkin, EveryBoundControlIsThereWithItsKind) {
  SkinUI::CPaintManagerUI manager;
  SkinUI::SkinBuilder builder(&resources_);
  ASSERT_TRUE(manager.AttachDialog(builder.Create(L"skin.xml", nullptr, nullptr, &manager)));
  MainControls c;
  EXPECT_EQ(std::vector<std::wstring>{},
            BindMainControls([&](const wchar_t* name) { return manager.FindControl(name); }, &c));
  ASSERT_NE(nullptr, c.tabmain);
  EXPECT_EQ(4, c.tabmain->GetCount());  // the four workflow pages

  SkinUI::SkinBuilder rowBuilder(&resources_);
  std::unique_ptr<SkinUI::CControlUI> row(rowBuilder.Create(L"item1.xml"));
  SystemRowControls r;
  EXPECT_EQ(std::vector<std::wstring>{}, BindSystemRow(row.get(), &r));
  ASSERT_NE(nullptr, r.optselectsystem);
  EXPECT_EQ(L"systemlist", r.optselectsystem->GetGroup());

  SkinUI::SkinBuilder tileBuilder(&resources_);
  std::unique_ptr<SkinUI::CControlUI> tile(tileBuilder.Create(L"tile.xml"));
  SkinUI::CButtonUI* button = nullptr;
  EXPECT_EQ(std::vector<std::wstring>{}, BindToolTile(tile.get(), &button));
  EXPECT_EQ(tile.get(), button);
}

TEST(SkinBinding, AMissingOrWrongKindControlIsReportedAndLeftNull) {
  SkinUI::SkinBuilder builder;
  ASSERT_TRUE(builder.Markup().LoadFromText(
      L"<Window><VerticalLayout><Label name=\"tabmain\"/><Button name=\"btnmin\"/>"
      L"<Button name=\"labcaption\"/></VerticalLayout></Window>"));
  std::unique_ptr<SkinUI::CControlUI> root(builder.Create());
  MainControls c;
  c.tabmain = reinterpret_cast<SkinUI::CTabLayoutUI*>(&c);  // stale values are cleared
  std::vector<std::wstring> problems =
      BindMainControls([&](const wchar_t* name) { return root->FindSubControl(name); }, &c);
  auto reported = [&](const wchar_t* line) {
    return std::count(problems.begin(), problems.end(), line) == 1;
  };
  EXPECT_TRUE(reported(L"tabmain: not a TabLayout"));
  EXPECT_TRUE(reported(L"btnstop: missing"));
  EXPECT_EQ(30u, problems.size());  // 32 bound, btnmin and labcaption fit
  EXPECT_EQ(nullptr, c.tabmain);
  EXPECT_NE(nullptr, c.btnmin);
  EXPECT_NE(nullptr, c.labcaption);  // a button is a label too

  SystemRowControls r;
  EXPECT_EQ(5u, BindSystemRow(nullptr, &r).size());
}

}  // namespace
}  // namespace kavi
