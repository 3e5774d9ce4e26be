#include "restore/agent/firmware.h"

namespace kavi {
namespace restore {

std::optional<bool> SecureBootFromVariable(const std::string& bytes) {
  if (bytes.size() != 5 || (bytes[4] != 0 && bytes[4] != 1)) return std::nullopt;
  return bytes[4] == 1;
}

std::string FirmwareLine(const FirmwareState& state) {
  if (!state.uefi) return "found: firmware BIOS";
  const char* secureBoot = !state.secureBoot   ? "unknown"
                           : *state.secureBoot ? "enabled"
                                               : "disabled";
  return std::string("found: firmware UEFI, Secure Boot ") + secureBoot;
}

}  // namespace restore
}  // namespace kavi
