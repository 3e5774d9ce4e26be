// File work on mounted volumes through VolumeAccess: Windows names are found
// without regard to ASCII case, boot files are kept in memory across a
// format, and a backup copy is put back under its live name.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "restore/agent/agent_host.h"

namespace kavi {
namespace restore {

bool SameNameIgnoringCase(const std::string& a, const std::string& b);

// The entry of `dir` named `name` in any ASCII case.
std::optional<DirEntry> FindEntry(VolumeAccess& volumes, const std::string& dir,
                                  const std::string& name);

// "/DURozazo/Download/x.wim" under `root`, each part matched in any case;
// the full path with the names as they are on the volume.
std::optional<std::string> ResolvePath(VolumeAccess& volumes, const std::string& root,
                                       const std::string& relative);

// Like ResolvePath for a folder, creating the parts that are missing.
std::optional<std::string> MakeFolders(VolumeAccess& volumes, const std::string& root,
                                       const std::string& relative);

// The files that start Windows from a partition's root; those present are
// kept across a format when the image brings none of its own.
const std::vector<std::string>& BootFileNames();

struct SavedFile {
  std::string path;  // relative to the root, '/'-separated, names as found
  bool directory = false;
  std::string bytes;
};

// Reads the entries of `root` named in `names` (any case; folders whole)
// into memory.
bool SaveRootEntries(VolumeAccess& volumes, const std::string& root,
                     const std::vector<std::string>& names, std::vector<SavedFile>* out);

// Reads the boot files present at `root` (folders whole) into memory.
bool SaveBootFiles(VolumeAccess& volumes, const std::string& root, std::vector<SavedFile>* out);

bool HasBootFiles(VolumeAccess& volumes, const std::string& root);

bool WriteSavedFiles(VolumeAccess& volumes, const std::string& root,
                     const std::vector<SavedFile>& files);

// Copies `dir`/backup over the live file (found in any case, else named
// `liveName`) and then removes the backup. True when there was no backup.
bool PutBackupBack(VolumeAccess& volumes, const std::string& dir, const std::string& backupName,
                   const std::string& liveName);

}  // namespace restore
}  // namespace kavi
