// A plain window with the host facts, shown until the skinned main window
// takes over the program's start.
#include <windows.h>

#include <string>

#include "host/host_facts.h"
#include "host/text.h"
#include "host/working_paths.h"

namespace {

std::wstring FactsText() {
  const kavi::WorkingFields f = kavi::Working().Snapshot();
  const double gib = static_cast<double>(kavi::GetTotalPhysicalMemory()) / (1 << 30);
  return kavi::Format(
      L"Kavi一键重装系统 7.8.12\r\n\r\n"
      L"操作系统：%ls\r\n内存：%.2f GB\r\n系统盘：%lc:\r\n下载目录：%ls\r\n\r\n%ls",
      kavi::EditionDisplayName(f.windowsEdition), gib, f.systemDrive, f.downloadFolder.c_str(),
      kavi::GetRecommendationText().c_str());
}

LRESULT CALLBACK FactsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT area;
      GetClientRect(window, &area);
      InflateRect(&area, -24, -24);
      HFONT font = CreateFontW(-18, 0, 0, 0, FW_NORMAL, 0, 0, 0, GB2312_CHARSET, 0, 0,
                               CLEARTYPE_QUALITY, 0, L"微软雅黑");
      HGDIOBJ old = SelectObject(dc, font);
      SetBkMode(dc, TRANSPARENT);
      std::wstring text = FactsText();
      DrawTextW(dc, text.c_str(), -1, &area, DT_LEFT | DT_TOP | DT_WORDBREAK);
      SelectObject(dc, old);
      DeleteObject(font);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  kavi::SetUpWorkingPaths();

  WNDCLASSW wc = {};
  wc.lpfnWndProc = FactsProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(108));
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"KaviFactsWindow";
  RegisterClassW(&wc);
  HWND window = CreateWindowW(wc.lpszClassName, L"Kavi一键重装系统", WS_OVERLAPPEDWINDOW,
                              CW_USEDEFAULT, CW_USEDEFAULT, 560, 360, nullptr, nullptr,
                              instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, show);
  UpdateWindow(window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
