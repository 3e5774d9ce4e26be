#include "boot/firmware.h"

#include "boot/secure_boot.h"

namespace kavi {

FirmwareType FirmwareTypeFrom(std::optional<uint32_t> getFirmwareType,
                              std::optional<uint32_t> variableError) {
  if (getFirmwareType == kFirmwareTypeUefi) return FirmwareType::kUefi;
  if (getFirmwareType == kFirmwareTypeBios) return FirmwareType::kBios;
  if (!variableError || *variableError == kErrorInvalidFunction) return FirmwareType::kBios;
  return FirmwareType::kUefi;
}

bool WindowsIsX64(bool windows64, std::optional<uint16_t> nativeMachine) {
  if (nativeMachine) return *nativeMachine == kMachineAmd64;
  return windows64;
}

BootRoad DecideBootRoad(const FirmwareFacts& f, bool gptSystemDisk, const std::string& shim,
                        const std::string& grub) {
  if (f.type == FirmwareType::kBios) {
    return gptSystemDisk ? BootRoad::kRefusedGptOnBios : BootRoad::kBios;
  }
  if (!f.x64) return BootRoad::kRefusedNotX64;
  if (f.secureBoot && (!f.db || !DatabaseTrustsImage(*f.db, shim))) {
    return BootRoad::kRefusedUntrusted;
  }
  if (f.secureBoot &&
      RevocationOfImage(f.dbx.value_or(""), *f.db, f.sbatLevel.value_or(""), shim)) {
    return BootRoad::kRefusedRevoked;
  }
  if (f.secureBoot) {
    // SbatLevelRT is there only once a shim ran in this boot, and Windows
    // may have applied a later level to the firmware: the levels published
    // up to our shim's build count as well, for the shim and the GRUB it
    // starts.
    std::vector<std::string> levels = PublishedSbatLevels(shim);
    if (f.sbatLevel) levels.push_back(*f.sbatLevel);
    for (const std::string& level : levels) {
      if (SbatRevokesImage(level, shim) || (!grub.empty() && SbatRevokesImage(level, grub)))
        return BootRoad::kRefusedRevoked;
    }
  }
  return BootRoad::kUefi;
}

}  // namespace kavi
