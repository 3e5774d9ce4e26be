// The process entry: one instance, the main window run modally.
#include <windows.h>
#include <objbase.h>

#include "app/app_messages.h"
#include "app/main_window_win32.h"
#include "ui/window_wnd.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  if (FAILED(CoInitialize(nullptr))) return 0;
  SkinUI::SetInstance(instance);
  auto* window = new kavi::CFrameWindowWnd;

  // The first instance keeps the mutex until the process ends.
  HANDLE mutex = CreateMutexW(nullptr, TRUE, kavi::kSingleInstanceMutex);
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    HWND first = FindWindowW(kavi::kMainWindowClass, nullptr);
    if (first) ShowWindow(first, SW_SHOW);
    ExitProcess(0);
  }

  window->Create(
      nullptr, L"Kavi一键重装系统",
      WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU,
      WS_EX_WINDOWEDGE);
  window->CenterWindow();
  window->ShowModal();
  CoUninitialize();
  return 0;
}
