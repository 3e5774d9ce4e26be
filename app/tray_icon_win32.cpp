// The notification-area icon and its menu.
#include "app/app_messages.h"
#include "app/main_window_win32.h"

namespace kavi {

void CFrameWindowWnd::CreateTrayIcon() {
  trayIcon_ = NOTIFYICONDATAW();
  trayIcon_.cbSize = sizeof(trayIcon_);
  trayIcon_.hWnd = hwnd_;
  trayIcon_.uID = kTrayIconId;
  trayIcon_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  trayIcon_.uCallbackMessage = WM_TRAYICON;
  trayIcon_.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(108));
  lstrcpynW(trayIcon_.szTip, L"Kavi一键重装系统", ARRAYSIZE(trayIcon_.szTip));
  trayMenu_ = CreatePopupMenu();
  AppendMenuW(trayMenu_, MF_STRING, kTrayShowCommand, L"显示窗口");
  AppendMenuW(trayMenu_, MF_STRING, kTrayQuitCommand, L"退出");
  Shell_NotifyIconW(NIM_ADD, &trayIcon_);
}

void CFrameWindowWnd::OnTrayIcon(LPARAM mouseMessage) {
  if (mouseMessage == WM_LBUTTONDOWN) {
    ShowMainWindow();
  } else if (mouseMessage == WM_RBUTTONDOWN) {
    POINT cursor;
    GetCursorPos(&cursor);
    SetForegroundWindow(hwnd_);
    const UINT command = static_cast<UINT>(
        TrackPopupMenu(trayMenu_, TPM_RETURNCMD, cursor.x, cursor.y, 0, hwnd_, nullptr));
    if (command == kTrayShowCommand) {
      ShowMainWindow();
    } else if (command == kTrayQuitCommand) {
      QuitWithConfirmation();
    }
  }
}

}  // namespace kavi
