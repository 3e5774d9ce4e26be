// What the boot takeover asks of the machine, one small interface per seam:
// tool runs with their exit codes, the few file operations on the boot
// drive, and the payloads the executable carries. The Win32 side
// (boot_machine_win32.cpp) is a thin layer over the Windows calls; tests use
// substitutes, so every command line and file the takeover touches is
// checked natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "boot/boot_settings.h"
#include "boot/disk_map.h"
#include "boot/fast_startup.h"
#include "boot/firmware.h"
#include "host/process_runner.h"

namespace kavi {

// The process runner, able to report the exit code as well: the boot tools
// we carry return the Windows tool's exit code, so a bcdedit or bcdboot that
// ran and failed is not taken for success where that matters.
class BootProcessRunner : public ProcessRunner {
 public:
  // Runs the command line hidden in a console of its own and waits without
  // time limit; the exit code, or none when the process could not start.
  virtual std::optional<uint32_t> RunForExitCode(const std::wstring& commandLine) = 0;

  // The same, with what the process wrote to its standard output in
  // `output` (bcdedit names the entry it made there).
  virtual std::optional<uint32_t> RunForOutput(const std::wstring& commandLine,
                                               std::string* output) = 0;

  bool RunHiddenAndWait(const std::wstring& commandLine) override {
    return RunForExitCode(commandLine).has_value();
  }
};

// A file being written, closed when destroyed.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // One write of all the bytes; true when all of them were written.
  virtual bool Write(const uint8_t* data, size_t size) = 0;
};

// A file held open with writing, deleting and renaming denied to everyone,
// for as long as the object lives.
class HeldFile {
 public:
  virtual ~HeldFile() = default;
};

class BootFiles {
 public:
  virtual ~BootFiles() = default;
  // GetFileAttributesW succeeds: a file or a folder.
  virtual bool Exists(const std::wstring& path) = 0;
  // CopyFileW.
  virtual bool Copy(const std::wstring& from, const std::wstring& to, bool failIfExists) = 0;
  // DeleteFileW.
  virtual bool Delete(const std::wstring& path) = 0;
  // MoveFileW: fails when `to` exists.
  virtual bool Move(const std::wstring& from, const std::wstring& to) = 0;
  // CreateDirectoryW; true also when the folder is there already.
  virtual bool CreateFolder(const std::wstring& path) = 0;
  // RemoveDirectoryW (an empty folder).
  virtual bool RemoveFolder(const std::wstring& path) = 0;
  // GetDiskFreeSpaceExW of a root ("C:\", "\\?\Volume{...}\"): the bytes
  // free to this user; none when it fails.
  virtual std::optional<uint64_t> FreeBytes(const std::wstring& root) = 0;
  // GetNamedSecurityInfoW: owned by SYSTEM or Administrators under a
  // protected DACL that lets nobody else in. False when it cannot be read
  // (FAT, or Wine, which keeps no DACL on files).
  virtual bool OnlyAdministratorsCanChange(const std::wstring& path) = 0;
  // GetVolumeInformationW of "%c:\": the file system's name ("NTFS",
  // "FAT32"); empty when it cannot be told.
  virtual std::wstring FileSystemName(wchar_t letter) = 0;
  // CreateFileW for writing, CREATE_ALWAYS, normal attributes, sharing
  // writes; null when it cannot be created.
  virtual std::unique_ptr<OutputFile> Create(const std::wstring& path) = 0;
  // Up to `count` bytes from the start of a file (fewer when it is shorter),
  // read while others may read and write it. False when it cannot be opened
  // or read.
  virtual bool ReadStart(const std::wstring& path, size_t count, std::string* bytes) = 0;
  // The same from byte `offset`: exactly `count` bytes, else false.
  virtual bool ReadAt(const std::wstring& path, uint64_t offset, size_t count,
                      std::string* bytes) = 0;
  // Opens the file for reading, sharing reads only, and reads it whole into
  // `bytes`; the file cannot change while the result lives. Null when it
  // cannot be opened so (a writer has it open, or it is missing) or read.
  virtual std::unique_ptr<HeldFile> HoldAndRead(const std::wstring& path, std::string* bytes) = 0;
  // The Ghost task script and its disk record: replaced whole, no sharing,
  // bytes as given.
  virtual bool WriteScript(const std::wstring& path, const std::string& bytes) = 0;
  // WritePrivateProfileStringW.
  virtual bool WriteIniValue(const std::wstring& file, const std::wstring& section,
                             const std::wstring& key, const std::wstring& value) = 0;
  // "timeout=3" under [boot loader], through the program's CIniFile.
  virtual bool SetBootLoaderTimeout(const std::wstring& file) = 0;
};

struct ResourceBytes {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// Resources of the running executable (FindResourceW with no module).
class PayloadResources {
 public:
  virtual ~PayloadResources() = default;
  // False when the resource is missing or cannot be loaded.
  virtual bool Load(uint16_t id, const std::wstring& type, ResourceBytes* bytes) = 0;
};

// Everything one takeover works with.
struct BootMachine {
  const BootTakeoverSettings& settings;
  wchar_t systemDrive;
  int32_t windowsEdition;
  BootProcessRunner& runner;
  BootFiles& files;
  PayloadResources& resources;
  const DiskList& disks;
  DiskDevices& devices;
  std::FILE* diagnostics = stdout;  // the volume search's three lines
  FirmwareFacts firmware = {};      // a BIOS machine unless told otherwise
  PowerRegistry* power = nullptr;   // Fast Startup; none: left alone
};

// This machine: the process-wide settings, working state and disk map, and
// the Windows implementations (Win32 build only).
BootMachine SystemBootMachine();
BootProcessRunner& SystemBootProcessRunner();
BootFiles& SystemBootFiles();
PayloadResources& SystemPayloadResources();

}  // namespace kavi
