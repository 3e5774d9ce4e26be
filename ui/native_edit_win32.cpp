#include "ui/native_edit.h"

#include <vector>

#include "ui/gdiplus_painter.h"
#include "ui/window_impl_base.h"

namespace SkinUI {
namespace {

const wchar_t kEditProp[] = L"SkinUI.NativeEdit";

std::wstring WindowText(HWND hwnd) {
  int length = GetWindowTextLengthW(hwnd);
  std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
  int got = GetWindowTextW(hwnd, buffer.data(), length + 1);
  return std::wstring(buffer.data(), got > 0 ? got : 0);
}

}  // namespace

NativeEdit::~NativeEdit() {
  if (hwnd_ && IsWindow(hwnd_)) {
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
    RemovePropW(hwnd_, kEditProp);
    DestroyWindow(hwnd_);
  }
  if (brush_) DeleteObject(brush_);
}

RECT NativeEdit::EditRect(HFONT font) const {
  // The box lies over the control in the window's pixels; its font is
  // already made at the window's DPI.
  UiRect rc = window_.Scale().ToPixels(control_->GetPos().Deflate(control_->GetTextPadding()));
  HDC dc = GetDC(window_.GetHWND());
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW tm;
  GetTextMetricsW(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(window_.GetHWND(), dc);
  // A single-line edit box draws at its top: centre a box one line high.
  int height = tm.tmHeight + 2;
  if (height > rc.Height()) height = rc.Height();
  int top = rc.top + (rc.Height() - height) / 2;
  return RECT{rc.left, top, rc.right, top + height};
}

void NativeEdit::Begin(CEditUI* control) {
  End();
  if (!control || !window_.GetHWND()) return;
  control_ = control;
  HFONT font = window_.fonts_->Get(control->GetFont(), false);
  RECT rc = EditRect(font);
  DWORD style = WS_CHILD | ES_AUTOHSCROLL | ES_LEFT;
  if (control->IsReadOnly()) style |= ES_READONLY;
  if (control->IsPassword()) style |= ES_PASSWORD;
  hwnd_ = CreateWindowExW(0, L"EDIT", control->GetText().c_str(), style, rc.left, rc.top,
                          rc.right - rc.left, rc.bottom - rc.top, window_.GetHWND(), nullptr,
                          GetInstance(), nullptr);
  if (!hwnd_) {
    control_ = nullptr;
    return;
  }
  SetPropW(hwnd_, kEditProp, this);
  oldProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SendMessageW(hwnd_, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
  if (control->GetMaxChar() > 0) SendMessageW(hwnd_, EM_LIMITTEXT, control->GetMaxChar(), 0);
  if (brush_) DeleteObject(brush_);
  UiColor bk = control->GetNativeBkColor();
  brush_ = CreateSolidBrush(RGB((bk >> 16) & 0xFF, (bk >> 8) & 0xFF, bk & 0xFF));
  int length = GetWindowTextLengthW(hwnd_);
  SendMessageW(hwnd_, EM_SETSEL, length, length);
  ShowWindow(hwnd_, SW_SHOW);
  SetFocus(hwnd_);
}

void NativeEdit::End() {
  if (!hwnd_) return;
  HWND edit = hwnd_;
  CEditUI* control = control_;
  hwnd_ = nullptr;
  control_ = nullptr;
  // The control may have been removed while the box was open.
  if (control && window_.HoldsControl(control)) {
    std::wstring text = WindowText(edit);
    if (text != control->GetText()) control->SetText(text);
    control->Invalidate();
  }
  SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
  RemovePropW(edit, kEditProp);
  if (GetFocus() == edit) SetFocus(window_.GetHWND());
  DestroyWindow(edit);
}

bool NativeEdit::HandleParentMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (!hwnd_ || reinterpret_cast<HWND>(lParam) != hwnd_) return false;
  if (message == WM_CTLCOLOREDIT || message == WM_CTLCOLORSTATIC) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    UiColor text = control_->GetTextColor();
    if (text == 0) text = window_.PaintManager().GetWindowAttributes().defaultFontColor;
    SetTextColor(dc, RGB((text >> 16) & 0xFF, (text >> 8) & 0xFF, text & 0xFF));
    LOGBRUSH lb;
    GetObjectW(brush_, sizeof(lb), &lb);
    SetBkColor(dc, lb.lbColor);
    result = reinterpret_cast<LRESULT>(brush_);
    return true;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == EN_CHANGE && !updating_) {
    updating_ = true;
    CEditUI* control = control_;
    if (window_.HoldsControl(control)) {
      control->SetText(WindowText(hwnd_));
      window_.PaintManager().SendNotify(control, L"textchanged");
    }
    updating_ = false;
    result = 0;
    return true;
  }
  return false;
}

LRESULT CALLBACK NativeEdit::EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<NativeEdit*>(GetPropW(hwnd, kEditProp));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  WNDPROC old = self->oldProc_;
  switch (message) {
    case WM_KEYDOWN:
      if (wParam == VK_RETURN || wParam == VK_ESCAPE || wParam == VK_TAB) {
        PostMessageW(GetParent(hwnd), kEndMessage, reinterpret_cast<WPARAM>(hwnd), 0);
        return 0;
      }
      break;
    case WM_CHAR:
      // No beep for the keys that end editing.
      if (wParam == VK_RETURN || wParam == VK_ESCAPE || wParam == VK_TAB) return 0;
      break;
    case WM_KILLFOCUS:
      PostMessageW(GetParent(hwnd), kEndMessage, reinterpret_cast<WPARAM>(hwnd), 0);
      break;
    default:
      break;
  }
  return CallWindowProcW(old, hwnd, message, wParam, lParam);
}

}  // namespace SkinUI
