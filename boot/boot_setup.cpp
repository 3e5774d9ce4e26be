#include "boot/boot_setup.h"

#include "boot/boot_payloads.h"

namespace kavi {

bool WriteBootTools(BootFiles& files, PayloadResources& resources, const WorkingFields& fields) {
  const struct {
    const std::wstring& path;
    uint16_t id;
  } tools[] = {
      {fields.bcdeditPath, kBcdeditResourceId},
      {fields.dsptPath, kDsptResourceId},
      {fields.bcdbootPath, kBcdbootResourceId},
      {fields.bcdsectPath, kBcdsectResourceId},
  };
  bool all = true;
  for (const auto& tool : tools) {
    // Deleted first, so the new file gets the folder's security rather than
    // keeping that of a file someone put there before.
    files.Delete(tool.path);
    all = WriteResourceToFile(files, resources, tool.path, tool.id, kPayloadResourceType) && all;
  }
  return all;
}

void BootTakeoverSetUp::WriteBootTools(const WorkingFields& fields) {
  kavi::WriteBootTools(files_, resources_, fields);
}

void BootTakeoverSetUp::InitBootSettings(const WorkingFields& fields) {
  InitBootTakeoverSettings(fields);
}

}  // namespace kavi
