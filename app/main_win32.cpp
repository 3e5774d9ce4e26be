// The process entry: one instance, the main window run modally.
#include <windows.h>
#include <objbase.h>

#include "app/app_messages.h"
#include "app/main_window_win32.h"
#include "app/startup_thread_win32.h"
#include "app/startup_trace_win32.h"
#include "host/win32_util.h"
#include "ui/gdiplus_painter.h"
#include "ui/window_wnd.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  kavi::StartupMark("wWinMain");
  // Elevated: no DLL may come from a folder a user can write to.
  kavi::LimitDllSearch();
  // Windows 2000 has GDI+ only when installed by hand; every window draws with it.
  if (!SkinUI::StartGdiplus()) {
    MessageBoxW(nullptr, L"缺少系统组件GDI+（gdiplus.dll），请安装后再运行本软件。", L"错误",
                MB_OK | MB_ICONERROR);
    return 1;
  }
  // The first instance keeps the mutex until the process ends.
  HANDLE mutex = CreateMutexW(nullptr, TRUE, kavi::kSingleInstanceMutex);
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    HWND first = FindWindowW(kavi::kMainWindowClass, nullptr);
    if (first) ShowWindow(first, SW_SHOW);
    ExitProcess(0);
  }
  // The start page's drive and folder facts are gathered meanwhile.
  kavi::StartWorkingPathSetUp();

  if (FAILED(CoInitialize(nullptr))) return 0;
  kavi::StartupMark("COM started");  // its window brings up the display driver
  SkinUI::SetInstance(instance);
  auto* window = new kavi::CFrameWindowWnd;

  // Shown by ShowModal once centred: a window shown at creation would be
  // moved on screen before its first paint.
  window->Create(nullptr, L"Kavi一键重装系统",
                 WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU,
                 WS_EX_WINDOWEDGE);
  window->CenterWindow();
  window->ShowModal();
  CoUninitialize();
  return 0;
}
