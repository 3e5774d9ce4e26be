#include "ui/controls.h"

#include <algorithm>
#include <ctime>
#include <cwchar>

#include "ui/paint_manager.h"
#include "ui/skin_values.h"

namespace SkinUI {

// ---- CLabelUI --------------------------------------------------------------

void* CLabelUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"Label") == 0) return this;
  return CControlUI::GetInterface(name);
}

void CLabelUI::SetFont(int index) {
  font_ = index;
  Invalidate();
}

void CLabelUI::SetTextColor(UiColor color) {
  textColor_ = color;
  Invalidate();
}

std::vector<TextRun> CLabelUI::GetTextRuns() const {
  if (showHtml_) return ParseInlineText(text_, font_);
  if (text_.empty()) return {};
  return {TextRun{text_, font_, false}};
}

UiColor CLabelUI::CurrentTextColor() const {
  UiColor color = textColor_;
  if (!enabled_ && disabledTextColor_ != 0)
    color = disabledTextColor_;
  else if (!enabled_ && manager_)
    color = manager_->GetWindowAttributes().disabledFontColor;
  if (color == 0 && manager_) color = manager_->GetWindowAttributes().defaultFontColor;
  return color;
}

TextStyle CLabelUI::GetTextStyle() const {
  TextStyle style;
  style.font = font_;
  style.color = CurrentTextColor() | 0xFF000000u;  // text ignores the alpha byte
  style.align = align_;
  style.valign = valign_;
  style.endEllipsis = endEllipsis_;
  style.singleLine = !multiLine_;
  return style;
}

void CLabelUI::PaintText(IPainter& painter) {
  if (text_.empty()) return;
  UiRect rc = rcItem_.Deflate(textPadding_);
  if (rc.IsEmpty()) return;
  painter.DrawText(rc, GetTextRuns(), GetTextStyle());
}

void CLabelUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  if (n == L"font") {
    SetFont(ParseInt(value));
  } else if (n == L"textcolor") {
    SetTextColor(ParseColor(value));
  } else if (n == L"disabledtextcolor") {
    disabledTextColor_ = ParseColor(value);
  } else if (n == L"textpadding") {
    textPadding_ = ParseRect(value);
  } else if (n == L"align") {
    ParseAlign(value, &align_, &valign_);
  } else if (n == L"valign") {
    std::wstring v = value;
    if (v.find(L"top") != std::wstring::npos) valign_ = TextVAlign::kTop;
    if (v.find(L"center") != std::wstring::npos) valign_ = TextVAlign::kCenter;
    if (v.find(L"bottom") != std::wstring::npos) valign_ = TextVAlign::kBottom;
  } else if (n == L"showhtml") {
    showHtml_ = ParseBool(value);
  } else if (n == L"endellipsis") {
    endEllipsis_ = ParseBool(value);
  } else if (n == L"multiline") {
    multiLine_ = ParseBool(value);
  } else {
    CControlUI::SetAttribute(name, value);
  }
}

// ---- CButtonUI -------------------------------------------------------------

CButtonUI::CButtonUI() {
  align_ = TextAlign::kCenter;
}

void* CButtonUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"Button") == 0) return this;
  return CLabelUI::GetInterface(name);
}

void CButtonUI::SetNormalImage(const std::wstring& image) {
  normalImage_ = image;
  Invalidate();
}
void CButtonUI::SetHotImage(const std::wstring& image) {
  hotImage_ = image;
  Invalidate();
}
void CButtonUI::SetPushedImage(const std::wstring& image) {
  pushedImage_ = image;
  Invalidate();
}

bool CButtonUI::Activate() {
  if (!CLabelUI::Activate()) return false;
  Notify(L"click");
  return true;
}

void CButtonUI::SetEnabled(bool enabled) {
  CLabelUI::SetEnabled(enabled);
  if (!enabled) hot_ = pushed_ = false;
}

void CButtonUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  if (n == L"normalimage") {
    SetNormalImage(value);
  } else if (n == L"hotimage") {
    SetHotImage(value);
  } else if (n == L"pushedimage") {
    SetPushedImage(value);
  } else if (n == L"focusedimage") {
    focusedImage_ = value;
  } else if (n == L"disabledimage") {
    disabledImage_ = value;
  } else if (n == L"foreimage") {
    foreImage_ = value;
  } else if (n == L"hotforeimage") {
    hotForeImage_ = value;
  } else if (n == L"hottextcolor") {
    hotTextColor_ = ParseColor(value);
  } else if (n == L"pushedtextcolor") {
    pushedTextColor_ = ParseColor(value);
  } else if (n == L"focusedtextcolor") {
    focusedTextColor_ = ParseColor(value);
  } else if (n == L"hotbkcolor") {
    hotBkColor_ = ParseColor(value);
  } else {
    CLabelUI::SetAttribute(name, value);
  }
}

void CButtonUI::DoEvent(TEventUI& event) {
  switch (event.type) {
    case UiEventType::kMouseEnter:
      if (enabled_) hot_ = true, Invalidate();
      return;
    case UiEventType::kMouseLeave:
      hot_ = false;
      Invalidate();
      return;
    case UiEventType::kButtonDown:
    case UiEventType::kDoubleClick:
      if (enabled_) pushed_ = true, Invalidate();
      return;
    case UiEventType::kMouseMove:
      if (pushed_) {
        bool inside = rcItem_.Contains(event.ptMouse);
        if (inside != hot_) hot_ = inside, Invalidate();
      }
      return;
    case UiEventType::kButtonUp:
      if (pushed_) {
        pushed_ = false;
        Invalidate();
        // Activate may lead a handler to remove this control; the manager
        // keeps it alive until the event is over, and nothing follows here.
        if (rcItem_.Contains(event.ptMouse)) Activate();
      }
      return;
    case UiEventType::kKeyDown:
      if (event.wParam == static_cast<int>(UiKey::kReturn) ||
          event.wParam == static_cast<int>(UiKey::kSpace)) {
        Activate();
        return;
      }
      CLabelUI::DoEvent(event);
      return;
    default:
      CLabelUI::DoEvent(event);
  }
}

bool CButtonUI::DrawFirst(IPainter& painter,
                          std::initializer_list<const std::wstring*> candidates) {
  for (const std::wstring* image : candidates) {
    if (!image->empty() && DrawImage(painter, *image)) return true;
  }
  return false;
}

void CButtonUI::PaintBkColor(IPainter& painter) {
  if (hot_ && hotBkColor_ != 0)
    painter.FillRect(rcItem_, hotBkColor_);
  else
    CLabelUI::PaintBkColor(painter);
}

void CButtonUI::PaintStatusImage(IPainter& painter) {
  // A state image the archive lacks falls back to the normal image.
  if (!enabled_)
    DrawFirst(painter, {&disabledImage_, &normalImage_});
  else if (pushed_)
    DrawFirst(painter, {&pushedImage_, &hotImage_, &normalImage_});
  else if (hot_)
    DrawFirst(painter, {&hotImage_, &normalImage_});
  else if (focused_)
    DrawFirst(painter, {&focusedImage_, &normalImage_});
  else
    DrawFirst(painter, {&normalImage_});
  if (hot_)
    DrawFirst(painter, {&hotForeImage_, &foreImage_});
  else
    DrawFirst(painter, {&foreImage_});
}

UiColor CButtonUI::CurrentTextColor() const {
  if (enabled_ && pushed_ && pushedTextColor_ != 0) return pushedTextColor_;
  if (enabled_ && hot_ && hotTextColor_ != 0) return hotTextColor_;
  if (enabled_ && focused_ && focusedTextColor_ != 0) return focusedTextColor_;
  return CLabelUI::CurrentTextColor();
}

// ---- COptionUI -------------------------------------------------------------

COptionUI::~COptionUI() = default;

void* COptionUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"Option") == 0) return this;
  return CButtonUI::GetInterface(name);
}

void COptionUI::SetGroup(const std::wstring& group) {
  if (group == group_) return;
  if (manager_ && !group_.empty()) manager_->RemoveOptionGroup(group_, this);
  group_ = group;
  if (manager_ && !group_.empty()) manager_->AddOptionGroup(group_, this);
}

void COptionUI::SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init) {
  CButtonUI::SetManager(manager, parent, init);
  if (manager_ && !group_.empty()) manager_->AddOptionGroup(group_, this);
}

void COptionUI::Select(bool selected, bool sendNotify) {
  if (selected_ == selected) return;
  if (selected && !group_.empty() && manager_) {
    if (const std::vector<CControlUI*>* members = manager_->GetOptionGroup(group_)) {
      std::vector<CControlUI*> others = *members;
      for (CControlUI* c : others) {
        if (c != this) static_cast<COptionUI*>(c)->Select(false, false);
      }
    }
  }
  selected_ = selected;
  Invalidate();
  if (manager_) manager_->AccessibleChanged(AccessibleChange::kState, this);
  if (!sendNotify) return;
  if (group_.empty() || selected_) Notify(L"selectchanged");
}

bool COptionUI::Activate() {
  if (!CButtonUI::Activate()) return false;  // "click" comes first
  Select(group_.empty() ? !selected_ : true);
  return true;
}

void COptionUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  if (n == L"group") {
    SetGroup(value);
  } else if (n == L"selected") {
    Select(ParseBool(value), false);
  } else if (n == L"selectedimage") {
    selectedImage_ = value;
  } else if (n == L"selectedhotimage") {
    selectedHotImage_ = value;
  } else if (n == L"selectedpushedimage") {
    selectedPushedImage_ = value;
  } else if (n == L"selectedtextcolor") {
    selectedTextColor_ = ParseColor(value);
  } else if (n == L"selectedbkcolor") {
    selectedBkColor_ = ParseColor(value);
  } else {
    CButtonUI::SetAttribute(name, value);
  }
}

void COptionUI::PaintBkColor(IPainter& painter) {
  if (selected_ && selectedBkColor_ != 0)
    painter.FillRect(rcItem_, selectedBkColor_);
  else
    CButtonUI::PaintBkColor(painter);
}

void COptionUI::PaintStatusImage(IPainter& painter) {
  if (selected_) {
    bool drawn = false;
    if (pushed_)
      drawn = DrawFirst(painter, {&selectedPushedImage_, &selectedHotImage_});
    else if (hot_)
      drawn = DrawFirst(painter, {&selectedHotImage_});
    if (drawn || DrawFirst(painter, {&selectedImage_})) return;
  }
  CButtonUI::PaintStatusImage(painter);
}

UiColor COptionUI::CurrentTextColor() const {
  if (selected_ && enabled_ && selectedTextColor_ != 0) return selectedTextColor_;
  return CButtonUI::CurrentTextColor();
}

// ---- CEditUI ---------------------------------------------------------------

CEditUI::CEditUI() {
  align_ = TextAlign::kLeft;
}

void* CEditUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"Edit") == 0) return this;
  return CLabelUI::GetInterface(name);
}

void CEditUI::SetText(const std::wstring& text) {
  CLabelUI::SetText(text);
}

void CEditUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  if (n == L"readonly") {
    readOnly_ = ParseBool(value);
  } else if (n == L"password") {
    password_ = ParseBool(value);
  } else if (n == L"maxchar") {
    maxChar_ = ParseInt(value);
  } else if (n == L"nativebkcolor") {
    nativeBkColor_ = ParseColor(value);
  } else if (n == L"normalimage") {
    normalImage_ = value;
  } else if (n == L"hotimage") {
    hotImage_ = value;
  } else if (n == L"focusedimage") {
    focusedImage_ = value;
  } else if (n == L"disabledimage") {
    disabledImage_ = value;
  } else {
    CLabelUI::SetAttribute(name, value);
  }
}

void CEditUI::PaintStatusImage(IPainter& painter) {
  const std::wstring& image = !enabled_ && !disabledImage_.empty() ? disabledImage_
                              : focused_ && !focusedImage_.empty() ? focusedImage_
                                                                   : normalImage_;
  if (!DrawImage(painter, image) && &image != &normalImage_) DrawImage(painter, normalImage_);
}

void CEditUI::PaintText(IPainter& painter) {
  if (text_.empty()) return;
  UiRect rc = rcItem_.Deflate(textPadding_);
  if (rc.IsEmpty()) return;
  std::wstring shown = password_ ? std::wstring(text_.size(), L'*') : text_;
  painter.DrawText(rc, {TextRun{shown, font_, false}}, GetTextStyle());
}

void* CRichEditUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"RichEdit") == 0) return this;
  return CEditUI::GetInterface(name);
}

CDateTimeUI::CDateTimeUI() {
  std::time_t now = std::time(nullptr);
  if (const std::tm* t = std::localtime(&now)) {
    wchar_t date[16];
    std::swprintf(date, 16, L"%04d-%02d-%02d", t->tm_year + 1900, t->tm_mon + 1, t->tm_mday);
    text_ = date;
  }
}

void* CDateTimeUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"DateTime") == 0) return this;
  return CEditUI::GetInterface(name);
}

// ---- CGifAnimUI ------------------------------------------------------------

void* CGifAnimUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"GifAnim") == 0) return this;
  return CControlUI::GetInterface(name);
}

void CGifAnimUI::LoadFrames() {
  if (framesLoaded_ || !manager_ || !manager_->GetHost()) return;
  framesLoaded_ = true;
  delays_ = manager_->GetHost()->ImageFrameDelays(ParseImageSpec(bkImage_.c_str()).file);
}

int CGifAnimUI::FrameDelay(int frame) const {
  if (frame < 0 || frame >= GetFrameCount()) return kZeroDelay;
  return delays_[frame] > 0 ? delays_[frame] : kZeroDelay;
}

void CGifAnimUI::PlayGif() {
  LoadFrames();
  if (playing_) return;
  playing_ = true;
  if (GetFrameCount() > 1) SetTimer(kTimerId, FrameDelay(frame_));
}

void CGifAnimUI::PauseGif() {
  if (!playing_) return;
  playing_ = false;
  KillTimer(kTimerId);
}

void CGifAnimUI::StopGif() {
  PauseGif();
  frame_ = 0;
  Invalidate();
}

void CGifAnimUI::DoInit() {
  if (autoPlay_ && visible_) PlayGif();
}

void CGifAnimUI::SetVisible(bool visible) {
  CControlUI::SetVisible(visible);
  if (!visible)
    PauseGif();
  else if (autoPlay_ && manager_)
    PlayGif();
}

void CGifAnimUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  if (n == L"bkimage") {
    PauseGif();
    framesLoaded_ = false;
    delays_.clear();
    frame_ = 0;
    CControlUI::SetAttribute(name, value);
  } else if (n == L"autoplay") {
    autoPlay_ = ParseBool(value);
  } else {
    CControlUI::SetAttribute(name, value);
  }
}

void CGifAnimUI::DoEvent(TEventUI& event) {
  if (event.type == UiEventType::kTimer && event.wParam == kTimerId) {
    if (!playing_ || GetFrameCount() < 2) {
      KillTimer(kTimerId);
      return;
    }
    frame_ = (frame_ + 1) % GetFrameCount();
    Invalidate();
    SetTimer(kTimerId, FrameDelay(frame_));
    return;
  }
  CControlUI::DoEvent(event);
}

void CGifAnimUI::PaintBkImage(IPainter& painter) {
  DrawImage(painter, bkImage_, frame_);
}

// ---- CProgressUI / CSliderUI -----------------------------------------------

void* CProgressUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"Progress") == 0) return this;
  return CLabelUI::GetInterface(name);
}

void CProgressUI::SetValue(int value) {
  value_ = std::max(min_, std::min(max_, value));
  Invalidate();
}

void CProgressUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  if (n == L"hor") {
    horizontal_ = ParseBool(value);
  } else if (n == L"min") {
    min_ = ParseInt(value);
  } else if (n == L"max") {
    max_ = ParseInt(value);
  } else if (n == L"value") {
    SetValue(ParseInt(value));
  } else if (n == L"foreimage") {
    foreImage_ = value;
  } else {
    CLabelUI::SetAttribute(name, value);
  }
}

UiRect CProgressUI::FilledRect() const {
  UiRect rc = rcItem_;
  if (max_ <= min_) return {rc.left, rc.top, rc.left, rc.bottom};
  long long span = max_ - min_;
  long long part = value_ - min_;
  if (horizontal_)
    rc.right = rc.left + static_cast<int>(rc.Width() * part / span);
  else
    rc.top = rc.bottom - static_cast<int>(rc.Height() * part / span);
  return rc;
}

void CProgressUI::PaintStatusImage(IPainter& painter) {
  UiRect filled = FilledRect();
  if (filled.IsEmpty() || foreImage_.empty()) return;
  painter.PushClip(filled);
  DrawImage(painter, foreImage_);
  painter.PopClip();
}

void* CSliderUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"Slider") == 0) return this;
  return CProgressUI::GetInterface(name);
}

void CSliderUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  if (n == L"thumbimage") {
    thumbImage_ = value;
  } else if (n == L"thumbsize") {
    thumbSize_ = ParseSize(value);
  } else {
    CProgressUI::SetAttribute(name, value);
  }
}

void CSliderUI::SetValueAt(UiPoint point) {
  if (max_ <= min_) return;
  long long span = max_ - min_;
  long long v =
      horizontal_
          ? (rcItem_.Width() > 0 ? (point.x - rcItem_.left) * span / rcItem_.Width() : 0)
          : (rcItem_.Height() > 0 ? (rcItem_.bottom - point.y) * span / rcItem_.Height() : 0);
  SetValue(min_ + static_cast<int>(std::max(0LL, std::min(span, v))));
}

void CSliderUI::DoEvent(TEventUI& event) {
  switch (event.type) {
    case UiEventType::kButtonDown:
      if (enabled_) tracking_ = true, SetValueAt(event.ptMouse);
      return;
    case UiEventType::kMouseMove:
      if (tracking_) SetValueAt(event.ptMouse);
      return;
    case UiEventType::kButtonUp:
      if (tracking_) {
        tracking_ = false;
        Notify(L"valuechanged");
      }
      return;
    default:
      CProgressUI::DoEvent(event);
  }
}

void CSliderUI::PaintStatusImage(IPainter& painter) {
  CProgressUI::PaintStatusImage(painter);
  if (thumbImage_.empty()) return;
  UiRect filled = FilledRect();
  UiRect saved = rcItem_;
  int cx = horizontal_ ? filled.right : (rcItem_.left + rcItem_.right) / 2;
  int cy = horizontal_ ? (rcItem_.top + rcItem_.bottom) / 2 : filled.top;
  rcItem_ = {cx - thumbSize_.cx / 2, cy - thumbSize_.cy / 2, cx - thumbSize_.cx / 2 + thumbSize_.cx,
             cy - thumbSize_.cy / 2 + thumbSize_.cy};
  DrawImage(painter, thumbImage_);
  rcItem_ = saved;
}

}  // namespace SkinUI
