// The file-system operations the personal data backup needs, as one seam:
// the copy, skip, merge and swap rules are portable and exercised on an
// in-memory substitute; data_files_win32.cpp is the real one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavi {

struct FolderEntry {
  std::wstring name;
  bool isFolder = false;
  // A junction or symbolic link: never walked into, so a link that points
  // back up the tree cannot make a copy or a deletion run forever.
  bool isLink = false;
};

// Attribute bits that stand in the way of overwriting a file.
constexpr uint32_t kAttrReadOnly = 0x1;
constexpr uint32_t kAttrHidden = 0x2;
constexpr uint32_t kAttrSystem = 0x4;

class DataFiles {
 public:
  virtual ~DataFiles() = default;

  virtual bool IsFolder(const std::wstring& path) = 0;
  // The entries of a folder without "." and "..", in listing order; false
  // when the folder cannot be listed.
  virtual bool ListFolder(const std::wstring& folder, std::vector<FolderEntry>* entries) = 0;
  virtual bool CopyOneFile(const std::wstring& from, const std::wstring& to, bool failIfExists) = 0;
  // One level: the parent must exist. False when it exists already.
  virtual bool MakeFolder(const std::wstring& path) = 0;
  // Removes a folder with everything in it (links are removed, not walked).
  // True when nothing is left at `path`, including when nothing was there.
  virtual bool RemoveTree(const std::wstring& path) = 0;
  // Renames a file or folder; fails when `to` exists.
  virtual bool RenameEntry(const std::wstring& from, const std::wstring& to) = 0;
  // The kAttr* bits of an existing file; false when it does not exist.
  virtual bool AttributesOf(const std::wstring& path, uint32_t* attributes) = 0;
  virtual bool SetAttributesOf(const std::wstring& path, uint32_t attributes) = 0;
  // The full, long-name form of a path (8.3 aliases expanded where the path
  // exists), for telling whether two paths name the same folder.
  virtual std::wstring CanonicalPath(const std::wstring& path) = 0;
};

// The Windows file system (data_files_win32.cpp). Paths of any length:
// absolute paths are handed to Windows in their "\\?\" form.
DataFiles& SystemDataFiles();

}  // namespace kavi
