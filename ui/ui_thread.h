// Worker threads never touch controls. These hand a change to the UI thread
// of the window that shows the control, which applies it and repaints.
// Win32 only; the window must be a WindowImplBase.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ui/control.h"

namespace SkinUI {

// Sets the text of `control` (a control of `window`) on the window's UI
// thread; called on that thread it happens at once. Safe from any thread and
// never blocks. A newer text for the same control replaces one not yet
// applied; the change is dropped when the control or the window is gone by
// then. False when the window is already gone.
bool PostControlText(HWND window, CControlUI* control, const std::wstring& text);

// Runs `call` on the UI thread of `window` and waits for it to finish (for
// reading control states from a worker). False, without running `call`, when
// the window is gone.
bool CallOnUiThread(HWND window, const std::function<void()>& call);

namespace detail {
constexpr UINT kFlushTextsMessage = WM_APP + 0x1F0;
constexpr UINT kCallMessage = WM_APP + 0x1F1;
// The texts queued for `window`, oldest first; the queue forgets them.
std::vector<std::pair<CControlUI*, std::wstring>> TakeControlTexts(HWND window);
}  // namespace detail

}  // namespace SkinUI
