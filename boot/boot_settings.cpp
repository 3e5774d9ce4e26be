#include "boot/boot_settings.h"

#include "boot/ghost_script.h"

namespace kavi {
namespace {

BootTakeoverSettings& MutableBootSettings() {
  static BootTakeoverSettings settings;
  return settings;
}

}  // namespace

BootTakeoverSettings MakeBootTakeoverSettings(const WorkingFields& fields) {
  BootTakeoverSettings s;
  s.bootDrive = fields.bootDrive;
  s.bcdbootPath = fields.bcdbootPath;
  s.bcdeditPath = fields.bcdeditPath;
  s.dsptPath = fields.dsptPath;
  s.entryId = kBootEntryId;
  s.payloadIds[0] = kFloppyImageResourceId;
  s.payloadIds[1] = kLoaderResourceId;
  s.payloadIds[2] = kLoaderBootSectorResourceId;
  s.environmentImageId = kRestoreEnvironmentResourceId;
  s.payloadNames[0] = L"KV.ima";
  s.payloadNames[1] = L"kvldr";
  s.payloadNames[2] = L"kvldr.mbr";
  s.resourceType = kPayloadResourceType;
  s.scriptFileName = kGhostScriptFileName;
  return s;
}

const BootTakeoverSettings& BootSettings() {
  return MutableBootSettings();
}

void InitBootTakeoverSettings(const WorkingFields& fields) {
  MutableBootSettings() = MakeBootTakeoverSettings(fields);
}

void InitBootTakeoverSettings() {
  InitBootTakeoverSettings(Working().Snapshot());
}

}  // namespace kavi
