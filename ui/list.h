// The list: a vertical, scrollable stack of rows with one selected row, its
// row classes, the header classes, and a small tree view built on it.
#pragma once

#include <vector>

#include "ui/container.h"
#include "ui/controls.h"

namespace SkinUI {

class CListUI;

// A list row that holds arbitrary controls.
class CListContainerElementUI : public CHorizontalLayoutUI {
 public:
  const wchar_t* GetClass() const override { return L"ListContainerElementUI"; }
  void* GetInterface(const wchar_t* name) override;

  CListUI* GetOwner() const { return owner_; }
  void SetOwner(CListUI* owner) { owner_ = owner; }
  int GetIndex() const { return index_; }
  void SetIndex(int index) { index_ = index; }
  bool IsSelected() const { return selected_; }
  // Only the list changes this; use CListUI::SelectItem.
  void SetSelected(bool selected);
  // Selects the row and raises "itemactivate", as a double click does.
  bool Activate() override;

  void DoEvent(TEventUI& event) override;

 protected:
  void PaintBkColor(IPainter& painter) override;

  CListUI* owner_ = nullptr;
  int index_ = -1;
  bool selected_ = false;
  bool hot_ = false;
};

// A row that is just text.
class CListLabelElementUI : public CListContainerElementUI {
 public:
  const wchar_t* GetClass() const override { return L"ListLabelElementUI"; }

 protected:
  void PaintText(IPainter& painter) override;
};

class CListTextElementUI : public CListLabelElementUI {
 public:
  const wchar_t* GetClass() const override { return L"ListTextElementUI"; }
};

class CListHeaderUI : public CHorizontalLayoutUI {
 public:
  const wchar_t* GetClass() const override { return L"ListHeaderUI"; }
};

class CListHeaderItemUI : public CLabelUI {
 public:
  const wchar_t* GetClass() const override { return L"ListHeaderItemUI"; }
};

class CListUI : public CVerticalLayoutUI {
 public:
  const wchar_t* GetClass() const override { return L"ListUI"; }
  void* GetInterface(const wchar_t* name) override;

  bool AddAt(CControlUI* control, int index) override;
  bool RemoveAt(int index) override;
  void RemoveAll() override;

  int GetCurSel() const { return curSel_; }
  // Highlights row `index`, deselecting the previous one, scrolls it into
  // view, takes the keyboard focus for the list if asked and raises
  // "itemselect".
  // Selecting the selected row again does nothing. False when out of range.
  bool SelectItem(int index, bool takeFocus = false);

  // The list is one Tab stop: up, down, home and end move the selection,
  // Enter and Space activate the selected row.
  bool AcceptsFocus() const override { return true; }
  void DoEvent(TEventUI& event) override;

  UiColor GetSelectedItemBkColor() const { return selectedBkColor_; }
  UiColor GetHotItemBkColor() const { return hotBkColor_; }
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;

 private:
  void Reindex(int from);

  int curSel_ = -1;
  UiColor selectedBkColor_ = 0xFFC1E3FF;
  UiColor hotBkColor_ = 0xFFE9F5FF;
};

class CTreeViewUI;

class CTreeNodeUI : public CListContainerElementUI {
 public:
  ~CTreeNodeUI() override;
  const wchar_t* GetClass() const override { return L"TreeNodeUI"; }
  void* GetInterface(const wchar_t* name) override;

  // Adds a child node; it joins the tree view (after this node's last
  // descendant) when this node is in one, or later when this node joins.
  bool AddChildNode(CTreeNodeUI* node);
  CTreeNodeUI* GetParentNode() const { return parentNode_; }
  CTreeViewUI* GetTreeView() const { return treeView_; }
  int GetChildNodeCount() const { return static_cast<int>(childNodes_.size()); }

 private:
  friend class CTreeViewUI;
  CTreeNodeUI* LastDescendant();

  CTreeNodeUI* parentNode_ = nullptr;
  CTreeViewUI* treeView_ = nullptr;
  std::vector<CTreeNodeUI*> childNodes_;
};

class CTreeViewUI : public CListUI {
 public:
  const wchar_t* GetClass() const override { return L"TreeViewUI"; }
  void* GetInterface(const wchar_t* name) override;
  // Adds a top-level node and its child nodes.
  bool AddNode(CTreeNodeUI* node);

 private:
  friend class CTreeNodeUI;
  bool InsertNode(CTreeNodeUI* node, int index);
};

}  // namespace SkinUI
