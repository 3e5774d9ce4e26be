#include "restore/agent/resume.h"

#include <cstdio>

#include "restore/agent/backup_record.h"

namespace kavi {
namespace restore {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string RootName(const std::string& path) {
  return Lower(path.substr(0, path.find('/')));
}

}  // namespace

const std::vector<std::string>& ResumeFileNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> all = TaskOnlyFileNames();
    all.push_back("boot.in_");
    // The record of the backups on disk outlives the system it was made on.
    all.push_back(kBackupRecordName);
    for (const std::string& name : BootFileNames()) all.push_back(name);
    for (const std::string& name : RealBootFileNames()) all.push_back(name);
    return all;
  }();
  return names;
}

const std::vector<std::string>& TaskOnlyFileNames() {
  static const std::vector<std::string> names = {"KV.ima",    "kvldr",     "kvldr.mbr",
                                                 "Ghost.ba_", "Ghost.map", kProgressMarker};
  return names;
}

const SavedFile* FindSaved(const std::vector<SavedFile>& saved, const std::string& name) {
  for (const SavedFile& f : saved) {
    if (Lower(f.path) == Lower(name)) return &f;
  }
  return nullptr;
}

const SavedFile* StandInTarget(const std::vector<SavedFile>& kept) {
  const SavedFile* loader = FindSaved(kept, "kvldr");
  if (!loader || loader->directory) return nullptr;
  for (const char* name : {"bootmgr", "ntldr"}) {
    const SavedFile* f = FindSaved(kept, name);
    if (f && !f->directory) return f;
  }
  return nullptr;
}

const std::vector<std::string>& RealBootFileNames() {
  static const std::vector<std::string> names = {std::string("bootmgr") + kRealBootFileSuffix,
                                                 std::string("ntldr") + kRealBootFileSuffix};
  return names;
}

std::vector<SavedFile> WithRealBootFiles(std::vector<SavedFile> saved) {
  const std::string suffix = Lower(kRealBootFileSuffix);
  for (size_t i = 0; i < saved.size();) {
    const std::string name = Lower(saved[i].path);
    if (saved[i].directory || name.size() <= suffix.size() || name.find('/') != std::string::npos ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      ++i;
      continue;
    }
    SavedFile real = saved[i];
    real.path.resize(real.path.size() - suffix.size());
    saved.erase(saved.begin() + static_cast<std::ptrdiff_t>(i));
    bool replaced = false;
    for (SavedFile& f : saved) {
      if (Lower(f.path) != Lower(real.path)) continue;
      f.bytes = real.bytes;
      replaced = true;
    }
    if (!replaced) saved.push_back(real);
  }
  return saved;
}

std::string ProgressMarkerText(const std::string& step) {
  return "KAVI-PROGRESS 1\r\nstep=" + step + "\r\n";
}

std::optional<std::string> ProgressMarkerStep(const std::string& text) {
  const std::string head = "KAVI-PROGRESS 1\r\nstep=";
  if (text.compare(0, head.size(), head) != 0) return std::nullopt;
  const size_t end = text.find("\r\n", head.size());
  if (end == std::string::npos || end == head.size()) return std::nullopt;
  return text.substr(head.size(), end - head.size());
}

void AddImageRootName(const std::string& line, std::set<std::string>* names) {
  if (line.size() > 1 && line[0] == '/') names->insert(RootName(line.substr(1)));
}

std::set<std::string> ImageRootNames(const std::string& listing) {
  std::set<std::string> names;
  size_t at = 0;
  while (at < listing.size()) {
    size_t end = listing.find('\n', at);
    if (end == std::string::npos) end = listing.size();
    std::string line = listing.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    AddImageRootName(line, &names);
    at = end + 1;
  }
  return names;
}

std::vector<SavedFile> WithoutImageNames(const std::vector<SavedFile>& saved,
                                         const std::set<std::string>& imageRootNames) {
  std::vector<SavedFile> kept;
  for (const SavedFile& f : saved) {
    if (!imageRootNames.count(RootName(f.path))) kept.push_back(f);
  }
  return kept;
}

std::string BootSequenceScript(const std::string& entryGuid, bool addKey) {
  // REG_MULTI_SZ: "{guid}" in UTF-16LE, then two terminating zeros.
  std::string hex;
  for (char c : "{" + Lower(entryGuid) + "}") {
    char pair[8];
    std::snprintf(pair, sizeof pair, "%02x,00,", static_cast<unsigned char>(c));
    hex += pair;
  }
  hex += "00,00,00,00";
  const std::string elements = "cd \\Objects\\{9dea862c-5cdd-4e70-acc1-f32b344d4795}\\Elements\n";
  return elements + (addKey ? "add 24000002\n" : "") +
         "cd 24000002\nsetval 1\nElement\nhex:7:" + hex + "\ncommit\n";
}

}  // namespace restore
}  // namespace kavi
