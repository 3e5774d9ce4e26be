#include "databackup/folder_copy.h"

#include <cwctype>
#include <utility>
#include <vector>

namespace kavi {
namespace {

std::wstring Folded(const std::wstring& path) {
  std::wstring out = path;
  while (!out.empty() && out.back() == L'\\') out.pop_back();
  for (wchar_t& c : out) c = static_cast<wchar_t>(std::towupper(c));
  return out;
}

constexpr uint32_t kAttrInTheWay = kAttrReadOnly | kAttrHidden | kAttrSystem;

}  // namespace

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  if (folder.empty()) return name;
  if (folder.back() == L'\\') return folder + name;
  return folder + L'\\' + name;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return Folded(a) == Folded(b);
}

bool PathWithin(const std::wstring& inner, const std::wstring& outer) {
  std::wstring in = Folded(inner);
  std::wstring out = Folded(outer);
  if (in == out) return true;
  return in.size() > out.size() && in.compare(0, out.size(), out) == 0 && in[out.size()] == L'\\';
}

bool CopyFileOver(DataFiles& files, const std::wstring& from, const std::wstring& to,
                  bool failIfExists) {
  if (files.CopyOneFile(from, to, failIfExists)) return true;
  uint32_t attributes = 0;
  if (failIfExists || !files.AttributesOf(to, &attributes) || !(attributes & kAttrInTheWay)) {
    return false;
  }
  if (!files.SetAttributesOf(to, attributes & ~kAttrInTheWay)) return false;
  if (files.CopyOneFile(from, to, false)) return true;
  files.SetAttributesOf(to, attributes);
  return false;
}

bool CopyFolderTree(DataFiles& files, const std::wstring& source, const std::wstring& target,
                    bool failIfExists, CopyCounts* counts, const StopQuery& stop) {
  CopyCounts local;
  CopyCounts& c = counts ? *counts : local;
  if (source.empty() || !files.IsFolder(source)) return false;
  const std::wstring canonicalSource = files.CanonicalPath(source);
  const std::wstring canonicalTarget = files.CanonicalPath(target);
  if (SamePath(canonicalSource, canonicalTarget)) return true;
  // A target inside the source would be copied into itself again and again.
  if (PathWithin(canonicalTarget, canonicalSource)) return false;
  if (!files.IsFolder(target) && !files.MakeFolder(target)) {
    ++c.foldersFailed;
    return false;
  }

  // Walked with a work list rather than recursion: a deep tree must not
  // exhaust a worker thread's stack.
  bool complete = true;
  std::vector<std::pair<std::wstring, std::wstring>> pending{{source, target}};
  while (!pending.empty()) {
    const std::pair<std::wstring, std::wstring> folder = std::move(pending.back());
    pending.pop_back();
    std::vector<FolderEntry> entries;
    if (!files.ListFolder(folder.first, &entries)) {
      ++c.foldersFailed;
      complete = false;
      continue;
    }
    std::vector<std::pair<std::wstring, std::wstring>> subFolders;
    for (const FolderEntry& entry : entries) {
      if (stop && stop()) {
        c.stopped = true;
        return false;
      }
      const std::wstring from = JoinPath(folder.first, entry.name);
      const std::wstring to = JoinPath(folder.second, entry.name);
      if (!entry.isFolder) {
        if (CopyFileOver(files, from, to, failIfExists)) {
          ++c.filesCopied;
        } else {
          ++c.filesFailed;
        }
      } else if (entry.isLink) {
        ++c.linksSkipped;
      } else if (files.IsFolder(to) || files.MakeFolder(to)) {
        subFolders.emplace_back(from, to);
      } else {
        ++c.foldersFailed;
        complete = false;
      }
    }
    // Reversed onto the stack so sub-folders are walked in listing order.
    for (auto it = subFolders.rbegin(); it != subFolders.rend(); ++it) {
      pending.push_back(std::move(*it));
    }
  }
  return complete;
}

}  // namespace kavi
