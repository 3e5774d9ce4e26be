#include "restore/agent/failure.h"

namespace kavi {
namespace restore {

const char* FailureCode(Failure failure) {
  switch (failure) {
    case Failure::kNone:
      return "ok";
    case Failure::kNoTask:
      return "no-task";
    case Failure::kSeveralTasks:
      return "several-tasks";
    case Failure::kBadScript:
      return "bad-script";
    case Failure::kRecordMismatch:
      return "record-mismatch";
    case Failure::kImageMissing:
      return "image-missing";
    case Failure::kImageUnknown:
      return "image-unknown";
    case Failure::kImageGho:
      return "image-gho";
    case Failure::kImageCorrupt:
      return "image-corrupt";
    case Failure::kImageTooLarge:
      return "image-too-large";
    case Failure::kImageOnTarget:
      return "image-on-target";
    case Failure::kTargetNotTask:
      return "target-not-task";
    case Failure::kTargetEncrypted:
      return "target-encrypted";
    case Failure::kTargetHibernated:
      return "target-hibernated";
    case Failure::kTargetFilesystem:
      return "target-filesystem";
    case Failure::kDumpOnSource:
      return "dump-on-source";
    case Failure::kCaptureFailed:
      return "capture-failed";
    case Failure::kWriteFailed:
      return "write-failed";
    case Failure::kBootFilesFailed:
      return "boot-files-failed";
    case Failure::kImageChanged:
      return "image-changed";
    case Failure::kImageNotForMachine:
      return "image-not-for-machine";
    case Failure::kNoBootPartition:
      return "no-boot-partition";
    case Failure::kNotHeld:
      return "not-held";
  }
  return "unknown";
}

}  // namespace restore
}  // namespace kavi
