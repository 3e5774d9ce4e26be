// The backup's own record: the size and MD5 of every backup the agent made
// that SYS.GHO may hold, kept in "Ghost.sum" at the root of the task's
// partition (the system partition, where only administrators can make
// files), so "还原系统" can bind a restore to a backup this agent wrote.
//
// "KAVI-BACKUP 1", then one "image size=N md5=HEX" line per backup, CR LF
// ended. While a new backup replaces the old one the record names both, so
// whichever a cut leaves under the backup's name is found in it; once the
// replacement is done it names the new one only. A backup made before the
// record existed is in none: a cut while it is replaced leaves either the
// new backup or a refusal to restore the old one, never a wrong pairing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "restore/agent/task_files.h"

namespace kavi {
namespace restore {

constexpr const char* kBackupRecordName = "Ghost.sum";

std::string BackupRecordText(const std::vector<ImageBinding>& backups);
// None when the text is not a record as BackupRecordText writes it.
std::optional<std::vector<ImageBinding>> ParseBackupRecord(const std::string& text);

// The record while `fresh` takes the place of the backups `earlier` names
// (two when an earlier replacement was cut, either under the backup's
// name): the last two of those and `fresh`.
std::vector<ImageBinding> BackupsDuringSwap(const std::vector<ImageBinding>& earlier,
                                            const ImageBinding& fresh);

// wimlib's capture configuration: its default exclusions (page and
// hibernation files, shadow copies, recycle bins), the record (a restored
// system keeps the record of the backups on disk, never one of its own
// past) and the takeover's own files.
std::string CaptureExclusions();

}  // namespace restore
}  // namespace kavi
