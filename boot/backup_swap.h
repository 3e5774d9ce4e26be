// The system backup's replacement as the restore environment records it
// beside "SYS.GHO": NAME.kavi-new while the new backup is written and
// verified, NAME.kavi-done once it is whole, NAME.kavi-old for the old one
// on its way out. A start cut inside the replacement leaves one of these;
// finishing it puts the last whole backup under its name again.
#pragma once

#include <string>

#include "boot/boot_machine.h"

namespace kavi {

// A verified NAME.kavi-done takes the place of `path`, an unfinished
// NAME.kavi-new goes, and NAME.kavi-old goes (or becomes `path` again when
// `path` is missing). False when a step failed.
bool FinishBackupSwap(BootFiles& files, const std::wstring& path);

// The file whose bytes finishing would leave at `path` (`path` itself, or
// NAME.kavi-done or NAME.kavi-old), without a change; empty when none. The
// restore's checks and question read it before anything is renamed.
std::wstring BackupAfterSwap(BootFiles& files, const std::wstring& path);

}  // namespace kavi
