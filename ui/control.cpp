#include "ui/control.h"

#include <cwchar>

#include "ui/paint_manager.h"
#include "ui/skin_values.h"

namespace SkinUI {

CControlUI::CControlUI() = default;

CControlUI::~CControlUI() {
  if (manager_) manager_->ReapObjects(this);
}

void* CControlUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"Control") == 0) return this;
  return nullptr;
}

void CControlUI::SetText(const std::wstring& text) {
  if (text_ == text) return;
  text_ = text;
  Invalidate();
  if (manager_) manager_->AccessibleChanged(AccessibleChange::kName, this);
}

void CControlUI::SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init) {
  if (manager_ && manager_ != manager) manager_->ReapObjects(this);
  manager_ = manager;
  parent_ = parent;
  if (manager_ && init && !initialised_) {
    initialised_ = true;
    DoInit();
  }
}

CControlUI* CControlUI::FindControl(const std::function<bool(CControlUI*)>& match) {
  return match(this) ? this : nullptr;
}

CControlUI* CControlUI::FindSubControl(const std::wstring& name) {
  return FindControl([this, &name](CControlUI* c) { return c != this && c->GetName() == name; });
}

CControlUI* CControlUI::FindControlAt(UiPoint point) {
  if (!visible_ || !mouseEnabled_ || !rcItem_.Contains(point)) return nullptr;
  return this;
}

void CControlUI::SetPos(const UiRect& rc) {
  UiRect r = rc;
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  if (r == rcItem_) return;
  rcItem_ = r;
  Invalidate();
}

void CControlUI::SetFixedWidth(int cx) {
  if (cx < 0) return;
  fixed_.cx = cx;
  NeedParentUpdate();
}

void CControlUI::SetFixedHeight(int cy) {
  if (cy < 0) return;
  fixed_.cy = cy;
  NeedParentUpdate();
}

void CControlUI::SetPadding(const UiRect& padding) {
  padding_ = padding;
  NeedParentUpdate();
}

void CControlUI::SetFloat(bool on) {
  float_ = on;
  NeedParentUpdate();
}

void CControlUI::SetFloatPos(const UiRect& pos) {
  floatPos_ = pos;
  NeedParentUpdate();
}

UiSize CControlUI::EstimateSize(UiSize available) const {
  (void)available;
  return fixed_;
}

void CControlUI::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  NeedParentUpdate();
  if (manager_) manager_->AccessibleChanged(AccessibleChange::kState, this);
}

bool CControlUI::IsVisibleInTree() const {
  for (const CControlUI* c = this; c; c = c->parent_) {
    if (!c->visible_) return false;
  }
  return true;
}

void CControlUI::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Invalidate();
  if (manager_) manager_->AccessibleChanged(AccessibleChange::kState, this);
}

void CControlUI::SetFocus() {
  if (manager_) manager_->SetFocus(this);
}

void CControlUI::SetBkColor(UiColor color) {
  bkColor_ = color;
  Invalidate();
}

void CControlUI::SetBkImage(const std::wstring& image) {
  if (bkImage_ == image) return;
  bkImage_ = image;
  Invalidate();
}

void CControlUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  if (n == L"name") {
    SetName(value);
  } else if (n == L"text") {
    SetText(value);
  } else if (n == L"tooltip") {
    SetToolTip(value);
  } else if (n == L"userdata") {
    SetUserData(value);
  } else if (n == L"pos") {
    UiRect pos = ParseRect(value);
    SetFloatPos(pos);
    if (fixed_.cx == 0 && pos.right > pos.left) fixed_.cx = pos.right - pos.left;
    if (fixed_.cy == 0 && pos.bottom > pos.top) fixed_.cy = pos.bottom - pos.top;
  } else if (n == L"float") {
    SetFloat(ParseBool(value));
  } else if (n == L"padding") {
    SetPadding(ParseRect(value));
  } else if (n == L"width") {
    SetFixedWidth(ParseInt(value));
  } else if (n == L"height") {
    SetFixedHeight(ParseInt(value));
  } else if (n == L"minwidth") {
    min_.cx = ParseInt(value);
  } else if (n == L"minheight") {
    min_.cy = ParseInt(value);
  } else if (n == L"maxwidth") {
    max_.cx = ParseInt(value);
  } else if (n == L"maxheight") {
    max_.cy = ParseInt(value);
  } else if (n == L"bkcolor") {
    SetBkColor(ParseColor(value));
  } else if (n == L"bkimage") {
    SetBkImage(value);
  } else if (n == L"bordercolor") {
    borderColor_ = ParseColor(value);
  } else if (n == L"bordersize") {
    borderSize_ = ParseInt(value);
  } else if (n == L"visible") {
    SetVisible(ParseBool(value));
  } else if (n == L"enabled") {
    SetEnabled(ParseBool(value));
  } else if (n == L"mouse") {
    SetMouseEnabled(ParseBool(value));
  } else if (n == L"tabstop") {
    tabStop_ = ParseBool(value);
  } else if (n == L"valuefrom") {
    valueSource_ = value;
  }
}

bool CControlUI::ApplyAttributeList(const wchar_t* list) {
  bool complete = false;
  for (const auto& pair : ParseAttributeList(list, &complete)) {
    SetAttribute(pair.first.c_str(), pair.second.c_str());
  }
  return complete;
}

void CControlUI::DoPaint(IPainter& painter, const UiRect& dirty) {
  if (!rcItem_.Intersects(dirty)) return;
  PaintBkColor(painter);
  PaintBkImage(painter);
  PaintStatusImage(painter);
  PaintText(painter);
  PaintBorder(painter);
  PaintFocusMark(painter);
}

void CControlUI::PaintBkColor(IPainter& painter) {
  if (bkColor_ != 0) painter.FillRect(rcItem_, bkColor_);
}

void CControlUI::PaintBkImage(IPainter& painter) {
  DrawImage(painter, bkImage_);
}

void CControlUI::PaintBorder(IPainter& painter) {
  if (borderSize_ > 0 && borderColor_ != 0) painter.DrawBorder(rcItem_, borderSize_, borderColor_);
}

void CControlUI::PaintFocusMark(IPainter& painter) {
  if (!focused_ || !manager_ || !manager_->IsFocusMarkShown() || !AcceptsFocus()) return;
  // Dark outside, light inside: it shows on the light pages and the dark bar.
  painter.DrawBorder(rcItem_, 1, 0xFF1B62C8);
  painter.DrawBorder(rcItem_.Deflate({1, 1, 1, 1}), 1, 0xFFFFFFFF);
}

bool CControlUI::DrawImage(IPainter& painter, const std::wstring& image, int frame) {
  if (image.empty()) return false;
  ImageDraw draw;
  draw.spec = ParseImageSpec(image.c_str());
  if (draw.spec.IsEmpty()) return false;
  if (manager_ && !draw.spec.hasMask) {
    if (const RegisteredImage* registered = manager_->GetImage(draw.spec.file)) {
      draw.spec.mask = registered->mask;
      draw.spec.hasMask = registered->hasMask;
    }
  }
  draw.target = ImageDestRect(draw.spec, rcItem_);
  if (draw.target.IsEmpty()) return false;
  draw.frame = frame;
  return painter.DrawImage(draw);
}

void CControlUI::DoEvent(TEventUI& event) {
  switch (event.type) {
    case UiEventType::kSetFocus:
      focused_ = true;
      Invalidate();
      break;
    case UiEventType::kKillFocus:
      focused_ = false;
      Invalidate();
      break;
    case UiEventType::kButtonDown:
    case UiEventType::kButtonUp:
    case UiEventType::kDoubleClick:
    case UiEventType::kScrollWheel:
    case UiEventType::kKeyDown:
      if (parent_) parent_->DoEvent(event);
      break;
    default:
      break;
  }
}

bool CControlUI::Activate() {
  return visible_ && enabled_;
}

void CControlUI::Notify(const wchar_t* type, std::uintptr_t wParam, std::intptr_t lParam) {
  if (manager_) manager_->SendNotify(this, type, wParam, lParam);
}

void CControlUI::Invalidate() {
  if (manager_ && visible_) manager_->Invalidate(rcItem_);
}

void CControlUI::NeedParentUpdate() {
  if (manager_) {
    manager_->NeedUpdate();
    manager_->Invalidate(parent_ ? parent_->GetPos() : rcItem_);
  }
}

void CControlUI::NeedUpdate() {
  NeedParentUpdate();
}

bool CControlUI::SetTimer(int id, int elapseMs) {
  return manager_ && manager_->SetTimer(this, id, elapseMs);
}

bool CControlUI::KillTimer(int id) {
  return manager_ && manager_->KillTimer(this, id);
}

}  // namespace SkinUI
