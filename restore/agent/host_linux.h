// The agent's seams on Linux: block devices through sysfs and /dev, mounts
// under /run/kavi (ntfs-3g for NTFS, the kernel's vfat for FAT), tools run
// by fork and exec, the screen on /dev/fb0 (when it can be had), /dev/tty0
// and /dev/ttyS0, and the firmware through /sys/firmware/efi and efivarfs.
#pragma once

#include <memory>
#include <vector>

#include "restore/agent/agent_host.h"
#include "restore/agent/screen_linux.h"

namespace kavi {
namespace restore {

class LinuxDisks : public DiskAccess {
 public:
  std::vector<FoundPartition> Partitions() override;
  bool Read(const std::string& device, uint64_t offset, size_t size,
            std::vector<uint8_t>* out) override;
  bool Write(const std::string& device, uint64_t offset,
             const std::vector<uint8_t>& bytes) override;
};

class LinuxVolumes : public VolumeAccess {
 public:
  explicit LinuxVolumes(ToolRunner& tools) : tools_(tools) {}
  std::string Mount(const FoundPartition& partition, bool writable) override;
  bool Unmount(const std::string& dir) override;
  std::optional<std::vector<DirEntry>> List(const std::string& dir) override;
  std::optional<std::string> ReadFile(const std::string& path, size_t limit) override;
  bool WriteFile(const std::string& path, const std::string& bytes) override;
  bool AppendFile(const std::string& path, const std::string& bytes) override;
  bool MakeDirectory(const std::string& path) override;
  bool Remove(const std::string& path) override;
  bool Rename(const std::string& from, const std::string& to) override;
  bool SetSecurity(const std::string& path, const std::string& descriptor) override;
  std::optional<std::string> ReadSecurity(const std::string& path) override;

 private:
  ToolRunner& tools_;
};

class LinuxTools : public ToolRunner {
 public:
  int Run(const std::vector<std::string>& argv,
          const std::function<void(const std::string&)>& onLine, std::string* output) override;
};

class LinuxFirmware : public FirmwareAccess {
 public:
  explicit LinuxFirmware(ToolRunner& tools) : tools_(tools) {}
  FirmwareState State() override;
  std::vector<LoadOption> LoadOptions() override;
  bool SetBootNext(uint16_t number) override;
  bool DeleteLoadOption(uint16_t number) override;

 private:
  ToolRunner& tools_;
};

class LinuxConsole : public Console {
 public:
  LinuxConsole();
  ~LinuxConsole() override;
  void Line(const std::string& text) override;
  void Progress(const std::string& text) override;
  double Seconds() override;
  std::string Timestamp() override;
  void Task(ScreenTask task, const std::string& name) override;
  void Step(ScreenStep step) override;
  void Meter(int percent, double megabytesPerSecond, long secondsLeft) override;
  void Failed(const std::string& code, int restartSeconds) override;

 private:
  void WriteAll(const std::string& text);
  void Show();
  std::vector<int> fds_;
  bool progressShown_ = false;
  // The graphical screen when /dev/fb0 can show it; the lines go on to the
  // text console and the serial line either way.
  std::unique_ptr<FramebufferScreen> screen_;
  ScreenState state_;
};

// "kavi-agent --md5 FILE" and "kavi-agent --md5-ntfs DEVICE PATH"
// (md5_linux.cpp): print the file's MD5 as md5sum does; 0 when the whole
// file was read.
int PrintFileMd5(const char* path);
int PrintNtfsFileMd5(const char* device, const char* path);

}  // namespace restore
}  // namespace kavi
