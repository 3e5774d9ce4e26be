// A new backup takes the old one's place in recorded steps, so that a cut at
// any instant leaves a whole backup that the next start can put under the
// backup's name: "NAME.kavi-new" while it is written and verified, then
// "NAME.kavi-done"; the old NAME becomes "NAME.kavi-old", "NAME.kavi-done"
// becomes NAME, and "NAME.kavi-old" goes. No step renames over a file.
#pragma once

#include <string>

#include "restore/agent/agent_host.h"

namespace kavi {
namespace restore {

std::string BackupWorkName(const std::string& name);  // NAME.kavi-new
std::string BackupDoneName(const std::string& name);  // NAME.kavi-done

// Completes whatever step was interrupted in `folder`: an unfinished
// NAME.kavi-new goes, a verified NAME.kavi-done takes NAME's place, and an
// old NAME.kavi-old goes (or becomes NAME again when NAME is missing).
// False when a step failed; NAME is then the last whole backup there was.
bool FinishBackupSwap(VolumeAccess& volumes, const std::string& folder, const std::string& name);

}  // namespace restore
}  // namespace kavi
