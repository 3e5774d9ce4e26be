// CPaintManagerUI: the portable half of a window's control manager. It owns
// the window's resources (fonts, registered images, default attribute lists,
// window attributes), holds the root of the control tree, lays it out,
// paints it through IPainter, routes mouse input to controls, keeps option
// groups and control timers, and delivers notifications synchronously to
// the registered receivers. Everything that needs a real window goes through
// IWindowHostUI.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ui/accessible.h"
#include "ui/control.h"
#include "ui/painter.h"
#include "ui/ui_types.h"

namespace SkinUI {

// What screen readers are told about: the focus moved to a control, or a
// control's name (text), value or state (enabled, shown, checked, selected)
// changed.
enum class AccessibleChange { kFocus, kName, kValue, kState };

// What the manager needs from the window that shows it. The Windows side
// implements it over an HWND (InvalidateRect, SetTimer, SetWindowPos, GDI+
// image frames); tests use a fake.
class IWindowHostUI {
 public:
  virtual ~IWindowHostUI() = default;
  virtual void Invalidate(const UiRect& rect) = 0;
  // `key` identifies the timer for OnTimer.
  virtual void StartTimer(unsigned key, int elapseMs) = 0;
  virtual void StopTimer(unsigned key) = 0;
  // The Window element's `size`.
  virtual void ResizeClient(int cx, int cy) = 0;
  // Frame delays in milliseconds of an animated image member; empty or one
  // entry for a still image or a missing member.
  virtual std::vector<int> ImageFrameDelays(const std::wstring& file) = 0;
  // Shows a drop-down list of `items` under `anchor` with `current` marked
  // and returns the index chosen, or -1 when the user chose nothing.
  virtual int ChooseItem(const UiRect& anchor, const std::vector<std::wstring>& items,
                         int current) {
    (void)anchor;
    (void)items;
    (void)current;
    return -1;
  }
  // Tells screen readers; the control may be null for the focus (none).
  virtual void AccessibleChanged(AccessibleChange change, CControlUI* control) {
    (void)change;
    (void)control;
  }
};

struct FontSpec {
  std::wstring name;
  int size = 12;  // character height in pixels
  bool bold = false;
  bool underline = false;
  bool italic = false;
};

struct RegisteredImage {
  std::wstring restype;
  UiColor mask = 0;
  bool hasMask = false;
};

// The attributes of the mark-up's Window element.
struct WindowAttributes {
  UiSize size;
  UiRect sizeBox;
  UiRect caption;  // left, top, right margin, bottom
  UiSize roundCorner;
  UiSize minInfo;
  UiSize maxInfo;
  int alpha = 255;
  bool bkTrans = false;
  UiColor disabledFontColor = 0xFFA7A6AA;
  UiColor defaultFontColor = 0xFF000000;
  UiColor linkFontColor = 0xFF0000FF;
  UiColor linkHoverFontColor = 0xFFD3215F;
  UiColor selectedColor = 0xFFBAE4FF;
  bool showShadow = false;
  int shadowSize = 0;
  int shadowSharpness = 255;
  int shadowDarkness = 255;
  UiPoint shadowPosition;
  UiColor shadowColor = 0;
  UiRect shadowCorner;
  std::wstring shadowImage;
  bool gdiplusText = false;
};

class CPaintManagerUI {
 public:
  CPaintManagerUI();
  ~CPaintManagerUI();
  CPaintManagerUI(const CPaintManagerUI&) = delete;
  CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

  // The window side; null for a manager without a window.
  void SetHost(IWindowHostUI* host) { host_ = host; }
  IWindowHostUI* GetHost() const { return host_; }
  bool HasWindow() const { return host_ != nullptr; }

  // Takes ownership of a built tree and attaches it for good.
  bool AttachDialog(CControlUI* root);
  CControlUI* GetRoot() const { return root_; }
  // Attaches `control` and its subtree to this manager under `parent`.
  void InitControls(CControlUI* control, CControlUI* parent);
  // Forgets every reference to a control that is detached or destroyed.
  void ReapObjects(CControlUI* control);
  // Detaches a removed control now and deletes it once no event or
  // notification is being handled, so that a handler may remove the very
  // control whose event is running.
  void DelayedDelete(CControlUI* control);

  // The control with exactly this name (case-sensitive), or null.
  CControlUI* FindControl(const std::wstring& name) const;
  CControlUI* FindSubControlByName(CControlUI* parent, const std::wstring& name) const;
  CControlUI* FindControl(UiPoint point) const;

  // Fonts, by 0-based position; -1 means the default font.
  int AddFont(const FontSpec& font, bool makeDefault = false);
  int GetFontCount() const { return static_cast<int>(fonts_.size()); }
  const FontSpec* GetFont(int index) const;
  const FontSpec& GetDefaultFont() const { return defaultFont_; }
  void AddImage(const std::wstring& name, const RegisteredImage& image);
  const RegisteredImage* GetImage(const std::wstring& name) const;
  void AddDefaultAttributeList(const std::wstring& controlName, const std::wstring& list);
  // Null when the class has none.
  const std::wstring* GetDefaultAttributeList(const std::wstring& controlName) const;
  WindowAttributes& GetWindowAttributes() { return window_; }
  const WindowAttributes& GetWindowAttributes() const { return window_; }
  // Applies one attribute of the Window element; unknown ones are ignored.
  void SetWindowAttribute(const wchar_t* name, const wchar_t* value);

  // Notifications go synchronously to every receiver, in registration order.
  bool AddNotifier(INotifyUI* notifier);
  bool RemoveNotifier(INotifyUI* notifier);
  void SendNotify(CControlUI* sender, const wchar_t* type, std::uintptr_t wParam = 0,
                  std::intptr_t lParam = 0);

  // Options sharing a group name.
  void AddOptionGroup(const std::wstring& group, CControlUI* option);
  void RemoveOptionGroup(const std::wstring& group, CControlUI* option);
  const std::vector<CControlUI*>* GetOptionGroup(const std::wstring& group) const;

  // Layout and painting.
  void SetClientSize(int cx, int cy);
  UiSize GetClientSize() const { return client_; }
  void NeedUpdate() { needUpdate_ = true; }
  bool IsUpdateNeeded() const { return needUpdate_; }
  // Lays the tree out again when something asked for it.
  void UpdateLayout();
  void Invalidate(const UiRect& rect);
  void Paint(IPainter& painter, const UiRect& dirty);

  // Input, in client coordinates.
  void OnMouseMove(UiPoint point);
  void OnMouseLeave();
  void OnLButtonDown(UiPoint point);
  void OnLButtonUp(UiPoint point);
  void OnMouseWheel(UiPoint point, int delta);
  void OnTimer(unsigned key);
  CControlUI* GetFocus() const { return focus_; }
  void SetFocus(CControlUI* control);

  // Keyboard. Tab and Shift+Tab move the focus through the Tab stops; the
  // other keys go to the focused control (and on to its parents) while it
  // is shown and enabled.
  void OnKeyDown(UiKey key, bool shift);
  // The enabled, shown Tab stops below `below` (the whole tree for null) in
  // mark-up order. A list is one stop: the controls of its rows are not.
  std::vector<CControlUI*> TabStops(const CControlUI* below = nullptr) const;
  // Focuses the next (or previous) Tab stop after the focused control,
  // wrapping around; false when there is none.
  bool MoveFocus(bool forward);
  // The focus mark shows only once the keyboard was used, as Windows shows
  // focus cues.
  bool IsFocusMarkShown() const { return focusMarkShown_; }
  void ShowFocusMark(bool shown);

  // Screen readers: the controls' ids and the changes the window announces.
  AccessibleIds& AccessibleIdMap() { return accessibleIds_; }
  void AccessibleChanged(AccessibleChange change, CControlUI* control) {
    if (host_) host_->AccessibleChanged(change, control);
  }
  CControlUI* GetHover() const { return hover_; }
  // The tooltip of the control under the mouse.
  std::wstring GetHoverToolTip() const;
  // Whether a point acts as the caption for dragging the window: inside the
  // caption band and not over a button, option, text or slider.
  bool IsCaptionAt(UiPoint point) const;

  bool SetTimer(CControlUI* control, int id, int elapseMs);
  bool KillTimer(CControlUI* control, int id);
  void KillTimers(CControlUI* control);

 private:
  class DispatchScope {
   public:
    explicit DispatchScope(CPaintManagerUI* m) : m_(m) { ++m_->dispatchDepth_; }
    ~DispatchScope();

   private:
    CPaintManagerUI* m_;
  };
  void SendEvent(CControlUI* control, UiEventType type, UiPoint point, int wParam = 0);

  struct Timer {
    CControlUI* control;
    int id;
    unsigned key;
  };

  IWindowHostUI* host_ = nullptr;
  CControlUI* root_ = nullptr;
  std::vector<FontSpec> fonts_;
  FontSpec defaultFont_;
  std::map<std::wstring, RegisteredImage> images_;
  std::map<std::wstring, std::wstring> defaultAttributes_;
  WindowAttributes window_;
  std::vector<INotifyUI*> notifiers_;
  std::map<std::wstring, std::vector<CControlUI*>> optionGroups_;
  std::vector<Timer> timers_;
  unsigned nextTimerKey_ = 1;
  UiSize client_;
  bool needUpdate_ = true;
  CControlUI* hover_ = nullptr;
  CControlUI* capture_ = nullptr;
  CControlUI* focus_ = nullptr;
  bool focusMarkShown_ = false;
  AccessibleIds accessibleIds_;
  int dispatchDepth_ = 0;
  std::vector<CControlUI*> delayed_;
};

}  // namespace SkinUI
