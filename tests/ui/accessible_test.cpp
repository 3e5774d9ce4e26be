// What screen readers see of the shipped windows: elements, roles, names,
// values, states and the default action, with layouts flattened away.
#include <gtest/gtest.h>

#include "tests/ui/skin_fixture.h"

namespace SkinUI {
namespace {

using testing::NotifyLog;
using testing::SkinFixture;

const wchar_t* RoleName(AccessibleRole role) {
  static const wchar_t* const kNames[] = {
      L"none",          L"push button", L"check box", L"radio button", L"static text",
      L"editable text", L"list",        L"list item", L"progress bar", L"graphic"};
  return kNames[static_cast<int>(role)];
}

// "role 'name'" of each element below `parent`, with its children in braces.
std::wstring Outline(CControlUI* root, CControlUI* parent) {
  std::wstring out;
  for (CControlUI* c : AccessibleChildren(root, parent)) {
    out += std::wstring(RoleName(RoleOf(c))) + L" '" + AccessibleName(c) + L"'";
    if (HasAccessibleChildren(c)) out += L" {" + Outline(root, c) + L"}";
    out += L"; ";
  }
  return out;
}

TEST_F(SkinFixture, MainWindowReadsAsButtonsTextsAListOfRowsAndProgress) {
  CControlUI* root = BuildWindow(L"skin.xml");
  ASSERT_NE(nullptr, root);
  auto* list = FindAs<CListUI>(L"listsystem");
  CControlUI* row = BuildTemplate(L"item1.xml");
  ASSERT_TRUE(list->AddAt(row, 0));
  row->SetToolTip(L"纯净版");
  row->FindSubControl(L"labsystemname")->SetText(L"Windows 7 32位");
  row->FindSubControl(L"labsize")->SetText(L"3.2GB");
  row->FindSubControl(L"labpic")->SetBkImage(L"xt.png");
  Find(L"labdownpro")->SetText(L"45%");
  manager_.UpdateLayout();

  const std::wstring outline = Outline(root, nullptr);
  for (const wchar_t* piece :
       {L"static text 'Kavi一键重装系统'; push button '反馈'; push button '最小化'; "
        L"push button '关闭'; push button '立即重装'; static text '尚未备份过'; ",
        L"list '' {list item 'Windows 7 32位 3.2GB' {graphic ''; static text 'Windows 7 32位'; "
        L"static text '3.2GB'; static text ''; radio button '选择此系统'; }; }; "
        L"push button '选择然后下一步'; ",
        L"progress bar '下载进度'; static text '45%'; ", L"progress bar '校验进度'; ",
        L"push button '一键重装系统'; push button '备份系统'; push button '还原系统'; "}) {
    EXPECT_NE(std::wstring::npos, outline.find(piece)) << piece << L"\nin: " << outline;
  }
  EXPECT_EQ(std::wstring::npos, outline.find(L"none"));

  CControlUI* progress = Find(L"gifprocess");
  EXPECT_EQ(L"45%", AccessibleValue(progress));
  EXPECT_EQ(L"纯净版", AccessibleDescription(row));
  EXPECT_EQ(kAccInvisible, AccessibleState(progress, true));
  EXPECT_EQ(list, AccessibleParent(row));
  EXPECT_EQ(row, AccessibleParent(row->FindSubControl(L"optselectsystem")));
  EXPECT_EQ(Find(L"btnclose"), AccessibleAt(root, {860, 10}));

  // The focus on the list is its selected row's; pressing a row selects it.
  FindAs<CTabLayoutUI>(L"tabmain")->SelectPage(1);
  list->SetFocus();
  EXPECT_EQ(list, AccessibleFocus(manager_.GetFocus()));
  NotifyLog log;
  manager_.AddNotifier(&log);
  EXPECT_TRUE(DoDefaultAction(row));
  EXPECT_EQ(row, AccessibleFocus(manager_.GetFocus()));
  EXPECT_EQ(kAccFocused | kAccFocusable | kAccSelected | kAccSelectable,
            AccessibleState(row, true));
  EXPECT_EQ((std::vector<std::wstring>{L"itemselect:listsystem", L"itemactivate:"}), log.entries);
  Find(L"btnselectandnext")->SetEnabled(false);
  EXPECT_EQ(kAccUnavailable, AccessibleState(Find(L"btnselectandnext"), true));
  EXPECT_FALSE(DoDefaultAction(Find(L"btnselectandnext")));
}

TEST_F(SkinFixture, DataBackupWindowNamesItsPictureButtons) {
  CControlUI* root = BuildWindow(L"backuprecovery.xml");
  ASSERT_NE(nullptr, root);
  EXPECT_EQ(
      L"static text '一键备份还原资料'; push button '关闭'; static text '备份位置'; "
      L"editable text '备份位置'; push button '选择备份位置'; static text "
      L"'选择要备份或还原的资料'; "
      L"check box '我的文档'; check box '收藏夹'; check box '桌面'; static text ''; "
      L"static text '上次备份时间：'; static text ''; push button '备份资料'; "
      L"push button '还原资料'; ",
      Outline(root, nullptr));
  Find(L"editdatapath")->SetText(L"D:\\DURozazo");
  EXPECT_EQ(L"D:\\DURozazo", AccessibleValue(Find(L"editdatapath")));
  auto* documents = FindAs<COptionUI>(L"optdocument");
  documents->Select(true);
  EXPECT_EQ(kAccChecked | kAccFocusable, AccessibleState(documents, false));
}

}  // namespace
}  // namespace SkinUI
