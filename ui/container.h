// Containers and layouts: CContainerUI (children fill the inset area),
// vertical and horizontal stacks, the tab layout with one visible page, the
// tile grid, and the scroll bar that containers with `vscrollbar` carry.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ui/control.h"

namespace SkinUI {

// The interface the builder asks for with GetInterface(L"IContainer").
class IContainerUI {
 public:
  virtual ~IContainerUI() = default;
  virtual CControlUI* GetItemAt(int index) const = 0;
  virtual int GetItemIndex(CControlUI* control) const = 0;
  virtual int GetCount() const = 0;
  virtual bool Add(CControlUI* control) = 0;
  // Inserts at `index` (0 to count); false when out of range. The container
  // owns what it accepted.
  virtual bool AddAt(CControlUI* control, int index) = 0;
  // Removes and deletes the control.
  virtual bool Remove(CControlUI* control) = 0;
  virtual bool RemoveAt(int index) = 0;
  virtual void RemoveAll() = 0;
};

class CContainerUI;

// A vertical scroll bar: a range of positions, a thumb, two line buttons.
class CScrollBarUI : public CControlUI {
 public:
  CScrollBarUI();
  const wchar_t* GetClass() const override { return L"ScrollBarUI"; }
  void* GetInterface(const wchar_t* name) override;

  void SetOwner(CContainerUI* owner) { owner_ = owner; }
  int GetScrollRange() const { return range_; }
  void SetScrollRange(int range);
  int GetScrollPos() const { return pos_; }
  void SetScrollPos(int pos);
  int GetLineSize() const { return lineSize_; }
  // The thumb's rectangle in client coordinates.
  UiRect GetThumbRect() const;

  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void DoEvent(TEventUI& event) override;

 protected:
  void PaintBkImage(IPainter& painter) override;
  void PaintStatusImage(IPainter& painter) override;

 private:
  UiRect Button1Rect() const;
  UiRect Button2Rect() const;
  bool DrawPart(IPainter& painter, const std::wstring& part, const UiRect& rc);

  CContainerUI* owner_ = nullptr;
  int range_ = 0;
  int pos_ = 0;
  int lineSize_ = 8;
  bool showButton1_ = true;
  bool showButton2_ = true;
  std::map<std::wstring, std::wstring> images_;  // "thumbnormalimage" -> image
  bool dragging_ = false;
  int dragStartY_ = 0;
  int dragStartPos_ = 0;
};

class CContainerUI : public CControlUI, public IContainerUI {
 public:
  CContainerUI();
  ~CContainerUI() override;
  const wchar_t* GetClass() const override { return L"ContainerUI"; }
  void* GetInterface(const wchar_t* name) override;

  CControlUI* GetItemAt(int index) const override;
  int GetItemIndex(CControlUI* control) const override;
  int GetCount() const override { return static_cast<int>(items_.size()); }
  bool Add(CControlUI* control) override;
  bool AddAt(CControlUI* control, int index) override;
  bool Remove(CControlUI* control) override;
  bool RemoveAt(int index) override;
  void RemoveAll() override;

  const UiRect& GetInset() const { return inset_; }
  void SetInset(const UiRect& inset);
  int GetChildPadding() const { return childPadding_; }
  // Scrolling; the bar exists only with vscrollbar="true".
  void EnableScrollBar(bool vertical);
  CScrollBarUI* GetVerticalScrollBar() const { return vScroll_; }
  int GetScrollPos() const { return scrollPos_; }
  int GetScrollRange() const { return scrollRange_; }
  void SetScrollPos(int pos);
  void LineUp();
  void LineDown();
  // Scrolls so that `rc` (in current client coordinates) is in view.
  void EnsureVisible(const UiRect& rc);

  void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init = true) override;
  CControlUI* FindControl(const std::function<bool(CControlUI*)>& match) override;
  CControlUI* FindControlAt(UiPoint point) override;
  void SetPos(const UiRect& rc) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void DoPaint(IPainter& painter, const UiRect& dirty) override;
  void DoEvent(TEventUI& event) override;

 protected:
  // Places the non-float children inside `area` (already moved by the
  // scroll position) and returns the height their content needs.
  virtual int ArrangeItems(const UiRect& area);
  void StyleScrollBar();
  // Places one float child relative to this container's corner.
  void PlaceFloat(CControlUI* child);
  // The area children live in: the rectangle less inset and scroll bar.
  UiRect ContentArea() const;
  // Called for each control that joins; the tab layout hides pages here.
  virtual void OnItemAdded(CControlUI* control, int index) {
    (void)control;
    (void)index;
  }

  std::vector<CControlUI*> items_;
  UiRect inset_;
  int childPadding_ = 0;
  CScrollBarUI* vScroll_ = nullptr;
  bool scrollStyled_ = false;
  int scrollPos_ = 0;
  int scrollRange_ = 0;
};

class CVerticalLayoutUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override { return L"VerticalLayoutUI"; }
  void* GetInterface(const wchar_t* name) override;

 protected:
  int ArrangeItems(const UiRect& area) override;
};

class CHorizontalLayoutUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override { return L"HorizontalLayoutUI"; }
  void* GetInterface(const wchar_t* name) override;

 protected:
  int ArrangeItems(const UiRect& area) override;
};

// Shows exactly one child (page) at a time.
class CTabLayoutUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override { return L"TabLayoutUI"; }
  void* GetInterface(const wchar_t* name) override;
  int GetCurSel() const { return curSel_; }
  // Shows page `index` and hides the others; raises "tabselect" when the
  // page changed. False for an index out of range.
  bool SelectItem(int index);
  bool SelectPage(int index) { return SelectItem(index); }
  bool Remove(CControlUI* control) override;
  void RemoveAll() override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;

 protected:
  void OnItemAdded(CControlUI* control, int index) override;

 private:
  int curSel_ = -1;
};

class CAnimationTabLayoutUI : public CTabLayoutUI {
 public:
  const wchar_t* GetClass() const override { return L"AnimationTabLayoutUI"; }
};

// A grid of equally sized cells, `columns` per row.
class CTileLayoutUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override { return L"TileLayoutUI"; }
  void* GetInterface(const wchar_t* name) override;
  int GetColumns() const { return columns_; }
  void SetColumns(int columns);
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  // Arrow keys move the focus from tile to tile, a row's width for up and down.
  void DoEvent(TEventUI& event) override;

 protected:
  int ArrangeItems(const UiRect& area) override;

 private:
  int columns_ = 1;
  UiSize itemSize_;
};

// A container whose content comes from another mark-up member (`xmlfile`).
class CChildLayoutUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override { return L"ChildLayoutUI"; }
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void DoInit() override;

 private:
  std::wstring xmlFile_;
};

}  // namespace SkinUI
