// GUIDs as Windows and GPT keep them in memory and on disk: Data1, Data2 and
// Data3 little-endian, then eight bytes as they come. Text is the registry
// form without braces, upper case: "C12A7328-F81F-11D2-BA4B-00A0C93EC93B".
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kavi {

using Guid = std::array<uint8_t, 16>;

std::string FormatGuid(const Guid& guid);
// Either case, with or without braces; none for anything else.
std::optional<Guid> ParseGuid(const std::string& text);

inline bool IsNullGuid(const Guid& guid) {
  return guid == Guid{};
}

// The GPT partition type of an EFI system partition.
constexpr const char* kEspTypeGuid = "C12A7328-F81F-11D2-BA4B-00A0C93EC93B";
// The MBR partition type of one.
constexpr uint8_t kEspMbrType = 0xEF;

}  // namespace kavi
