// What screen readers see of a window's controls: the portable half of the
// MSAA tree. Each control with a meaning (a button, an option, a text, a
// list, a row, a picture, a progress animation) is an element with a role,
// a name, a state and maybe a value; layout containers without meaning are
// left out and their children take their place. The Windows side
// (accessible_win32.cpp) turns these elements into IAccessible objects.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ui/control.h"

namespace SkinUI {

enum class AccessibleRole {
  kNone,  // a layout container: its children stand in for it
  kPushButton,
  kCheckBox,     // an option without a group
  kRadioButton,  // an option in a group
  kStaticText,
  kEditableText,
  kList,
  kListItem,
  kProgressBar,  // a progress control, or an animation with `valuefrom`
  kGraphic,      // an animation, or a label that only shows a picture
};

// State bits, as screen readers are told them.
enum AccessibleStateBit : unsigned {
  kAccFocused = 1u << 0,
  kAccFocusable = 1u << 1,
  kAccUnavailable = 1u << 2,
  kAccChecked = 1u << 3,
  kAccSelected = 1u << 4,
  kAccSelectable = 1u << 5,
  kAccInvisible = 1u << 6,
};

AccessibleRole RoleOf(CControlUI* control);
// Its text (mark-up stripped), else its tooltip. A row without a text of
// its own is named by the texts it holds, joined by spaces, before that.
// An edit box is named by its tooltip, else by the static text just before
// it (its caption); its text is its value.
std::wstring AccessibleName(CControlUI* control);
// A progress bar's value: the text of its `valuefrom` control, or the
// percentage of a progress control; an edit box's text (stars for a
// password); empty for the others.
std::wstring AccessibleValue(CControlUI* control);
// The tooltip when it is not already the name.
std::wstring AccessibleDescription(CControlUI* control);
// kAcc* bits. `windowFocused`: the window holds the keyboard focus.
unsigned AccessibleState(CControlUI* control, bool windowFocused);
// "press" for what can be pressed (buttons, options, rows), else empty.
std::wstring DefaultActionOf(CControlUI* control);
// Presses it: a button's or option's click, a row's selection and
// activation. False when it cannot be pressed now.
bool DoDefaultAction(CControlUI* control);

// The elements directly below `parent` (null: the window's root), in
// mark-up order, layout containers flattened away.
std::vector<CControlUI*> AccessibleChildren(CControlUI* root, CControlUI* parent);
// The nearest element above `control`; null when that is the window.
CControlUI* AccessibleParent(CControlUI* control);
// Whether the element is an object of its own with children (lists and
// rows) rather than a plain child of its parent.
bool HasAccessibleChildren(CControlUI* control);
// The element that shows the keyboard focus: the focused control, or for a
// focused list its selected row; null when no control has it.
CControlUI* AccessibleFocus(CControlUI* focus);
// The element at a client point (the control there or its nearest element
// above), or null.
CControlUI* AccessibleAt(CControlUI* root, UiPoint point);

// Numbers the elements of one window for screen readers: a control keeps
// its id while it lives, and ids are not reused.
class AccessibleIds {
 public:
  long IdOf(CControlUI* control);
  // Null when no living control has that id.
  CControlUI* Find(long id) const;
  void Forget(CControlUI* control);

 private:
  std::map<CControlUI*, long> ids_;
  std::map<long, CControlUI*> controls_;
  long next_ = 1;
};

}  // namespace SkinUI
