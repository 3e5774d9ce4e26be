// The choice of the work drive and the derivation of every working path.
// The logic is portable; the drive queries are a seam with a Win32
// implementation (working_paths_win32.cpp) and substitutes in tests.
#pragma once

#include <cstdint>
#include <string>

#include "host/tools_folder.h"
#include "host/working_state.h"

namespace kavi {

constexpr const wchar_t* kWorkFolderName = L"DURozazo";

// What ChooseWorkDrive asks about a drive.
class DriveQueries {
 public:
  virtual ~DriveQueries() = default;
  // GetDriveType of "X:\" is DRIVE_FIXED.
  virtual bool IsFixedDrive(wchar_t letter) const = 0;
  virtual bool IsDirectory(const std::wstring& path) const = 0;
  // Free bytes available to the caller; false when they cannot be read.
  virtual bool FreeBytes(wchar_t letter, uint64_t* freeBytes) const = 0;
};

// Picks the drive for the work folder: a fixed drive other than the system
// drive that already holds one, else the fixed drive with the most free
// space (at least 4 GiB, ties to the earlier letter), else the system drive.
// Letters A to Y are examined; Z never.
wchar_t ChooseWorkDrive(const DriveQueries& drives, wchar_t systemDrive);

// What the set-up gathers from Windows before deriving the paths.
struct HostPaths {
  std::wstring windowsDirectory;  // GetWindowsDirectory
  std::wstring modulePath;        // the running executable
  ToolsFolderChoice tools;        // where the boot tools go
  int32_t windowsEdition = 0;
};

// Fills every derived field (steps 1 to 10 of the set-up) from the facts and
// the chosen work drive. The version texts and the current image stay.
WorkingFields DeriveWorkingPaths(WorkingFields fields, const HostPaths& host, wchar_t workDrive);

// The tools folder and the boot tools' paths in it. An unprotected choice
// without a folder (the Templates look-up failed) puts them at the root of
// the current drive; a protected one without a folder leaves every path
// empty, so nothing is written and nothing is run.
void DeriveToolPaths(WorkingFields* fields, const ToolsFolderChoice& tools);

// Everything before the last backslash; empty when there is none.
std::wstring FolderOfPath(const std::wstring& path);

// The boot takeover's part of the set-up: it writes the boot tools from the
// executable's resources and initialises its settings from the record. The
// host layer does not know the boot code; the program hands it in.
class BootSetUp {
 public:
  virtual ~BootSetUp() = default;
  virtual void WriteBootTools(const WorkingFields& fields) = 0;
  virtual void InitBootSettings(const WorkingFields& fields) = 0;
};

// Windows-side: fills the process-wide record from this machine and creates
// the work, download, data backup and cache folders. The tool paths wait for
// SetUpToolPaths, unless `boot` is given: then they are set up too, the boot
// tools written and the boot settings initialised.
void SetUpWorkingPaths(BootSetUp* boot = nullptr);
// Stores the tool paths in the record. The folder's look-up and protection
// behind them are slow and needed only by the boot tools and the update
// installer, so they run once, on the first thread that needs them; any
// thread may call.
void SetUpToolPaths();
wchar_t ChooseWorkDrive();
void SetWorkFolder(const wchar_t* path);

}  // namespace kavi
