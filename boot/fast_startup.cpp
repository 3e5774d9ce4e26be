#include "boot/fast_startup.h"

namespace kavi {

bool TurnOffFastStartupForTask(PowerRegistry& registry) {
  if (!registry.Kept()) {
    const std::optional<uint32_t> own = registry.Hiberboot();
    if (!own) return true;  // no Fast Startup on this Windows
    if (!registry.SetKept(*own)) return false;
  }
  return registry.SetHiberboot(0u);
}

void PutBackFastStartup(PowerRegistry& registry, bool taskArmed) {
  if (taskArmed) return;
  const std::optional<uint32_t> kept = registry.Kept();
  if (kept && registry.SetHiberboot(*kept)) registry.SetKept(std::nullopt);
}

}  // namespace kavi
