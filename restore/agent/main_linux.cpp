// kavi-agent: started by the restore environment's /init; runs the restore
// task it finds on the disks, says the result and restarts the machine
// (unless the image could not be written: then the machine stays on).
#include <sys/reboot.h>
#include <unistd.h>

#include <cstring>

#include "restore/agent/agent.h"
#include "restore/agent/host_linux.h"

int main(int argc, char** argv) {
  using namespace kavi::restore;
  // The image's check runs the agent itself as its MD5 tool.
  if (argc == 3 && std::strcmp(argv[1], "--md5") == 0) return PrintFileMd5(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "--md5-ntfs") == 0) {
    return PrintNtfsFileMd5(argv[2], argv[3]);
  }
  LinuxTools tools;
  LinuxDisks disks;
  LinuxVolumes volumes(tools);
  LinuxConsole console;
  LinuxFirmware firmware(tools);
  AgentHost host{disks, volumes, tools, console, firmware};
  const Refusal outcome = RunRestoreAgent(host);
  // The line test harnesses wait for on the serial console.
  console.Line(outcome.failed()
                   ? std::string("KAVI-AGENT RESULT: failed ") + FailureCode(outcome.failure)
                   : std::string("KAVI-AGENT RESULT: ok"));
  if (outcome.failure == Failure::kWriteFailed) {
    // The system partition is no Windows any more: the machine stays on
    // with what happened on the screen instead of restarting into it.
    console.Line("The computer stays on; what happened is above.");
    console.Failed(FailureCode(outcome.failure), -1);
    sync();
    for (;;) pause();
  }
  if (outcome.failed()) {
    console.Line(outcome.taskStays
                     ? "Restarting in 10 seconds; the task stays, and the next start tries again."
                     : "Restarting into Windows in 10 seconds.");
    // The screen says why and counts down; the log keeps the details.
    for (int left = 10; left > 0; --left) {
      console.Failed(FailureCode(outcome.failure), left);
      sleep(1);
    }
  }
  sync();
  // Only the restore environment's /init starts us as its child; run by
  // hand anywhere else, the machine is left alone.
  if (getppid() == 1) reboot(RB_AUTOBOOT);
  return outcome.failed() ? 1 : 0;
}
