// The main window's private messages and timers.
#pragma once

#include <windows.h>

namespace kavi {

constexpr UINT WM_TOOLTILES_READY = WM_USER + 89;
constexpr UINT WM_VERIFY_DONE = WM_USER + 90;
constexpr UINT WM_DOWNLOAD_DONE = WM_USER + 101;
constexpr UINT WM_TRAYICON = WM_USER + 122;
// Posted at the end of the start-up, after the first paint.
constexpr UINT WM_RESTORE_REPORT = WM_USER + 131;
// Posted to the main window after its first paint.
constexpr UINT WM_FINISH_STARTUP = WM_USER + 132;

constexpr WPARAM kDownloadDoneTag = 10;  // wParam of WM_DOWNLOAD_DONE

constexpr UINT_PTR kCountdownTimer = 1111;
constexpr UINT_PTR kStartupTimer = 1112;

constexpr UINT kTrayIconId = 108;
constexpr UINT kTrayShowCommand = 40001;
constexpr UINT kTrayQuitCommand = 40002;

constexpr const wchar_t* kMainWindowClass = L"F1423ACA-EB23-40F0-B50A-7F4E26EFFD1F";
constexpr const wchar_t* kSingleInstanceMutex = L"QLTONEMUTEX";

}  // namespace kavi
