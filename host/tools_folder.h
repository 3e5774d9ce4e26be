// Where the boot tools, which run with administrator rights, are written.
// On systems with user account control a process of the same user without
// elevation could replace a tool between its writing and its run, so there
// the tools go into a folder only administrators can write. The choice is
// portable; making and checking the folder is Windows-side
// (tools_folder_win32.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavi {

constexpr const wchar_t* kToolsFolderName = L"Kavi";
constexpr const wchar_t* kToolsSubfolderName = L"tools";

struct ToolsFolderChoice {
  // Empty when no folder could be named.
  std::wstring folder;
  // Every folder from `protectFrom` down to `folder` must be made
  // administrators-only before a tool is written there.
  bool protect = false;
  std::wstring protectFrom;
};

// Windows 2000, XP and Server 2003 (editions 0 to 2, no user account
// control): the Templates folder, as ever. Every later or unknown system:
// "<common application data>\Kavi\tools", protected from "...\Kavi" down.
// Both paths are short (unquoted command lines); an empty one names no
// folder.
ToolsFolderChoice ChooseToolsFolder(int32_t windowsEdition, const std::wstring& templatesShortPath,
                                    const std::wstring& commonAppDataShortPath);

// A folder's security as read back: SIDs as strings ("S-1-5-18").
struct FolderSecurity {
  struct Ace {
    bool allow = true;   // an access-allowed entry; false: access-denied
    bool other = false;  // any other kind of entry
    std::wstring sid;
    uint32_t mask = 0;
  };
  std::wstring owner;
  bool hasDacl = false;  // false: a null DACL, which lets everyone in
  bool isProtected = false;
  std::vector<Ace> aces;
};

constexpr const wchar_t* kSystemSid = L"S-1-5-18";
constexpr const wchar_t* kAdministratorsSid = L"S-1-5-32-544";
constexpr const wchar_t* kOwnerRightsSid = L"S-1-3-4";

// Only administrators can change the folder or what is in it: a protected
// DACL allowing SYSTEM and Administrators, and OWNER RIGHTS at most reading
// the security (READ_CONTROL, SYNCHRONIZE); without such an OWNER RIGHTS
// entry the owner must be SYSTEM or Administrators, since an owner may
// always change the DACL. Denying entries take nothing away from this.
bool IsAdministratorsOnly(const FolderSecurity& security);

// A folder found in place may be reused as it is only when an administrator
// made it: owned by SYSTEM or Administrators (no user can give that away)
// and administrators-only. Anything else may hold what a user planted
// before its security was tightened (a DLL beside a tool).
bool IsOursToReuse(const FolderSecurity& security);

// Windows side: the choice for this machine, made and protected once, by
// the first caller (others wait). Its folder is empty when a protected
// folder was needed and could not be made: the tools are then not written
// and a takeover refuses.
ToolsFolderChoice PrepareToolsFolder();

// Creates `path` owned by the Administrators group, with a protected DACL
// granting full control to SYSTEM and Administrators and only reading the
// security to its owner (OWNER RIGHTS); then reads the security back. A
// folder already there that IsOursToReuse refuses is first moved aside
// whole (to "<path>.old-<ticks>"), never emptied through its links, and the
// folder made anew. True when it now is as IsAdministratorsOnlyFolder
// requires.
bool MakeAdministratorsOnlyFolder(const std::wstring& path);

// The folder's security as Windows reports it; false when it cannot be read.
bool ReadFolderSecurity(const std::wstring& path, FolderSecurity* security);

// IsAdministratorsOnly of the folder's security as read back.
bool IsAdministratorsOnlyFolder(const std::wstring& path);

}  // namespace kavi
