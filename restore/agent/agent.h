// The restore task from start to the moment before the reboot: find the
// task, put the boot configuration back, decide, check everything, then
// write the image (load) or the backup (dump), and append the log entry.
#pragma once

#include "restore/agent/agent_host.h"
#include "restore/agent/failure.h"

namespace kavi {
namespace restore {

// Never throws; the outcome is also the log entry's result line.
Refusal RunRestoreAgent(AgentHost& host);

}  // namespace restore
}  // namespace kavi
