#include <cmath>
#include <cstdint>

#include "ui/shadow.h"

namespace SkinUI {
namespace {

const wchar_t kShadowClass[] = L"SkinUIShadow";
// Opacity right at the window's edge; the shadow fades out from there.
constexpr int kPeakAlpha = 72;

}  // namespace

bool CShadowUI::RegisterWindowClass(HINSTANCE instance) {
  WNDCLASSW wc = {};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kShadowClass;
  return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

CShadowUI::~CShadowUI() {
  Destroy();
}

bool CShadowUI::Create(HWND parent, int size, UiPoint offset, UiColor color, int darkness) {
  Destroy();
  if (!parent || size <= 0) return false;
  WNDCLASSW probe;
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
  if (!GetClassInfoW(instance, kShadowClass, &probe)) RegisterWindowClass(instance);
  parent_ = parent;
  size_ = size;
  offset_ = offset;
  color_ = color;
  darkness_ = darkness < 0 ? 0 : darkness > 255 ? 255 : darkness;
  // Owned like the parent, so it keeps the parent's place among the windows;
  // transparent to the mouse and never activated.
  hwnd_ = CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE,
                          kShadowClass, L"", WS_POPUP, 0, 0, 0, 0, GetWindow(parent, GW_OWNER),
                          nullptr, instance, nullptr);
  rendered_ = {0, 0};
  Update();
  return hwnd_ != nullptr;
}

void CShadowUI::Destroy() {
  if (hwnd_) DestroyWindow(hwnd_);
  hwnd_ = nullptr;
  parent_ = nullptr;
}

void CShadowUI::Update() {
  if (!hwnd_ || !IsWindow(parent_)) return;
  if (!IsWindowVisible(parent_) || IsIconic(parent_) || IsZoomed(parent_)) {
    ShowWindow(hwnd_, SW_HIDE);
    return;
  }
  RECT rc;
  GetWindowRect(parent_, &rc);
  int cx = rc.right - rc.left + 2 * size_;
  int cy = rc.bottom - rc.top + 2 * size_;
  if (cx != rendered_.cx || cy != rendered_.cy) Render(cx, cy);
  SetWindowPos(hwnd_, parent_, rc.left - size_ + offset_.x, rc.top - size_ + offset_.y, cx, cy,
               SWP_NOACTIVATE | SWP_SHOWWINDOW | SWP_NOSIZE);
}

void CShadowUI::Render(int cx, int cy) {
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = cx;
  bi.bmiHeader.biHeight = -cy;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !dc) {
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return;
  }
  const int r = (color_ >> 16) & 0xFF, g = (color_ >> 8) & 0xFF, b = color_ & 0xFF;
  const double peak = kPeakAlpha * darkness_ / 255.0;
  // The window itself covers [size, size + w) x [size, size + h); the
  // shadow fades with the distance from that rectangle, round at corners.
  const int innerRight = cx - size_, innerBottom = cy - size_;
  auto* px = static_cast<std::uint32_t*>(bits);
  for (int y = 0; y < cy; ++y) {
    int dy = y < size_ ? size_ - y : y >= innerBottom ? y - innerBottom + 1 : 0;
    for (int x = 0; x < cx; ++x) {
      int dx = x < size_ ? size_ - x : x >= innerRight ? x - innerRight + 1 : 0;
      double d = std::sqrt(static_cast<double>(dx * dx + dy * dy));
      double t = 1.0 - d / (size_ + 1);
      int a = (dx == 0 && dy == 0) ? 0 : t <= 0 ? 0 : static_cast<int>(peak * t * t + 0.5);
      px[y * cx + x] =
          static_cast<std::uint32_t>(a) << 24 | static_cast<std::uint32_t>(r * a / 255) << 16 |
          static_cast<std::uint32_t>(g * a / 255) << 8 | static_cast<std::uint32_t>(b * a / 255);
    }
  }
  HGDIOBJ old = SelectObject(dc, bitmap);
  SIZE size = {cx, cy};
  POINT source = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  if (UpdateLayeredWindow(hwnd_, screen, nullptr, &size, dc, &source, 0, &blend, ULW_ALPHA))
    rendered_ = size;
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
}

}  // namespace SkinUI
