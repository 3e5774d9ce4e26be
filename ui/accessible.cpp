#include "ui/accessible.h"

#include <cwchar>

#include "ui/container.h"
#include "ui/controls.h"
#include "ui/list.h"
#include "ui/paint_manager.h"

namespace SkinUI {
namespace {

bool Is(CControlUI* control, const wchar_t* kind) {
  return control->GetInterface(kind) != nullptr;
}

std::wstring PlainText(CControlUI* control) {
  auto* label = static_cast<CLabelUI*>(control->GetInterface(L"Label"));
  if (!label || !label->IsShowHtml()) return control->GetText();
  std::wstring text;
  for (const TextRun& run : label->GetTextRuns()) text += run.text;
  return text;
}

CControlUI* ValueSource(CControlUI* control) {
  const std::wstring& name = control->GetValueSource();
  CPaintManagerUI* manager = control->GetManager();
  return name.empty() || !manager ? nullptr : manager->FindControl(name);
}

// What names an edit box: the static text just before it (its caption).
std::wstring CaptionBefore(CControlUI* control) {
  CPaintManagerUI* manager = control->GetManager();
  CControlUI* root = manager ? manager->GetRoot() : nullptr;
  std::vector<CControlUI*> siblings = AccessibleChildren(root, AccessibleParent(control));
  for (std::size_t i = 1; i < siblings.size(); ++i) {
    if (siblings[i] == control && RoleOf(siblings[i - 1]) == AccessibleRole::kStaticText)
      return PlainText(siblings[i - 1]);
  }
  return std::wstring();
}

}  // namespace

AccessibleRole RoleOf(CControlUI* control) {
  if (!control) return AccessibleRole::kNone;
  if (Is(control, L"ScrollBar")) return AccessibleRole::kNone;
  if (Is(control, L"ListItem")) return AccessibleRole::kListItem;
  if (Is(control, L"List")) return AccessibleRole::kList;
  if (auto* option = static_cast<COptionUI*>(control->GetInterface(L"Option")))
    return option->GetGroup().empty() ? AccessibleRole::kCheckBox : AccessibleRole::kRadioButton;
  if (Is(control, L"Button")) return AccessibleRole::kPushButton;
  if (Is(control, L"Edit")) return AccessibleRole::kEditableText;
  if (Is(control, L"Progress")) return AccessibleRole::kProgressBar;
  if (Is(control, L"GifAnim"))
    return control->GetValueSource().empty() ? AccessibleRole::kGraphic
                                             : AccessibleRole::kProgressBar;
  if (Is(control, L"Label")) {
    bool picture = control->GetText().empty() && !control->GetBkImage().empty();
    return picture ? AccessibleRole::kGraphic : AccessibleRole::kStaticText;
  }
  return AccessibleRole::kNone;
}

std::wstring AccessibleName(CControlUI* control) {
  if (RoleOf(control) == AccessibleRole::kEditableText) {
    return control->GetToolTip().empty() ? CaptionBefore(control) : control->GetToolTip();
  }
  std::wstring name = PlainText(control);
  if (name.empty() && RoleOf(control) == AccessibleRole::kListItem) {
    for (CControlUI* child : AccessibleChildren(nullptr, control)) {
      if (RoleOf(child) != AccessibleRole::kStaticText || !child->IsVisible()) continue;
      std::wstring text = PlainText(child);
      if (text.empty()) continue;
      if (!name.empty()) name += L' ';
      name += text;
    }
  }
  if (name.empty()) name = control->GetToolTip();
  return name;
}

std::wstring AccessibleValue(CControlUI* control) {
  if (auto* edit = static_cast<CEditUI*>(control->GetInterface(L"Edit")))
    return edit->IsPassword() ? std::wstring(edit->GetText().size(), L'*') : edit->GetText();
  if (RoleOf(control) != AccessibleRole::kProgressBar) return std::wstring();
  if (CControlUI* source = ValueSource(control)) return PlainText(source);
  if (auto* progress = static_cast<CProgressUI*>(control->GetInterface(L"Progress"))) {
    int span = progress->GetMaxValue() - progress->GetMinValue();
    if (span <= 0) return std::wstring();
    int percent = (progress->GetValue() - progress->GetMinValue()) * 100 / span;
    return std::to_wstring(percent) + L"%";
  }
  return std::wstring();
}

std::wstring AccessibleDescription(CControlUI* control) {
  const std::wstring& tip = control->GetToolTip();
  return tip == AccessibleName(control) ? std::wstring() : tip;
}

unsigned AccessibleState(CControlUI* control, bool windowFocused) {
  unsigned state = 0;
  if (!control->IsVisibleInTree()) state |= kAccInvisible;
  if (!control->IsEnabled()) state |= kAccUnavailable;
  if (control->AcceptsFocus() && control->IsEnabled()) state |= kAccFocusable;
  CPaintManagerUI* manager = control->GetManager();
  if (windowFocused && manager && AccessibleFocus(manager->GetFocus()) == control)
    state |= kAccFocused;
  if (auto* option = static_cast<COptionUI*>(control->GetInterface(L"Option"))) {
    if (option->IsSelected()) state |= kAccChecked;
  }
  if (auto* row = static_cast<CListContainerElementUI*>(control->GetInterface(L"ListItem"))) {
    state |= kAccSelectable;
    if (row->IsSelected()) state |= kAccSelected;
    // A row takes the keyboard through its list.
    if (row->GetOwner() && row->IsEnabled()) state |= kAccFocusable;
  }
  return state;
}

std::wstring DefaultActionOf(CControlUI* control) {
  switch (RoleOf(control)) {
    case AccessibleRole::kPushButton:
    case AccessibleRole::kCheckBox:
    case AccessibleRole::kRadioButton:
    case AccessibleRole::kListItem:
      return L"press";
    default:
      return std::wstring();
  }
}

bool DoDefaultAction(CControlUI* control) {
  if (DefaultActionOf(control).empty() || !control->IsVisibleInTree()) return false;
  return control->Activate();
}

std::vector<CControlUI*> AccessibleChildren(CControlUI* root, CControlUI* parent) {
  std::vector<CControlUI*> children;
  CControlUI* top = parent ? parent : root;
  if (!top) return children;
  if (!parent && RoleOf(root) != AccessibleRole::kNone) {
    children.push_back(root);
    return children;
  }
  auto* container = static_cast<IContainerUI*>(top->GetInterface(L"IContainer"));
  if (!container) return children;
  for (int i = 0; i < container->GetCount(); ++i) {
    CControlUI* child = container->GetItemAt(i);
    if (Is(child, L"ScrollBar")) continue;
    if (RoleOf(child) != AccessibleRole::kNone) {
      children.push_back(child);
    } else {
      std::vector<CControlUI*> below = AccessibleChildren(nullptr, child);
      children.insert(children.end(), below.begin(), below.end());
    }
  }
  return children;
}

CControlUI* AccessibleParent(CControlUI* control) {
  for (CControlUI* c = control ? control->GetParent() : nullptr; c; c = c->GetParent()) {
    if (RoleOf(c) != AccessibleRole::kNone) return c;
  }
  return nullptr;
}

bool HasAccessibleChildren(CControlUI* control) {
  AccessibleRole role = RoleOf(control);
  return role == AccessibleRole::kList || role == AccessibleRole::kListItem;
}

CControlUI* AccessibleFocus(CControlUI* focus) {
  if (!focus) return nullptr;
  if (auto* list = static_cast<CListUI*>(focus->GetInterface(L"List"))) {
    if (CControlUI* row = list->GetItemAt(list->GetCurSel())) return row;
  }
  for (CControlUI* c = focus; c; c = c->GetParent()) {
    if (RoleOf(c) != AccessibleRole::kNone) return c;
  }
  return nullptr;
}

CControlUI* AccessibleAt(CControlUI* root, UiPoint point) {
  CControlUI* c = root ? root->FindControlAt(point) : nullptr;
  while (c && RoleOf(c) == AccessibleRole::kNone) c = c->GetParent();
  return c;
}

long AccessibleIds::IdOf(CControlUI* control) {
  auto it = ids_.find(control);
  if (it != ids_.end()) return it->second;
  long id = next_++;
  ids_[control] = id;
  controls_[id] = control;
  return id;
}

CControlUI* AccessibleIds::Find(long id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void AccessibleIds::Forget(CControlUI* control) {
  auto it = ids_.find(control);
  if (it == ids_.end()) return;
  controls_.erase(it->second);
  ids_.erase(it);
}

}  // namespace SkinUI
