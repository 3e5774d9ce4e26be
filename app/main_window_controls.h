// The named controls of the main skin, looked up once when the window is
// initialised.
#pragma once

#include "ui/skin_ui.h"

namespace kavi {

struct MainControls {
  SkinUI::CControlUI* labcaption = nullptr;
  SkinUI::CControlUI* btnfeedback = nullptr;
  SkinUI::CControlUI* btnmin = nullptr;
  SkinUI::CControlUI* btnclose = nullptr;
  SkinUI::CTabLayoutUI* tabmain = nullptr;
  SkinUI::CControlUI* btninstall = nullptr;
  SkinUI::CControlUI* labbackstatus = nullptr;
  SkinUI::CControlUI* labtips1 = nullptr;
  SkinUI::CControlUI* labtips2 = nullptr;
  SkinUI::CControlUI* labrecommand = nullptr;
  SkinUI::CListUI* listsystem = nullptr;
  SkinUI::CControlUI* btnselectandnext = nullptr;
  SkinUI::CControlUI* labdownmsg = nullptr;
  SkinUI::CControlUI* labdownpro = nullptr;
  SkinUI::CControlUI* labfilesize = nullptr;
  SkinUI::CControlUI* labdownspeed = nullptr;
  SkinUI::CControlUI* labdownstatus = nullptr;
  SkinUI::CControlUI* labdownloaded = nullptr;
  SkinUI::CControlUI* labremaintime = nullptr;
  SkinUI::CGifAnimUI* gifprocess = nullptr;
  SkinUI::CControlUI* btnfilename = nullptr;
  SkinUI::CControlUI* btnstop = nullptr;
  SkinUI::CControlUI* btnpause = nullptr;
  SkinUI::CGifAnimUI* giffinish = nullptr;
  SkinUI::CControlUI* labcursystem = nullptr;
  SkinUI::CControlUI* labmemory = nullptr;
  SkinUI::CControlUI* labsystempath = nullptr;
  SkinUI::CControlUI* labdownpath = nullptr;
  SkinUI::CTileLayoutUI* tilesoft = nullptr;
  SkinUI::CControlUI* btnmain = nullptr;
  SkinUI::CControlUI* btnbacksys = nullptr;
  SkinUI::CControlUI* btnrecosys = nullptr;
};

}  // namespace kavi
