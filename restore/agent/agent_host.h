// The agent's seams to the machine: raw partitions, mounted volumes and
// their files, the tools it runs, the screen with its clocks, and the
// firmware that started this boot. The Linux
// side lives in the *_linux.cpp files; tests substitute each.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "restore/agent/firmware.h"
#include "restore/agent/partitions.h"
#include "restore/agent/screen_state.h"

namespace kavi {
namespace restore {

class DiskAccess {
 public:
  virtual ~DiskAccess() = default;
  // Every partition of every disk, each disk's ascending by start.
  virtual std::vector<FoundPartition> Partitions() = 0;
  virtual bool Read(const std::string& device, uint64_t offset, size_t size,
                    std::vector<uint8_t>* out) = 0;
  // Writes and flushes to the device.
  virtual bool Write(const std::string& device, uint64_t offset,
                     const std::vector<uint8_t>& bytes) = 0;
};

struct DirEntry {
  std::string name;
  bool directory = false;
};

// Paths are absolute, '/'-separated, inside a mount's directory.
class VolumeAccess {
 public:
  virtual ~VolumeAccess() = default;
  // The directory the partition is mounted on; empty on failure.
  virtual std::string Mount(const FoundPartition& partition, bool writable) = 0;
  virtual bool Unmount(const std::string& dir) = 0;
  virtual std::optional<std::vector<DirEntry>> List(const std::string& dir) = 0;
  // At most `limit` bytes from the start; none when the file cannot be read.
  virtual std::optional<std::string> ReadFile(const std::string& path, size_t limit) = 0;
  virtual bool WriteFile(const std::string& path, const std::string& bytes) = 0;
  virtual bool AppendFile(const std::string& path, const std::string& bytes) = 0;
  virtual bool MakeDirectory(const std::string& path) = 0;
  // A file or a whole tree.
  virtual bool Remove(const std::string& path) = 0;
  // Replaces `to` when it exists.
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  // NTFS only: a file's or folder's self-relative security descriptor, as
  // ntfs-3g carries it in its "system.ntfs_acl" attribute.
  virtual bool SetSecurity(const std::string& path, const std::string& descriptor) = 0;
  virtual std::optional<std::string> ReadSecurity(const std::string& path) = 0;
};

class ToolRunner {
 public:
  virtual ~ToolRunner() = default;
  // Runs argv[0] from PATH without a shell. Each piece of its output between
  // CR or LF goes to `onLine` as it arrives; `output` (when given) collects
  // the text, up to 1 MiB. The exit status; -1 when it did not start, was
  // killed, or printed more than `output` keeps.
  virtual int Run(const std::vector<std::string>& argv,
                  const std::function<void(const std::string&)>& onLine, std::string* output) = 0;
};

class Console {
 public:
  virtual ~Console() = default;
  virtual void Line(const std::string& text) = 0;
  // Replaces the status line under the last Line.
  virtual void Progress(const std::string& text) = 0;
  virtual double Seconds() = 0;         // monotonic
  virtual std::string Timestamp() = 0;  // the machine clock, "2026-12-08 03:12:45"

  // What the graphical screen shows beside the lines (screen_state.h); a
  // text console has nothing to add. `name` is the image's, UTF-8.
  virtual void Task(ScreenTask /*task*/, const std::string& /*name*/) {}
  // A step starts; its progress is unknown until the first Meter.
  virtual void Step(ScreenStep /*step*/) {}
  // Below 0: not known yet.
  virtual void Meter(int /*percent*/, double /*megabytesPerSecond*/, long /*secondsLeft*/) {}
  // The task failed with this code ("image-corrupt"); the machine restarts
  // in `restartSeconds`; below 0 it stays on (the task stays armed).
  virtual void Failed(const std::string& /*code*/, int /*restartSeconds*/) {}
};

struct LoadOption {
  uint16_t number = 0;  // of Boot####
  std::string value;    // the EFI_LOAD_OPTION
};

class FirmwareAccess {
 public:
  virtual ~FirmwareAccess() = default;
  virtual FirmwareState State() = 0;
  // UEFI: every Boot#### variable.
  virtual std::vector<LoadOption> LoadOptions() { return {}; }
  // UEFI: the option the firmware starts once on the next boot.
  virtual bool SetBootNext(uint16_t number) {
    (void)number;
    return false;
  }
  // UEFI: deletes Boot#### and BootNext when it names that option.
  virtual bool DeleteLoadOption(uint16_t number) {
    (void)number;
    return false;
  }
};

struct AgentHost {
  DiskAccess& disks;
  VolumeAccess& volumes;
  ToolRunner& tools;
  Console& console;
  FirmwareAccess& firmware;
};

}  // namespace restore
}  // namespace kavi
