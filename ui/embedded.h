// Elements that name an embedded object (an ActiveX control, a Flash movie,
// a web page). The toolkit hosts no such objects: they are plain
// containers, so their names, sizes and children (a fallback picture or
// text, say) stay in the tree.
#pragma once

#include <cwchar>

#include "ui/container.h"

namespace SkinUI {

class CActiveXUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override { return L"ActiveXUI"; }
  void* GetInterface(const wchar_t* name) override {
    if (std::wcscmp(name, L"ActiveX") == 0) return this;
    return CContainerUI::GetInterface(name);
  }
};

class CFlashUI : public CActiveXUI {
 public:
  const wchar_t* GetClass() const override { return L"FlashUI"; }
  void* GetInterface(const wchar_t* name) override {
    if (std::wcscmp(name, L"Flash") == 0) return this;
    return CActiveXUI::GetInterface(name);
  }
};

class CWebBrowserUI : public CActiveXUI {
 public:
  const wchar_t* GetClass() const override { return L"WebBrowserUI"; }
  void* GetInterface(const wchar_t* name) override {
    if (std::wcscmp(name, L"WebBrowser") == 0) return this;
    return CActiveXUI::GetInterface(name);
  }
};

}  // namespace SkinUI
