#include "ui/accessible_win32.h"

#include <oleacc.h>

#include <map>
#include <string>
#include <vector>

#include "ui/accessible.h"
#include "ui/list.h"
#include "ui/window_impl_base.h"

namespace SkinUI {
namespace {

// The functions of oleacc, oleaut32 and user32 this needs, found at run time.
struct AccessibilityApi {
  LPFNLRESULTFROMOBJECT lresultFromObject = nullptr;
  LPFNCREATESTDACCESSIBLEOBJECT createStdAccessibleObject = nullptr;
  BSTR(WINAPI* sysAllocString)(const OLECHAR*) = nullptr;
  void(WINAPI* notifyWinEvent)(DWORD, HWND, LONG, LONG) = nullptr;

  static const AccessibilityApi& Get() {
    static const AccessibilityApi api = [] {
      AccessibilityApi a;
      if (HMODULE oleacc = LoadLibraryW(L"oleacc.dll")) {
        a.lresultFromObject = reinterpret_cast<LPFNLRESULTFROMOBJECT>(
            reinterpret_cast<void*>(GetProcAddress(oleacc, "LresultFromObject")));
        a.createStdAccessibleObject = reinterpret_cast<LPFNCREATESTDACCESSIBLEOBJECT>(
            reinterpret_cast<void*>(GetProcAddress(oleacc, "CreateStdAccessibleObject")));
      }
      if (HMODULE oleaut = LoadLibraryW(L"oleaut32.dll")) {
        a.sysAllocString = reinterpret_cast<decltype(a.sysAllocString)>(
            reinterpret_cast<void*>(GetProcAddress(oleaut, "SysAllocString")));
      }
      a.notifyWinEvent = reinterpret_cast<decltype(a.notifyWinEvent)>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"user32.dll"), "NotifyWinEvent")));
      return a;
    }();
    return api;
  }
};

LONG RoleConstant(AccessibleRole role) {
  switch (role) {
    case AccessibleRole::kPushButton:
      return ROLE_SYSTEM_PUSHBUTTON;
    case AccessibleRole::kCheckBox:
      return ROLE_SYSTEM_CHECKBUTTON;
    case AccessibleRole::kRadioButton:
      return ROLE_SYSTEM_RADIOBUTTON;
    case AccessibleRole::kStaticText:
      return ROLE_SYSTEM_STATICTEXT;
    case AccessibleRole::kEditableText:
      return ROLE_SYSTEM_TEXT;
    case AccessibleRole::kList:
      return ROLE_SYSTEM_LIST;
    case AccessibleRole::kListItem:
      return ROLE_SYSTEM_LISTITEM;
    case AccessibleRole::kProgressBar:
      return ROLE_SYSTEM_PROGRESSBAR;
    case AccessibleRole::kGraphic:
      return ROLE_SYSTEM_GRAPHIC;
    case AccessibleRole::kNone:
      break;
  }
  return ROLE_SYSTEM_GROUPING;
}

LONG StateConstant(unsigned bits) {
  static const struct {
    unsigned bit;
    LONG state;
  } kMap[] = {
      {kAccFocused, STATE_SYSTEM_FOCUSED},         {kAccFocusable, STATE_SYSTEM_FOCUSABLE},
      {kAccUnavailable, STATE_SYSTEM_UNAVAILABLE}, {kAccChecked, STATE_SYSTEM_CHECKED},
      {kAccSelected, STATE_SYSTEM_SELECTED},       {kAccSelectable, STATE_SYSTEM_SELECTABLE},
      {kAccInvisible, STATE_SYSTEM_INVISIBLE}};
  LONG state = 0;
  for (const auto& m : kMap) {
    if (bits & m.bit) state |= m.state;
  }
  return state;
}

// A text for a client: S_FALSE and no string when there is none.
HRESULT TextResult(const std::wstring& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (text.empty()) return S_FALSE;
  const AccessibilityApi& api = AccessibilityApi::Get();
  if (!api.sysAllocString) return E_OUTOFMEMORY;
  *out = api.sysAllocString(text.c_str());
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

struct AccessibleWindow::Link {
  WindowImplBase* window = nullptr;  // null once the window is gone
  // Changes are told only once a client has asked for the tree (a screen
  // reader asks when it meets the window), so a list of thousands of rows
  // filled without one costs nothing.
  bool asked = false;
  // Control name -> ids of the progress bars whose value is its text; the
  // skin's, found once.
  std::map<std::wstring, std::vector<long>> valueOwners;
  bool ownersFound = false;

  bool Focused() const {
    HWND focus = GetFocus();
    HWND hwnd = window->GetHWND();
    // The window itself or the edit box it shows.
    return focus && (focus == hwnd || GetParent(focus) == hwnd);
  }
  CControlUI* Root() const { return window->PaintManager().GetRoot(); }
};

namespace {

using Link = std::shared_ptr<AccessibleWindow::Link>;

// One element as a COM object: the window's client area (id 0) or a list or
// row, which have children of their own. Leaves are child ids of their
// parent. Ids are resolved on every call, so an object outliving its
// control or window answers with an error instead of touching freed memory.
class Element : public IAccessible, public IEnumVARIANT {
 public:
  Element(Link link, long id) : link_(std::move(link)), id_(id) {}
  virtual ~Element() = default;

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
      *out = static_cast<IAccessible*>(this);
    } else if (riid == IID_IEnumVARIANT) {
      *out = static_cast<IEnumVARIANT*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
  }

  // IDispatch: clients use the IAccessible methods directly.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible
  STDMETHODIMP get_accParent(IDispatch** parent) override {
    if (!parent) return E_POINTER;
    *parent = nullptr;
    CControlUI* self = nullptr;
    HRESULT hr = Self(&self);
    if (FAILED(hr)) return hr;
    if (!self) {
      const AccessibilityApi& api = AccessibilityApi::Get();
      if (!api.createStdAccessibleObject) return S_FALSE;
      return api.createStdAccessibleObject(link_->window->GetHWND(), OBJID_WINDOW, IID_IDispatch,
                                           reinterpret_cast<void**>(parent));
    }
    CControlUI* above = AccessibleParent(self);
    *parent = new Element(link_, above ? Ids().IdOf(above) : 0);
    return S_OK;
  }
  STDMETHODIMP get_accChildCount(long* count) override {
    if (!count) return E_POINTER;
    CControlUI* self = nullptr;
    HRESULT hr = Self(&self);
    if (FAILED(hr)) return hr;
    *count = static_cast<long>(Children(self).size());
    return S_OK;
  }
  STDMETHODIMP get_accChild(VARIANT child, IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    CControlUI* target = nullptr;
    HRESULT hr = Target(child, &target);
    if (FAILED(hr)) return hr;
    if (!target) return E_INVALIDARG;
    if (!HasAccessibleChildren(target)) return S_FALSE;
    *out = new Element(link_, Ids().IdOf(target));
    return S_OK;
  }
  STDMETHODIMP get_accName(VARIANT child, BSTR* name) override {
    CControlUI* target = nullptr;
    HRESULT hr = Target(child, &target);
    if (FAILED(hr)) return hr;
    if (target) return TextResult(AccessibleName(target), name);
    wchar_t caption[256] = {};
    GetWindowTextW(link_->window->GetHWND(), caption, 256);
    return TextResult(caption, name);
  }
  STDMETHODIMP get_accValue(VARIANT child, BSTR* value) override {
    CControlUI* target = nullptr;
    HRESULT hr = Target(child, &target);
    if (FAILED(hr)) return hr;
    return TextResult(target ? AccessibleValue(target) : std::wstring(), value);
  }
  STDMETHODIMP get_accDescription(VARIANT child, BSTR* text) override {
    CControlUI* target = nullptr;
    HRESULT hr = Target(child, &target);
    if (FAILED(hr)) return hr;
    return TextResult(target ? AccessibleDescription(target) : std::wstring(), text);
  }
  STDMETHODIMP get_accRole(VARIANT child, VARIANT* role) override {
    if (!role) return E_POINTER;
    CControlUI* target = nullptr;
    HRESULT hr = Target(child, &target);
    if (FAILED(hr)) return hr;
    role->vt = VT_I4;
    role->lVal = target ? RoleConstant(RoleOf(target)) : ROLE_SYSTEM_CLIENT;
    return S_OK;
  }
  STDMETHODIMP get_accState(VARIANT child, VARIANT* state) override {
    if (!state) return E_POINTER;
    CControlUI* target = nullptr;
    HRESULT hr = Target(child, &target);
    if (FAILED(hr)) return hr;
    state->vt = VT_I4;
    bool focused = link_->Focused();
    if (target) {
      state->lVal = StateConstant(AccessibleState(target, focused));
    } else {
      bool controlHasIt = AccessibleFocus(link_->window->PaintManager().GetFocus()) != nullptr;
      state->lVal = STATE_SYSTEM_FOCUSABLE | (focused && !controlHasIt ? STATE_SYSTEM_FOCUSED : 0);
    }
    return S_OK;
  }
  STDMETHODIMP get_accHelp(VARIANT, BSTR* help) override { return TextResult(L"", help); }
  STDMETHODIMP get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
    if (topic) *topic = 0;
    return TextResult(L"", file);
  }
  STDMETHODIMP get_accKeyboardShortcut(VARIANT, BSTR* keys) override {
    return TextResult(L"", keys);
  }
  STDMETHODIMP get_accFocus(VARIANT* out) override {
    if (!out) return E_POINTER;
    out->vt = VT_EMPTY;
    CControlUI* self = nullptr;
    HRESULT hr = Self(&self);
    if (FAILED(hr)) return hr;
    if (!link_->Focused()) return S_FALSE;
    CControlUI* focus = AccessibleFocus(link_->window->PaintManager().GetFocus());
    if (focus == self) {
      out->vt = VT_I4;
      out->lVal = CHILDID_SELF;
      return S_OK;
    }
    return ChildOnTheWayTo(self, focus, out);
  }
  STDMETHODIMP get_accSelection(VARIANT* out) override {
    if (!out) return E_POINTER;
    out->vt = VT_EMPTY;
    CControlUI* self = nullptr;
    HRESULT hr = Self(&self);
    if (FAILED(hr)) return hr;
    auto* list = self ? static_cast<CListUI*>(self->GetInterface(L"List")) : nullptr;
    CControlUI* row = list ? list->GetItemAt(list->GetCurSel()) : nullptr;
    if (!row) return S_FALSE;
    return ElementVariant(row, out);
  }
  STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR* action) override {
    CControlUI* target = nullptr;
    HRESULT hr = Target(child, &target);
    if (FAILED(hr)) return hr;
    return TextResult(target ? DefaultActionOf(target) : std::wstring(), action);
  }
  STDMETHODIMP accSelect(long flags, VARIANT child) override {
    CControlUI* target = nullptr;
    HRESULT hr = Target(child, &target);
    if (FAILED(hr)) return hr;
    if (!target) return S_FALSE;
    auto* row = static_cast<CListContainerElementUI*>(target->GetInterface(L"ListItem"));
    if ((flags & (SELFLAG_TAKESELECTION | SELFLAG_ADDSELECTION)) && row && row->GetOwner())
      row->GetOwner()->SelectItem(row->GetIndex(), (flags & SELFLAG_TAKEFOCUS) != 0);
    else if (flags & SELFLAG_TAKEFOCUS)
      target->SetFocus();
    return S_OK;
  }
  STDMETHODIMP accLocation(long* left, long* top, long* width, long* height,
                           VARIANT child) override {
    if (!left || !top || !width || !height) return E_POINTER;
    CControlUI* target = nullptr;
    HRESULT hr = Target(child, &target);
    if (FAILED(hr)) return hr;
    RECT rc;
    if (target) {
      rc = link_->window->LogicalRectToScreen(target->GetPos());
    } else {
      RECT client;
      GetClientRect(link_->window->GetHWND(), &client);
      rc = link_->window->ClientRectToScreen(client);
    }
    *left = rc.left;
    *top = rc.top;
    *width = rc.right - rc.left;
    *height = rc.bottom - rc.top;
    return S_OK;
  }
  STDMETHODIMP accNavigate(long direction, VARIANT start, VARIANT* out) override {
    if (!out) return E_POINTER;
    out->vt = VT_EMPTY;
    CControlUI* from = nullptr;
    HRESULT hr = Target(start, &from);
    if (FAILED(hr)) return hr;
    CControlUI* self = nullptr;
    Self(&self);
    std::vector<CControlUI*> row;
    int at = -1;
    if (direction == NAVDIR_FIRSTCHILD || direction == NAVDIR_LASTCHILD) {
      if (from != self) return E_INVALIDARG;  // only from the object itself
      row = Children(self);
      if (row.empty()) return S_FALSE;
      return ElementVariant(direction == NAVDIR_FIRSTCHILD ? row.front() : row.back(), out);
    }
    if (!from) return S_FALSE;  // the client area has no siblings here
    row = Children(AccessibleParent(from));
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (row[i] == from) at = static_cast<int>(i);
    }
    if (at < 0) return S_FALSE;
    switch (direction) {
      case NAVDIR_NEXT:
      case NAVDIR_DOWN:
      case NAVDIR_RIGHT:
        ++at;
        break;
      case NAVDIR_PREVIOUS:
      case NAVDIR_UP:
      case NAVDIR_LEFT:
        --at;
        break;
      default:
        return E_INVALIDARG;
    }
    if (at < 0 || at >= static_cast<int>(row.size())) return S_FALSE;
    return ElementVariant(row[at], out);
  }
  STDMETHODIMP accHitTest(long x, long y, VARIANT* out) override {
    if (!out) return E_POINTER;
    out->vt = VT_EMPTY;
    CControlUI* self = nullptr;
    HRESULT hr = Self(&self);
    if (FAILED(hr)) return hr;
    RECT client;
    GetClientRect(link_->window->GetHWND(), &client);
    UiPoint point = link_->window->ScreenToLogical({x, y});
    POINT pixel = {x, y};
    ScreenToClient(link_->window->GetHWND(), &pixel);
    if (pixel.x < client.left || pixel.x >= client.right || pixel.y < client.top ||
        pixel.y >= client.bottom)
      return S_FALSE;
    CControlUI* hit = AccessibleAt(link_->Root(), point);
    if (hit == self) {
      out->vt = VT_I4;
      out->lVal = CHILDID_SELF;
      return S_OK;
    }
    hr = ChildOnTheWayTo(self, hit, out);
    if (hr == S_FALSE && self && self->GetPos().Contains(point)) {
      out->vt = VT_I4;
      out->lVal = CHILDID_SELF;
      return S_OK;
    }
    return hr;
  }
  STDMETHODIMP accDoDefaultAction(VARIANT child) override {
    CControlUI* target = nullptr;
    HRESULT hr = Target(child, &target);
    if (FAILED(hr)) return hr;
    if (!target || DefaultActionOf(target).empty()) return DISP_E_MEMBERNOTFOUND;
    PostMessageW(link_->window->GetHWND(), AccessibleWindow::kDefaultActionMessage,
                 static_cast<WPARAM>(Ids().IdOf(target)), 0);
    return S_OK;
  }
  STDMETHODIMP put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

  // IEnumVARIANT: the children, for AccessibleChildren.
  STDMETHODIMP Next(ULONG count, VARIANT* out, ULONG* fetched) override {
    if (!out) return E_POINTER;
    CControlUI* self = nullptr;
    HRESULT hr = Self(&self);
    if (FAILED(hr)) return hr;
    std::vector<CControlUI*> children = Children(self);
    ULONG got = 0;
    while (got < count && cursor_ < children.size()) {
      ElementVariant(children[cursor_++], &out[got]);
      ++got;
    }
    if (fetched) *fetched = got;
    return got == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    CControlUI* self = nullptr;
    HRESULT hr = Self(&self);
    if (FAILED(hr)) return hr;
    std::size_t total = Children(self).size();
    cursor_ += count;
    if (cursor_ <= total) return S_OK;
    cursor_ = total;
    return S_FALSE;
  }
  STDMETHODIMP Reset() override {
    cursor_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumVARIANT** out) override {
    if (!out) return E_POINTER;
    auto* copy = new Element(link_, id_);
    copy->cursor_ = cursor_;
    *out = copy;
    return S_OK;
  }

 private:
  AccessibleIds& Ids() { return link_->window->PaintManager().AccessibleIdMap(); }
  std::vector<CControlUI*> Children(CControlUI* self) {
    return AccessibleChildren(link_->Root(), self);
  }
  // This object's control; null for the client area.
  HRESULT Self(CControlUI** self) {
    *self = nullptr;
    if (!link_->window || !link_->window->GetHWND()) return RPC_E_DISCONNECTED;
    if (id_ == 0) return S_OK;
    *self = Ids().Find(id_);
    return *self ? S_OK : RPC_E_DISCONNECTED;
  }
  // The control a child argument names: this object's (CHILDID_SELF) or any
  // element of the window by its id.
  HRESULT Target(const VARIANT& child, CControlUI** target) {
    HRESULT hr = Self(target);
    if (FAILED(hr)) return hr;
    if (child.vt != VT_I4) return E_INVALIDARG;
    if (child.lVal == CHILDID_SELF) return S_OK;
    *target = child.lVal > 0 ? Ids().Find(child.lVal) : nullptr;
    return *target ? S_OK : E_INVALIDARG;
  }
  HRESULT ElementVariant(CControlUI* element, VARIANT* out) {
    if (HasAccessibleChildren(element)) {
      out->vt = VT_DISPATCH;
      out->pdispVal = new Element(link_, Ids().IdOf(element));
    } else {
      out->vt = VT_I4;
      out->lVal = Ids().IdOf(element);
    }
    return S_OK;
  }
  // The child of `self` that holds `element` (or is it), as a variant.
  HRESULT ChildOnTheWayTo(CControlUI* self, CControlUI* element, VARIANT* out) {
    for (CControlUI* c = element; c; c = AccessibleParent(c)) {
      if (AccessibleParent(c) == self) return ElementVariant(c, out);
    }
    return S_FALSE;
  }

  LONG refs_ = 1;
  Link link_;
  long id_;
  std::size_t cursor_ = 0;
};

}  // namespace

AccessibleWindow::AccessibleWindow(WindowImplBase& window) : link_(std::make_shared<Link>()) {
  link_->window = &window;
}

AccessibleWindow::~AccessibleWindow() {
  link_->window = nullptr;
}

bool AccessibleWindow::Answer(WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (static_cast<LONG>(lParam) != OBJID_CLIENT) return false;
  const AccessibilityApi& api = AccessibilityApi::Get();
  if (!api.lresultFromObject || !link_->Root()) return false;
  link_->asked = true;
  auto* client = new Element(link_, 0);
  result = api.lresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(client));
  client->Release();
  return true;
}

void AccessibleWindow::Announce(AccessibleChange change, CControlUI* control) {
  const AccessibilityApi& api = AccessibilityApi::Get();
  HWND hwnd = link_->window ? link_->window->GetHWND() : nullptr;
  // Nothing is told while the window is built or hidden: no reader sees it.
  if (!link_->asked || !api.notifyWinEvent || !hwnd || !link_->Root() || !IsWindowVisible(hwnd))
    return;
  AccessibleIds& ids = link_->window->PaintManager().AccessibleIdMap();
  auto notify = [&](DWORD event, CControlUI* element) {
    api.notifyWinEvent(event, hwnd, OBJID_CLIENT, element ? ids.IdOf(element) : CHILDID_SELF);
  };
  switch (change) {
    case AccessibleChange::kFocus:
      if (link_->Focused()) notify(EVENT_OBJECT_FOCUS, AccessibleFocus(control));
      break;
    case AccessibleChange::kName:
    case AccessibleChange::kValue:
      // An edit box's text is its value.
      if (RoleOf(control) == AccessibleRole::kEditableText)
        notify(EVENT_OBJECT_VALUECHANGE, control);
      else if (RoleOf(control) != AccessibleRole::kNone)
        notify(
            change == AccessibleChange::kName ? EVENT_OBJECT_NAMECHANGE : EVENT_OBJECT_VALUECHANGE,
            control);
      // The progress bars that read their value from this text.
      if (change == AccessibleChange::kName && !control->GetName().empty()) {
        if (!link_->ownersFound) {
          link_->ownersFound = true;
          link_->Root()->FindControl([&](CControlUI* c) {
            if (!c->GetValueSource().empty())
              link_->valueOwners[c->GetValueSource()].push_back(ids.IdOf(c));
            return false;
          });
        }
        auto owners = link_->valueOwners.find(control->GetName());
        if (owners != link_->valueOwners.end()) {
          for (long id : owners->second) {
            if (CControlUI* bar = ids.Find(id)) notify(EVENT_OBJECT_VALUECHANGE, bar);
          }
        }
      }
      break;
    case AccessibleChange::kState:
      // A layout shown or hidden (a page switch) changes which elements show.
      if (RoleOf(control) == AccessibleRole::kNone) {
        notify(EVENT_OBJECT_REORDER, nullptr);
      } else {
        notify(EVENT_OBJECT_STATECHANGE, control);
        if (AccessibleState(control, false) & kAccSelected) notify(EVENT_OBJECT_SELECTION, control);
      }
      break;
  }
}

void AccessibleWindow::RunDefaultAction(long id) {
  if (!link_->window) return;
  if (CControlUI* control = link_->window->PaintManager().AccessibleIdMap().Find(id))
    DoDefaultAction(control);
}

}  // namespace SkinUI
