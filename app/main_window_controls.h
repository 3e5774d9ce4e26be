// The named controls of the main skin and of its row and tile templates,
// looked up by name and checked for the kind the program uses them as. A
// control that is missing or of another kind is left null and reported.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/skin_ui.h"

namespace kavi {

struct MainControls {
  SkinUI::CLabelUI* labcaption = nullptr;
  SkinUI::CButtonUI* btnfeedback = nullptr;
  SkinUI::CButtonUI* btnmin = nullptr;
  SkinUI::CButtonUI* btnclose = nullptr;
  SkinUI::CTabLayoutUI* tabmain = nullptr;
  SkinUI::CButtonUI* btninstall = nullptr;
  SkinUI::CLabelUI* labbackstatus = nullptr;
  SkinUI::CLabelUI* labtips1 = nullptr;
  SkinUI::CLabelUI* labtips2 = nullptr;
  SkinUI::CLabelUI* labrecommand = nullptr;
  SkinUI::CListUI* listsystem = nullptr;
  SkinUI::CButtonUI* btnselectandnext = nullptr;
  SkinUI::CLabelUI* labdownmsg = nullptr;
  SkinUI::CLabelUI* labdownpro = nullptr;
  SkinUI::CLabelUI* labfilesize = nullptr;
  SkinUI::CLabelUI* labdownspeed = nullptr;
  SkinUI::CLabelUI* labdownstatus = nullptr;
  SkinUI::CLabelUI* labdownloaded = nullptr;
  SkinUI::CLabelUI* labremaintime = nullptr;
  SkinUI::CGifAnimUI* gifprocess = nullptr;
  SkinUI::CButtonUI* btnfilename = nullptr;
  SkinUI::CButtonUI* btnstop = nullptr;
  SkinUI::CButtonUI* btnpause = nullptr;
  SkinUI::CGifAnimUI* giffinish = nullptr;
  SkinUI::CLabelUI* labcursystem = nullptr;
  SkinUI::CLabelUI* labmemory = nullptr;
  SkinUI::CLabelUI* labsystempath = nullptr;
  SkinUI::CLabelUI* labdownpath = nullptr;
  SkinUI::CTileLayoutUI* tilesoft = nullptr;
  SkinUI::CButtonUI* btnmain = nullptr;
  SkinUI::CButtonUI* btnbacksys = nullptr;
  SkinUI::CButtonUI* btnrecosys = nullptr;
};

// One row of the system list ("item1.xml").
struct SystemRowControls {
  SkinUI::COptionUI* optselectsystem = nullptr;
  SkinUI::CLabelUI* labpic = nullptr;
  SkinUI::CLabelUI* labsystemname = nullptr;
  SkinUI::CLabelUI* labsize = nullptr;
  SkinUI::CLabelUI* labdata = nullptr;
};

// Finds a control by its exact name, or returns null.
using ControlFinder = std::function<SkinUI::CControlUI*(const wchar_t* name)>;

// Each returns one line per control it could not bind ("name: missing",
// "name: not a Button"); empty when every control is there.
std::vector<std::wstring> BindMainControls(const ControlFinder& find, MainControls* c);
std::vector<std::wstring> BindSystemRow(SkinUI::CControlUI* row, SystemRowControls* c);
// The button of a tool tile ("tile.xml"): the template's first control or
// the control named "btnsoft" below it.
std::vector<std::wstring> BindToolTile(SkinUI::CControlUI* tile, SkinUI::CButtonUI** button);

}  // namespace kavi
