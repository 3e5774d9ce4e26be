// CControlUI: the base of every control of the toolkit. A control has a name,
// texts, a rectangle computed by its parent's layout, states, appearance
// attributes, paints itself through IPainter and receives input events from
// its manager.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ui/painter.h"
#include "ui/ui_types.h"

namespace SkinUI {

class CControlUI;
class CPaintManagerUI;

// A notification a control raises: "click", "selectchanged", "itemselect"...
struct TNotifyUI {
  std::wstring sType;
  CControlUI* pSender = nullptr;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

// The receiver of a window's notifications (the window class).
class INotifyUI {
 public:
  virtual ~INotifyUI() = default;
  virtual void OnNotify(TNotifyUI& msg) = 0;
};

enum class UiEventType {
  kMouseEnter,
  kMouseLeave,
  kMouseMove,
  kButtonDown,
  kButtonUp,
  kDoubleClick,
  kScrollWheel,
  kSetFocus,
  kKillFocus,
  kTimer,
  kKeyDown,  // wParam: a UiKey; goes on to the parent when not used
};

// The keys the toolkit acts on, independent of the platform's key codes.
enum class UiKey { kTab, kReturn, kSpace, kEscape, kLeft, kUp, kRight, kDown, kHome, kEnd };

struct TEventUI {
  UiEventType type = UiEventType::kMouseMove;
  CControlUI* pSender = nullptr;
  UiPoint ptMouse;
  int wParam = 0;  // timer id, wheel delta (positive: away from the user) or UiKey
};

class CControlUI {
 public:
  CControlUI();
  virtual ~CControlUI();
  CControlUI(const CControlUI&) = delete;
  CControlUI& operator=(const CControlUI&) = delete;

  // The class name ("ButtonUI", ...) and the interfaces a control offers
  // ("Control", "Button", "Option", "IContainer", "List", "ListItem", ...).
  virtual const wchar_t* GetClass() const { return L"ControlUI"; }
  virtual void* GetInterface(const wchar_t* name);

  const std::wstring& GetName() const { return name_; }
  void SetName(const std::wstring& name) { name_ = name; }
  virtual const std::wstring& GetText() const { return text_; }
  virtual void SetText(const std::wstring& text);
  const std::wstring& GetToolTip() const { return toolTip_; }
  void SetToolTip(const std::wstring& text) { toolTip_ = text; }
  const std::wstring& GetUserData() const { return userData_; }
  void SetUserData(const std::wstring& text) { userData_ = text; }

  // Tree and manager. SetManager attaches (or, with nullptr, detaches) a
  // whole subtree; `init` runs DoInit once a manager is present.
  CPaintManagerUI* GetManager() const { return manager_; }
  CControlUI* GetParent() const { return parent_; }
  virtual void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init = true);
  // Depth-first search of this control and below; the first match wins.
  virtual CControlUI* FindControl(const std::function<bool(CControlUI*)>& match);
  // The control named `name` below this one (this one excluded), or null.
  CControlUI* FindSubControl(const std::wstring& name);
  // The topmost visible control under `point` (this one or below), or null.
  virtual CControlUI* FindControlAt(UiPoint point);

  // Geometry. Fixed sizes of 0 mean "take what the layout gives".
  const UiRect& GetPos() const { return rcItem_; }
  virtual void SetPos(const UiRect& rc);
  int GetFixedWidth() const { return fixed_.cx; }
  int GetFixedHeight() const { return fixed_.cy; }
  void SetFixedWidth(int cx);
  void SetFixedHeight(int cy);
  int GetMinWidth() const { return min_.cx; }
  int GetMinHeight() const { return min_.cy; }
  int GetMaxWidth() const { return max_.cx; }
  int GetMaxHeight() const { return max_.cy; }
  // Spacing before (left, top) and after (right, bottom) the control.
  const UiRect& GetPadding() const { return padding_; }
  void SetPadding(const UiRect& padding);
  bool IsFloat() const { return float_; }
  void SetFloat(bool on);
  // With float: left, top (and right, bottom when no fixed size is given)
  // relative to the parent's top-left corner.
  const UiRect& GetFloatPos() const { return floatPos_; }
  void SetFloatPos(const UiRect& pos);
  // The size a layout should give, limited to `available`.
  virtual UiSize EstimateSize(UiSize available) const;

  // States.
  bool IsVisible() const { return visible_; }
  virtual void SetVisible(bool visible);
  // Visible itself and all its parents.
  bool IsVisibleInTree() const;
  bool IsEnabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled);
  bool IsMouseEnabled() const { return mouseEnabled_; }
  void SetMouseEnabled(bool on) { mouseEnabled_ = on; }
  bool IsFocused() const { return focused_; }
  void SetFocus();
  // Whether the keyboard can focus this kind of control (buttons, options,
  // edits, lists); Tab stops at it unless the mark-up says tabstop="false".
  virtual bool AcceptsFocus() const { return false; }
  bool IsTabStop() const { return tabStop_ && AcceptsFocus(); }
  // The control whose text is this one's value for screen readers (the
  // mark-up's `valuefrom`), e.g. the percentage beside a progress animation.
  const std::wstring& GetValueSource() const { return valueSource_; }

  // Appearance.
  UiColor GetBkColor() const { return bkColor_; }
  void SetBkColor(UiColor color);
  const std::wstring& GetBkImage() const { return bkImage_; }
  void SetBkImage(const std::wstring& image);
  UiColor GetBorderColor() const { return borderColor_; }
  int GetBorderSize() const { return borderSize_; }

  // Attributes as written in mark-up; unknown ones are ignored.
  virtual void SetAttribute(const wchar_t* name, const wchar_t* value);
  // name="value" pairs separated by single spaces, applied in order; stops at
  // the first malformed pair. False when it stopped early.
  bool ApplyAttributeList(const wchar_t* list);

  // Painting, in client coordinates; `dirty` limits what needs drawing.
  virtual void DoPaint(IPainter& painter, const UiRect& dirty);
  // Input and timer events from the manager. Mouse events a control does not
  // use go on to its parent.
  virtual void DoEvent(TEventUI& event);
  // Runs the control's action ("click"); false when disabled or hidden.
  virtual bool Activate();
  // Called once when the control first meets a manager.
  virtual void DoInit() {}

  void Invalidate();
  // Asks for a new layout of this control's parent (size changes).
  void NeedParentUpdate();
  void NeedUpdate();
  bool SetTimer(int id, int elapseMs);
  bool KillTimer(int id);

 protected:
  virtual void PaintBkColor(IPainter& painter);
  virtual void PaintBkImage(IPainter& painter);
  virtual void PaintStatusImage(IPainter& painter) { (void)painter; }
  virtual void PaintText(IPainter& painter) { (void)painter; }
  virtual void PaintBorder(IPainter& painter);
  // The keyboard focus mark, drawn while the window shows focus cues.
  void PaintFocusMark(IPainter& painter);
  // Draws an image attribute inside this control's rectangle; false when
  // the attribute is empty or the painter has no such image.
  bool DrawImage(IPainter& painter, const std::wstring& image, int frame = 0);
  // Sends a notification from this control through its manager.
  void Notify(const wchar_t* type, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);

  CPaintManagerUI* manager_ = nullptr;
  CControlUI* parent_ = nullptr;
  std::wstring name_;
  std::wstring text_;
  std::wstring toolTip_;
  std::wstring userData_;
  UiRect rcItem_;
  UiSize fixed_;
  UiSize min_;
  UiSize max_{9999, 9999};
  UiRect padding_;
  bool float_ = false;
  UiRect floatPos_;
  bool visible_ = true;
  bool enabled_ = true;
  bool mouseEnabled_ = true;
  bool focused_ = false;
  bool tabStop_ = true;
  bool initialised_ = false;
  std::wstring valueSource_;
  UiColor bkColor_ = 0;
  std::wstring bkImage_;
  UiColor borderColor_ = 0;
  int borderSize_ = 0;
};

}  // namespace SkinUI
