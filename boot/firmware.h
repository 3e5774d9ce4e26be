// Which road the next boot takes. A machine started by BIOS takes the BIOS
// road (boot menu entry, loader, KV.ima), and only with an MBR system disk.
// A machine started by x64 UEFI takes the UEFI road (our loaders on the EFI
// system partition, armed as the firmware's next boot), with a GPT or an MBR
// system disk, when Secure Boot, if on, would start our first-stage loader.
// Everything else is refused before anything is written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kavi {

enum class FirmwareType { kBios, kUefi };

// FIRMWARE_TYPE values of GetFirmwareType, and the error that
// GetFirmwareEnvironmentVariableW gives on BIOS machines.
constexpr uint32_t kFirmwareTypeBios = 1;
constexpr uint32_t kFirmwareTypeUefi = 2;
constexpr uint32_t kErrorInvalidFunction = 1;

// From GetFirmwareType's answer where kernel32 has the function, else from
// the error of GetFirmwareEnvironmentVariableW for a variable that does not
// exist (none: kernel32 lacks that function too, as Windows 2000 does).
// ERROR_INVALID_FUNCTION means BIOS; any other error means the firmware
// answered.
FirmwareType FirmwareTypeFrom(std::optional<uint32_t> getFirmwareType,
                              std::optional<uint32_t> variableError);

// IMAGE_FILE_MACHINE_AMD64, as IsWow64Process2 reports the native machine.
constexpr uint16_t kMachineAmd64 = 0x8664;

// Whether Windows runs as x64, which on UEFI means x64 firmware: a 32-bit
// Windows is started only by IA32 firmware. The native machine from
// IsWow64Process2 where kernel32 has it (ARM64 Windows runs this program
// under WOW64 too), else `windows64`: a 64-bit process, or WOW64.
bool WindowsIsX64(bool windows64, std::optional<uint16_t> nativeMachine);

struct FirmwareFacts {
  FirmwareType type = FirmwareType::kBios;
  bool x64 = false;         // Windows, and so UEFI firmware, is x64
  bool secureBoot = false;  // UEFISecureBootEnabled under SecureBoot\State
  // The db variable's data; none when it could not be read.
  std::optional<std::string> db;
  // The processor has long mode (CPUID 0x80000001, EDX bit 29), whatever
  // Windows runs on it: a 32-bit Windows may be replaced by an x64 one.
  bool cpuX64 = true;
  // dbx and the shim's "SbatLevelRT"; none when absent or unreadable (then
  // nothing is taken as revoked).
  std::optional<std::string> dbx;
  std::optional<std::string> sbatLevel;
};

// A refusal says why, so that each can be told in its own words.
enum class BootRoad {
  kBios,
  kUefi,
  kRefusedGptOnBios,  // a GPT system disk on BIOS firmware
  kRefusedNotX64,     // UEFI firmware that is not x64
  kRefusedUntrusted,  // Secure Boot on while db does not trust our loader
  kRefusedRevoked,    // Secure Boot on while dbx or the SBAT level revokes it
};

constexpr bool IsRefused(BootRoad road) {
  return road != BootRoad::kBios && road != BootRoad::kUefi;
}

// `shim` is the first-stage loader we carry (its signatures are read from
// it, so a newer loader brings its own signers), `grub` the GRUB it starts;
// under Secure Boot both are held against the SBAT levels the shim carries
// and the one the firmware keeps.
BootRoad DecideBootRoad(const FirmwareFacts& firmware, bool gptSystemDisk, const std::string& shim,
                        const std::string& grub = std::string());

// This machine's facts, read once (Win32 build only): the db variable is
// read with the system-environment privilege, and only when Secure Boot is
// on.
const FirmwareFacts& SystemFirmwareFacts();

}  // namespace kavi
