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
// folder and everything created in it; nothing inherited from above.
constexpr const wchar_t* kAdministratorsOnly = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// A security descriptor allocated by the security functions (LocalFree).
struct LocalDescriptor {
  PSECURITY_DESCRIPTOR p = nullptr;
  ~LocalDescriptor() {
    if (p) LocalFree(p);
  }
};

// `sid` is the one named by the SDDL abbreviation ("SY", "BA"); through
// functions Windows 2000 has.
bool IsSid(PSID sid, const wchar_t* name) {
  PSID named = nullptr;
  if (sid == nullptr || !ConvertStringSidToSidW(name, &named)) return false;
  const bool same = EqualSid(sid, named) != FALSE;
  LocalFree(named);
  return same;
}

bool IsSystemOrAdministrators(PSID sid) {
  return IsSid(sid, L"SY") || IsSid(sid, L"BA");
}

}  // namespace

bool IsAdministratorsOnlyFolder(const std::wstring& path) {
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
  // A null DACL grants everyone everything.
  if (!(control & SE_DACL_PROTECTED) || dacl == nullptr || !IsSystemOrAdministrators(owner)) {
    return false;
  }
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) return false;
    const ACE_HEADER* header = static_cast<const ACE_HEADER*>(ace);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
    PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
    if (!IsSystemOrAdministrators(sid)) return false;
  }
  return true;
}

bool MakeAdministratorsOnlyFolder(const std::wstring& path) {
  LocalDescriptor sd;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1,
                                                            &sd.p, nullptr)) {
    return false;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), sd.p, FALSE};
  if (!CreateDirectoryW(path.c_str(), &attributes)) {
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    // A folder made before, perhaps by someone else: ours now, and closed.
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    PSID owner = nullptr;
    if (!GetSecurityDescriptorDacl(sd.p, &present, &dacl, &defaulted) ||
        !GetSecurityDescriptorOwner(sd.p, &owner, &defaulted)) {
      return false;
    }
    std::wstring name = path;
    if (SetNamedSecurityInfoW(&name[0], SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                  PROTECTED_DACL_SECURITY_INFORMATION,
                              owner, nullptr, dacl, nullptr) != ERROR_SUCCESS) {
      return false;
    }
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
