#include "ui/skin_builder.h"

#include <cwchar>
#include <vector>

#include "ui/combo.h"
#include "ui/container.h"
#include "ui/controls.h"
#include "ui/embedded.h"
#include "ui/list.h"
#include "ui/paint_manager.h"
#include "ui/skin_values.h"

namespace SkinUI {
namespace {

template <typename T>
CControlUI* Make() {
  return new T;
}

struct ElementEntry {
  const wchar_t* name;
  CControlUI* (*create)();
};

// Grouped by name length, 4 to 20 characters; only names of the element's
// length are compared.
const std::vector<ElementEntry>& EntriesOfLength(std::size_t length) {
  static const std::vector<ElementEntry> kEmpty;
  static const std::vector<std::vector<ElementEntry>> kByLength = [] {
    const ElementEntry all[] = {
        {L"Edit", Make<CEditUI>},
        {L"List", Make<CListUI>},
        {L"Text", Make<CTextUI>},
        {L"Label", Make<CLabelUI>},
        {L"Button", Make<CButtonUI>},
        {L"Option", Make<COptionUI>},
        {L"Slider", Make<CSliderUI>},
        {L"Control", Make<CControlUI>},
        {L"GifAnim", Make<CGifAnimUI>},
        {L"Progress", Make<CProgressUI>},
        {L"CheckBox", Make<COptionUI>},
        {L"TreeView", Make<CTreeViewUI>},
        {L"Container", Make<CContainerUI>},
        {L"TabLayout", Make<CTabLayoutUI>},
        {L"ScrollBar", Make<CScrollBarUI>},
        {L"ListHeader", Make<CListHeaderUI>},
        {L"TileLayout", Make<CTileLayoutUI>},
        {L"ChildLayout", Make<CChildLayoutUI>},
        {L"VerticalLayout", Make<CVerticalLayoutUI>},
        {L"ListHeaderItem", Make<CListHeaderItemUI>},
        {L"ListTextElement", Make<CListTextElementUI>},
        {L"HorizontalLayout", Make<CHorizontalLayoutUI>},
        {L"ListLabelElement", Make<CListLabelElementUI>},
        {L"AnimationTabLayout", Make<CAnimationTabLayoutUI>},
        {L"ListContainerElement", Make<CListContainerElementUI>},
        // Stand-ins for what would be native or embedded objects: the combo
        // asks the window for its drop-down list, rich edit and date take
        // the native edit box, the embedded objects are plain containers.
        {L"Combo", Make<CComboUI>},
        {L"Flash", Make<CFlashUI>},
        {L"ActiveX", Make<CActiveXUI>},
        {L"RichEdit", Make<CRichEditUI>},
        {L"ComboBox", Make<CComboBoxUI>},
        {L"DateTime", Make<CDateTimeUI>},
        {L"WebBrowser", Make<CWebBrowserUI>},
    };
    std::vector<std::vector<ElementEntry>> table(21);
    for (const ElementEntry& e : all) table[std::wcslen(e.name)].push_back(e);
    return table;
  }();
  return length < kByLength.size() ? kByLength[length] : kEmpty;
}

std::vector<ControlFactory>& Factories() {
  static std::vector<ControlFactory> factories;
  return factories;
}

bool Is(const wchar_t* a, const wchar_t* b) {
  return std::wcscmp(a, b) == 0;
}

}  // namespace

SkinBuilder::SkinBuilder(const SkinResources* resources)
    : resources_(resources), markup_(resources) {}

CControlUI* SkinBuilder::CreateControlByName(const wchar_t* name) {
  std::size_t length = std::wcslen(name);
  if (length < 4 || length > 20) return nullptr;
  for (const ElementEntry& e : EntriesOfLength(length)) {
    if (std::wmemcmp(e.name, name, length) == 0) return e.create();
  }
  return nullptr;
}

void SkinBuilder::AddControlFactory(ControlFactory factory) {
  if (factory) Factories().push_back(std::move(factory));
}

void SkinBuilder::ClearControlFactories() {
  Factories().clear();
}

CControlUI* SkinBuilder::Create(const std::wstring& member, const wchar_t* resourceType,
                                IDialogBuilderCallback* callback, CPaintManagerUI* manager,
                                CControlUI* parent) {
  resourceType_ = resourceType ? resourceType : L"";
  bool loaded = resourceType_.empty()
                    ? markup_.LoadFromMember(member)
                    : markup_.LoadFromResource(ParseInt(member.c_str()), resourceType_);
  if (!loaded) return nullptr;
  return Create(callback, manager, parent);
}

CControlUI* SkinBuilder::Create(IDialogBuilderCallback* callback, CPaintManagerUI* manager,
                                CControlUI* parent) {
  callback_ = callback;
  SkinMarkupNode root = markup_.Root();
  if (!root.IsValid()) return nullptr;
  if (manager) RegisterResources(root, manager);
  if (Is(root.GetName(), L"Window") && manager && manager->HasWindow()) {
    int count = root.GetAttributeCount();
    for (int i = 0; i < count; ++i) {
      manager->SetWindowAttribute(root.GetAttributeName(i), root.GetAttributeValue(i));
    }
  }
  bool abort = false;
  CControlUI* first = BuildChildren(root, parent, manager, &abort);
  return abort ? nullptr : first;
}

void SkinBuilder::RegisterResources(SkinMarkupNode root, CPaintManagerUI* manager) {
  for (SkinMarkupNode node = root.GetChild(); node.IsValid(); node = node.GetSibling()) {
    const wchar_t* cls = node.GetName();
    if (Is(cls, L"Image")) {
      const wchar_t* name = node.GetAttributeValue(L"name");
      if (!name) continue;
      RegisteredImage image;
      if (const wchar_t* type = node.GetAttributeValue(L"restype")) image.restype = type;
      if (const wchar_t* mask = node.GetAttributeValue(L"mask")) {
        image.mask = ParseColor(mask);
        image.hasMask = true;
      }
      manager->AddImage(name, image);
    } else if (Is(cls, L"Font")) {
      const wchar_t* name = node.GetAttributeValue(L"name");
      if (!name) continue;
      FontSpec font;
      font.name = name;
      if (const wchar_t* size = node.GetAttributeValue(L"size")) font.size = ParseInt(size);
      font.bold = ParseBool(node.GetAttributeValue(L"bold"));
      font.underline = ParseBool(node.GetAttributeValue(L"underline"));
      font.italic = ParseBool(node.GetAttributeValue(L"italic"));
      manager->AddFont(font, ParseBool(node.GetAttributeValue(L"default")));
    } else if (Is(cls, L"Default")) {
      const wchar_t* name = node.GetAttributeValue(L"name");
      const wchar_t* value = node.GetAttributeValue(L"value");
      if (name && value) manager->AddDefaultAttributeList(name, value);
    }
  }
}

void SkinBuilder::ApplyAttributes(CControlUI* control, const wchar_t* className,
                                  SkinMarkupNode node, CPaintManagerUI* manager) {
  // A control that already sits in a window's tree stays attached.
  bool attachForNow = manager && !control->GetManager();
  if (attachForNow) control->SetManager(manager, control->GetParent(), false);
  if (manager) {
    if (const std::wstring* list = manager->GetDefaultAttributeList(className)) {
      control->ApplyAttributeList(list->c_str());
    }
  }
  int count = node.GetAttributeCount();
  for (int i = 0; i < count; ++i) {
    control->SetAttribute(node.GetAttributeName(i), node.GetAttributeValue(i));
  }
  // The tree is attached for good when the window takes it.
  if (attachForNow) control->SetManager(nullptr, control->GetParent(), false);
}

CControlUI* SkinBuilder::BuildInclude(SkinMarkupNode node, CControlUI* parentControl,
                                      CPaintManagerUI* manager) {
  const wchar_t* source = node.GetAttributeValue(L"source");
  if (!source || std::wcslen(source) > 499 || includeDepth_ >= kMaxIncludeDepth) return nullptr;
  int count = 1;
  if (const wchar_t* text = node.GetAttributeValue(L"count")) count = ParseInt(text);
  if (count > kMaxIncludeCount) count = kMaxIncludeCount;
  CControlUI* first = nullptr;
  for (int i = 0; i < count; ++i) {
    SkinBuilder builder(resources_);
    builder.includeDepth_ = includeDepth_ + 1;
    CControlUI* built =
        builder.Create(source, resourceType_.empty() ? nullptr : resourceType_.c_str(), callback_,
                       manager, parentControl);
    if (!built) continue;
    if (!first)
      first = built;
    else if (!parentControl)
      delete built;  // nowhere to keep it
  }
  return first;
}

CControlUI* SkinBuilder::BuildChildren(SkinMarkupNode parent, CControlUI* parentControl,
                                       CPaintManagerUI* manager, bool* abort) {
  CControlUI* first = nullptr;
  // Controls made at the top level without a parent have no owner but the
  // caller, who gets only the first; the others are not kept.
  auto keep = [&](CControlUI* control) {
    if (!first)
      first = control;
    else if (!parentControl)
      delete control;
  };
  for (SkinMarkupNode node = parent.GetChild(); node.IsValid(); node = node.GetSibling()) {
    const wchar_t* cls = node.GetName();
    if (Is(cls, L"Image") || Is(cls, L"Font") || Is(cls, L"Default")) continue;
    if (Is(cls, L"Include")) {
      if (CControlUI* built = BuildInclude(node, parentControl, manager)) keep(built);
      continue;
    }
    if (Is(cls, L"TreeNode")) {
      auto* treeNode = new CTreeNodeUI;
      ApplyAttributes(treeNode, cls, node, manager);
      if (node.HasChildren()) {
        BuildChildren(node, treeNode, manager, abort);
        if (*abort) {
          delete treeNode;
          return nullptr;
        }
      }
      auto* parentNode = parentControl
                             ? static_cast<CTreeNodeUI*>(parentControl->GetInterface(L"TreeNode"))
                             : nullptr;
      auto* parentView = parentControl
                             ? static_cast<CTreeViewUI*>(parentControl->GetInterface(L"TreeView"))
                             : nullptr;
      bool added = false;
      if (parentNode) {
        added = parentNode->AddChildNode(treeNode);
      } else if (parentView) {
        added = parentView->AddNode(treeNode);
      } else {
        delete treeNode;
        *abort = true;
        return nullptr;
      }
      if (!added) {
        delete treeNode;
        continue;
      }
      keep(treeNode);
      continue;
    }

    CControlUI* control = CreateControlByName(cls);
    for (std::size_t i = 0; !control && i < Factories().size(); ++i) control = Factories()[i](cls);
    if (!control && callback_) control = callback_->CreateControl(cls);
    if (!control) continue;  // unknown element: skipped with its subtree

    if (node.HasChildren()) {
      BuildChildren(node, control, manager, abort);
      if (*abort) {
        delete control;
        return nullptr;
      }
    }
    if (parentControl) {
      auto* container = static_cast<IContainerUI*>(parentControl->GetInterface(L"IContainer"));
      if (!container) {
        delete control;
        *abort = true;
        return nullptr;
      }
      if (!container->Add(control)) {
        delete control;
        continue;
      }
    }
    ApplyAttributes(control, cls, node, manager);
    keep(control);
  }
  return first;
}

}  // namespace SkinUI
