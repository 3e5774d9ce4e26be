#include "host/tools_folder.h"

#include "host/host_facts.h"
#include "host/text.h"

namespace kavi {

ToolsFolderChoice ChooseToolsFolder(int32_t windowsEdition, const std::wstring& templatesShortPath,
                                    const std::wstring& commonAppDataShortPath) {
  ToolsFolderChoice choice;
  if (windowsEdition >= kEditionWindows2000 && windowsEdition <= kEditionWindows2003) {
    choice.folder = templatesShortPath;
    return choice;
  }
  choice.protect = true;
  if (commonAppDataShortPath.empty()) return choice;
  choice.protectFrom = Format(L"%ls\\%ls", commonAppDataShortPath.c_str(), kToolsFolderName);
  choice.folder = Format(L"%ls\\%ls", choice.protectFrom.c_str(), kToolsSubfolderName);
  return choice;
}

}  // namespace kavi
