// Notifications, option groups, mouse routing, timers and painting states.
#include <gtest/gtest.h>

#include "tests/ui/skin_fixture.h"

namespace SkinUI {
namespace {

using testing::NotifyLog;
using testing::RecordingPainter;
using testing::SkinFixture;

UiPoint Centre(CControlUI* c) {
  return {(c->GetPos().left + c->GetPos().right) / 2, (c->GetPos().top + c->GetPos().bottom) / 2};
}

void Click(CPaintManagerUI& manager, CControlUI* c) {
  manager.OnMouseMove(Centre(c));
  manager.OnLButtonDown(Centre(c));
  manager.OnLButtonUp(Centre(c));
}

class WindowTest : public SkinFixture {
 protected:
  void SetUp() override {
    SkinFixture::SetUp();
    ASSERT_NE(nullptr, BuildWindow(L"skin.xml"));
    manager_.AddNotifier(&log_);
  }
  // Fills the system list like the list page does.
  void FillRows(int count) {
    auto* list = FindAs<CListUI>(L"listsystem");
    list->RemoveAll();
    for (int i = 0; i < count; ++i) {
      CControlUI* row = BuildTemplate(L"item1.xml");
      row->SetFixedHeight(70);
      ASSERT_TRUE(list->AddAt(row, i));
      row->FindSubControl(L"optselectsystem")->SetUserData(std::to_wstring(i));
    }
    FindAs<CTabLayoutUI>(L"tabmain")->SelectPage(1);
    manager_.UpdateLayout();
    log_.entries.clear();
  }
  COptionUI* RowOption(int i) {
    auto* list = FindAs<CListUI>(L"listsystem");
    return dynamic_cast<COptionUI*>(list->GetItemAt(i)->FindSubControl(L"optselectsystem"));
  }
  NotifyLog log_;
};

TEST_F(WindowTest, ClickingAButtonRaisesClickOnRelease) {
  CControlUI* feedback = Find(L"btnfeedback");
  manager_.OnMouseMove(Centre(feedback));
  manager_.OnLButtonDown(Centre(feedback));
  EXPECT_TRUE(log_.entries.empty());
  manager_.OnLButtonUp(Centre(feedback));
  EXPECT_EQ(std::vector<std::wstring>{L"click:btnfeedback"}, log_.entries);

  // Released outside: no click.
  log_.entries.clear();
  manager_.OnLButtonDown(Centre(feedback));
  manager_.OnMouseMove({10, 300});
  manager_.OnLButtonUp({10, 300});
  EXPECT_TRUE(log_.entries.empty());

  // Disabled: no click; enabled again: clicks.
  feedback->SetEnabled(false);
  Click(manager_, feedback);
  EXPECT_TRUE(log_.entries.empty());
  feedback->SetEnabled(true);
  Click(manager_, feedback);
  EXPECT_EQ(1u, log_.entries.size());
}

TEST_F(WindowTest, GroupedOptionsClickThenSelectAfterTurningOthersOffSilently) {
  FillRows(3);
  COptionUI* first = RowOption(0);
  COptionUI* second = RowOption(1);
  first->Select(true);
  EXPECT_EQ(std::vector<std::wstring>{L"selectchanged:optselectsystem"}, log_.entries);
  log_.entries.clear();

  bool firstWasOffWhenNotified = false;
  log_.onNotify = [&](TNotifyUI& msg) {
    if (msg.sType == L"selectchanged") firstWasOffWhenNotified = !first->IsSelected();
    if (msg.sType == L"click") {
      EXPECT_FALSE(second->IsSelected());  // click comes first
    }
  };
  Click(manager_, second);
  EXPECT_EQ((std::vector<std::wstring>{L"click:optselectsystem", L"selectchanged:optselectsystem"}),
            log_.entries);
  EXPECT_TRUE(second->IsSelected());
  EXPECT_FALSE(first->IsSelected());
  EXPECT_TRUE(firstWasOffWhenNotified);
  log_.onNotify = nullptr;

  // Clicking the selected option again cannot turn it off.
  log_.entries.clear();
  Click(manager_, second);
  EXPECT_EQ(std::vector<std::wstring>{L"click:optselectsystem"}, log_.entries);
  EXPECT_TRUE(second->IsSelected());
  // Turning a grouped option off raises nothing.
  log_.entries.clear();
  second->Select(false);
  EXPECT_TRUE(log_.entries.empty());
}

TEST_F(WindowTest, SelectingARowRaisesItemSelectButNotTheOption) {
  FillRows(4);
  auto* list = FindAs<CListUI>(L"listsystem");
  CControlUI* name = list->GetItemAt(2)->FindSubControl(L"labsystemname");
  Click(manager_, name);
  EXPECT_EQ(2, list->GetCurSel());
  EXPECT_EQ(std::vector<std::wstring>{L"itemselect:listsystem"}, log_.entries);
  EXPECT_FALSE(RowOption(2)->IsSelected());
  EXPECT_TRUE(dynamic_cast<CListContainerElementUI*>(list->GetItemAt(2))->IsSelected());
  list->SelectItem(3);
  EXPECT_FALSE(dynamic_cast<CListContainerElementUI*>(list->GetItemAt(2))->IsSelected());
  log_.entries.clear();
  list->SelectItem(3);  // the same row again
  EXPECT_TRUE(log_.entries.empty());
}

TEST_F(WindowTest, AHandlerMayRemoveTheRowsWhileTheirEventRuns) {
  FillRows(3);
  log_.onNotify = [&](TNotifyUI& msg) {
    if (msg.sType == L"click") FindAs<CListUI>(L"listsystem")->RemoveAll();
  };
  Click(manager_, RowOption(1));  // sanitizer builds catch a use after free here
  EXPECT_EQ(0, FindAs<CListUI>(L"listsystem")->GetCount());
  EXPECT_EQ(nullptr, manager_.GetHover());
  EXPECT_EQ(std::vector<std::wstring>{L"click:optselectsystem"}, log_.entries);
  EXPECT_EQ(nullptr, manager_.GetOptionGroup(L"systemlist"));
}

TEST(Options, UngroupedOptionsReportEveryChange) {
  testing::FakeHost host;
  CPaintManagerUI manager;
  manager.SetHost(&host);
  NotifyLog log;
  manager.AddNotifier(&log);
  auto* root = new CVerticalLayoutUI;
  auto* option = new COptionUI;
  option->SetName(L"optdocument");
  root->Add(option);
  manager.AttachDialog(root);
  manager.SetClientSize(100, 100);
  manager.UpdateLayout();
  Click(manager, option);
  EXPECT_TRUE(option->IsSelected());
  Click(manager, option);
  EXPECT_FALSE(option->IsSelected());
  EXPECT_EQ((std::vector<std::wstring>{L"click:optdocument", L"selectchanged:optdocument",
                                       L"click:optdocument", L"selectchanged:optdocument"}),
            log.entries);
  log.entries.clear();
  option->Select(false);  // no change, no notification
  EXPECT_TRUE(log.entries.empty());
}

TEST_F(WindowTest, CaptionBandDragsExceptOverButtons) {
  EXPECT_TRUE(manager_.IsCaptionAt({100, 10}));   // labcaption
  EXPECT_TRUE(manager_.IsCaptionAt({500, 10}));   // the bar before the buttons
  EXPECT_FALSE(manager_.IsCaptionAt({780, 10}));  // btnfeedback
  EXPECT_FALSE(manager_.IsCaptionAt({860, 10}));  // btnclose
  EXPECT_FALSE(manager_.IsCaptionAt({100, 40}));  // below the band
}

TEST_F(WindowTest, TooltipsComeFromTheControlOrItsRow) {
  FillRows(1);
  auto* list = FindAs<CListUI>(L"listsystem");
  list->GetItemAt(0)->SetToolTip(L"描述");
  manager_.OnMouseMove(Centre(list->GetItemAt(0)->FindSubControl(L"labsystemname")));
  EXPECT_EQ(L"描述", manager_.GetHoverToolTip());
  manager_.OnMouseLeave();
  EXPECT_EQ(L"", manager_.GetHoverToolTip());
}

TEST_F(WindowTest, ButtonStateImagesFallBackWhenMissing) {
  RecordingPainter painter;
  painter.available = {L"min.png", L"ico.png", L"scanbtn.png"};  // close.png is missing
  manager_.Paint(painter, {0, 0, 900, 637});
  EXPECT_EQ(nullptr, painter.FindImage(L"close.png"));

  RecordingPainter hot;
  CControlUI* min = Find(L"btnmin");
  manager_.OnMouseMove(Centre(min));
  hot.available = {L"min.png"};
  min->DoPaint(hot, min->GetPos());
  ASSERT_NE(nullptr, hot.FindImage(L"min.png"));
  EXPECT_EQ((UiRect{40, 0, 80, 34}), hot.FindImage(L"min.png")->spec.source);

  // A hot image the archive lacks: the normal frame is drawn instead.
  hot.images.clear();
  dynamic_cast<CButtonUI*>(min)->SetHotImage(L"file='gone.png' source='0,0,1,1'");
  min->DoPaint(hot, min->GetPos());
  ASSERT_NE(nullptr, hot.FindImage(L"min.png"));
  EXPECT_EQ((UiRect{0, 0, 40, 34}), hot.FindImage(L"min.png")->spec.source);
}

TEST_F(WindowTest, TextStyleFontsColoursAndInlineMarkup) {
  FindAs<CTabLayoutUI>(L"tabmain")->SelectPage(2);
  Find(L"btnfilename")->SetText(L"保存到 <f 1><u>D:\\a.gho</u></f>");
  RecordingPainter painter;
  manager_.Paint(painter, {0, 0, 900, 637});
  const RecordingPainter::Text* path = painter.FindText(L"保存到 D:\\a.gho");
  ASSERT_NE(nullptr, path);
  EXPECT_TRUE(path->style.endEllipsis);
  ASSERT_EQ(2u, path->runs.size());
  EXPECT_EQ(1, path->runs[1].font);
  EXPECT_TRUE(path->runs[1].underline);
  const RecordingPainter::Text* stop = painter.FindText(L"停止下载");
  ASSERT_NE(nullptr, stop);
  EXPECT_EQ(2, stop->style.font);
  EXPECT_EQ(0xFFFFFFFFu, stop->style.color);

  FillRows(1);
  RecordingPainter row;
  dynamic_cast<CLabelUI*>(FindAs<CListUI>(L"listsystem")->GetItemAt(0)->FindSubControl(L"labsize"))
      ->SetText(L"3.9G");
  manager_.Paint(row, {0, 0, 900, 637});
  ASSERT_NE(nullptr, row.FindText(L"3.9G"));
  EXPECT_EQ(0xFFA0A0A4u, row.FindText(L"3.9G")->style.color);  // alpha ignored for text
}

TEST_F(WindowTest, GifAnimationPlaysPausesAndCountsZeroDelaysAs100) {
  auto* gif = FindAs<CGifAnimUI>(L"gifprocess");
  gif->PauseGif();
  EXPECT_TRUE(host_.timers.empty());
  // Re-attach a fresh animation after the host knows the frames.
  host_.frames[L"downloading.GIF"] = {50, 0, 70};
  auto* fresh = new CGifAnimUI;
  fresh->SetAttribute(L"bkimage", L"downloading.GIF");
  dynamic_cast<CContainerUI*>(gif->GetParent())->Add(fresh);  // autoplay on attach
  EXPECT_TRUE(fresh->IsPlaying());
  ASSERT_EQ(1u, host_.timers.size());
  unsigned key = host_.timers.begin()->first;
  EXPECT_EQ(50, host_.timers[key]);
  manager_.OnTimer(key);
  EXPECT_EQ(1, fresh->GetFrame());
  EXPECT_EQ(100, host_.timers[key]);
  manager_.OnTimer(key);
  EXPECT_EQ(2, fresh->GetFrame());
  EXPECT_EQ(70, host_.timers[key]);
  fresh->PauseGif();
  EXPECT_TRUE(host_.timers.empty());
  manager_.OnTimer(key);  // a stale timer does nothing
  EXPECT_EQ(2, fresh->GetFrame());
  fresh->PlayGif();
  EXPECT_EQ(1u, host_.timers.size());
  dynamic_cast<CContainerUI*>(gif->GetParent())->Remove(fresh);
  EXPECT_TRUE(host_.timers.empty());  // removing the control stops its timer
}

}  // namespace
}  // namespace SkinUI
