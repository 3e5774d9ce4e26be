// Why a restore task ended without success: a fixed code for the log (the
// Windows side reads it back) and an English detail for the user.
#pragma once

#include <string>

namespace kavi {
namespace restore {

enum class Failure {
  kNone,
  kNoTask,
  kSeveralTasks,
  kBadScript,
  kRecordMismatch,
  kImageMissing,
  kImageUnknown,
  kImageGho,
  kImageCorrupt,
  kImageTooLarge,
  kImageOnTarget,
  kTargetNotTask,
  kTargetEncrypted,
  kTargetHibernated,
  kTargetFilesystem,
  kDumpOnSource,
  kCaptureFailed,
  kWriteFailed,      // the target was changed
  kBootFilesFailed,  // the target was changed
  // The image's bytes are not those the task was checked against.
  kImageChanged,
  // This processor or firmware cannot start the image's Windows.
  kImageNotForMachine,
  // No partition the firmware starts from can take the boot files.
  kNoBootPartition,
  // The task cannot be held on the image's partition (full, read-only, or
  // the image's files cannot be listed), so a cut could not be taken up.
  kNotHeld,
};

// "no-task", "image-corrupt", ...
const char* FailureCode(Failure failure);

struct Refusal {
  Failure failure = Failure::kNone;
  std::string detail;
  // The target holds no Windows and the task is armed again: the restart
  // comes back to it.
  bool taskStays = false;

  bool failed() const { return failure != Failure::kNone; }
};

inline Refusal Refuse(Failure failure, std::string detail) {
  return Refusal{failure, std::move(detail)};
}

}  // namespace restore
}  // namespace kavi
