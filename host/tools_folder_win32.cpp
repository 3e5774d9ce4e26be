#include "host/tools_folder.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include "host/host_facts.h"
#include "host/shell_folders.h"

namespace kavi {
namespace {

// Owner Administrators; full control to SYSTEM and Administrators, for the
// folder and everything created in it; nothing inherited from above. The
// OWNER RIGHTS entry (S-1-3-4) leaves an owner only reading the security,
// not changing it: an owner that is the user's own account (Windows may
// keep the creator as owner) would otherwise keep that right in the user's
// processes without elevation.
constexpr const wchar_t* kAdministratorsOnly =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;RC;;;S-1-3-4)";

// A security descriptor allocated by the security functions (LocalFree).
struct LocalDescriptor {
  PSECURITY_DESCRIPTOR p = nullptr;
  ~LocalDescriptor() {
    if (p) LocalFree(p);
  }
};

std::wstring SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (sid == nullptr || !ConvertSidToStringSidW(sid, &text)) return std::wstring();
  std::wstring out = text;
  LocalFree(text);
  return out;
}

}  // namespace

bool ReadFolderSecurity(const std::wstring& path, FolderSecurity* security) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  LocalDescriptor sd;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                            &dacl, nullptr, &sd.p) != ERROR_SUCCESS) {
    return false;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorControl(sd.p, &control, &revision)) return false;
  *security = FolderSecurity();
  security->owner = SidText(owner);
  security->hasDacl = dacl != nullptr;
  security->isProtected = (control & SE_DACL_PROTECTED) != 0;
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) return false;
    FolderSecurity::Ace entry;
    const BYTE type = static_cast<const ACE_HEADER*>(ace)->AceType;
    entry.allow = type == ACCESS_ALLOWED_ACE_TYPE;
    entry.other = type != ACCESS_ALLOWED_ACE_TYPE && type != ACCESS_DENIED_ACE_TYPE;
    if (!entry.other) {
      // Allowed and denied entries share one layout.
      ACCESS_ALLOWED_ACE* known = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      entry.sid = SidText(&known->SidStart);
      entry.mask = known->Mask;
    }
    security->aces.push_back(std::move(entry));
  }
  return true;
}

bool IsAdministratorsOnlyFolder(const std::wstring& path) {
  FolderSecurity security;
  return ReadFolderSecurity(path, &security) && IsAdministratorsOnly(security);
}

bool MakeAdministratorsOnlyFolder(const std::wstring& path) {
  LocalDescriptor sd;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1,
                                                            &sd.p, nullptr)) {
    return false;
  }
  FolderSecurity found;
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES &&
      !(ReadFolderSecurity(path, &found) && IsOursToReuse(found))) {
    // Renaming moves a junction itself, not what it points at.
    const std::wstring aside = path + L".old-" + std::to_wstring(GetTickCount());
    if (!MoveFileW(path.c_str(), aside.c_str())) return false;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), sd.p, FALSE};
  if (!CreateDirectoryW(path.c_str(), &attributes) && GetLastError() != ERROR_ALREADY_EXISTS) {
    return false;
  }
  // Applied again to a new folder, whose owner the creation may have left
  // as this user. Setting the owner may be refused; the OWNER RIGHTS entry
  // covers that.
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  PSID owner = nullptr;
  if (!GetSecurityDescriptorDacl(sd.p, &present, &dacl, &defaulted) ||
      !GetSecurityDescriptorOwner(sd.p, &owner, &defaulted)) {
    return false;
  }
  std::wstring name = path;
  SetNamedSecurityInfoW(&name[0], SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr,
                        nullptr, nullptr);
  if (SetNamedSecurityInfoW(&name[0], SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, dacl, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return IsAdministratorsOnlyFolder(path);
}

ToolsFolderChoice PrepareToolsFolder() {
  static const ToolsFolderChoice prepared = [] {
    const int32_t edition = DetectWindowsEdition();
    std::wstring templates;
    std::wstring appData;
    // Only the folder the choice will use is looked up: the Templates
    // look-up is slow.
    if (ChooseToolsFolder(edition, L"T", L"A").protect) {
      GetSpecialFolderShortPath(appData, CSIDL_COMMON_APPDATA);
    } else {
      GetSpecialFolderShortPath(templates, CSIDL_TEMPLATES);
    }
    ToolsFolderChoice choice = ChooseToolsFolder(edition, templates, appData);
    if (choice.protect &&
        (choice.folder.empty() || !MakeAdministratorsOnlyFolder(choice.protectFrom) ||
         !MakeAdministratorsOnlyFolder(choice.folder))) {
      choice.folder.clear();
    }
    return choice;
  }();
  return prepared;
}

}  // namespace kavi
