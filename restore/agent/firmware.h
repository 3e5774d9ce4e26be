// What started this boot: BIOS, or UEFI with Secure Boot on or off. Read on
// Linux from /sys/firmware/efi and the SecureBoot variable (firmware_linux.cpp);
// the agent only logs it, so a failed takeover can be told apart afterwards.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "restore/agent/gpt.h"

namespace kavi {
namespace restore {

struct FirmwareState {
  bool uefi = false;
  // UEFI only; none when the variable store could not be read.
  std::optional<bool> secureBoot;
  // The processor can run x64 code ("lm" among its flags); none when
  // /proc/cpuinfo could not be read.
  std::optional<bool> longMode;
};

// From /proc/cpuinfo's text: whether the first "flags" line lists "lm".
std::optional<bool> LongModeFromCpuinfo(const std::string& text);

// The SecureBoot variable as efivarfs gives it: 4 attribute bytes, then the
// value byte (1 on, 0 off). None for any other shape.
std::optional<bool> SecureBootFromVariable(const std::string& bytes);

// An EFI_LOAD_OPTION (the value of a Boot#### variable without efivarfs'
// attribute word) whose file path lies in \EFI\KaviRestore\, in any case:
// the entry a takeover adds for our boot files.
bool IsOurLoadOption(const std::string& value);

// The partition a load option's device path names by GUID (its hard drive
// node with a GPT signature): for ours, the EFI system partition the
// takeover put our files on. None without such a node.
std::optional<Guid> LoadOptionPartition(const std::string& value);

// "found: firmware UEFI, Secure Boot enabled" (or "disabled", or "unknown"),
// "found: firmware BIOS".
std::string FirmwareLine(const FirmwareState& state);

}  // namespace restore
}  // namespace kavi
