// What the restore environment left in "DURozazo\restore.log": one entry per
// boot, appended, each starting with a "== kavi restore " header line and
// ending with its "result:" line. At start the program tells the user once
// about a last task that failed.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kavi {

constexpr const wchar_t* kRestoreLogName = L"restore.log";
// Beside the log: the header line of the entry last reported.
constexpr const wchar_t* kRestoreAckName = L"restore.ack";

struct RestoreLogEntry {
  std::string header;  // "== kavi restore 2026-12-08 03:12:45"
  bool ok = false;
  // For a failure: its code ("write-failed", ...) and English detail; code
  // "unfinished" when the entry has no result line (the environment stopped
  // in the middle).
  std::string code;
  std::string detail;
};

// The last entry of a log's text (LF or CR LF lines); none without entries.
std::optional<RestoreLogEntry> LastRestoreEntry(const std::string& log);

// The message for a failure code, saying whether the system was changed.
std::wstring RestoreFailureText(const std::string& code);

// Where the logs and the reported mark are kept.
class RestoreLogStore {
 public:
  virtual ~RestoreLogStore() = default;
  // The texts of the logs that exist: the image partition's and, when the
  // environment could not tell that partition, the system partition's.
  virtual std::vector<std::string> ReadLogs() = 0;
  // The mark's text; empty when there is none.
  virtual std::string ReadAck() = 0;
  virtual bool WriteAck(const std::string& header) = 0;
};

// The message for the latest entry among the logs when it is a failure not
// reported before; the entry is then marked as reported. None otherwise.
std::optional<std::wstring> TakeUnreportedRestoreFailure(RestoreLogStore& store);

// Windows side: the logs in `workFolder` and in "X:\DURozazo" of the system
// drive, the mark in `workFolder`.
std::optional<std::wstring> TakeUnreportedRestoreFailure(const std::wstring& workFolder,
                                                         wchar_t systemDrive);

}  // namespace kavi
