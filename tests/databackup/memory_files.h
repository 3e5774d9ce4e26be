// An in-memory file system behind the DataFiles seam, with Windows' rules
// where the engine depends on them (case-insensitive names, one-level folder
// creation, copies refused over read-only or hidden files, renames refused
// onto existing names) and switches for the failures the engine must survive.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "databackup/data_files.h"

namespace kavi {

class MemoryFiles : public DataFiles {
 public:
  // Set-up; missing parents are created.
  void AddFolder(const std::wstring& path);
  void AddFile(const std::wstring& path, const std::wstring& content, uint32_t attributes = 0);
  void AddFolderLink(const std::wstring& path);
  // Paths starting with `alias` (an 8.3 form) mean the same as with `real`.
  void AddAlias(const std::wstring& alias, const std::wstring& real);

  // Inspection.
  bool Exists(const std::wstring& path) const;
  std::wstring Content(const std::wstring& path) const;  // "<none>" when missing
  // Every entry below `folder` relative to it, sorted, folders ending in "\".
  std::vector<std::wstring> Tree(const std::wstring& folder) const;

  // Failures.
  std::set<std::wstring> unlistable;                     // folders ListFolder refuses
  std::set<std::wstring> unreadable;                     // files CopyOneFile cannot read
  std::set<std::wstring> unmakeable;                     // folders MakeFolder refuses
  std::set<std::wstring> unrenamable;                    // sources RenameEntry refuses
  std::function<void(const std::wstring& from)> onCopy;  // before each file copy

  bool IsFolder(const std::wstring& path) override;
  bool ListFolder(const std::wstring& folder, std::vector<FolderEntry>* entries) override;
  bool CopyOneFile(const std::wstring& from, const std::wstring& to, bool failIfExists) override;
  bool MakeFolder(const std::wstring& path) override;
  bool RemoveTree(const std::wstring& path) override;
  bool RenameEntry(const std::wstring& from, const std::wstring& to) override;
  bool AttributesOf(const std::wstring& path, uint32_t* attributes) override;
  bool SetAttributesOf(const std::wstring& path, uint32_t attributes) override;
  std::wstring CanonicalPath(const std::wstring& path) override;

 private:
  struct Node {
    std::wstring path;  // as created, resolved
    bool folder = false;
    bool link = false;
    std::wstring content;
    uint32_t attributes = 0;
  };
  std::wstring Resolve(const std::wstring& path) const;
  std::wstring Key(const std::wstring& path) const;
  bool Listed(const std::set<std::wstring>& set, const std::wstring& path) const;
  const Node* Find(const std::wstring& path) const;
  bool ParentIsFolder(const std::wstring& path) const;

  std::map<std::wstring, Node> nodes_;  // by folded, resolved path
  std::vector<std::pair<std::wstring, std::wstring>> aliases_;
};

}  // namespace kavi
