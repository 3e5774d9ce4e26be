// The leaf controls: label and text, button, option (check box), edit (also
// standing in for rich edit and date picker),
// animated GIF, progress and slider.
#pragma once

#include <string>
#include <vector>

#include "ui/control.h"

namespace SkinUI {

class CLabelUI : public CControlUI {
 public:
  const wchar_t* GetClass() const override { return L"LabelUI"; }
  void* GetInterface(const wchar_t* name) override;

  int GetFont() const { return font_; }
  void SetFont(int index);
  UiColor GetTextColor() const { return textColor_; }
  void SetTextColor(UiColor color);
  const UiRect& GetTextPadding() const { return textPadding_; }
  bool IsShowHtml() const { return showHtml_; }
  // The text as the painter receives it: mark-up split into runs when
  // showhtml is on, one run otherwise.
  std::vector<TextRun> GetTextRuns() const;
  TextStyle GetTextStyle() const;

  void SetAttribute(const wchar_t* name, const wchar_t* value) override;

 protected:
  void PaintText(IPainter& painter) override;
  // The colour for the current state.
  virtual UiColor CurrentTextColor() const;

  int font_ = -1;
  UiColor textColor_ = 0;
  UiColor disabledTextColor_ = 0;
  UiRect textPadding_;
  TextAlign align_ = TextAlign::kLeft;
  TextVAlign valign_ = TextVAlign::kCenter;
  bool showHtml_ = false;
  bool endEllipsis_ = false;
  bool multiLine_ = false;
};

class CTextUI : public CLabelUI {
 public:
  const wchar_t* GetClass() const override { return L"TextUI"; }
};

class CButtonUI : public CLabelUI {
 public:
  CButtonUI();
  const wchar_t* GetClass() const override { return L"ButtonUI"; }
  void* GetInterface(const wchar_t* name) override;

  bool IsHot() const { return hot_; }
  bool IsPushed() const { return pushed_; }
  void SetNormalImage(const std::wstring& image);
  void SetHotImage(const std::wstring& image);
  void SetPushedImage(const std::wstring& image);
  // Raises "click" when enabled and visible.
  bool Activate() override;
  void SetEnabled(bool enabled) override;
  bool AcceptsFocus() const override { return true; }

  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void DoEvent(TEventUI& event) override;

 protected:
  void PaintBkColor(IPainter& painter) override;
  void PaintStatusImage(IPainter& painter) override;
  UiColor CurrentTextColor() const override;
  // The state image to draw: the first of `candidates` that draws wins.
  bool DrawFirst(IPainter& painter, std::initializer_list<const std::wstring*> candidates);

  bool hot_ = false;
  bool pushed_ = false;
  std::wstring normalImage_, hotImage_, pushedImage_, focusedImage_, disabledImage_;
  std::wstring foreImage_, hotForeImage_;
  UiColor hotTextColor_ = 0, pushedTextColor_ = 0, focusedTextColor_ = 0;
  UiColor hotBkColor_ = 0;
};

// A button with an on/off state. Options sharing a group are mutually
// exclusive; a grouped option cannot be turned off by clicking it again.
class COptionUI : public CButtonUI {
 public:
  ~COptionUI() override;
  const wchar_t* GetClass() const override { return L"OptionUI"; }
  void* GetInterface(const wchar_t* name) override;

  const std::wstring& GetGroup() const { return group_; }
  void SetGroup(const std::wstring& group);
  bool IsSelected() const { return selected_; }
  // Turns the option on or off. Turning a grouped option on first turns the
  // others of its group off silently, then raises "selectchanged"; turning
  // a grouped option off raises nothing. An option without a group raises
  // "selectchanged" on every change.
  void Select(bool selected, bool sendNotify = true);
  // "click" first, then the state change.
  bool Activate() override;

  void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init = true) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;

 protected:
  void PaintBkColor(IPainter& painter) override;
  void PaintStatusImage(IPainter& painter) override;
  UiColor CurrentTextColor() const override;

 private:
  std::wstring group_;
  bool selected_ = false;
  std::wstring selectedImage_, selectedHotImage_, selectedPushedImage_;
  UiColor selectedTextColor_ = 0;
  UiColor selectedBkColor_ = 0;
};

// Single-line text input. The native edit box that does the typing is the
// Windows side's; this keeps the text and the attributes.
class CEditUI : public CLabelUI {
 public:
  CEditUI();
  const wchar_t* GetClass() const override { return L"EditUI"; }
  void* GetInterface(const wchar_t* name) override;
  bool IsReadOnly() const { return readOnly_; }
  bool IsPassword() const { return password_; }
  bool AcceptsFocus() const override { return true; }
  int GetMaxChar() const { return maxChar_; }
  UiColor GetNativeBkColor() const { return nativeBkColor_; }
  void SetText(const std::wstring& text) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;

 protected:
  void PaintStatusImage(IPainter& painter) override;
  void PaintText(IPainter& painter) override;

 private:
  bool readOnly_ = false;
  bool password_ = false;
  int maxChar_ = 255;
  UiColor nativeBkColor_ = 0xFFFFFFFF;
  std::wstring normalImage_, hotImage_, focusedImage_, disabledImage_;
};

// The mark-up's "RichEdit": typed into through the same native edit box.
class CRichEditUI : public CEditUI {
 public:
  const wchar_t* GetClass() const override { return L"RichEditUI"; }
  void* GetInterface(const wchar_t* name) override;
};

// The mark-up's "DateTime": an edit box that starts with today's date as
// YYYY-MM-DD unless the mark-up gives a text.
class CDateTimeUI : public CEditUI {
 public:
  CDateTimeUI();
  const wchar_t* GetClass() const override { return L"DateTimeUI"; }
  void* GetInterface(const wchar_t* name) override;
};

// An animated GIF from `bkimage`. Frame delays come from the window side
// (IWindowHostUI::ImageFrameDelays); a delay of 0 counts as 100 ms.
class CGifAnimUI : public CControlUI {
 public:
  static constexpr int kTimerId = 0x4749;  // one timer per control
  static constexpr int kZeroDelay = 100;

  const wchar_t* GetClass() const override { return L"GifAnimUI"; }
  void* GetInterface(const wchar_t* name) override;

  void PlayGif();
  void PauseGif();
  void StopGif();  // pause and go back to the first frame
  bool IsPlaying() const { return playing_; }
  int GetFrame() const { return frame_; }
  int GetFrameCount() const { return static_cast<int>(delays_.size()); }
  // The delay of a frame in milliseconds (0 in the file means 100).
  int FrameDelay(int frame) const;

  void DoInit() override;
  void SetVisible(bool visible) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void DoEvent(TEventUI& event) override;

 protected:
  void PaintBkImage(IPainter& painter) override;

 private:
  void LoadFrames();

  std::vector<int> delays_;
  bool framesLoaded_ = false;
  bool autoPlay_ = true;
  bool playing_ = false;
  int frame_ = 0;
};

class CProgressUI : public CLabelUI {
 public:
  const wchar_t* GetClass() const override { return L"ProgressUI"; }
  void* GetInterface(const wchar_t* name) override;
  int GetMinValue() const { return min_; }
  int GetMaxValue() const { return max_; }
  int GetValue() const { return value_; }
  void SetValue(int value);
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;

 protected:
  void PaintStatusImage(IPainter& painter) override;
  // The part of the control the current value fills.
  UiRect FilledRect() const;

  bool horizontal_ = true;
  int min_ = 0;
  int max_ = 100;
  int value_ = 0;
  std::wstring foreImage_;
};

class CSliderUI : public CProgressUI {
 public:
  const wchar_t* GetClass() const override { return L"SliderUI"; }
  void* GetInterface(const wchar_t* name) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void DoEvent(TEventUI& event) override;

 protected:
  void PaintStatusImage(IPainter& painter) override;

 private:
  void SetValueAt(UiPoint point);

  bool tracking_ = false;
  UiSize thumbSize_{10, 10};
  std::wstring thumbImage_;
};

}  // namespace SkinUI
