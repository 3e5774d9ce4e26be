// Large files (KV.ima, 15 MB) written around ntfs-3g's FUSE mount: under
// emulation that mount writes 15 MB in 2 s, Debian's ntfscp (libntfs-3g in
// its own process, on the unmounted volume) in half a second, and the task
// is held and put back with KV.ima on every start that formats.
#include "restore/agent/agent_run.h"

namespace kavi {
namespace restore {
namespace {

constexpr size_t kLargeFile = 1 << 20;
// The environment's /tmp lives in memory.
constexpr const char* kScratch = "/tmp/kavi-large-file";

}  // namespace

bool AgentRun::WriteLargeFile(size_t part, const std::string& path, const std::string& bytes) {
  std::optional<std::string> inner = PathInNtfsVolume(part, path, true);
  if (inner && host_.volumes.WriteFile(kScratch, bytes)) {
    host_.volumes.Remove(path);  // ntfscp writes over a file without shortening it
    // ntfscp's unmount puts the file on the disk before it ends.
    int status = 1;
    const bool back =
        RunUnmounted(part, {"ntfscp", parts_[part].device, kScratch, *inner}, &status, nullptr);
    host_.volumes.Remove(kScratch);
    if (!back) return false;
    if (status == 0) return true;
    Note("warning: ntfscp cannot write " + path + "; writing it through the mount");
  }
  return host_.volumes.WriteFile(path, bytes);
}

bool AgentRun::WriteFilesTo(size_t part, const std::string& root,
                            const std::vector<SavedFile>& files) {
  for (const SavedFile& f : files) {
    const bool written = !f.directory && f.bytes.size() >= kLargeFile
                             ? WriteLargeFile(part, root + "/" + f.path, f.bytes)
                             : WriteSavedFiles(host_.volumes, root, {f});
    if (!written) return false;
    if (parts_[part].fs == FsKind::kNtfs && !Protect(part, root + "/" + f.path, f.directory))
      return false;
  }
  return true;
}

}  // namespace restore
}  // namespace kavi
