// Shell folder operations: special-folder look-up, the folder picker and
// opening folders in Explorer (Windows side only).
#pragma once

#include <string>

struct HWND__;  // the window handle type of <windows.h>, which this header avoids

namespace kavi {

// Shell special-folder ids used by the program.
constexpr int kFolderDesktop = 0;
constexpr int kFolderDocuments = 5;
constexpr int kFolderFavorites = 6;
constexpr int kFolderTemplates = 21;

// Writes the short (8.3) path of a special folder into `out` and returns
// true. When the folder has no short name (8.3 names switched off on that
// volume) the long path is used if it holds no space, since it then serves
// unquoted command lines as well as a short one; otherwise false. On false
// `out` is untouched.
bool GetSpecialFolderShortPath(std::wstring& out, int folderId);

// The shell folder picker titled "请选择路径", modal over `owner`; empty
// when the user cancels.
std::wstring BrowseForFolder(HWND__* owner);

// Creates the folder if it is missing and opens it in Explorer.
void OpenFolderInExplorer(const std::wstring& folder);

// Opens the folder part of a file path (everything before the last
// backslash) as OpenFolderInExplorer does.
void OpenContainingFolder(const std::wstring& filePath);

}  // namespace kavi
