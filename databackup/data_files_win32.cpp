#include "databackup/data_files.h"

#include <windows.h>

#include <utility>
#include <vector>

namespace kavi {
namespace {

constexpr DWORD kTagMountPoint = 0xA0000003L;  // IO_REPARSE_TAG_MOUNT_POINT (junction)
constexpr DWORD kTagSymlink = 0xA000000CL;     // IO_REPARSE_TAG_SYMLINK

std::wstring FullPath(const std::wstring& path) {
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::vector<wchar_t> buffer(n + 1);
  DWORD written = GetFullPathNameW(path.c_str(), n + 1, buffer.data(), nullptr);
  if (written == 0 || written > n) return path;
  return std::wstring(buffer.data(), written);
}

bool IsExtended(const std::wstring& path) {
  return path.compare(0, 4, L"\\\\?\\") == 0;
}

// The "\\?\" form of a path, which the file functions take at any length.
std::wstring SystemPath(const std::wstring& path) {
  if (path.empty() || IsExtended(path)) return path;
  std::wstring full = FullPath(path);
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return full;
}

std::wstring WithoutExtendedPrefix(const std::wstring& path) {
  if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
  if (IsExtended(path)) return path.substr(4);
  return path;
}

class FindHandle {
 public:
  explicit FindHandle(HANDLE h) : handle_(h) {}
  ~FindHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

bool IsFolderLink(const WIN32_FIND_DATAW& data) {
  // Only junctions and symbolic links: other reparse points (cloud files,
  // deduplicated data) hold the user's data and are copied.
  return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         (data.dwReserved0 == kTagMountPoint || data.dwReserved0 == kTagSymlink);
}

// Lists a folder given in its system form; false when it cannot be listed.
bool ListSystemFolder(const std::wstring& folder, std::vector<WIN32_FIND_DATAW>* out) {
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
  if (find.Get() == INVALID_HANDLE_VALUE) {
    // The root of an empty drive lists nothing, not even "." and "..".
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    DWORD attributes = GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  do {
    if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0) continue;
    out->push_back(data);
  } while (FindNextFileW(find.Get(), &data));
  return GetLastError() == ERROR_NO_MORE_FILES;
}

class Win32DataFiles : public DataFiles {
 public:
  bool IsFolder(const std::wstring& path) override {
    if (path.empty()) return false;
    DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool ListFolder(const std::wstring& folder, std::vector<FolderEntry>* entries) override {
    std::vector<WIN32_FIND_DATAW> found;
    if (folder.empty() || !ListSystemFolder(SystemPath(folder), &found)) return false;
    for (const WIN32_FIND_DATAW& data : found) {
      FolderEntry entry;
      entry.name = data.cFileName;
      entry.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      entry.isLink = IsFolderLink(data);
      entries->push_back(std::move(entry));
    }
    return true;
  }

  bool CopyOneFile(const std::wstring& from, const std::wstring& to, bool failIfExists) override {
    return CopyFileW(SystemPath(from).c_str(), SystemPath(to).c_str(), failIfExists) != FALSE;
  }

  bool MakeFolder(const std::wstring& path) override {
    return CreateDirectoryW(SystemPath(path).c_str(), nullptr) != FALSE;
  }

  bool RemoveTree(const std::wstring& path) override {
    const std::wstring root = SystemPath(path);
    DWORD attributes = GetFileAttributesW(root.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      DWORD error = GetLastError();
      return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return RemoveFile(root);
    // Folders are listed top-down and removed bottom-up; links are removed
    // as they are, never walked into.
    std::vector<std::wstring> folders;
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      std::vector<std::wstring> pending{root};
      while (!pending.empty()) {
        std::wstring folder = std::move(pending.back());
        pending.pop_back();
        std::vector<WIN32_FIND_DATAW> found;
        ListSystemFolder(folder, &found);
        for (const WIN32_FIND_DATAW& data : found) {
          std::wstring child = folder + L"\\" + data.cFileName;
          if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            RemoveFile(child);
          } else if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            RemoveFolder(child);
          } else {
            pending.push_back(child);
          }
        }
        folders.push_back(std::move(folder));
      }
    } else {
      folders.push_back(root);
    }
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) RemoveFolder(*it);
    return GetFileAttributesW(root.c_str()) == INVALID_FILE_ATTRIBUTES;
  }

  bool RenameEntry(const std::wstring& from, const std::wstring& to) override {
    return MoveFileW(SystemPath(from).c_str(), SystemPath(to).c_str()) != FALSE;
  }

  bool AttributesOf(const std::wstring& path, uint32_t* attributes) override {
    DWORD a = GetFileAttributesW(SystemPath(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    *attributes = ((a & FILE_ATTRIBUTE_READONLY) ? kAttrReadOnly : 0) |
                  ((a & FILE_ATTRIBUTE_HIDDEN) ? kAttrHidden : 0) |
                  ((a & FILE_ATTRIBUTE_SYSTEM) ? kAttrSystem : 0);
    return true;
  }

  bool SetAttributesOf(const std::wstring& path, uint32_t attributes) override {
    const std::wstring system = SystemPath(path);
    DWORD a = GetFileAttributesW(system.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    a &= ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
           FILE_ATTRIBUTE_NORMAL);
    if (attributes & kAttrReadOnly) a |= FILE_ATTRIBUTE_READONLY;
    if (attributes & kAttrHidden) a |= FILE_ATTRIBUTE_HIDDEN;
    if (attributes & kAttrSystem) a |= FILE_ATTRIBUTE_SYSTEM;
    if (a == 0) a = FILE_ATTRIBUTE_NORMAL;
    return SetFileAttributesW(system.c_str(), a) != FALSE;
  }

  std::wstring CanonicalPath(const std::wstring& path) override {
    // The long form of the longest part that exists, followed by the rest.
    // Paths of classic length go in without the "\\?\" prefix: Wine does
    // not expand 8.3 names behind it.
    const std::wstring full = WithoutExtendedPrefix(SystemPath(path));
    std::wstring head = full;
    std::wstring tail;
    while (!head.empty()) {
      const std::wstring query = head.size() < MAX_PATH ? head : SystemPath(head);
      DWORD n = GetLongPathNameW(query.c_str(), nullptr, 0);
      if (n != 0) {
        std::vector<wchar_t> buffer(n + 1);
        DWORD written = GetLongPathNameW(query.c_str(), buffer.data(), n + 1);
        if (written != 0 && written <= n) {
          return WithoutExtendedPrefix(std::wstring(buffer.data(), written)) + tail;
        }
      }
      size_t cut = head.find_last_of(L'\\');
      if (cut == std::wstring::npos || cut < 3) break;
      tail = head.substr(cut) + tail;
      head.resize(cut);
    }
    return full;
  }

 private:
  static bool RemoveFile(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(path.c_str()) != FALSE;
  }
  static bool RemoveFolder(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return RemoveDirectoryW(path.c_str()) != FALSE;
  }
};

}  // namespace

DataFiles& SystemDataFiles() {
  static Win32DataFiles files;
  return files;
}

}  // namespace kavi
