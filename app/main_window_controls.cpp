#include "app/main_window_controls.h"

namespace kavi {
namespace {

using SkinUI::CControlUI;

// The interface each control class answers to (CControlUI::GetInterface).
template <typename T>
const wchar_t* KindOf();
template <>
const wchar_t* KindOf<SkinUI::CLabelUI>() {
  return L"Label";
}
template <>
const wchar_t* KindOf<SkinUI::CButtonUI>() {
  return L"Button";
}
template <>
const wchar_t* KindOf<SkinUI::COptionUI>() {
  return L"Option";
}
template <>
const wchar_t* KindOf<SkinUI::CTabLayoutUI>() {
  return L"TabLayout";
}
template <>
const wchar_t* KindOf<SkinUI::CListUI>() {
  return L"List";
}
template <>
const wchar_t* KindOf<SkinUI::CGifAnimUI>() {
  return L"GifAnim";
}
template <>
const wchar_t* KindOf<SkinUI::CTileLayoutUI>() {
  return L"TileLayout";
}

class Binder {
 public:
  explicit Binder(ControlFinder find) : find_(std::move(find)) {}

  template <typename T>
  void operator()(const wchar_t* name, T** slot) {
    *slot = nullptr;
    CControlUI* control = find_(name);
    if (!control) {
      problems_.push_back(std::wstring(name) + L": missing");
      return;
    }
    // GetInterface hands out the pointer of the class that answers the
    // kind, so the cast back is exact.
    *slot = static_cast<T*>(control->GetInterface(KindOf<T>()));
    if (!*slot) problems_.push_back(std::wstring(name) + L": not a " + KindOf<T>());
  }

  std::vector<std::wstring> Problems() { return std::move(problems_); }

 private:
  ControlFinder find_;
  std::vector<std::wstring> problems_;
};

ControlFinder Below(CControlUI* root) {
  return [root](const wchar_t* name) { return root ? root->FindSubControl(name) : nullptr; };
}

}  // namespace

std::vector<std::wstring> BindMainControls(const ControlFinder& find, MainControls* c) {
  Binder bind(find);
  bind(L"labcaption", &c->labcaption);
  bind(L"btnfeedback", &c->btnfeedback);
  bind(L"btnmin", &c->btnmin);
  bind(L"btnclose", &c->btnclose);
  bind(L"tabmain", &c->tabmain);
  bind(L"btninstall", &c->btninstall);
  bind(L"labbackstatus", &c->labbackstatus);
  bind(L"labtips1", &c->labtips1);
  bind(L"labtips2", &c->labtips2);
  bind(L"labrecommand", &c->labrecommand);
  bind(L"listsystem", &c->listsystem);
  bind(L"btnselectandnext", &c->btnselectandnext);
  bind(L"labdownmsg", &c->labdownmsg);
  bind(L"labdownpro", &c->labdownpro);
  bind(L"labfilesize", &c->labfilesize);
  bind(L"labdownspeed", &c->labdownspeed);
  bind(L"labdownstatus", &c->labdownstatus);
  bind(L"labdownloaded", &c->labdownloaded);
  bind(L"labremaintime", &c->labremaintime);
  bind(L"gifprocess", &c->gifprocess);
  bind(L"btnfilename", &c->btnfilename);
  bind(L"btnstop", &c->btnstop);
  bind(L"btnpause", &c->btnpause);
  bind(L"giffinish", &c->giffinish);
  bind(L"labcursystem", &c->labcursystem);
  bind(L"labmemory", &c->labmemory);
  bind(L"labsystempath", &c->labsystempath);
  bind(L"labdownpath", &c->labdownpath);
  bind(L"tilesoft", &c->tilesoft);
  bind(L"btnmain", &c->btnmain);
  bind(L"btnbacksys", &c->btnbacksys);
  bind(L"btnrecosys", &c->btnrecosys);
  return bind.Problems();
}

std::vector<std::wstring> BindSystemRow(CControlUI* row, SystemRowControls* c) {
  Binder bind(Below(row));
  bind(L"optselectsystem", &c->optselectsystem);
  bind(L"labpic", &c->labpic);
  bind(L"labsystemname", &c->labsystemname);
  bind(L"labsize", &c->labsize);
  bind(L"labdata", &c->labdata);
  return bind.Problems();
}

std::vector<std::wstring> BindToolTile(CControlUI* tile, SkinUI::CButtonUI** button) {
  Binder bind([tile](const wchar_t* name) -> CControlUI* {
    if (!tile) return nullptr;
    return tile->GetName() == name ? tile : tile->FindSubControl(name);
  });
  bind(L"btnsoft", button);
  return bind.Problems();
}

}  // namespace kavi
