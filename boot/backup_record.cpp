#include "boot/backup_record.h"

#include "host/text.h"

namespace kavi {
namespace {

constexpr const char* kHeader = "KAVI-BACKUP 1\r\n";
constexpr size_t kRecordLimit = 4096;

bool IsLowerHex(const std::string& text) {
  return text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// "image size=N md5=HEX" exactly as the agent writes it.
std::optional<ImageBinding> ParseLine(const std::string& line) {
  const std::string sizeKey = "image size=", md5Key = " md5=";
  if (line.compare(0, sizeKey.size(), sizeKey) != 0) return std::nullopt;
  const size_t md5At = line.find(md5Key);
  if (md5At == std::string::npos) return std::nullopt;
  const std::string size = line.substr(sizeKey.size(), md5At - sizeKey.size());
  ImageBinding b;
  b.md5 = line.substr(md5At + md5Key.size());
  if (size.empty() || size.size() > 19 ||
      size.find_first_not_of("0123456789") != std::string::npos ||
      (size.size() > 1 && size[0] == '0') || b.md5.size() != 32 || !IsLowerHex(b.md5)) {
    return std::nullopt;
  }
  b.size = std::stoull(size);
  return b;
}

}  // namespace

std::optional<std::vector<ImageBinding>> ParseBackupRecord(const std::string& text) {
  const std::string header = kHeader;
  if (text.compare(0, header.size(), header) != 0) return std::nullopt;
  std::vector<ImageBinding> backups;
  for (size_t at = header.size(); at < text.size();) {
    const size_t end = text.find("\r\n", at);
    if (end == std::string::npos) return std::nullopt;
    const std::optional<ImageBinding> b = ParseLine(text.substr(at, end - at));
    if (!b) return std::nullopt;
    backups.push_back(*b);
    at = end + 2;
  }
  if (backups.empty()) return std::nullopt;
  return backups;
}

BackupCheck CheckBackupAgainstRecord(BootMachine& m, const std::wstring& imagePath,
                                     const MeasureFile& measure, ImageBinding* binding) {
  const std::wstring path = Format(L"%lc:\\%ls", m.settings.bootDrive, kBackupRecordName);
  if (!m.files.Exists(path)) return BackupCheck::kUnrecorded;
  if (!m.files.OnlyAdministratorsCanChange(path)) return BackupCheck::kRecordUnprotected;
  std::string text;
  std::optional<std::vector<ImageBinding>> backups;
  if (m.files.ReadStart(path, kRecordLimit, &text)) backups = ParseBackupRecord(text);
  if (!backups) return BackupCheck::kRecordUnreadable;
  ImageBinding measured;
  if (!measure || !measure(imagePath, &measured)) return BackupCheck::kBackupUnreadable;
  for (const ImageBinding& b : *backups) {
    if (b.size == measured.size && b.md5 == measured.md5) {
      *binding = b;
      return BackupCheck::kBound;
    }
  }
  return BackupCheck::kChanged;
}

}  // namespace kavi
