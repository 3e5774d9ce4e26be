// SkinBuilder: walks a parsed skin document, registers the window-level
// resources (images, fonts, default attribute lists, window attributes) with
// a manager and creates, attaches and configures one control per element.
#pragma once

#include <functional>
#include <string>

#include "ui/control.h"
#include "ui/skin_markup.h"

namespace SkinUI {

class CPaintManagerUI;
class SkinResources;

// Asked for element names the toolkit does not know.
class IDialogBuilderCallback {
 public:
  virtual ~IDialogBuilderCallback() = default;
  virtual CControlUI* CreateControl(const wchar_t* className) = 0;
};

// Creates a control for an element name, or returns null.
using ControlFactory = std::function<CControlUI*(const wchar_t* className)>;

class SkinBuilder {
 public:
  // Includes deeper than this are not followed (a file including itself).
  static constexpr int kMaxIncludeDepth = 8;
  // An Include repeats its source at most this many times.
  static constexpr int kMaxIncludeCount = 1000;

  explicit SkinBuilder(const SkinResources* resources = nullptr);

  // Loads `member` and builds it. With a resource type, `member` is the
  // decimal number of a resource of that type, and so are Include sources.
  // Returns the first control created from the top-level element's
  // children (null on failure), attached to `parent` when one is given.
  CControlUI* Create(const std::wstring& member, const wchar_t* resourceType = nullptr,
                     IDialogBuilderCallback* callback = nullptr, CPaintManagerUI* manager = nullptr,
                     CControlUI* parent = nullptr);
  // Builds the document already loaded into Markup().
  CControlUI* Create(IDialogBuilderCallback* callback = nullptr, CPaintManagerUI* manager = nullptr,
                     CControlUI* parent = nullptr);

  SkinMarkup& Markup() { return markup_; }

  // The element table ("Button" -> CButtonUI, ...); exact, case-sensitive.
  static CControlUI* CreateControlByName(const wchar_t* name);
  // Factories are asked, in the order added, for names not in the table.
  static void AddControlFactory(ControlFactory factory);
  static void ClearControlFactories();

 private:
  CControlUI* BuildChildren(SkinMarkupNode parent, CControlUI* parentControl,
                            CPaintManagerUI* manager, bool* abort);
  void RegisterResources(SkinMarkupNode root, CPaintManagerUI* manager);
  void ApplyAttributes(CControlUI* control, const wchar_t* className, SkinMarkupNode node,
                       CPaintManagerUI* manager);
  CControlUI* BuildInclude(SkinMarkupNode node, CControlUI* parentControl,
                           CPaintManagerUI* manager);

  const SkinResources* resources_;
  SkinMarkup markup_;
  std::wstring resourceType_;
  IDialogBuilderCallback* callback_ = nullptr;
  int includeDepth_ = 0;
};

}  // namespace SkinUI
