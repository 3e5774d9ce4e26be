// The backup's own record, which the next boot's agent writes beside the
// task at the root of the boot drive ("Ghost.sum": only administrators can
// make files there): "KAVI-BACKUP 1", then one "image size=N md5=HEX" line
// for each backup SYS.GHO may hold (two while a replacement is under way).
// "还原系统" restores SYS.GHO only when it is one of them, and binds the
// task to it so the next boot checks it again. A SYS.GHO with no record
// beside the task (made before backups were recorded), or whose record is
// not administrators' alone, is restored only once the user confirms, and
// then verified by the next boot as a whole.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "boot/boot_machine.h"
#include "boot/takeover_files.h"

namespace kavi {

constexpr const wchar_t* kBackupRecordName = L"Ghost.sum";

// Reads a whole file once and gives its size and MD5; false when it cannot.
using MeasureFile = std::function<bool(const std::wstring& path, ImageBinding* measured)>;

// The record's backups; none when the text is not a record the agent wrote.
std::optional<std::vector<ImageBinding>> ParseBackupRecord(const std::string& text);

enum class BackupCheck {
  kUnrecorded,  // no record: the next boot verifies the backup as before
  // A record any user could have written: it proves nothing.
  kRecordUnprotected,
  kBound,    // the backup is a recorded one; `binding` holds it
  kChanged,  // the backup is none of the recorded ones
  kRecordUnreadable,
  kBackupUnreadable,
};

// Checks the backup `imagePath` against the record on `m`'s boot drive.
BackupCheck CheckBackupAgainstRecord(BootMachine& m, const std::wstring& imagePath,
                                     const MeasureFile& measure, ImageBinding* binding);

}  // namespace kavi
