#include "restore/agent/firmware.h"

#include <algorithm>

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

std::optional<Guid> LoadOptionPartition(const std::string& value) {
  auto byte = [&](size_t at) { return static_cast<uint8_t>(value[at]); };
  if (value.size() < 6) return std::nullopt;
  const size_t pathBytes = byte(4) | size_t{byte(5)} << 8;
  size_t at = 6;
  while (at + 1 < value.size() && (value[at] != 0 || value[at + 1] != 0)) at += 2;
  at += 2;  // the description's terminating NUL
  const size_t end = std::min(value.size(), at + pathBytes);
  // Nodes: type, subtype, length (16 bits, the header included). A hard
  // drive node (4, 1) holds the partition's number, start and size, then a
  // 16-byte signature, the table's format and the signature's type (2: GUID).
  constexpr size_t kHardDriveNodeBytes = 42;
  while (at + 4 <= end) {
    const size_t length = byte(at + 2) | size_t{byte(at + 3)} << 8;
    if (length < 4 || at + length > end || byte(at) == 0x7F) break;
    if (byte(at) == 4 && byte(at + 1) == 1 && length >= kHardDriveNodeBytes && byte(at + 41) == 2) {
      Guid guid;
      std::copy(value.begin() + at + 24, value.begin() + at + 40, guid.bytes.begin());
      return guid;
    }
    at += length;
  }
  return std::nullopt;
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
