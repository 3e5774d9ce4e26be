// SkinUI: the skinnable, windowless UI toolkit. Windows are trees of light
// controls built from XML mark-up read out of a zip archive held in memory.
//
// The portable core (this folder, compiled on both sides):
//   SkinResources / SkinArchive   where members come from (archive or folder)
//   SkinMarkup / SkinMarkupNode   in-place mark-up reader
//   SkinBuilder                   document -> controls, resources -> manager
//   CControlUI and its family     attributes, layout, painting, events
//   CPaintManagerUI               one per window: resources, root, layout,
//                                 input routing, notifications, timers
//
// The Windows side (win32 build only): window_wnd.h (CWindowWnd, SetInstance),
// window_impl_base.h (WindowImplBase, CNotifyPump, IMessageFilterUI),
// gdiplus_painter.h, shadow.h, native_edit.h and ui_thread.h (control texts
// from worker threads). It plugs into the core through these seams:
//   IWindowHostUI  implemented by the window class (CWindowWnd /
//       WindowImplBase) over its HWND: Invalidate -> InvalidateRect,
//       StartTimer/StopTimer -> SetTimer/KillTimer with the key as timer id
//       (WM_TIMER calls CPaintManagerUI::OnTimer(key)), ResizeClient ->
//       SetWindowPos, ImageFrameDelays -> GDI+ frame delays of a GIF member.
//       CPaintManagerUI::SetHost makes the manager "have a window", which is
//       when the builder applies the Window element's attributes.
//   IPainter  implemented with GDI+ over the WM_PAINT DC: images come from
//       SkinResources::Process().archive() by member name (with source,
//       corner, mask, fade, frame), text in the window's font list
//       (CPaintManagerUI::GetFont) with alignment, end ellipsis and runs.
//   Messages -> manager: WM_SIZE -> SetClientSize, WM_PAINT -> Paint,
//       WM_MOUSEMOVE / WM_MOUSELEAVE / WM_LBUTTONDOWN / WM_LBUTTONUP /
//       WM_MOUSEWHEEL -> OnMouse...; WM_NCHITTEST asks IsCaptionAt; the
//       tooltip window shows GetHoverToolTip(); WM_GETMINMAXINFO reads
//       GetWindowAttributes().minInfo.
//   Notifications: the window implements INotifyUI and registers with
//       AddNotifier; they arrive synchronously on the UI thread.
//   Native pieces: the edit box's typing (NativeEdit, for Edit, RichEdit
//       and DateTime) and the combo's drop-down list (ChooseItem, a popup
//       menu). Other controls may come from a factory registered with
//       SkinBuilder::AddControlFactory.
//   Resources by number: SkinResources::SetResourceReader (FindResource...).
//
// Units: the core (layout, painting calls, hit testing, positions) works in
// the skin's units, pixels at 96 DPI. The Windows side scales them to the
// system's DPI with DpiScale (dpi_scale.h) wherever they meet real pixels.
//
// Threads: controls, the builder and the archive belong to the UI thread.
// Text changes that start on a worker thread must be forwarded to the UI
// thread (for example with a posted message) before they touch a control.
#pragma once

#include "ui/combo.h"
#include "ui/container.h"
#include "ui/control.h"
#include "ui/controls.h"
#include "ui/dpi_scale.h"
#include "ui/embedded.h"
#include "ui/list.h"
#include "ui/paint_manager.h"
#include "ui/painter.h"
#include "ui/skin_archive.h"
#include "ui/skin_builder.h"
#include "ui/skin_markup.h"
#include "ui/skin_resources.h"
#include "ui/skin_text.h"
#include "ui/skin_values.h"
