// WindowImplBase: the base of the program's skinned windows. On WM_CREATE it
// loads the skin (by default from the zip archive in the program's
// resources), builds the control tree and calls OnInitWindow; it then paints
// the tree double-buffered with GDI+, routes mouse and keyboard input to the
// controls, shows tooltips, drags the window by its caption band, keeps the
// drop shadow and delivers the controls' notifications to OnNotify.
//
// The control tree works in the skin's units (pixels at 96 DPI); the window
// is the system's DPI times larger, and everything that crosses between the
// two (window size, painting, mouse points, tooltips, the native edit box,
// the drop-down, the shadow, screen locations) is converted here.
//
//   class CAboutWnd : public SkinUI::WindowImplBase {
//    public:
//     const wchar_t* ClassName() const override { return L"KaviAbout"; }
//     std::wstring SkinFolder() override { return L""; }
//     std::wstring SkinFile() override { return L"about.xml"; }
//     SkinUI::SkinResourceKind ResourceKind() const override {
//       return SkinUI::SkinResourceKind::kZipResource;
//     }
//     int ResourceId() const override { return 141; }
//     void OnInitWindow() override { ok_ = m_pm.FindControl(L"btnok"); }
//     void OnNotify(SkinUI::TNotifyUI& msg) override {
//       if (msg.sType == L"click" && msg.pSender == ok_) Close(IDOK);
//       WindowImplBase::OnNotify(msg);
//     }
//     void OnFinalMessage(HWND) override { delete this; }
//    private:
//     SkinUI::CControlUI* ok_ = nullptr;
//   };
//
//   auto* about = new CAboutWnd;
//   about->Create(owner, L"About", WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS |
//                 WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU, WS_EX_WINDOWEDGE);
//   about->CenterWindow();
//   UINT result = about->ShowModal();
//
// Win32 only.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/control.h"
#include "ui/dpi_scale.h"
#include "ui/paint_manager.h"
#include "ui/shadow.h"
#include "ui/skin_builder.h"
#include "ui/window_wnd.h"

namespace SkinUI {

class AccessibleWindow;
class FontCache;
class NativeEdit;

// Where a window's skin comes from.
enum class SkinResourceKind {
  kFile,         // plain files in the program's folder
  kZip,          // a zip file in the program's folder
  kZipResource,  // a zip archive in the program's resources, type "ZIPRES"
};

// Sees the window's messages before translation in the modal loop.
class IMessageFilterUI {
 public:
  virtual ~IMessageFilterUI() = default;
  // Setting `handled` consumes the message.
  virtual LRESULT MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) = 0;
};

// Routes notifications to handlers registered by type and sender name (an
// empty name matches every sender).
class CNotifyPump {
 public:
  using Handler = std::function<void(TNotifyUI&)>;
  virtual ~CNotifyPump() = default;
  void AddNotifyHandler(const std::wstring& type, const std::wstring& name, Handler handler);
  // Runs the matching handlers; true when there was one.
  bool DispatchNotify(TNotifyUI& msg);

 private:
  struct Entry {
    std::wstring type;
    std::wstring name;
    Handler handler;
  };
  std::vector<Entry> handlers_;
};

class WindowImplBase : public CWindowWnd,
                       public CNotifyPump,
                       public INotifyUI,
                       public IMessageFilterUI,
                       public IDialogBuilderCallback {
 public:
  WindowImplBase();
  ~WindowImplBase() override;

  // ---- overridable operations, in this order ----
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND hwnd) override;
  // Called once the skin is built and attached.
  virtual void OnInitWindow() {}
  // Base handling: "click" on controls named "closebtn", "minbtn", "maxbtn"
  // and "restorebtn" closes, minimises, maximises and restores; then the
  // handlers added to the notification pump.
  void OnNotify(TNotifyUI& msg) override;
  virtual std::wstring SkinFolder() = 0;
  virtual std::wstring SkinFile() = 0;
  // Asked for Enter (VK_RETURN) and Esc (VK_ESCAPE); the answer does not
  // stop the key's normal handling.
  virtual LRESULT ResponseDefaultKeyEvent(WPARAM key);
  virtual SkinResourceKind ResourceKind() const { return SkinResourceKind::kFile; }
  virtual std::wstring ZipFileName() const { return std::wstring(); }
  // The resource number of the "ZIPRES" archive; 0 for none.
  virtual int ResourceId() const { return 0; }
  virtual LRESULT OnClose(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnDestroy(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnNcActivate(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnNcCalcSize(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnNcPaint(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnNcHitTest(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnGetMinMaxInfo(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnMouseWheel(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnMouseHover(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnSize(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnChar(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnSysCommand(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnCreate(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnKeyDown(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnKillFocus(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnSetFocus(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnLButtonDown(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnLButtonUp(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT OnMouseMove(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  virtual LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
  // The window style without WS_CAPTION.
  virtual LONG Style();

  // IMessageFilterUI: asks ResponseDefaultKeyEvent for Enter and Esc and
  // never consumes a message.
  LRESULT MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  // IDialogBuilderCallback: no custom controls.
  CControlUI* CreateControl(const wchar_t* className) override;

  // The control with exactly this name, or null.
  CControlUI* FindControl(const std::wstring& name) const { return m_pm.FindControl(name); }
  CPaintManagerUI& PaintManager() { return m_pm; }
  // Pre-translation filters; the window registers itself at creation.
  void AddMessageFilter(IMessageFilterUI* filter);
  void RemoveMessageFilter(IMessageFilterUI* filter);
  // Whether `control` is (still) part of this window's tree.
  bool HoldsControl(const CControlUI* control) const;
  // Paints the whole client area into `dc` (what WM_PRINTCLIENT does).
  void PaintTo(HDC dc);
  // The native edit box while a CEditUI is being typed into, else null.
  HWND EditingWindow() const;
  // The native tooltip window (null until a tooltip was first shown).
  HWND ToolTipWindow() const { return toolTip_; }
  CShadowUI& Shadow() { return shadow_; }
  // The window's DPI against the skin's 96, fixed when the window is made.
  const DpiScale& Scale() const { return scale_; }
  // Where a control's rectangle (the skin's units, client-relative) lies on
  // the screen, and the reverse for a screen point: every screen position
  // the screen-reader tree reports goes through these.
  RECT LogicalRectToScreen(const UiRect& rect) const;
  RECT ClientRectToScreen(RECT rect) const;  // pixels, no scaling
  UiPoint ScreenToLogical(POINT screen) const;

 protected:
  bool PreTranslate(MSG& msg) override;

  CPaintManagerUI m_pm;

 private:
  class Host;
  friend class Host;
  friend class NativeEdit;

  bool LoadSkinSource();
  // The controls' share of the messages; true when handled.
  bool HandleControlMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  void Paint();
  void TrackMouse();
  void UpdateToolTip();
  void UpdateEditing();
  // A point in client pixels (a mouse message's) in the tree's units.
  UiPoint ClientToLogical(LPARAM lParam) const;
  // Lays the tree out over the client area of `cx` x `cy` pixels.
  void SetClientPixels(int cx, int cy);
  // Keys the controls use (Tab, arrows, Enter, Space); true when routed.
  bool RouteKey(WPARAM key, LPARAM flags);

  std::unique_ptr<Host> host_;
  std::unique_ptr<FontCache> fonts_;
  std::unique_ptr<NativeEdit> edit_;
  std::unique_ptr<AccessibleWindow> accessible_;
  std::vector<IMessageFilterUI*> filters_;
  CShadowUI shadow_;
  DpiScale scale_;
  HWND toolTip_ = nullptr;
  CControlUI* toolTipOwner_ = nullptr;
  std::wstring toolTipText_;
  bool trackingMouse_ = false;
  bool built_ = false;
  bool shadowPending_ = false;  // made once the first paint is done
  bool painted_ = false;        // the first paint has posted its follow-up
  HDC bufferDc_ = nullptr;
  HBITMAP buffer_ = nullptr;
  SIZE bufferSize_ = {0, 0};
};

}  // namespace SkinUI
