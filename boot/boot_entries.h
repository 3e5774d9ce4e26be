// The boot menu entry that starts the loader at the next boot: a bootsector
// entry in a BCD store (Windows Vista and later) or a line in boot.ini
// (Windows 2000, XP, 2003). The entry runs once: in BCD it is armed with a
// one-time boot sequence, so a boot environment that fails to start falls
// back to Windows; the next boot puts the boot.ini and BCD backups back
// before its task runs.
#pragma once

#include <string>
#include <vector>

#include "boot/boot_machine.h"

namespace kavi {

// Takeover modes.
constexpr int kTakeoverBackup = 1;
constexpr int kTakeoverRestore = 2;

constexpr int kBootMenuTimeout = 3;

// True when "X:\Boot\memtest.exe" or "X:\Boot\zh-CN" exists: the boot
// manager's own folder is on that drive.
bool HasBootFolder(BootFiles& files, wchar_t letter);

// Copies X:\BOOT\BCD to X:\BOOT\BCD_B unless a backup is there already, and
// exports the system store there when no copy could be made.
void BackupBcdStore(BootMachine& machine);

// bcdboot creates boot files and a store on the drive, then the drive's
// partition is made active. The partition is activated only after bcdboot
// has succeeded, so a machine is never left booting from a partition
// without boot files.
bool MakeSystemPartitionBootable(BootMachine& machine, wchar_t letter,
                                 const std::wstring& bcdbootPath, const std::wstring& dsptPath);

// The bcdedit device of the boot drive: its NT volume device path, or the
// drive itself ("X:") when the volume search does not find it.
std::wstring BootDriveDevice(BootMachine& machine);

// The bcdedit argument lines that create and arm the entry, in order. An
// empty store means the system store.
std::vector<std::wstring> BcdEntryArguments(const BootTakeoverSettings& settings,
                                            const std::wstring& store, const std::wstring& name,
                                            const std::wstring& device);

// Each adds the entry and reports whether it is armed. A failed attempt
// removes the entry it began and the store backup it made.
bool AddBcdEntrySystemStore(BootMachine& machine, const std::wstring& name, int mode);
bool AddBcdEntryOwnStore(BootMachine& machine, const std::wstring& name, int mode);
// Makes "X:\kvldr.mbr" the default entry of boot.ini. Needs an existing
// boot.ini, and first copies it to "boot.in_", which the next boot puts
// back: the copy holds boot.ini as it was before any takeover. An edit that
// fails part-way puts boot.ini back as it was and leaves no copy behind.
bool AddBootIniEntry(BootMachine& machine, const std::wstring& name, int mode);
// True when the boot.ini bytes name the loader path (ASCII letters compared
// without case): a takeover has added its entry.
bool NamesBootIniEntry(const std::string& bootIni, const std::wstring& loader);

}  // namespace kavi
