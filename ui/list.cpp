#include "ui/list.h"

#include <algorithm>
#include <cwchar>

#include "ui/paint_manager.h"
#include "ui/skin_values.h"

namespace SkinUI {

// ---- CListContainerElementUI -----------------------------------------------

void* CListContainerElementUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"ListItem") == 0 || std::wcscmp(name, L"ListContainerElement") == 0) {
    return this;
  }
  return CHorizontalLayoutUI::GetInterface(name);
}

void CListContainerElementUI::SetSelected(bool selected) {
  if (selected_ == selected) return;
  selected_ = selected;
  Invalidate();
  if (manager_) manager_->AccessibleChanged(AccessibleChange::kState, this);
}

bool CListContainerElementUI::Activate() {
  if (!CHorizontalLayoutUI::Activate()) return false;
  if (owner_) owner_->SelectItem(index_, false);
  Notify(L"itemactivate");
  return true;
}

void CListContainerElementUI::DoEvent(TEventUI& event) {
  switch (event.type) {
    case UiEventType::kButtonDown:
      if (enabled_ && owner_) owner_->SelectItem(index_, true);
      return;
    case UiEventType::kDoubleClick:
      if (enabled_) Notify(L"itemactivate");
      return;
    case UiEventType::kMouseEnter:
      hot_ = true;
      Invalidate();
      return;
    case UiEventType::kMouseLeave:
      hot_ = false;
      Invalidate();
      return;
    default:
      CHorizontalLayoutUI::DoEvent(event);
  }
}

void CListContainerElementUI::PaintBkColor(IPainter& painter) {
  if (owner_ && selected_)
    painter.FillRect(rcItem_, owner_->GetSelectedItemBkColor());
  else if (owner_ && hot_)
    painter.FillRect(rcItem_, owner_->GetHotItemBkColor());
  else
    CHorizontalLayoutUI::PaintBkColor(painter);
}

void CListLabelElementUI::PaintText(IPainter& painter) {
  if (text_.empty()) return;
  TextStyle style;
  style.align = TextAlign::kLeft;
  painter.DrawText(rcItem_, {TextRun{text_, -1, false}}, style);
}

// ---- CListUI ---------------------------------------------------------------

void* CListUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"List") == 0) return this;
  return CVerticalLayoutUI::GetInterface(name);
}

void CListUI::Reindex(int from) {
  for (int i = from < 0 ? 0 : from; i < GetCount(); ++i) {
    auto* row = static_cast<CListContainerElementUI*>(items_[i]->GetInterface(L"ListItem"));
    if (row) {
      row->SetOwner(this);
      row->SetIndex(i);
    }
  }
}

bool CListUI::AddAt(CControlUI* control, int index) {
  if (!CVerticalLayoutUI::AddAt(control, index)) return false;
  if (curSel_ >= index) ++curSel_;
  Reindex(index);
  return true;
}

bool CListUI::RemoveAt(int index) {
  if (index < 0 || index >= GetCount()) return false;
  auto* row = static_cast<CListContainerElementUI*>(items_[index]->GetInterface(L"ListItem"));
  if (row) row->SetOwner(nullptr);
  if (!CVerticalLayoutUI::RemoveAt(index)) return false;
  if (curSel_ == index)
    curSel_ = -1;
  else if (curSel_ > index)
    --curSel_;
  Reindex(index);
  return true;
}

void CListUI::RemoveAll() {
  for (CControlUI* c : items_) {
    auto* row = static_cast<CListContainerElementUI*>(c->GetInterface(L"ListItem"));
    if (row) row->SetOwner(nullptr);
  }
  curSel_ = -1;
  CVerticalLayoutUI::RemoveAll();
}

bool CListUI::SelectItem(int index, bool takeFocus) {
  if (index == curSel_) return true;
  if (index < 0 || index >= GetCount()) return false;
  int old = curSel_;
  if (old >= 0) {
    auto* previous = static_cast<CListContainerElementUI*>(items_[old]->GetInterface(L"ListItem"));
    if (previous) previous->SetSelected(false);
  }
  curSel_ = index;
  CControlUI* item = items_[index];
  auto* row = static_cast<CListContainerElementUI*>(item->GetInterface(L"ListItem"));
  if (row) row->SetSelected(true);
  // Scroll with an up-to-date layout (rows may just have been added).
  if (manager_ && manager_->IsUpdateNeeded())
    manager_->UpdateLayout();
  else
    SetPos(rcItem_);
  EnsureVisible(item->GetPos());
  // The list holds the keyboard for its rows (and shows the focus mark);
  // with the focus on it, screen readers follow its selected row.
  if (takeFocus && manager_ && manager_->GetFocus() != this)
    SetFocus();
  else if (manager_ && manager_->GetFocus() == this)
    manager_->AccessibleChanged(AccessibleChange::kFocus, this);
  Notify(L"itemselect", static_cast<std::uintptr_t>(index), old);
  return true;
}

void CListUI::DoEvent(TEventUI& event) {
  if (event.type != UiEventType::kKeyDown || GetCount() == 0) {
    CVerticalLayoutUI::DoEvent(event);
    return;
  }
  const int last = GetCount() - 1;
  switch (static_cast<UiKey>(event.wParam)) {
    case UiKey::kUp:
      SelectItem(curSel_ <= 0 ? 0 : curSel_ - 1);
      return;
    case UiKey::kDown:
      SelectItem(curSel_ < 0 ? 0 : std::min(curSel_ + 1, last));
      return;
    case UiKey::kHome:
      SelectItem(0);
      return;
    case UiKey::kEnd:
      SelectItem(last);
      return;
    case UiKey::kReturn:
    case UiKey::kSpace:
      if (curSel_ >= 0) items_[curSel_]->Activate();
      return;
    default:
      CVerticalLayoutUI::DoEvent(event);
  }
}

void CListUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  if (n == L"itemselectedbkcolor") {
    selectedBkColor_ = ParseColor(value);
  } else if (n == L"itemhotbkcolor") {
    hotBkColor_ = ParseColor(value);
  } else {
    CVerticalLayoutUI::SetAttribute(name, value);
  }
}

// ---- CTreeNodeUI / CTreeViewUI ---------------------------------------------

CTreeNodeUI::~CTreeNodeUI() {
  // Child nodes that never joined a tree view are ours to delete.
  for (CTreeNodeUI* child : childNodes_) {
    if (!child->treeView_)
      delete child;
    else
      child->parentNode_ = nullptr;
  }
  if (parentNode_) {
    auto& siblings = parentNode_->childNodes_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
}

void* CTreeNodeUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"TreeNode") == 0) return this;
  return CListContainerElementUI::GetInterface(name);
}

CTreeNodeUI* CTreeNodeUI::LastDescendant() {
  CTreeNodeUI* node = this;
  while (!node->childNodes_.empty()) node = node->childNodes_.back();
  return node;
}

bool CTreeNodeUI::AddChildNode(CTreeNodeUI* node) {
  if (!node || node == this || node->parentNode_ || node->treeView_) return false;
  int at = treeView_ ? treeView_->GetItemIndex(LastDescendant()) + 1 : -1;
  node->parentNode_ = this;
  childNodes_.push_back(node);
  if (treeView_ && !treeView_->InsertNode(node, at)) {
    childNodes_.pop_back();
    node->parentNode_ = nullptr;
    return false;
  }
  return true;
}

void* CTreeViewUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"TreeView") == 0) return this;
  return CListUI::GetInterface(name);
}

bool CTreeViewUI::AddNode(CTreeNodeUI* node) {
  if (!node || node->parentNode_ || node->treeView_) return false;
  return InsertNode(node, GetCount());
}

bool CTreeViewUI::InsertNode(CTreeNodeUI* node, int index) {
  if (!AddAt(node, index)) return false;
  node->treeView_ = this;
  int next = index + 1;
  for (CTreeNodeUI* child : node->childNodes_) {
    if (child->treeView_) continue;
    if (!InsertNode(child, next)) return false;
    next = GetItemIndex(child->LastDescendant()) + 1;
  }
  return true;
}

}  // namespace SkinUI
