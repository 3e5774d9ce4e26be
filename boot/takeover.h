// The takeover sequences that prepare the next boot (payloads, Ghost script,
// boot menu entry) and the main window's backup and restore commands built
// on them. A takeover either arms completely or reports why not; a failure
// is shown as an error and never followed by a restart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "boot/backup_record.h"
#include "boot/boot_machine.h"
#include "boot/takeover_files.h"

namespace kavi {

// MessageBoxW types and answers, with the values of the Windows headers.
constexpr uint32_t kMbOk = 0x0;
constexpr uint32_t kMbYesNoCancel = 0x3;
constexpr uint32_t kMbYesNo = 0x4;
constexpr uint32_t kMbIconError = 0x10;
constexpr uint32_t kMbIconWarning = 0x30;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

constexpr const wchar_t* kRestartCommand = L"cmd /c shutdown -r -t 0";

// What the commands show and start: message boxes owned by the main window,
// and the restart.
class TakeoverUi {
 public:
  virtual ~TakeoverUi() = default;
  // MessageBoxW; the answer (kIdYes, ...).
  virtual int Message(const std::wstring& text, const std::wstring& caption, uint32_t type) = 0;
  // Starts kRestartCommand hidden without waiting (WinExec); false when it
  // could not be started.
  virtual bool Restart() = 0;
};

enum class TakeoverResult {
  kArmed,
  kUnsupportedWindows,       // edition index 14: neither boot.ini nor BCD
  kBootRoadRefused,          // no road: a GPT system disk on BIOS
  kFirmwareNotX64,           // no road: UEFI that is not x64
  kLoaderNotTrusted,         // no road: Secure Boot would not start our loader
  kLoaderRevoked,            // no road: Secure Boot has revoked our loader
  kNoEfiRoom,                // no road: no EFI system partition with room for our files
  kToolMissing,              // bcdedit, bcdboot or the activation tool not written
  kToolsFolderUnsafe,        // no folder only administrators can write for the tools
  kToolChanged,              // a tool is no longer the one the program carries
  kPayloadsMissing,          // a payload the executable should carry is not there
  kImageUnreadable,          // the image file's header could not be read
  kImageUnknown,             // neither a WIM/ESD nor a Ghost image
  kImageNeedsGhost,          // a Ghost image, and no DOS floppy is carried
  kImageOnSystemDrive,       // a WIM to load from the system drive
  kBackupIntoSystem,         // a backup to write to the system drive it captures
  kGhostImageOnUefi,         // a Ghost image: the DOS floppy cannot start on UEFI
  kPayloadsNotWritten,       // the payloads could not be written to the boot drive
  kScriptNotWritten,         // the Ghost task script could not be made or written
  kBootEntryNotAdded,        // the boot menu entry could not be added and armed
  kImageNeedsX64,            // x64 Windows in the image, a processor without long mode
  kImageNoUefiLoader,        // x86 Windows in the image, x64 UEFI firmware
  kImageNeedsSecureBootOff,  // Windows 7 or older in the image, Secure Boot on
  // Vista or later over a Windows started by NTLDR.
  kImageNeedsBootManager,
  // C: or the image's partition encrypted by BitLocker: the next boot cannot read it.
  kVolumeEncrypted,
  // C: where the next boot cannot find or read it.
  kSystemOnDynamicDisk,
  kSystemNotAPartition,  // a virtual disk, Storage Spaces: no partition of a disk
  kSystemFileSystem,     // neither NTFS nor FAT (ReFS, exFAT)
  // The image's (or the backup's) partition out of the next boot's reach so.
  kImageVolumeUnreachable,
  kBackupChanged,           // SYS.GHO is none of the backups the agent recorded
  kBackupRecordUnreadable,  // the record of the backups cannot be read
};

// The error text shown for a takeover that did not arm (caption "错误").
std::wstring TakeoverErrorText(TakeoverResult result);

// What can be checked before anything is changed: the edition, the road
// (the firmware, the system disk's partition style, Secure Boot's trust in
// our loader), the tools, the payload that can handle the image (its
// resource id in `imageId`), the payloads and, on the UEFI road, the EFI
// system partition's room. `mode` is kTakeoverBackup or kTakeoverRestore.
TakeoverResult CheckTakeover(BootMachine& machine, int mode, const std::wstring& imagePath,
                             uint16_t* imageId = nullptr);

// Backup (mode 1, "Kavi一键备份"): Ghost dumps the system partition into the
// image file. Restore (mode 2, "Kavi一键还原"): Ghost loads the image file
// onto it. The script and its disk record are built before anything is
// written; files are written before the boot entry that uses them, and the
// entry is added only when all of them were. The firmware decides the road:
// a boot menu entry on BIOS machines, a one-time firmware entry on UEFI
// ones (efi_takeover).
TakeoverResult PrepareBackupBoot(BootMachine& machine, const std::wstring& imagePath);
TakeoverResult PrepareRestoreBoot(BootMachine& machine, const std::wstring& imagePath);
TakeoverResult PrepareRestoreBoot(BootMachine& machine, const std::wstring& imagePath,
                                  const std::optional<ImageBinding>& image);

// The question texts with the two Ghost designations.
std::wstring BackupQuestionText(const std::wstring& source, const std::wstring& target);
std::wstring RestoreQuestionText(const std::wstring& source, const std::wstring& target);
// At start-up: Fast Startup as the user had it, once the task the last
// takeover armed is gone (the next boot took it, or it never ran).
void PutBackFastStartupWhenNoTask(BootMachine& m);

// Asked before a backup nothing vouches for is restored: no record of the
// backups, or one any user could have written.
std::wstring UnprovenBackupText(BackupCheck why);

// The commands of the main window's "btnbacksys" and "btnrecosys", for the
// system backup image `imagePath` (systemBackupImagePath).
void OnBackupSystem(BootMachine& machine, TakeoverUi& ui, const std::wstring& imagePath);
// Restore measures the backup with `measure` when a record of the agent's
// backups lies beside the task (backup_record.h).
void OnRestoreSystem(BootMachine& machine, TakeoverUi& ui, const std::wstring& imagePath,
                     const MeasureFile& measure = {});

// The reinstall after a verified download: restore takeover with the image
// and restart, without asking. False when the takeover did not arm (an
// error was shown); the caller then returns to the start page.
// With `image`, the next boot writes the image only while it still has that
// size and MD5.
bool TakeOverForReinstall(BootMachine& machine, TakeoverUi& ui, const std::wstring& imagePath,
                          const std::optional<ImageBinding>& image = {});

// Windows side, on this machine, with message boxes owned by `owner` (the
// main window's HWND). Call only on the UI thread while no download runs.
void OnBackupSystem(void* owner);
void OnRestoreSystem(void* owner, const MeasureFile& measure);
// `md5`: what the image was checked against (32 lower-case hex digits).
bool TakeOverForReinstall(void* owner, const std::wstring& imagePath, const std::string& md5);

}  // namespace kavi
