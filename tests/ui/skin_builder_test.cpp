#include "ui/skin_builder.h"

#include <gtest/gtest.h>

#include "tests/ui/skin_fixture.h"

namespace SkinUI {
namespace {

using testing::SkinFixture;

// Builds mark-up text directly (no archive).
CControlUI* BuildText(const std::wstring& text, CPaintManagerUI* manager = nullptr,
                      IDialogBuilderCallback* callback = nullptr) {
  SkinBuilder builder;
  if (!builder.Markup().LoadFromText(text)) return nullptr;
  return builder.Create(callback, manager);
}

TEST_F(SkinFixture, MainSkinRegistersFontsDefaultsAndWindowAttributes) {
  ASSERT_NE(nullptr, BuildWindow(L"skin.xml"));
  ASSERT_EQ(4, manager_.GetFontCount());
  EXPECT_EQ(L"微软雅黑", manager_.GetFont(0)->name);
  EXPECT_EQ(15, manager_.GetFont(0)->size);
  EXPECT_EQ(13, manager_.GetFont(1)->size);
  EXPECT_EQ(16, manager_.GetFont(2)->size);
  EXPECT_EQ(18, manager_.GetFont(3)->size);
  EXPECT_FALSE(manager_.GetFont(3)->bold);
  EXPECT_EQ(15, manager_.GetDefaultFont().size);
  EXPECT_NE(nullptr, manager_.GetDefaultAttributeList(L"VScrollBar"));

  const WindowAttributes& w = manager_.GetWindowAttributes();
  EXPECT_EQ((UiSize{900, 637}), w.size);
  EXPECT_EQ((UiSize{900, 637}), host_.resized);
  EXPECT_EQ((UiRect{0, 0, 0, 34}), w.caption);
  EXPECT_EQ((UiSize{900, 637}), w.minInfo);
  EXPECT_EQ((UiSize{900, 637}), w.maxInfo);
  EXPECT_TRUE(w.showShadow);
  EXPECT_EQ(5, w.shadowSize);
  EXPECT_EQ(1, w.shadowPosition.x);
  EXPECT_EQ(0x333333u, w.shadowColor);
}

// Which controls the program binds, and their kinds, is tested with the
// program (tests/app); here the look-up itself.
TEST_F(SkinFixture, MainSkinControlsAreFoundByTheirExactName) {
  ASSERT_NE(nullptr, BuildWindow(L"skin.xml"));
  EXPECT_EQ(nullptr, Find(L"BtnMain"));  // names are case-sensitive
  EXPECT_EQ(L"选择然后下一步", Find(L"btnselectandnext")->GetText());
  EXPECT_EQ(4, FindAs<CTileLayoutUI>(L"tilesoft")->GetColumns());
}

TEST_F(SkinFixture, TemplatesReturnTheirFirstControlWithoutDefaults) {
  CControlUI* row = BuildTemplate(L"item1.xml");
  ASSERT_NE(nullptr, row);
  EXPECT_STREQ(L"ListContainerElementUI", row->GetClass());  // not the Window
  EXPECT_NE(nullptr, row->FindSubControl(L"optselectsystem"));
  EXPECT_EQ(L"systemlist",
            dynamic_cast<COptionUI*>(row->FindSubControl(L"optselectsystem"))->GetGroup());
  delete row;

  CControlUI* tile = BuildTemplate(L"tile.xml");
  ASSERT_NE(nullptr, tile);
  EXPECT_STREQ(L"ButtonUI", tile->GetClass());  // the top-level layout is no control
  EXPECT_EQ(L"btnsoft", tile->GetName());
  EXPECT_EQ(L"软件", tile->GetText());
  delete tile;

  EXPECT_EQ(nullptr, BuildTemplate(L"missing.xml"));
}

TEST(SkinBuilderRules, DefaultListsApplyOnlyWithAManager) {
  const wchar_t* skin =
      L"<Window><Default name=\"Button\" value=\"text=&quot;default&quot; width=&quot;33&quot;\"/>"
      L"<Button name=\"a\"/><Button name=\"b\" text=\"own\"/></Window>";
  CPaintManagerUI manager;
  CControlUI* withManager = BuildText(skin, &manager);
  ASSERT_NE(nullptr, withManager);
  EXPECT_EQ(L"default", withManager->GetText());
  EXPECT_EQ(33, withManager->GetFixedWidth());
  EXPECT_EQ(nullptr, withManager->GetManager());  // detached until attached for good
  delete withManager;

  CControlUI* without = BuildText(skin);
  ASSERT_NE(nullptr, without);
  EXPECT_EQ(L"", without->GetText());
  EXPECT_EQ(0, without->GetFixedWidth());
  delete without;
}

TEST(SkinBuilderRules, WindowAttributesNeedAManagerWithAWindow) {
  CPaintManagerUI noWindow;
  delete BuildText(L"<Window size=\"10,20\"><Control/></Window>", &noWindow);
  EXPECT_EQ((UiSize{0, 0}), noWindow.GetWindowAttributes().size);
  testing::FakeHost host;
  CPaintManagerUI windowed;
  windowed.SetHost(&host);
  delete BuildText(L"<Window size=\"10,20\" unknown=\"1\"><Control/></Window>", &windowed);
  EXPECT_EQ((UiSize{10, 20}), windowed.GetWindowAttributes().size);
}

TEST(SkinBuilderRules, ResourcesElements) {
  CPaintManagerUI manager;
  delete BuildText(
      L"<Window><Image name=\"a.bmp\" mask=\"#FFFF00FF\"/><Image restype=\"x\"/>"
      L"<Font name=\"宋体\" bold=\"true\" underline=\"yes\"/><Font size=\"9\"/>"
      L"<Control/></Window>",
      &manager);
  ASSERT_NE(nullptr, manager.GetImage(L"a.bmp"));
  EXPECT_EQ(0xFFFF00FFu, manager.GetImage(L"a.bmp")->mask);
  ASSERT_EQ(1, manager.GetFontCount());  // a Font without a name is skipped
  EXPECT_EQ(12, manager.GetFont(0)->size);
  EXPECT_TRUE(manager.GetFont(0)->bold);
  EXPECT_FALSE(manager.GetFont(0)->underline);  // only "true" is true
}

TEST(SkinBuilderRules, UnknownAndMiscasedElementsAreSkippedWithTheirSubtree) {
  CControlUI* root = BuildText(
      L"<Window><VerticalLayout><button name=\"lower\"><Label name=\"inner\"/></button>"
      L"<Widget><Label name=\"deep\"/></Widget><Label name=\"kept\"/></VerticalLayout></Window>");
  ASSERT_NE(nullptr, root);
  auto* layout = dynamic_cast<CVerticalLayoutUI*>(root);
  ASSERT_NE(nullptr, layout);
  EXPECT_EQ(1, layout->GetCount());
  EXPECT_EQ(nullptr, root->FindSubControl(L"inner"));
  EXPECT_EQ(nullptr, root->FindSubControl(L"deep"));
  EXPECT_NE(nullptr, root->FindSubControl(L"kept"));
  delete root;
}

TEST(SkinBuilderRules, CallbackAndFactoriesCreateUnknownElements) {
  struct Callback : IDialogBuilderCallback {
    std::vector<std::wstring> asked;
    CControlUI* CreateControl(const wchar_t* name) override {
      asked.push_back(name);
      return std::wstring(name) == L"button" ? new CButtonUI : nullptr;
    }
  } callback;
  SkinBuilder::AddControlFactory([](const wchar_t* name) -> CControlUI* {
    return std::wstring(name) == L"Fancy" ? new CLabelUI : nullptr;
  });
  CControlUI* root = BuildText(
      L"<Window><HorizontalLayout><button name=\"b\"/><Fancy "
      L"name=\"f\"/></HorizontalLayout></Window>",
      nullptr, &callback);
  SkinBuilder::ClearControlFactories();
  ASSERT_NE(nullptr, root);
  EXPECT_STREQ(L"ButtonUI", root->FindSubControl(L"b")->GetClass());
  EXPECT_STREQ(L"LabelUI", root->FindSubControl(L"f")->GetClass());
  EXPECT_EQ(std::vector<std::wstring>{L"button"}, callback.asked);  // the factory answered Fancy
  delete root;
}

TEST(SkinBuilderRules, StandInElementsKeepTheirNamesAndChildrenAndWork) {
  testing::FakeHost host;
  CPaintManagerUI manager;
  manager.SetHost(&host);
  testing::NotifyLog log;
  manager.AddNotifier(&log);
  CControlUI* root = BuildText(
      L"<Window><VerticalLayout>"
      L"<Combo name=\"combo\" height=\"20\" selectedid=\"1\"><ListLabelElement text=\"一\"/>"
      L"<ListLabelElement name=\"two\" text=\"二\"/></Combo>"
      L"<ComboBox name=\"box\" height=\"20\"><ListLabelElement text=\"x\"/></ComboBox>"
      L"<RichEdit name=\"rich\" height=\"20\"/><DateTime name=\"date\" height=\"20\"/>"
      L"<Flash name=\"flash\" height=\"20\"><Label name=\"flashtext\"/></Flash>"
      L"<ActiveX name=\"activex\" height=\"20\"><Label name=\"activextext\"/></ActiveX>"
      L"<WebBrowser name=\"web\" height=\"20\"><Label name=\"webtext\"/></WebBrowser>"
      L"</VerticalLayout></Window>",
      &manager);
  ASSERT_TRUE(manager.AttachDialog(root));
  manager.SetClientSize(200, 200);
  manager.UpdateLayout();
  const struct {
    const wchar_t* name;
    const wchar_t* kind;  // the interface the element promises
    const wchar_t* child;
  } built[] = {{L"combo", L"Combo", L"two"},       {L"box", L"ComboBox", nullptr},
               {L"rich", L"Edit", nullptr},        {L"date", L"Edit", nullptr},
               {L"flash", L"Flash", L"flashtext"}, {L"activex", L"ActiveX", L"activextext"},
               {L"web", L"WebBrowser", L"webtext"}};
  for (const auto& b : built) {
    CControlUI* c = manager.FindControl(b.name);
    ASSERT_NE(nullptr, c) << b.name;
    EXPECT_NE(nullptr, c->GetInterface(b.kind)) << b.name;
    if (b.child) {
      EXPECT_NE(nullptr, c->FindSubControl(b.child)) << b.name;
    }
  }
  std::wstring date = manager.FindControl(L"date")->GetText();
  EXPECT_TRUE(date.size() == 10 && date[4] == L'-' && date[7] == L'-') << date;

  // The combo shows its chosen item; a click offers the items, the wheel steps.
  auto* combo = static_cast<CComboUI*>(manager.FindControl(L"combo")->GetInterface(L"Combo"));
  EXPECT_EQ(L"二", combo->GetText());
  host.choice = 0;
  UiRect at = combo->GetPos();
  UiPoint middle{(at.left + at.right) / 2, (at.top + at.bottom) / 2};
  manager.OnLButtonDown(middle);
  manager.OnLButtonUp(middle);
  EXPECT_EQ((std::vector<std::wstring>{L"一", L"二"}), host.offered);
  EXPECT_EQ(L"一", combo->GetText());
  manager.OnMouseWheel(middle, -120);
  EXPECT_EQ(1, combo->GetCurSel());
  EXPECT_EQ((std::vector<std::wstring>{L"click:combo", L"itemselect:combo", L"itemselect:combo"}),
            log.entries);
}

TEST(SkinBuilderRules, ChildrenOfANonContainerEndTheBuild) {
  EXPECT_EQ(nullptr, BuildText(L"<Window><Label><Button/></Label></Window>"));
  EXPECT_EQ(nullptr, BuildText(L"<Window><TreeNode/></Window>"));
}

TEST(SkinBuilderRules, TheSixtyFifthAttributeIsNotApplied) {
  std::wstring text = L"<Window><Label";
  for (int i = 1; i <= 64; ++i) text += L" x" + std::to_wstring(i) + L"=\"1\"";
  text += L" text=\"late\"/></Window>";
  CControlUI* label = BuildText(text);
  ASSERT_NE(nullptr, label);
  EXPECT_EQ(L"", label->GetText());
  delete label;
}

TEST(SkinBuilderRules, TreeNodesJoinTheirTreeView) {
  CControlUI* root = BuildText(
      L"<Window><TreeView name=\"tree\"><TreeNode name=\"a\"><TreeNode name=\"a1\"/>"
      L"<Label name=\"la\"/></TreeNode><TreeNode name=\"b\"/></TreeView></Window>");
  ASSERT_NE(nullptr, root);
  auto* tree = dynamic_cast<CTreeViewUI*>(root);
  ASSERT_NE(nullptr, tree);
  ASSERT_EQ(3, tree->GetCount());
  EXPECT_EQ(L"a", tree->GetItemAt(0)->GetName());
  EXPECT_EQ(L"a1", tree->GetItemAt(1)->GetName());
  EXPECT_EQ(L"b", tree->GetItemAt(2)->GetName());
  EXPECT_NE(nullptr, tree->GetItemAt(0)->FindSubControl(L"la"));
  delete root;
}

TEST_F(SkinFixture, IncludeBuildsItsSourceCountTimes) {
  TearDown();
  extraMembers_ = {
      {"part.xml", "<Window><Label name=\"part\"/></Window>"},
      {"host.xml",
       "<Window><VerticalLayout><Include source=\"part.xml\" count=\"3\"/>"
       "<Include count=\"2\"/></VerticalLayout></Window>"},
      {"loop.xml",
       "<Window><VerticalLayout><Include source=\"loop.xml\"/></VerticalLayout></Window>"},
  };
  SetUp();
  CControlUI* host = BuildTemplate(L"host.xml");
  ASSERT_NE(nullptr, host);
  EXPECT_EQ(3, dynamic_cast<CContainerUI*>(host)->GetCount());
  delete host;
  CControlUI* loop = BuildTemplate(L"loop.xml");  // ends at the include depth
  ASSERT_NE(nullptr, loop);
  delete loop;
}

TEST_F(SkinFixture, ApplyAttributeListStopsAtTheFirstMalformedPair) {
  CControlUI* tile = BuildTemplate(L"tile.xml");
  ASSERT_NE(nullptr, tile);
  EXPECT_TRUE(
      tile->ApplyAttributeList(L"bkimage=\"file='data.png' dest='26,16,62,52' source='0,0,0,0'\""));
  EXPECT_EQ(L"file='data.png' dest='26,16,62,52' source='0,0,0,0'", tile->GetBkImage());
  EXPECT_FALSE(tile->ApplyAttributeList(L"text=\"a\" tooltip=b userdata=\"c\""));
  EXPECT_EQ(L"a", tile->GetText());
  EXPECT_EQ(L"", tile->GetToolTip());
  EXPECT_EQ(L"", tile->GetUserData());
  delete tile;
}

}  // namespace
}  // namespace SkinUI
