#include "restore/agent/volume_files.h"

namespace kavi {
namespace restore {
namespace {

// Big enough for any boot file, a BCD store or an image header read.
constexpr size_t kBootFileLimit = size_t{64} << 20;

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::vector<std::string> SplitPath(const std::string& relative) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : relative + "/") {
    if (c == '/') {
      if (!part.empty() && part != ".") parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  return parts;
}

bool SaveTree(VolumeAccess& volumes, const std::string& root, const std::string& relative,
              bool directory, std::vector<SavedFile>* out) {
  SavedFile saved;
  saved.path = relative;
  saved.directory = directory;
  if (!directory) {
    std::optional<std::string> bytes = volumes.ReadFile(root + "/" + relative, kBootFileLimit);
    if (!bytes) return false;
    saved.bytes = std::move(*bytes);
    out->push_back(std::move(saved));
    return true;
  }
  out->push_back(saved);
  std::optional<std::vector<DirEntry>> entries = volumes.List(root + "/" + relative);
  if (!entries) return false;
  for (const DirEntry& e : *entries) {
    if (!SaveTree(volumes, root, relative + "/" + e.name, e.directory, out)) return false;
  }
  return true;
}

}  // namespace

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::optional<DirEntry> FindEntry(VolumeAccess& volumes, const std::string& dir,
                                  const std::string& name) {
  std::optional<std::vector<DirEntry>> entries = volumes.List(dir);
  if (!entries) return std::nullopt;
  // An exact match wins over a case-folded one (ntfs-3g keeps both apart).
  for (const DirEntry& e : *entries) {
    if (e.name == name) return e;
  }
  for (const DirEntry& e : *entries) {
    if (SameNameIgnoringCase(e.name, name)) return e;
  }
  return std::nullopt;
}

std::optional<std::string> ResolvePath(VolumeAccess& volumes, const std::string& root,
                                       const std::string& relative) {
  std::string path = root;
  for (const std::string& part : SplitPath(relative)) {
    if (part == "..") return std::nullopt;
    std::optional<DirEntry> entry = FindEntry(volumes, path, part);
    if (!entry) return std::nullopt;
    path += "/" + entry->name;
  }
  return path;
}

std::optional<std::string> MakeFolders(VolumeAccess& volumes, const std::string& root,
                                       const std::string& relative) {
  std::string path = root;
  for (const std::string& part : SplitPath(relative)) {
    if (part == "..") return std::nullopt;
    std::optional<DirEntry> entry = FindEntry(volumes, path, part);
    if (entry && !entry->directory) return std::nullopt;
    if (!entry && !volumes.MakeDirectory(path + "/" + part)) return std::nullopt;
    path += "/" + (entry ? entry->name : part);
  }
  return path;
}

const std::vector<std::string>& BootFileNames() {
  static const std::vector<std::string> names = {"bootmgr", "Boot", "ntldr", "NTDETECT.COM",
                                                 "boot.ini"};
  return names;
}

bool SaveBootFiles(VolumeAccess& volumes, const std::string& root, std::vector<SavedFile>* out) {
  return SaveRootEntries(volumes, root, BootFileNames(), out);
}

bool SaveRootEntries(VolumeAccess& volumes, const std::string& root,
                     const std::vector<std::string>& names, std::vector<SavedFile>* out) {
  for (const std::string& name : names) {
    std::optional<DirEntry> entry = FindEntry(volumes, root, name);
    if (entry && !SaveTree(volumes, root, entry->name, entry->directory, out)) return false;
  }
  return true;
}

bool HasBootFiles(VolumeAccess& volumes, const std::string& root) {
  for (const std::string& name : BootFileNames()) {
    if (FindEntry(volumes, root, name)) return true;
  }
  return false;
}

bool WriteSavedFiles(VolumeAccess& volumes, const std::string& root,
                     const std::vector<SavedFile>& files) {
  for (const SavedFile& f : files) {
    const std::string path = root + "/" + f.path;
    if (f.directory ? !volumes.MakeDirectory(path) : !volumes.WriteFile(path, f.bytes)) {
      return false;
    }
  }
  return true;
}

bool PutBackupBack(VolumeAccess& volumes, const std::string& dir, const std::string& backupName,
                   const std::string& liveName) {
  std::optional<DirEntry> backup = FindEntry(volumes, dir, backupName);
  if (!backup || backup->directory) return true;
  std::optional<std::string> bytes = volumes.ReadFile(dir + "/" + backup->name, kBootFileLimit);
  if (!bytes) return false;
  std::optional<DirEntry> live = FindEntry(volumes, dir, liveName);
  const std::string livePath = dir + "/" + (live ? live->name : liveName);
  return volumes.WriteFile(livePath, *bytes) && volumes.Remove(dir + "/" + backup->name);
}

}  // namespace restore
}  // namespace kavi
