#include "ui/combo.h"

#include <cwchar>

#include "ui/paint_manager.h"
#include "ui/skin_values.h"

namespace SkinUI {

void* CComboUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"Combo") == 0) return this;
  return CContainerUI::GetInterface(name);
}

void* CComboBoxUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"ComboBox") == 0) return this;
  return CComboUI::GetInterface(name);
}

bool CComboUI::SelectItem(int index, bool sendNotify) {
  if (index < -1 || index >= GetCount()) return false;
  if (index == curSel_) return true;
  int old = curSel_;
  curSel_ = index;
  Invalidate();
  if (sendNotify) Notify(L"itemselect", static_cast<std::uintptr_t>(index), old);
  return true;
}

std::vector<std::wstring> CComboUI::ItemTexts() const {
  std::vector<std::wstring> texts;
  for (int i = 0; i < GetCount(); ++i) texts.push_back(GetItemAt(i)->GetText());
  return texts;
}

const std::wstring& CComboUI::GetText() const {
  CControlUI* item = GetItemAt(curSel_);
  return item ? item->GetText() : text_;
}

bool CComboUI::RemoveAt(int index) {
  if (!CContainerUI::RemoveAt(index)) return false;
  if (index == curSel_)
    curSel_ = -1;
  else if (index < curSel_)
    --curSel_;
  return true;
}

void CComboUI::RemoveAll() {
  CContainerUI::RemoveAll();
  curSel_ = -1;
}

void CComboUI::OnItemAdded(CControlUI* control, int index) {
  (void)control;
  if (curSel_ >= index) ++curSel_;
}

void CComboUI::SetPos(const UiRect& rc) {
  // The items live in the drop-down list, not in the box.
  CControlUI::SetPos(rc);
}

CControlUI* CComboUI::FindControlAt(UiPoint point) {
  return CControlUI::FindControlAt(point);
}

void CComboUI::DoPaint(IPainter& painter, const UiRect& dirty) {
  CControlUI::DoPaint(painter, dirty);
}

void CComboUI::PaintText(IPainter& painter) {
  const std::wstring& text = GetText();
  if (text.empty()) return;
  UiRect rc = rcItem_.Deflate(textPadding_);
  if (rc.IsEmpty()) return;
  TextStyle style;
  style.font = font_;
  UiColor color = textColor_;
  if (color == 0 && manager_) color = manager_->GetWindowAttributes().defaultFontColor;
  style.color = color | 0xFF000000u;
  style.align = align_;
  style.endEllipsis = true;
  painter.DrawText(rc, {TextRun{text, font_, false}}, style);
}

bool CComboUI::Activate() {
  if (!CContainerUI::Activate()) return false;
  Notify(L"click");
  IWindowHostUI* host = manager_ ? manager_->GetHost() : nullptr;
  if (host && GetCount() > 0) {
    int chosen = host->ChooseItem(rcItem_, ItemTexts(), curSel_);
    if (chosen >= 0) SelectItem(chosen);
  }
  return true;
}

void CComboUI::DoEvent(TEventUI& event) {
  switch (event.type) {
    case UiEventType::kButtonDown:
    case UiEventType::kDoubleClick:
      if (enabled_) pushed_ = true;
      return;
    case UiEventType::kButtonUp:
      if (pushed_) {
        pushed_ = false;
        if (rcItem_.Contains(event.ptMouse)) Activate();
      }
      return;
    case UiEventType::kScrollWheel:
      if (enabled_ && GetCount() > 0) {
        int next = curSel_ + (event.wParam > 0 ? -1 : 1);
        if (next >= 0 && next < GetCount()) SelectItem(next);
      }
      return;
    default:
      CControlUI::DoEvent(event);
  }
}

void CComboUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  if (n == L"selectedid") {
    SelectItem(ParseInt(value), false);
  } else if (n == L"font") {
    font_ = ParseInt(value);
  } else if (n == L"textcolor") {
    textColor_ = ParseColor(value);
  } else if (n == L"textpadding") {
    textPadding_ = ParseRect(value);
  } else if (n == L"align") {
    ParseAlign(value, &align_, nullptr);
  } else {
    CContainerUI::SetAttribute(name, value);
  }
}

}  // namespace SkinUI
