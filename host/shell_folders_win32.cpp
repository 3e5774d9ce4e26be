#include "host/shell_folders.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "host/working_paths.h"

namespace kavi {
namespace {

// CoInitialize/CoUninitialize around a shell call.
struct ComScope {
  HRESULT hr = CoInitialize(nullptr);
  ~ComScope() {
    if (SUCCEEDED(hr)) CoUninitialize();
  }
};

// Frees a shell item list through the shell allocator.
void FreeItemList(LPITEMIDLIST items) {
  IMalloc* malloc = nullptr;
  if (items && SUCCEEDED(SHGetMalloc(&malloc)) && malloc) {
    malloc->Free(items);
    malloc->Release();
  }
}

std::wstring PathFromItemList(LPCITEMIDLIST items) {
  wchar_t path[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(items, path)) return std::wstring();
  return path;
}

std::wstring ShortPathOf(const std::wstring& longPath) {
  DWORD n = GetShortPathNameW(longPath.c_str(), nullptr, 0);
  if (n == 0) return std::wstring();
  std::vector<wchar_t> buffer(n + 1);
  DWORD written = GetShortPathNameW(longPath.c_str(), buffer.data(), n + 1);
  if (written == 0 || written > n) return std::wstring();
  return std::wstring(buffer.data(), written);
}

}  // namespace

bool GetSpecialFolderShortPath(std::wstring& out, int folderId) {
  ComScope com;
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, folderId, &items)) || !items) return false;
  std::wstring longPath = PathFromItemList(items);
  FreeItemList(items);
  if (longPath.empty()) return false;
  std::wstring shortPath = ShortPathOf(longPath);
  if (shortPath.empty()) {
    if (longPath.find(L' ') != std::wstring::npos) return false;
    shortPath = longPath;
  }
  if (shortPath.size() >= MAX_PATH) return false;
  out = shortPath;
  return true;
}

std::wstring BrowseForFolder(HWND owner) {
  ComScope com;
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.lpszTitle = L"请选择路径";
  info.ulFlags = BIF_EDITBOX;
  LPITEMIDLIST items = SHBrowseForFolderW(&info);
  if (!items) return std::wstring();
  IMalloc* malloc = nullptr;
  if (FAILED(SHGetMalloc(&malloc)) || !malloc) return std::wstring();
  std::wstring path = PathFromItemList(items);
  malloc->Free(items);
  malloc->Release();
  return path;
}

void OpenFolderInExplorer(const std::wstring& folder) {
  SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  std::wstring parameters = L"/e, \"" + folder + L"\"";
  ShellExecuteW(nullptr, L"open", L"explorer.exe", parameters.c_str(), nullptr, SW_SHOWNORMAL);
}

void OpenContainingFolder(const std::wstring& filePath) {
  OpenFolderInExplorer(FolderOfPath(filePath));
}

}  // namespace kavi
