// minimal_window: the reference for the start-up benchmark. The least a
// Win32 program does to show a window: register a class, create a visible
// window, run a message loop and paint in WM_PAINT. It stores the tick count
// at the end of its first paint in the window property "KaviFirstPaintTick",
// so the probe can check how late it notices a paint.
#include <windows.h>

namespace {

constexpr const wchar_t* kClassName = L"KaviMinimalWindow";

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      FillRect(dc, &ps.rcPaint, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
      RECT client;
      GetClientRect(window, &client);
      DrawTextW(dc, L"minimal window", -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      EndPaint(window, &ps);
      if (!GetPropW(window, L"KaviFirstPaintTick")) {
        SetPropW(window, L"KaviFirstPaintTick", reinterpret_cast<HANDLE>(GetTickCount() | 1));
      }
      return 0;
    }
    case WM_DESTROY:
      RemovePropW(window, L"KaviFirstPaintTick");
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<const wchar_t*>(IDC_ARROW));
  wc.lpszClassName = kClassName;
  if (!RegisterClassW(&wc)) return 1;
  HWND window =
      CreateWindowExW(0, kClassName, L"minimal window", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                      CW_USEDEFAULT, CW_USEDEFAULT, 900, 637, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
