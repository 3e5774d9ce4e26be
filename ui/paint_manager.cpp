#include "ui/paint_manager.h"

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <vector>

#include "ui/skin_values.h"

namespace SkinUI {

CPaintManagerUI::DispatchScope::~DispatchScope() {
  if (--m_->dispatchDepth_ > 0) return;
  std::vector<CControlUI*> doomed;
  doomed.swap(m_->delayed_);
  for (CControlUI* c : doomed) delete c;
}

CPaintManagerUI::CPaintManagerUI() = default;

CPaintManagerUI::~CPaintManagerUI() {
  CControlUI* root = root_;
  root_ = nullptr;
  delete root;
  for (CControlUI* c : delayed_) delete c;
  delayed_.clear();
  for (const Timer& t : timers_) {
    if (host_) host_->StopTimer(t.key);
  }
}

bool CPaintManagerUI::AttachDialog(CControlUI* root) {
  if (!root) return false;
  if (root_ && root_ != root) {
    CControlUI* old = root_;
    root_ = nullptr;
    DelayedDelete(old);
  }
  root_ = root;
  InitControls(root, nullptr);
  if (client_.cx == 0 && client_.cy == 0) client_ = window_.size;
  needUpdate_ = true;
  Invalidate({0, 0, client_.cx, client_.cy});
  return true;
}

void CPaintManagerUI::InitControls(CControlUI* control, CControlUI* parent) {
  if (control) control->SetManager(this, parent, true);
}

void CPaintManagerUI::ReapObjects(CControlUI* control) {
  if (!control) return;
  if (hover_ == control) hover_ = nullptr;
  if (capture_ == control) capture_ = nullptr;
  if (focus_ == control) focus_ = nullptr;
  if (root_ == control) root_ = nullptr;
  accessibleIds_.Forget(control);
  for (auto it = optionGroups_.begin(); it != optionGroups_.end();) {
    auto& members = it->second;
    members.erase(std::remove(members.begin(), members.end(), control), members.end());
    it = members.empty() ? optionGroups_.erase(it) : std::next(it);
  }
  KillTimers(control);
}

void CPaintManagerUI::DelayedDelete(CControlUI* control) {
  if (!control) return;
  control->SetManager(nullptr, nullptr, false);
  if (dispatchDepth_ > 0) {
    delayed_.push_back(control);
  } else {
    delete control;
  }
}

CControlUI* CPaintManagerUI::FindControl(const std::wstring& name) const {
  if (!root_ || name.empty()) return nullptr;
  return root_->FindControl([&name](CControlUI* c) { return c->GetName() == name; });
}

CControlUI* CPaintManagerUI::FindSubControlByName(CControlUI* parent,
                                                  const std::wstring& name) const {
  return parent ? parent->FindSubControl(name) : nullptr;
}

CControlUI* CPaintManagerUI::FindControl(UiPoint point) const {
  return root_ ? root_->FindControlAt(point) : nullptr;
}

int CPaintManagerUI::AddFont(const FontSpec& font, bool makeDefault) {
  fonts_.push_back(font);
  if (makeDefault) defaultFont_ = font;
  return static_cast<int>(fonts_.size() - 1);
}

const FontSpec* CPaintManagerUI::GetFont(int index) const {
  if (index < 0 || index >= GetFontCount()) return nullptr;
  return &fonts_[index];
}

void CPaintManagerUI::AddImage(const std::wstring& name, const RegisteredImage& image) {
  images_[name] = image;
}

const RegisteredImage* CPaintManagerUI::GetImage(const std::wstring& name) const {
  auto it = images_.find(name);
  return it == images_.end() ? nullptr : &it->second;
}

void CPaintManagerUI::AddDefaultAttributeList(const std::wstring& controlName,
                                              const std::wstring& list) {
  defaultAttributes_[controlName] = list;
}

const std::wstring* CPaintManagerUI::GetDefaultAttributeList(
    const std::wstring& controlName) const {
  auto it = defaultAttributes_.find(controlName);
  return it == defaultAttributes_.end() ? nullptr : &it->second;
}

void CPaintManagerUI::SetWindowAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  WindowAttributes& w = window_;
  if (n == L"size") {
    w.size = ParseSize(value);
    if (host_) host_->ResizeClient(w.size.cx, w.size.cy);
  } else if (n == L"sizebox") {
    w.sizeBox = ParseRect(value);
  } else if (n == L"caption") {
    w.caption = ParseRect(value);
  } else if (n == L"roundcorner") {
    w.roundCorner = ParseSize(value);
  } else if (n == L"mininfo") {
    w.minInfo = ParseSize(value);
  } else if (n == L"maxinfo") {
    w.maxInfo = ParseSize(value);
  } else if (n == L"alpha") {
    w.alpha = ParseInt(value);
  } else if (n == L"bktrans") {
    w.bkTrans = ParseBool(value);
  } else if (n == L"disabledfontcolor") {
    w.disabledFontColor = ParseColor(value);
  } else if (n == L"defaultfontcolor") {
    w.defaultFontColor = ParseColor(value);
  } else if (n == L"linkfontcolor") {
    w.linkFontColor = ParseColor(value);
  } else if (n == L"linkhoverfontcolor") {
    w.linkHoverFontColor = ParseColor(value);
  } else if (n == L"selectedcolor") {
    w.selectedColor = ParseColor(value);
  } else if (n == L"shadowsize") {
    w.shadowSize = ParseInt(value);
  } else if (n == L"shadowsharpness") {
    w.shadowSharpness = ParseInt(value);
  } else if (n == L"shadowdarkness") {
    w.shadowDarkness = ParseInt(value);
  } else if (n == L"shadowposition") {
    UiSize p = ParseSize(value);
    w.shadowPosition = {p.cx, p.cy};
  } else if (n == L"shadowcolor") {
    w.shadowColor = ParseColor(value);
  } else if (n == L"shadowcorner") {
    w.shadowCorner = ParseRect(value);
  } else if (n == L"shadowimage") {
    w.shadowImage = value;
  } else if (n == L"showshadow") {
    w.showShadow = ParseBool(value);
  } else if (n == L"gdiplustext") {
    w.gdiplusText = ParseBool(value);
  }
}

bool CPaintManagerUI::AddNotifier(INotifyUI* notifier) {
  if (!notifier || std::find(notifiers_.begin(), notifiers_.end(), notifier) != notifiers_.end()) {
    return false;
  }
  notifiers_.push_back(notifier);
  return true;
}

bool CPaintManagerUI::RemoveNotifier(INotifyUI* notifier) {
  auto it = std::find(notifiers_.begin(), notifiers_.end(), notifier);
  if (it == notifiers_.end()) return false;
  notifiers_.erase(it);
  return true;
}

void CPaintManagerUI::SendNotify(CControlUI* sender, const wchar_t* type, std::uintptr_t wParam,
                                 std::intptr_t lParam) {
  DispatchScope scope(this);
  TNotifyUI msg;
  msg.sType = type;
  msg.pSender = sender;
  msg.wParam = wParam;
  msg.lParam = lParam;
  std::vector<INotifyUI*> receivers = notifiers_;
  for (INotifyUI* n : receivers) {
    // A receiver removed by an earlier one is not called any more.
    if (std::find(notifiers_.begin(), notifiers_.end(), n) != notifiers_.end()) n->OnNotify(msg);
  }
}

void CPaintManagerUI::AddOptionGroup(const std::wstring& group, CControlUI* option) {
  auto& members = optionGroups_[group];
  if (std::find(members.begin(), members.end(), option) == members.end()) {
    members.push_back(option);
  }
}

void CPaintManagerUI::RemoveOptionGroup(const std::wstring& group, CControlUI* option) {
  auto it = optionGroups_.find(group);
  if (it == optionGroups_.end()) return;
  auto& members = it->second;
  members.erase(std::remove(members.begin(), members.end(), option), members.end());
  if (members.empty()) optionGroups_.erase(it);
}

const std::vector<CControlUI*>* CPaintManagerUI::GetOptionGroup(const std::wstring& group) const {
  auto it = optionGroups_.find(group);
  return it == optionGroups_.end() ? nullptr : &it->second;
}

void CPaintManagerUI::SetClientSize(int cx, int cy) {
  client_ = {cx < 0 ? 0 : cx, cy < 0 ? 0 : cy};
  needUpdate_ = true;
  Invalidate({0, 0, client_.cx, client_.cy});
}

void CPaintManagerUI::UpdateLayout() {
  if (!needUpdate_ || !root_) return;
  root_->SetPos({0, 0, client_.cx, client_.cy});
  // Changes the layout itself makes (scroll bars showing) need no new pass.
  needUpdate_ = false;
}

void CPaintManagerUI::Invalidate(const UiRect& rect) {
  if (host_ && !rect.IsEmpty()) host_->Invalidate(rect);
}

void CPaintManagerUI::Paint(IPainter& painter, const UiRect& dirty) {
  UpdateLayout();
  if (root_ && root_->IsVisible()) root_->DoPaint(painter, dirty);
}

void CPaintManagerUI::SendEvent(CControlUI* control, UiEventType type, UiPoint point, int wParam) {
  if (!control) return;
  TEventUI event;
  event.type = type;
  event.pSender = control;
  event.ptMouse = point;
  event.wParam = wParam;
  control->DoEvent(event);
}

void CPaintManagerUI::OnMouseMove(UiPoint point) {
  DispatchScope scope(this);
  UpdateLayout();
  if (capture_) {
    SendEvent(capture_, UiEventType::kMouseMove, point);
    return;
  }
  CControlUI* hit = FindControl(point);
  if (hit != hover_) {
    CControlUI* old = hover_;
    hover_ = hit;
    SendEvent(old, UiEventType::kMouseLeave, point);
    if (hover_ == hit) SendEvent(hit, UiEventType::kMouseEnter, point);
  }
  if (hover_ == hit) SendEvent(hit, UiEventType::kMouseMove, point);
}

void CPaintManagerUI::OnMouseLeave() {
  DispatchScope scope(this);
  CControlUI* old = hover_;
  hover_ = nullptr;
  SendEvent(old, UiEventType::kMouseLeave, {});
}

void CPaintManagerUI::OnLButtonDown(UiPoint point) {
  DispatchScope scope(this);
  UpdateLayout();
  CControlUI* hit = FindControl(point);
  if (!hit) return;
  SetFocus(hit);
  if (!hit->GetManager()) return;  // a focus handler removed it
  capture_ = hit;
  SendEvent(hit, UiEventType::kButtonDown, point);
}

void CPaintManagerUI::OnLButtonUp(UiPoint point) {
  DispatchScope scope(this);
  CControlUI* target = capture_;
  capture_ = nullptr;
  SendEvent(target, UiEventType::kButtonUp, point);
}

void CPaintManagerUI::OnMouseWheel(UiPoint point, int delta) {
  DispatchScope scope(this);
  UpdateLayout();
  SendEvent(FindControl(point), UiEventType::kScrollWheel, point, delta);
}

void CPaintManagerUI::OnTimer(unsigned key) {
  DispatchScope scope(this);
  for (const Timer& t : timers_) {
    if (t.key == key) {
      SendEvent(t.control, UiEventType::kTimer, {}, t.id);
      return;
    }
  }
}

void CPaintManagerUI::SetFocus(CControlUI* control) {
  if (focus_ == control) return;
  DispatchScope scope(this);
  CControlUI* old = focus_;
  focus_ = control;
  SendEvent(old, UiEventType::kKillFocus, {});
  if (focus_ == control) SendEvent(control, UiEventType::kSetFocus, {});
  if (focus_ == control) AccessibleChanged(AccessibleChange::kFocus, control);
}

void CPaintManagerUI::OnKeyDown(UiKey key, bool shift) {
  DispatchScope scope(this);
  UpdateLayout();
  if (key == UiKey::kTab) {
    MoveFocus(!shift);
    return;
  }
  CControlUI* target = focus_;
  if (!target || !target->IsVisibleInTree() || !target->IsEnabled()) return;
  SendEvent(target, UiEventType::kKeyDown, {}, static_cast<int>(key));
}

namespace {

bool InsideList(const CControlUI* control) {
  for (CControlUI* c = control->GetParent(); c; c = c->GetParent()) {
    if (c->GetInterface(L"List")) return true;  // lists and tree views
  }
  return false;
}

}  // namespace

std::vector<CControlUI*> CPaintManagerUI::TabStops(const CControlUI* below) const {
  std::vector<CControlUI*> stops;
  CControlUI* top = below ? const_cast<CControlUI*>(below) : root_;
  if (!top) return stops;
  top->FindControl([&stops](CControlUI* c) {
    if (c->IsTabStop() && c->IsEnabled() && c->IsVisibleInTree() && !InsideList(c))
      stops.push_back(c);
    return false;
  });
  return stops;
}

bool CPaintManagerUI::MoveFocus(bool forward) {
  std::vector<CControlUI*> stops = TabStops();
  if (stops.empty()) return false;
  // The focus may be on a control that is no stop (a label clicked, a
  // hidden page's button): its place in mark-up order decides.
  int place = -1;  // stops before the focus, counting the focus itself
  bool onStop = false;
  if (focus_ && root_) {
    int before = 0;
    root_->FindControl([&](CControlUI* c) {
      if (c == focus_) return true;
      if (before < static_cast<int>(stops.size()) && stops[before] == c) ++before;
      return false;
    });
    onStop = before < static_cast<int>(stops.size()) && stops[before] == focus_;
    place = before;
  }
  const int count = static_cast<int>(stops.size());
  int next;
  if (place < 0)
    next = forward ? 0 : count - 1;
  else if (forward)
    next = (onStop ? place + 1 : place) % count;
  else
    next = (place - 1 + count) % count;
  SetFocus(stops[next]);
  return true;
}

void CPaintManagerUI::ShowFocusMark(bool shown) {
  if (focusMarkShown_ == shown) return;
  focusMarkShown_ = shown;
  if (focus_) focus_->Invalidate();
}

std::wstring CPaintManagerUI::GetHoverToolTip() const {
  for (CControlUI* c = hover_; c; c = c->GetParent()) {
    if (!c->GetToolTip().empty()) return c->GetToolTip();
  }
  return std::wstring();
}

bool CPaintManagerUI::IsCaptionAt(UiPoint point) const {
  const UiRect& band = window_.caption;
  if (point.x < band.left || point.x >= client_.cx - band.right || point.y < band.top ||
      point.y >= band.bottom) {
    return false;
  }
  CControlUI* control = FindControl(point);
  if (!control) return false;
  static const wchar_t* const kActive[] = {L"ButtonUI", L"OptionUI", L"TextUI", L"SliderUI"};
  for (const wchar_t* cls : kActive) {
    if (std::wcscmp(control->GetClass(), cls) == 0) return false;
  }
  return true;
}

bool CPaintManagerUI::SetTimer(CControlUI* control, int id, int elapseMs) {
  if (!host_ || !control) return false;
  for (const Timer& t : timers_) {
    if (t.control == control && t.id == id) {
      host_->StopTimer(t.key);
      host_->StartTimer(t.key, elapseMs);
      return true;
    }
  }
  Timer timer{control, id, nextTimerKey_++};
  timers_.push_back(timer);
  host_->StartTimer(timer.key, elapseMs);
  return true;
}

bool CPaintManagerUI::KillTimer(CControlUI* control, int id) {
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->control == control && it->id == id) {
      if (host_) host_->StopTimer(it->key);
      timers_.erase(it);
      return true;
    }
  }
  return false;
}

void CPaintManagerUI::KillTimers(CControlUI* control) {
  for (auto it = timers_.begin(); it != timers_.end();) {
    if (it->control == control) {
      if (host_) host_->StopTimer(it->key);
      it = timers_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace SkinUI
