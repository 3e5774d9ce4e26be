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

bool IsAdministratorsOnly(const FolderSecurity& security) {
  constexpr uint32_t kReadControl = 0x00020000;
  constexpr uint32_t kSynchronize = 0x00100000;
  const auto isAdmin = [](const std::wstring& sid) {
    return sid == kSystemSid || sid == kAdministratorsSid;
  };
  if (!security.hasDacl || !security.isProtected) return false;
  bool ownerRestricted = false;
  for (const FolderSecurity::Ace& ace : security.aces) {
    if (ace.other) return false;
    if (!ace.allow) continue;
    if (ace.sid == kOwnerRightsSid && (ace.mask & ~(kReadControl | kSynchronize)) == 0) {
      ownerRestricted = true;
    } else if (!isAdmin(ace.sid)) {
      return false;
    }
  }
  return ownerRestricted || isAdmin(security.owner);
}

bool IsOursToReuse(const FolderSecurity& security) {
  return (security.owner == kSystemSid || security.owner == kAdministratorsSid) &&
         IsAdministratorsOnly(security);
}

}  // namespace kavi
