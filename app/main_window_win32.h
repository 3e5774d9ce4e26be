// CFrameWindowWnd: the main window and the reinstall workflow over its four
// pages (start, system list, download, verification), the bottom menu, the
// right panel with the host facts and tool tiles, and the tray icon.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "app/main_window_controls.h"
#include "app/taskbar_progress_win32.h"
#include "ui/skin_ui.h"
#include "ui/window_impl_base.h"

namespace kavi {

class CFrameWindowWnd : public SkinUI::WindowImplBase {
 public:
  CFrameWindowWnd();
  ~CFrameWindowWnd() override;

  const wchar_t* ClassName() const override;
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND hwnd) override;
  void OnInitWindow() override;
  void OnNotify(SkinUI::TNotifyUI& msg) override;
  std::wstring SkinFolder() override { return L""; }
  std::wstring SkinFile() override { return L"skin.xml"; }
  SkinUI::SkinResourceKind ResourceKind() const override {
    return SkinUI::SkinResourceKind::kZipResource;
  }
  int ResourceId() const override { return 141; }

  void ResetToStartPage();
  // The keyboard focus a page starts with: the start button, the list,
  // "暂停下载"; none on the verification page.
  void FocusPageDefault(int page);
  void ShowSystemListPage();

  bool Busy() const { return busy_ != 0; }
  int SelectedIndex() const { return selectedIndex_; }

 private:
  void FinishStartup();
  void BindControls();
  void OnClick(SkinUI::CControlUI* sender);
  void OnInstall();
  void OnCountdownStep();
  void OnDownloadDone(WPARAM wParam, LPARAM lParam);
  int Ask(const wchar_t* text, const wchar_t* caption, UINT flags);
  void QuitWithConfirmation();
  void ShowMainWindow();
  void SetText(SkinUI::CControlUI* control, const std::wstring& text);

  // System list page.
  void FillSystemList();
  void OnOptionSelected(SkinUI::CControlUI* sender);

  // Environment panel and reminder.
  void RefreshEnvironmentPanel();
  void RefreshReminder();

  // Download and verification.
  void StartImageDownload();
  void CheckImageSize();
  void OnImageChecked(LPARAM valid);

  // Tray icon and tool tiles.
  void CreateTrayIcon();
  void OnTrayIcon(LPARAM mouseMessage);
  void BuildToolTiles();
  void OnToolTile(int index);

  MainControls c_;
  NOTIFYICONDATAW trayIcon_ = {};
  HMENU trayMenu_ = nullptr;
  TaskbarProgress taskbar_;
  bool startupFinished_ = false;
  int busy_ = 0;
  int countdown_ = 0;
  int selectedIndex_ = 0;
};

}  // namespace kavi
