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
  auto mounted = mounts_.find(part);
  if (part < parts_.size() && parts_[part].fs == FsKind::kNtfs && mounted != mounts_.end() &&
      mounted->second.writable && path.rfind(mounted->second.dir + "/", 0) == 0 &&
      host_.volumes.WriteFile(kScratch, bytes)) {
    const Mounted was = mounted->second;
    host_.volumes.Remove(path);  // ntfscp writes over a file without shortening it
    Unmount(part);
    // ntfscp's unmount puts the file on the disk before it ends.
    const int status = host_.tools.Run(
        {"ntfscp", parts_[part].device, kScratch, path.substr(was.dir.size())}, nullptr, nullptr);
    host_.volumes.Remove(kScratch);
    if (MountAs(part, was.writable) != was.dir) return false;
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
  }
  return true;
}

}  // namespace restore
}  // namespace kavi
