// CComboUI: a drop-down choice. Its children are the items (list elements
// or any control with a text); they are not laid out or drawn inside the
// box, which shows the chosen item's text. A click raises "click" and asks
// the window for its drop-down list (IWindowHostUI::ChooseItem); the wheel
// steps through the items. Choosing an item raises "itemselect" with the
// new index in wParam and the old one in lParam.
#pragma once

#include <string>
#include <vector>

#include "ui/container.h"

namespace SkinUI {

class CComboUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override { return L"ComboUI"; }
  void* GetInterface(const wchar_t* name) override;

  int GetCurSel() const { return curSel_; }
  // Chooses item `index` (-1: none); false when out of range.
  bool SelectItem(int index, bool sendNotify = true);
  // The texts of the items, in order.
  std::vector<std::wstring> ItemTexts() const;
  // The chosen item's text, or the combo's own text when none is chosen.
  const std::wstring& GetText() const override;

  bool RemoveAt(int index) override;
  void RemoveAll() override;
  void SetPos(const UiRect& rc) override;
  CControlUI* FindControlAt(UiPoint point) override;
  void DoPaint(IPainter& painter, const UiRect& dirty) override;
  void DoEvent(TEventUI& event) override;
  bool Activate() override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;

 protected:
  void PaintText(IPainter& painter) override;
  void OnItemAdded(CControlUI* control, int index) override;

 private:
  int curSel_ = -1;
  int font_ = -1;
  UiColor textColor_ = 0;
  UiRect textPadding_;
  TextAlign align_ = TextAlign::kLeft;
  bool pushed_ = false;
};

// The mark-up's "ComboBox": the same control.
class CComboBoxUI : public CComboUI {
 public:
  const wchar_t* GetClass() const override { return L"ComboBoxUI"; }
  void* GetInterface(const wchar_t* name) override;
};

}  // namespace SkinUI
