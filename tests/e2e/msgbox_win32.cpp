// msgbox: reads and answers the program's message boxes for end-to-end
// tests (run in the same Wine prefix as the program).
//   msgbox list              prints every visible dialog box: caption|text
//   msgbox wait SECONDS      waits for a dialog box and prints it
//   msgbox answer ID         presses the button ID (1 OK, 2 Cancel, 6 Yes,
//                            7 No) of the first visible dialog box; exit
//                            status 0 only when that button is shown and
//                            enabled and the box is gone within 5 seconds
//   msgbox window TITLE      prints "visible|enabled" flags (0 or 1) of the
//                            top-level window with that title
//   msgbox close TITLE       asks the window with that title to close
//   msgbox ping TITLE        prints how many milliseconds the window with
//                            that title took to answer a message, or "hung"
//                            when it did not answer within 5 seconds
// Output is UTF-8; exit status 1 when there is no dialog box.
#include "host/text.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring WindowText(HWND window) {
  wchar_t buffer[2048] = {};
  GetWindowTextW(window, buffer, 2048);
  return buffer;
}

BOOL CALLBACK CollectDialog(HWND window, LPARAM list) {
  wchar_t cls[64] = {};
  GetClassNameW(window, cls, 64);
  if (IsWindowVisible(window) && std::wstring(cls) == L"#32770") {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  }
  return TRUE;
}

std::vector<HWND> Dialogs() {
  std::vector<HWND> found;
  EnumWindows(&CollectDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

// The message text: the static control with id 0xFFFF (65535) in a message box.
std::wstring MessageText(HWND dialog) {
  HWND text = GetDlgItem(dialog, 0xFFFF);
  return text ? WindowText(text) : std::wstring();
}

void Print(HWND dialog) {
  std::printf("%s|%s\n", kavi::ToUtf8(WindowText(dialog)).c_str(),
              kavi::ToUtf8(MessageText(dialog)).c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring verb = argc > 1 ? argv[1] : L"list";
  if (verb == L"list") {
    std::vector<HWND> dialogs = Dialogs();
    for (HWND d : dialogs) Print(d);
    return dialogs.empty() ? 1 : 0;
  }
  if (verb == L"wait" && argc > 2) {
    DWORD until = GetTickCount() + static_cast<DWORD>(_wtoi(argv[2]) * 1000);
    while (GetTickCount() < until) {
      std::vector<HWND> dialogs = Dialogs();
      if (!dialogs.empty()) {
        Print(dialogs[0]);
        return 0;
      }
      Sleep(100);
    }
    return 1;
  }
  if (verb == L"answer" && argc > 2) {
    std::vector<HWND> dialogs = Dialogs();
    if (dialogs.empty()) return 1;
    const int id = _wtoi(argv[2]);
    HWND button = GetDlgItem(dialogs[0], id);
    if (!button || !IsWindowVisible(button) || !IsWindowEnabled(button)) {
      std::printf("no button %d\n", id);
      return 4;
    }
    PostMessageW(dialogs[0], WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    for (int i = 0; i < 50 && IsWindow(dialogs[0]) && IsWindowVisible(dialogs[0]); ++i) Sleep(100);
    if (IsWindow(dialogs[0]) && IsWindowVisible(dialogs[0])) {
      std::printf("the box stayed\n");
      return 5;
    }
    return 0;
  }
  if ((verb == L"window" || verb == L"close" || verb == L"ping") && argc > 2) {
    HWND window = FindWindowW(nullptr, argv[2]);
    if (!window) return 1;
    if (verb == L"ping") {
      const DWORD start = GetTickCount();
      DWORD_PTR result = 0;
      if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result)) {
        std::printf("hung\n");
        return 3;
      }
      std::printf("%lu\n", static_cast<unsigned long>(GetTickCount() - start));
    } else if (verb == L"close") {
      PostMessageW(window, WM_CLOSE, 0, 0);
    } else {
      std::printf("%d|%d\n", IsWindowVisible(window) ? 1 : 0, IsWindowEnabled(window) ? 1 : 0);
    }
    return 0;
  }
  std::fprintf(stderr,
               "usage: msgbox list | wait SECONDS | answer ID | window TITLE | close TITLE | "
               "ping TITLE\n");
  return 2;
}
