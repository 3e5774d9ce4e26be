// The recursive folder copy shared by every backup and restore, and the path
// rules it relies on. Portable over the DataFiles seam.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "databackup/data_files.h"

namespace kavi {

// Asked between entries; true ends the copy early.
using StopQuery = std::function<bool()>;

// What a copy achieved, added up over every call that shares the record.
struct CopyCounts {
  uint32_t filesCopied = 0;
  uint32_t filesFailed = 0;
  // Folders that could not be listed or created: what they hold is missing.
  uint32_t foldersFailed = 0;
  // Folder links (junctions, symbolic links) left out.
  uint32_t linksSkipped = 0;
  bool stopped = false;

  bool Complete() const { return filesFailed == 0 && foldersFailed == 0 && !stopped; }
};

// `folder` and `name` with one backslash between them.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// Equality of two paths as Windows sees it: case-insensitive, trailing
// backslashes ignored.
bool SamePath(const std::wstring& a, const std::wstring& b);

// True when `inner` is `outer` or lies somewhere below it.
bool PathWithin(const std::wstring& inner, const std::wstring& outer);

// Copies one file; when `to` exists read-only, hidden or system (which makes
// the copy fail) and failIfExists is false, those attributes are cleared and
// the copy tried once more, since the caller asked for it to be overwritten.
bool CopyFileOver(DataFiles& files, const std::wstring& from, const std::wstring& to,
                  bool failIfExists);

// Copies the tree below `source` into `target`, creating `target` (one
// level) when it is missing. Files that cannot be copied and sub-folders
// that cannot be created or listed are counted and passed over; the rest of
// the tree is still copied. Folder links are not walked.
// Returns false when the source is no folder, the target lies inside the
// source, the target or a folder in the tree cannot be created or listed, or
// `stop` ended the walk; true otherwise (failed files show in `counts`). Source and target naming
// the same folder copy nothing and count as success.
bool CopyFolderTree(DataFiles& files, const std::wstring& source, const std::wstring& target,
                    bool failIfExists, CopyCounts* counts = nullptr,
                    const StopQuery& stop = StopQuery());

}  // namespace kavi
