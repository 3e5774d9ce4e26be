// Fast Startup (Windows 8 and later, on by default) makes "shut down" a
// hibernation of the kernel: the volumes stay hibernated and the next boot
// cannot write them. While a task is armed it is off, so any shutdown or
// restart is a full one; the user's own setting comes back once the task
// is gone.
#pragma once

#include <cstdint>
#include <optional>

namespace kavi {

class PowerRegistry {
 public:
  virtual ~PowerRegistry() = default;
  // HiberbootEnabled under Session Manager\Power; none when absent (Windows
  // 7 and older have no Fast Startup).
  virtual std::optional<uint32_t> Hiberboot() = 0;
  virtual bool SetHiberboot(uint32_t value) = 0;
  // The user's value, kept in the program's own administrators-only key
  // while a task is armed; none when nothing is kept. SetKept(none) forgets.
  virtual std::optional<uint32_t> Kept() = 0;
  virtual bool SetKept(std::optional<uint32_t> value) = 0;
};

// After a task is armed. The user's value is kept first, unless one is kept
// already (a second takeover before the first task ran). False when Fast
// Startup stays on.
bool TurnOffFastStartupForTask(PowerRegistry& registry);

// At start-up: with no task armed any more, the kept value goes back.
void PutBackFastStartup(PowerRegistry& registry, bool taskArmed);

// Windows side: this machine's registry.
PowerRegistry& SystemPowerRegistry();

}  // namespace kavi
