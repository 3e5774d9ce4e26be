#include "ui/container.h"

#include <algorithm>
#include <climits>
#include <cwchar>

#include "ui/paint_manager.h"
#include "ui/skin_builder.h"
#include "ui/skin_values.h"

namespace SkinUI {
namespace {

constexpr int kDefaultScrollBarWidth = 16;

int Clamp(int value, int low, int high) {
  return value < low ? low : value > high ? high : value;
}

int ClampToInt(long long value) {
  return value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

int ClampSize(int value, int min, int max) {
  if (value > max) value = max;
  if (value < min) value = min;
  return value < 0 ? 0 : value;
}

// The children a layout flows (visible, not floating).
std::vector<CControlUI*> FlowItems(const std::vector<CControlUI*>& items) {
  std::vector<CControlUI*> flow;
  flow.reserve(items.size());
  for (CControlUI* c : items) {
    if (c->IsVisible() && !c->IsFloat()) flow.push_back(c);
  }
  return flow;
}

// How a row or a column shares its length: children with a size of their
// own keep it, the rest share what is left equally, the last of them taking
// the remainder. Sums over many children are kept in 64 bits: a skin may
// have thousands.
struct MainAxisShares {
  int autoCount = 0;
  int autoSize = 0;
  int autoLeft = 0;  // added to the last child without a size of its own
};

MainAxisShares ShareMainAxis(const std::vector<CControlUI*>& flow, UiSize available,
                             int childPadding, bool vertical) {
  long long fixedTotal = static_cast<long long>(childPadding) * (flow.size() - 1);
  MainAxisShares shares;
  for (CControlUI* c : flow) {
    const UiSize sz = c->EstimateSize(available);
    const UiRect& pad = c->GetPadding();
    fixedTotal += vertical ? pad.top + pad.bottom : pad.left + pad.right;
    const int own = vertical ? sz.cy : sz.cx;
    if (own > 0) {
      fixedTotal += vertical ? ClampSize(own, c->GetMinHeight(), c->GetMaxHeight())
                             : ClampSize(own, c->GetMinWidth(), c->GetMaxWidth());
    } else {
      ++shares.autoCount;
    }
  }
  const long long length = vertical ? available.cy : available.cx;
  const int remain = ClampToInt(std::max(0LL, length - fixedTotal));
  if (shares.autoCount) {
    shares.autoSize = remain / shares.autoCount;
    shares.autoLeft = remain - shares.autoSize * shares.autoCount;
  }
  return shares;
}

}  // namespace

// ---- CScrollBarUI ----------------------------------------------------------

CScrollBarUI::CScrollBarUI() {
  fixed_.cx = kDefaultScrollBarWidth;
}

void* CScrollBarUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"ScrollBar") == 0) return this;
  return CControlUI::GetInterface(name);
}

void CScrollBarUI::SetScrollRange(int range) {
  range_ = range < 0 ? 0 : range;
  pos_ = Clamp(pos_, 0, range_);
  Invalidate();
}

void CScrollBarUI::SetScrollPos(int pos) {
  pos_ = Clamp(pos, 0, range_);
  Invalidate();
}

UiRect CScrollBarUI::Button1Rect() const {
  if (!showButton1_) return {rcItem_.left, rcItem_.top, rcItem_.right, rcItem_.top};
  return {rcItem_.left, rcItem_.top, rcItem_.right,
          std::min(rcItem_.bottom, rcItem_.top + rcItem_.Width())};
}

UiRect CScrollBarUI::Button2Rect() const {
  if (!showButton2_) return {rcItem_.left, rcItem_.bottom, rcItem_.right, rcItem_.bottom};
  return {rcItem_.left, std::max(rcItem_.top, rcItem_.bottom - rcItem_.Width()), rcItem_.right,
          rcItem_.bottom};
}

UiRect CScrollBarUI::GetThumbRect() const {
  int top = Button1Rect().bottom;
  int bottom = Button2Rect().top;
  int track = bottom - top;
  if (range_ <= 0 || track <= 0) return {};
  int view = rcItem_.Height();
  int thumb = static_cast<int>(static_cast<long long>(track) * view / (view + range_));
  thumb = Clamp(thumb, std::min(track, rcItem_.Width()), track);
  int offset = static_cast<int>(static_cast<long long>(track - thumb) * pos_ / range_);
  return {rcItem_.left, top + offset, rcItem_.right, top + offset + thumb};
}

void CScrollBarUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  if (n.size() > 5 && n.compare(n.size() - 5, 5, L"image") == 0 && n != L"bkimage") {
    images_[n] = value;
  } else if (n == L"showbutton1") {
    showButton1_ = ParseBool(value);
  } else if (n == L"showbutton2") {
    showButton2_ = ParseBool(value);
  } else if (n == L"linesize") {
    lineSize_ = std::max(1, ParseInt(value));
  } else if (n == L"range") {
    SetScrollRange(ParseInt(value));
  } else if (n == L"value") {
    SetScrollPos(ParseInt(value));
  } else {
    CControlUI::SetAttribute(name, value);
  }
}

bool CScrollBarUI::DrawPart(IPainter& painter, const std::wstring& part, const UiRect& rc) {
  auto it = images_.find(part);
  if (it == images_.end() || rc.IsEmpty()) return false;
  UiRect saved = rcItem_;
  rcItem_ = rc;  // image dest offsets are relative to the part
  bool drawn = DrawImage(painter, it->second);
  rcItem_ = saved;
  return drawn;
}

void CScrollBarUI::PaintBkImage(IPainter& painter) {
  CControlUI::PaintBkImage(painter);
  DrawPart(painter, L"bknormalimage", rcItem_);
}

void CScrollBarUI::PaintStatusImage(IPainter& painter) {
  DrawPart(painter, L"button1normalimage", Button1Rect());
  DrawPart(painter, L"button2normalimage", Button2Rect());
  UiRect thumb = GetThumbRect();
  if (thumb.IsEmpty()) return;
  DrawPart(
      painter,
      dragging_ && images_.count(L"thumbpushedimage") ? L"thumbpushedimage" : L"thumbnormalimage",
      thumb);
  DrawPart(painter, L"railnormalimage", thumb);
}

void CScrollBarUI::DoEvent(TEventUI& event) {
  if (!owner_) return CControlUI::DoEvent(event);
  switch (event.type) {
    case UiEventType::kButtonDown:
    case UiEventType::kDoubleClick: {
      if (!enabled_) return;
      UiRect thumb = GetThumbRect();
      if (Button1Rect().Contains(event.ptMouse)) {
        owner_->LineUp();
      } else if (Button2Rect().Contains(event.ptMouse)) {
        owner_->LineDown();
      } else if (thumb.Contains(event.ptMouse)) {
        dragging_ = true;
        dragStartY_ = event.ptMouse.y;
        dragStartPos_ = pos_;
      } else if (!thumb.IsEmpty()) {
        int page = std::max(lineSize_, rcItem_.Height());
        owner_->SetScrollPos(event.ptMouse.y < thumb.top ? pos_ - page : pos_ + page);
      }
      return;
    }
    case UiEventType::kMouseMove:
      if (dragging_) {
        UiRect thumb = GetThumbRect();
        int travel = Button2Rect().top - Button1Rect().bottom - thumb.Height();
        if (travel > 0) {
          long long delta = static_cast<long long>(event.ptMouse.y - dragStartY_) * range_ / travel;
          owner_->SetScrollPos(dragStartPos_ + static_cast<int>(delta));
        }
      }
      return;
    case UiEventType::kButtonUp:
      dragging_ = false;
      Invalidate();
      return;
    case UiEventType::kScrollWheel:
      owner_->DoEvent(event);
      return;
    default:
      return;
  }
}

// ---- CContainerUI ----------------------------------------------------------

CContainerUI::CContainerUI() = default;

CContainerUI::~CContainerUI() {
  for (CControlUI* c : items_) delete c;
  items_.clear();
  delete vScroll_;
}

void* CContainerUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"IContainer") == 0) return static_cast<IContainerUI*>(this);
  if (std::wcscmp(name, L"Container") == 0) return this;
  return CControlUI::GetInterface(name);
}

CControlUI* CContainerUI::GetItemAt(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return items_[index];
}

int CContainerUI::GetItemIndex(CControlUI* control) const {
  auto it = std::find(items_.begin(), items_.end(), control);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

bool CContainerUI::Add(CControlUI* control) {
  return AddAt(control, GetCount());
}

bool CContainerUI::AddAt(CControlUI* control, int index) {
  if (!control || control == this || index < 0 || index > GetCount()) return false;
  if (GetItemIndex(control) >= 0) return false;
  items_.insert(items_.begin() + index, control);
  if (manager_) {
    manager_->InitControls(control, this);
  } else {
    control->SetManager(nullptr, this, false);
  }
  OnItemAdded(control, index);
  NeedUpdate();
  return true;
}

bool CContainerUI::Remove(CControlUI* control) {
  return RemoveAt(GetItemIndex(control));
}

bool CContainerUI::RemoveAt(int index) {
  if (index < 0 || index >= GetCount()) return false;
  CControlUI* control = items_[index];
  items_.erase(items_.begin() + index);
  if (manager_) {
    manager_->DelayedDelete(control);
  } else {
    delete control;
  }
  NeedUpdate();
  return true;
}

void CContainerUI::RemoveAll() {
  std::vector<CControlUI*> items;
  items.swap(items_);
  for (CControlUI* c : items) {
    if (manager_) {
      manager_->DelayedDelete(c);
    } else {
      delete c;
    }
  }
  scrollPos_ = 0;
  if (vScroll_) vScroll_->SetScrollPos(0);
  NeedUpdate();
}

void CContainerUI::SetInset(const UiRect& inset) {
  inset_ = inset;
  NeedUpdate();
}

void CContainerUI::EnableScrollBar(bool vertical) {
  if (vertical && !vScroll_) {
    vScroll_ = new CScrollBarUI;
    vScroll_->SetOwner(this);
    vScroll_->SetVisible(false);
    vScroll_->SetManager(manager_, this, manager_ != nullptr);
    scrollStyled_ = false;
    StyleScrollBar();
  } else if (!vertical && vScroll_) {
    delete vScroll_;
    vScroll_ = nullptr;
    scrollPos_ = 0;
  }
  NeedUpdate();
}

void CContainerUI::SetScrollPos(int pos) {
  pos = Clamp(pos, 0, scrollRange_);
  if (pos == scrollPos_) return;
  scrollPos_ = pos;
  if (vScroll_) vScroll_->SetScrollPos(pos);
  SetPos(rcItem_);
  Invalidate();
}

void CContainerUI::LineUp() {
  SetScrollPos(scrollPos_ - (vScroll_ ? vScroll_->GetLineSize() : 8));
}

void CContainerUI::LineDown() {
  SetScrollPos(scrollPos_ + (vScroll_ ? vScroll_->GetLineSize() : 8));
}

void CContainerUI::EnsureVisible(const UiRect& rc) {
  UiRect view = ContentArea();
  if (rc.top < view.top) {
    SetScrollPos(scrollPos_ - (view.top - rc.top));
  } else if (rc.bottom > view.bottom) {
    int delta = std::min(rc.bottom - view.bottom, rc.top - view.top);
    SetScrollPos(scrollPos_ + delta);
  }
}

void CContainerUI::SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init) {
  for (CControlUI* c : items_) c->SetManager(manager, this, init);
  if (vScroll_) {
    vScroll_->SetManager(manager, this, init);
  }
  CControlUI::SetManager(manager, parent, init);
  StyleScrollBar();
}

void CContainerUI::StyleScrollBar() {
  // A scroll bar takes the window's default list for "VScrollBar" once, when
  // it first meets a manager.
  if (!vScroll_ || !manager_ || scrollStyled_) return;
  scrollStyled_ = true;
  if (const std::wstring* list = manager_->GetDefaultAttributeList(L"VScrollBar")) {
    vScroll_->ApplyAttributeList(list->c_str());
  }
}

CControlUI* CContainerUI::FindControl(const std::function<bool(CControlUI*)>& match) {
  if (match(this)) return this;
  for (CControlUI* c : items_) {
    if (CControlUI* found = c->FindControl(match)) return found;
  }
  return nullptr;
}

CControlUI* CContainerUI::FindControlAt(UiPoint point) {
  if (!visible_ || !rcItem_.Contains(point)) return nullptr;
  if (vScroll_ && vScroll_->IsVisible() && vScroll_->GetPos().Contains(point)) return vScroll_;
  UiRect content = ContentArea();
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    CControlUI* c = *it;
    if (!c->IsFloat() && !content.Contains(point)) continue;
    if (CControlUI* hit = c->FindControlAt(point)) return hit;
  }
  return mouseEnabled_ ? this : nullptr;
}

UiRect CContainerUI::ContentArea() const {
  UiRect area = rcItem_.Deflate(inset_);
  if (vScroll_ && vScroll_->IsVisible()) area.right -= vScroll_->GetFixedWidth();
  if (area.right < area.left) area.right = area.left;
  if (area.bottom < area.top) area.bottom = area.top;
  return area;
}

void CContainerUI::PlaceFloat(CControlUI* child) {
  const UiRect& pos = child->GetFloatPos();
  int width = child->GetFixedWidth() > 0 ? child->GetFixedWidth() : pos.right - pos.left;
  int height = child->GetFixedHeight() > 0 ? child->GetFixedHeight() : pos.bottom - pos.top;
  int left = rcItem_.left + pos.left;
  int top = rcItem_.top + pos.top;
  child->SetPos({left, top, left + std::max(0, width), top + std::max(0, height)});
}

void CContainerUI::SetPos(const UiRect& rc) {
  UiRect r = rc;
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  if (r != rcItem_) Invalidate();
  rcItem_ = r;
  for (CControlUI* c : items_) {
    if (c->IsVisible() && c->IsFloat()) PlaceFloat(c);
  }
  UiRect area = rcItem_.Deflate(inset_);
  if (area.right < area.left) area.right = area.left;
  if (area.bottom < area.top) area.bottom = area.top;
  if (!vScroll_) {
    scrollPos_ = scrollRange_ = 0;
    ArrangeItems(area);
    return;
  }
  // Measure first; the bar shows only when the content is taller.
  int needed = ArrangeItems(area);
  bool show = needed > area.Height();
  vScroll_->SetVisible(show);
  if (show) {
    area.right -= vScroll_->GetFixedWidth();
    if (area.right < area.left) area.right = area.left;
    needed = ArrangeItems(area);
  }
  scrollRange_ = show ? std::max(0, needed - area.Height()) : 0;
  scrollPos_ = Clamp(scrollPos_, 0, scrollRange_);
  vScroll_->SetScrollRange(scrollRange_);
  vScroll_->SetScrollPos(scrollPos_);
  if (scrollPos_ != 0) ArrangeItems(area.Offset(0, -scrollPos_));
  if (show) {
    UiRect bar{area.right, rcItem_.top + inset_.top, area.right + vScroll_->GetFixedWidth(),
               rcItem_.bottom - inset_.bottom};
    vScroll_->SetPos(bar);
  }
}

int CContainerUI::ArrangeItems(const UiRect& area) {
  int needed = 0;
  for (CControlUI* c : FlowItems(items_)) {
    const UiRect& pad = c->GetPadding();
    UiSize sz = c->EstimateSize({area.Width(), area.Height()});
    int w = sz.cx > 0 ? sz.cx : area.Width() - pad.left - pad.right;
    int h = sz.cy > 0 ? sz.cy : area.Height() - pad.top - pad.bottom;
    w = ClampSize(w, c->GetMinWidth(), c->GetMaxWidth());
    h = ClampSize(h, c->GetMinHeight(), c->GetMaxHeight());
    UiRect rc{area.left + pad.left, area.top + pad.top, area.left + pad.left + w,
              area.top + pad.top + h};
    c->SetPos(rc);
    needed = std::max(needed, pad.top + h + pad.bottom);
  }
  return needed;
}

void CContainerUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  if (n == L"inset") {
    SetInset(ParseRect(value));
  } else if (n == L"childpadding") {
    childPadding_ = ParseInt(value);
    NeedUpdate();
  } else if (n == L"vscrollbar") {
    EnableScrollBar(ParseBool(value));
  } else if (n == L"mousechild") {
    // children always take the mouse here
  } else {
    CControlUI::SetAttribute(name, value);
  }
}

void CContainerUI::DoPaint(IPainter& painter, const UiRect& dirty) {
  if (!rcItem_.Intersects(dirty)) return;
  CControlUI::DoPaint(painter, dirty);
  UiRect content = ContentArea().Intersect(dirty);
  if (!content.IsEmpty()) {
    painter.PushClip(content);
    for (CControlUI* c : items_) {
      if (c->IsVisible() && !c->IsFloat() && c->GetPos().Intersects(content)) {
        c->DoPaint(painter, content);
      }
    }
    painter.PopClip();
  }
  UiRect whole = rcItem_.Intersect(dirty);
  for (CControlUI* c : items_) {
    if (c->IsVisible() && c->IsFloat() && c->GetPos().Intersects(whole)) {
      painter.PushClip(whole);
      c->DoPaint(painter, whole);
      painter.PopClip();
    }
  }
  if (vScroll_ && vScroll_->IsVisible() && vScroll_->GetPos().Intersects(dirty)) {
    vScroll_->DoPaint(painter, dirty);
  }
  PaintFocusMark(painter);  // over the children
}

void CContainerUI::DoEvent(TEventUI& event) {
  if (event.type == UiEventType::kScrollWheel && vScroll_ && scrollRange_ > 0) {
    for (int i = 0; i < 3; ++i) {
      if (event.wParam > 0)
        LineUp();
      else
        LineDown();
    }
    return;
  }
  CControlUI::DoEvent(event);
}

// ---- CVerticalLayoutUI / CHorizontalLayoutUI -------------------------------

void* CVerticalLayoutUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"VerticalLayout") == 0) return this;
  return CContainerUI::GetInterface(name);
}

int CVerticalLayoutUI::ArrangeItems(const UiRect& area) {
  std::vector<CControlUI*> flow = FlowItems(items_);
  if (flow.empty()) return 0;
  UiSize available{area.Width(), area.Height()};
  const MainAxisShares shares = ShareMainAxis(flow, available, childPadding_, true);
  long long y = area.top;
  int autoSeen = 0;
  for (CControlUI* c : flow) {
    const UiRect& pad = c->GetPadding();
    UiSize sz = c->EstimateSize(available);
    int h = sz.cy;
    if (h <= 0) h = shares.autoSize + (++autoSeen == shares.autoCount ? shares.autoLeft : 0);
    h = ClampSize(h, c->GetMinHeight(), c->GetMaxHeight());
    int w = sz.cx > 0 ? sz.cx : area.Width() - pad.left - pad.right;
    w = ClampSize(w, c->GetMinWidth(), c->GetMaxWidth());
    y += pad.top;
    c->SetPos({area.left + pad.left, ClampToInt(y), area.left + pad.left + w, ClampToInt(y + h)});
    y += static_cast<long long>(h) + pad.bottom + childPadding_;
  }
  return ClampToInt(y - childPadding_ - area.top);
}

void* CHorizontalLayoutUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"HorizontalLayout") == 0) return this;
  return CContainerUI::GetInterface(name);
}

int CHorizontalLayoutUI::ArrangeItems(const UiRect& area) {
  std::vector<CControlUI*> flow = FlowItems(items_);
  if (flow.empty()) return 0;
  UiSize available{area.Width(), area.Height()};
  const MainAxisShares shares = ShareMainAxis(flow, available, childPadding_, false);
  long long x = area.left;
  int autoSeen = 0;
  int needed = 0;
  for (CControlUI* c : flow) {
    const UiRect& pad = c->GetPadding();
    UiSize sz = c->EstimateSize(available);
    int w = sz.cx;
    if (w <= 0) w = shares.autoSize + (++autoSeen == shares.autoCount ? shares.autoLeft : 0);
    w = ClampSize(w, c->GetMinWidth(), c->GetMaxWidth());
    int h = sz.cy > 0 ? sz.cy : area.Height() - pad.top - pad.bottom;
    h = ClampSize(h, c->GetMinHeight(), c->GetMaxHeight());
    x += pad.left;
    c->SetPos({ClampToInt(x), area.top + pad.top, ClampToInt(x + w), area.top + pad.top + h});
    x += static_cast<long long>(w) + pad.right + childPadding_;
    needed = std::max(needed, pad.top + h + pad.bottom);
  }
  return needed;
}

// ---- CTabLayoutUI ----------------------------------------------------------

void* CTabLayoutUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"TabLayout") == 0) return this;
  return CContainerUI::GetInterface(name);
}

void CTabLayoutUI::OnItemAdded(CControlUI* control, int index) {
  if (curSel_ < 0 && control->IsVisible()) {
    curSel_ = index;
    return;
  }
  if (curSel_ >= 0 && index <= curSel_) ++curSel_;
  control->SetVisible(false);
}

bool CTabLayoutUI::SelectItem(int index) {
  if (index < 0 || index >= GetCount()) return false;
  int old = curSel_;
  curSel_ = index;
  for (int i = 0; i < GetCount(); ++i) items_[i]->SetVisible(i == index);
  NeedUpdate();
  if (old != index) Notify(L"tabselect", static_cast<std::uintptr_t>(index), old);
  return true;
}

bool CTabLayoutUI::Remove(CControlUI* control) {
  int index = GetItemIndex(control);
  if (!CContainerUI::Remove(control)) return false;
  if (index == curSel_) {
    curSel_ = -1;
    if (GetCount() > 0) SelectItem(std::min(index, GetCount() - 1));
  } else if (index < curSel_) {
    --curSel_;
  }
  return true;
}

void CTabLayoutUI::RemoveAll() {
  curSel_ = -1;
  CContainerUI::RemoveAll();
}

void CTabLayoutUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (std::wcscmp(name, L"selectedid") == 0) {
    SelectItem(ParseInt(value));
  } else {
    CContainerUI::SetAttribute(name, value);
  }
}

// ---- CTileLayoutUI ---------------------------------------------------------

void* CTileLayoutUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"TileLayout") == 0) return this;
  return CContainerUI::GetInterface(name);
}

void CTileLayoutUI::SetColumns(int columns) {
  columns_ = columns < 1 ? 1 : columns;
  NeedUpdate();
}

void CTileLayoutUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (std::wcscmp(name, L"columns") == 0) {
    SetColumns(ParseInt(value));
  } else if (std::wcscmp(name, L"itemsize") == 0) {
    itemSize_ = ParseSize(value);
    NeedUpdate();
  } else {
    CContainerUI::SetAttribute(name, value);
  }
}

void CTileLayoutUI::DoEvent(TEventUI& event) {
  if (event.type == UiEventType::kKeyDown && manager_) {
    int step = 0;
    switch (static_cast<UiKey>(event.wParam)) {
      case UiKey::kLeft:
        step = -1;
        break;
      case UiKey::kRight:
        step = 1;
        break;
      case UiKey::kUp:
        step = -columns_;
        break;
      case UiKey::kDown:
        step = columns_;
        break;
      default:
        break;
    }
    std::vector<CControlUI*> tiles = manager_->TabStops(this);
    auto at = std::find(tiles.begin(), tiles.end(), event.pSender);
    if (step != 0 && at != tiles.end()) {
      int to =
          Clamp(static_cast<int>(at - tiles.begin()) + step, 0, static_cast<int>(tiles.size()) - 1);
      EnsureVisible(tiles[to]->GetPos());
      tiles[to]->SetFocus();
      return;
    }
  }
  CContainerUI::DoEvent(event);
}

int CTileLayoutUI::ArrangeItems(const UiRect& area) {
  std::vector<CControlUI*> flow = FlowItems(items_);
  if (flow.empty()) return 0;
  int cellWidth = itemSize_.cx > 0 ? itemSize_.cx : area.Width() / columns_;
  long long y = area.top;
  for (std::size_t row = 0; row < flow.size(); row += columns_) {
    std::size_t end = std::min(flow.size(), row + columns_);
    int rowHeight = itemSize_.cy;
    if (rowHeight <= 0) {
      for (std::size_t i = row; i < end; ++i) {
        const UiRect& pad = flow[i]->GetPadding();
        UiSize sz = flow[i]->EstimateSize({cellWidth, area.Height()});
        int h = sz.cy > 0 ? sz.cy : cellWidth - pad.top - pad.bottom;
        rowHeight = std::max(rowHeight, pad.top + h + pad.bottom);
      }
    }
    long long x = area.left;
    for (std::size_t i = row; i < end; ++i) {
      CControlUI* c = flow[i];
      const UiRect& pad = c->GetPadding();
      UiSize sz = c->EstimateSize({cellWidth, rowHeight});
      int w = ClampSize(sz.cx > 0 ? sz.cx : cellWidth - pad.left - pad.right, c->GetMinWidth(),
                        c->GetMaxWidth());
      int h = ClampSize(sz.cy > 0 ? sz.cy : rowHeight - pad.top - pad.bottom, c->GetMinHeight(),
                        c->GetMaxHeight());
      c->SetPos({ClampToInt(x + pad.left), ClampToInt(y + pad.top), ClampToInt(x + pad.left + w),
                 ClampToInt(y + pad.top + h)});
      x += cellWidth;
    }
    y += static_cast<long long>(rowHeight) + childPadding_;
  }
  return ClampToInt(y - childPadding_ - area.top);
}

// ---- CChildLayoutUI --------------------------------------------------------

void CChildLayoutUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (std::wcscmp(name, L"xmlfile") == 0) {
    xmlFile_ = value;
  } else {
    CContainerUI::SetAttribute(name, value);
  }
}

void CChildLayoutUI::DoInit() {
  if (xmlFile_.empty() || GetCount() > 0) return;
  SkinBuilder builder;
  if (CControlUI* content = builder.Create(xmlFile_, nullptr, nullptr, nullptr, nullptr)) {
    if (!Add(content)) delete content;
  }
}

}  // namespace SkinUI
