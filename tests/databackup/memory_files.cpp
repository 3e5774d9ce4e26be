#include "tests/databackup/memory_files.h"

#include <algorithm>
#include <cwctype>

#include "databackup/folder_copy.h"

namespace kavi {
namespace {

std::wstring Fold(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(std::towupper(c));
  return s;
}

std::wstring Trimmed(std::wstring path) {
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

std::wstring ParentOf(const std::wstring& path) {
  size_t cut = path.find_last_of(L'\\');
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

}  // namespace

// Aliases apply in the order they were added, so a later one may name a
// folder inside an earlier one's long form.
std::wstring MemoryFiles::Resolve(const std::wstring& path) const {
  std::wstring p = Trimmed(path);
  for (const auto& alias : aliases_) {
    if (PathWithin(p, alias.first)) {
      p = alias.second + p.substr(alias.first.size());
    }
  }
  return p;
}

std::wstring MemoryFiles::Key(const std::wstring& path) const {
  return Fold(Resolve(path));
}

bool MemoryFiles::Listed(const std::set<std::wstring>& set, const std::wstring& path) const {
  for (const std::wstring& entry : set) {
    if (Key(entry) == Key(path)) return true;
  }
  return false;
}

const MemoryFiles::Node* MemoryFiles::Find(const std::wstring& path) const {
  auto it = nodes_.find(Key(path));
  return it == nodes_.end() ? nullptr : &it->second;
}

bool MemoryFiles::ParentIsFolder(const std::wstring& path) const {
  const Node* parent = Find(ParentOf(Resolve(path)));
  return parent && parent->folder;
}

void MemoryFiles::AddFolder(const std::wstring& path) {
  std::wstring resolved = Resolve(path);
  if (Find(resolved)) return;
  std::wstring parent = ParentOf(resolved);
  if (!parent.empty()) AddFolder(parent);
  Node node;
  node.path = resolved;
  node.folder = true;
  nodes_[Fold(resolved)] = node;
}

void MemoryFiles::AddFile(const std::wstring& path, const std::wstring& content,
                          uint32_t attributes) {
  std::wstring resolved = Resolve(path);
  AddFolder(ParentOf(resolved));
  Node node;
  node.path = resolved;
  node.content = content;
  node.attributes = attributes;
  nodes_[Fold(resolved)] = node;
}

void MemoryFiles::AddFolderLink(const std::wstring& path) {
  AddFolder(path);
  nodes_[Key(path)].link = true;
}

void MemoryFiles::AddAlias(const std::wstring& alias, const std::wstring& real) {
  aliases_.emplace_back(Trimmed(alias), Trimmed(real));
}

bool MemoryFiles::Exists(const std::wstring& path) const {
  return Find(path) != nullptr;
}

std::wstring MemoryFiles::Content(const std::wstring& path) const {
  const Node* node = Find(path);
  return node && !node->folder ? node->content : L"<none>";
}

std::vector<std::wstring> MemoryFiles::Tree(const std::wstring& folder) const {
  const std::wstring prefix = Key(folder) + L"\\";
  const size_t cut = Resolve(folder).size() + 1;
  std::vector<std::wstring> out;
  for (auto it = nodes_.lower_bound(prefix);
       it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    out.push_back(it->second.path.substr(cut) + (it->second.folder ? L"\\" : L""));
  }
  std::sort(out.begin(), out.end());
  return out;
}

bool MemoryFiles::IsFolder(const std::wstring& path) {
  const Node* node = Find(path);
  return node && node->folder;
}

bool MemoryFiles::ListFolder(const std::wstring& folder, std::vector<FolderEntry>* entries) {
  if (!IsFolder(folder) || Listed(unlistable, folder)) return false;
  if (Find(folder)->link) return true;  // a link's target is not modelled
  const std::wstring prefix = Key(folder) + L"\\";
  for (auto it = nodes_.lower_bound(prefix);
       it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    if (it->first.find(L'\\', prefix.size()) != std::wstring::npos) continue;
    FolderEntry entry;
    entry.name = it->second.path.substr(it->second.path.find_last_of(L'\\') + 1);
    entry.isFolder = it->second.folder;
    entry.isLink = it->second.link;
    entries->push_back(entry);
  }
  return true;
}

bool MemoryFiles::CopyOneFile(const std::wstring& from, const std::wstring& to, bool failIfExists) {
  if (onCopy) onCopy(from);
  const Node* source = Find(from);
  if (!source || source->folder || Listed(unreadable, from) || !ParentIsFolder(to)) return false;
  if (const Node* existing = Find(to)) {
    if (failIfExists || existing->folder) return false;
    if (existing->attributes & (kAttrReadOnly | kAttrHidden)) return false;
  }
  Node copy = *source;
  copy.path = Resolve(to);
  nodes_[Key(to)] = copy;
  return true;
}

bool MemoryFiles::MakeFolder(const std::wstring& path) {
  if (Find(path) || !ParentIsFolder(path) || Listed(unmakeable, path)) return false;
  Node node;
  node.path = Resolve(path);
  node.folder = true;
  nodes_[Key(path)] = node;
  return true;
}

bool MemoryFiles::RemoveTree(const std::wstring& path) {
  const std::wstring key = Key(path);
  const std::wstring prefix = key + L"\\";
  for (auto it = nodes_.lower_bound(prefix);
       it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0;) {
    it = nodes_.erase(it);
  }
  nodes_.erase(key);
  return true;
}

bool MemoryFiles::RenameEntry(const std::wstring& from, const std::wstring& to) {
  if (!Find(from) || Find(to) || !ParentIsFolder(to) || Listed(unrenamable, from)) return false;
  const std::wstring fromKey = Key(from);
  const std::wstring fromPath = Resolve(from);
  const std::wstring toPath = Resolve(to);
  std::vector<Node> moved;
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    if (it->first == fromKey || it->first.compare(0, fromKey.size() + 1, fromKey + L"\\") == 0) {
      Node node = it->second;
      node.path = toPath + node.path.substr(fromPath.size());
      moved.push_back(node);
      it = nodes_.erase(it);
    } else {
      ++it;
    }
  }
  for (const Node& node : moved) nodes_[Fold(node.path)] = node;
  return true;
}

bool MemoryFiles::AttributesOf(const std::wstring& path, uint32_t* attributes) {
  const Node* node = Find(path);
  if (!node) return false;
  *attributes = node->attributes;
  return true;
}

bool MemoryFiles::SetAttributesOf(const std::wstring& path, uint32_t attributes) {
  auto it = nodes_.find(Key(path));
  if (it == nodes_.end()) return false;
  it->second.attributes = attributes;
  return true;
}

std::wstring MemoryFiles::CanonicalPath(const std::wstring& path) {
  return Resolve(path);
}

}  // namespace kavi
