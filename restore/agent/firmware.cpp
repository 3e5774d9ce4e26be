#include "restore/agent/firmware.h"

namespace kavi {
namespace restore {

std::optional<bool> SecureBootFromVariable(const std::string& bytes) {
  if (bytes.size() != 5 || (bytes[4] != 0 && bytes[4] != 1)) return std::nullopt;
  return bytes[4] == 1;
}

bool IsOurLoadOption(const std::string& value) {
  // Attributes (4 bytes) and the path list's length (2) come first, then
  // the description and the device path in UTF-16LE.
  if (value.size() < 6) return false;
  std::string text;
  for (size_t i = 6; i + 1 < value.size(); i += 2) {
    const unsigned char low = static_cast<unsigned char>(value[i]);
    const bool ascii = value[i + 1] == 0 && low >= 0x20 && low < 0x7F;
    text += ascii ? static_cast<char>(low >= 'A' && low <= 'Z' ? low - 'A' + 'a' : low) : '\n';
  }
  return text.find("\\efi\\kavirestore\\") != std::string::npos;
}

std::string FirmwareLine(const FirmwareState& state) {
  if (!state.uefi) return "found: firmware BIOS";
  const char* secureBoot = !state.secureBoot   ? "unknown"
                           : *state.secureBoot ? "enabled"
                                               : "disabled";
  return std::string("found: firmware UEFI, Secure Boot ") + secureBoot;
}

std::optional<bool> LongModeFromCpuinfo(const std::string& text) {
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    if (line.compare(0, 5, "flags") != 0) continue;
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    return (line + " ").find(" lm ", colon) != std::string::npos;
  }
  return std::nullopt;
}

}  // namespace restore
}  // namespace kavi
