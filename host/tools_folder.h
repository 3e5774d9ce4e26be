// Where the boot tools, which run with administrator rights, are written.
// On systems with user account control a process of the same user without
// elevation could replace a tool between its writing and its run, so there
// the tools go into a folder only administrators can write. The choice is
// portable; making and checking the folder is Windows-side
// (tools_folder_win32.cpp).
#pragma once

#include <cstdint>
#include <string>

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

// Windows side: the choice for this machine, made and protected once, by
// the first caller (others wait). Its folder is empty when a protected
// folder was needed and could not be made: the tools are then not written
// and a takeover refuses.
ToolsFolderChoice PrepareToolsFolder();

// Creates `path` (when missing) owned by the Administrators group, with a
// protected DACL granting full control to SYSTEM and Administrators only,
// and applies the same to a folder that was there already; then reads the
// security back. True when it now is so.
bool MakeAdministratorsOnlyFolder(const std::wstring& path);

// The folder's owner is Administrators or SYSTEM, its DACL protected from
// inheritance and allowing access to SYSTEM and Administrators only.
bool IsAdministratorsOnlyFolder(const std::wstring& path);

}  // namespace kavi
