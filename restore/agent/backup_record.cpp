#include "restore/agent/backup_record.h"

#include "restore/agent/resume.h"

namespace kavi {
namespace restore {
namespace {

constexpr const char* kHeader = "KAVI-BACKUP 1";

bool SameBackup(const ImageBinding& a, const ImageBinding& b) {
  return a.size == b.size && a.md5 == b.md5;
}

}  // namespace

std::string BackupRecordText(const std::vector<ImageBinding>& backups) {
  std::string text = std::string(kHeader) + "\r\n";
  for (const ImageBinding& b : backups) text += ImageBindingText(b) + "\r\n";
  return text;
}

std::optional<std::vector<ImageBinding>> ParseBackupRecord(const std::string& text) {
  // The disk record's reader checks each line exactly as its writer makes
  // it; a record is that reader's "image" line under another header.
  const std::string header = std::string(kHeader) + "\r\n";
  if (text.compare(0, header.size(), header) != 0) return std::nullopt;
  std::vector<ImageBinding> backups;
  size_t at = header.size();
  while (at < text.size()) {
    const size_t end = text.find("\r\n", at);
    if (end == std::string::npos) return std::nullopt;
    const DiskRecordResult line =
        ParseDiskRecord("KAVI-DISKMAP 1\r\n" + text.substr(at, end + 2 - at));
    if (!line.ok || !line.image || !line.lines.empty()) return std::nullopt;
    backups.push_back(*line.image);
    at = end + 2;
  }
  if (backups.empty()) return std::nullopt;
  return backups;
}

std::vector<ImageBinding> BackupsDuringSwap(const std::vector<ImageBinding>& earlier,
                                            const ImageBinding& fresh) {
  std::vector<ImageBinding> backups;
  for (size_t i = earlier.size() > 2 ? earlier.size() - 2 : 0; i < earlier.size(); ++i) {
    if (!SameBackup(earlier[i], fresh)) backups.push_back(earlier[i]);
  }
  backups.push_back(fresh);
  return backups;
}

std::string CaptureExclusions() {
  // wimlib's own list, which a configuration of ours replaces: the page,
  // hibernation and swap files, shadow copies and recycle bins.
  std::string text =
      "[ExclusionList]\n"
      "\\$ntfs.log\n"
      "\\hiberfil.sys\n"
      "\\pagefile.sys\n"
      "\\swapfile.sys\n"
      "\\System Volume Information\n"
      "\\RECYCLER\n"
      "\\$RECYCLE.BIN\n"
      "\\$Recycle.Bin\n"
      "\\Windows\\CSC\n";
  text += std::string("\\") + kBackupRecordName + "\n";
  // The takeover's own files: a restore keeps the task's copies across its
  // format only where the image brings none.
  for (const std::string& name : TaskOnlyFileNames()) text += "\\" + name + "\n";
  return text;
}

}  // namespace restore
}  // namespace kavi
