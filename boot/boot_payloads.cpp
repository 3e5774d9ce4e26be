#include "boot/boot_payloads.h"

#include "host/text.h"

namespace kavi {

bool WriteResourceToFile(BootFiles& files, PayloadResources& resources, const std::wstring& path,
                         uint16_t id, const std::wstring& type) {
  std::unique_ptr<OutputFile> file = files.Create(path);
  if (!file) return false;
  ResourceBytes bytes;
  if (!resources.Load(id, type, &bytes) || bytes.data == nullptr || bytes.size == 0) return false;
  return file->Write(bytes.data, bytes.size);
}

bool HasPayloadResource(PayloadResources& resources, uint16_t id, const std::wstring& type) {
  ResourceBytes bytes;
  return resources.Load(id, type, &bytes) && bytes.data != nullptr && bytes.size > 0;
}

std::string CarriedEfiFile(PayloadResources& resources, const std::wstring& type, size_t index) {
  ResourceBytes bytes;
  if (!resources.Load(static_cast<uint16_t>(kEfiFirstResourceId + index), type, &bytes) ||
      bytes.data == nullptr) {
    return std::string();
  }
  return std::string(reinterpret_cast<const char*>(bytes.data), bytes.size);
}

namespace {

size_t PayloadCount(bool withBootSector) {
  return withBootSector ? 3 : 2;
}

// The first payload is the image KV.ima; which one is the caller's choice.
uint16_t PayloadId(const BootTakeoverSettings& s, size_t i, uint16_t imageId) {
  return i == 0 ? imageId : s.payloadIds[i];
}

}  // namespace

bool WriteBootPayloads(BootMachine& machine, uint16_t imageId, bool withBootSector) {
  const BootTakeoverSettings& s = machine.settings;
  for (size_t i = 0; i < PayloadCount(withBootSector); ++i) {
    const std::wstring path = Format(L"%lc:\\%ls", s.bootDrive, s.payloadNames[i].c_str());
    if (!WriteResourceToFile(machine.files, machine.resources, path, PayloadId(s, i, imageId),
                             s.resourceType)) {
      return false;
    }
  }
  return true;
}

bool HasBootPayloads(BootMachine& machine, uint16_t imageId, bool withBootSector) {
  const BootTakeoverSettings& s = machine.settings;
  for (size_t i = 0; i < PayloadCount(withBootSector); ++i) {
    if (!HasPayloadResource(machine.resources, PayloadId(s, i, imageId), s.resourceType)) {
      return false;
    }
  }
  return true;
}

std::wstring ToolCommandLine(const std::wstring& toolPath, const std::wstring& arguments) {
  return Format(L"%ls %ls", toolPath.c_str(), arguments.c_str());
}

std::unique_ptr<HeldFile> HoldCarriedTool(BootMachine& machine, const std::wstring& toolPath) {
  const BootTakeoverSettings& s = machine.settings;
  uint16_t id = 0;
  if (toolPath.empty()) return nullptr;
  if (toolPath == s.bcdeditPath) {
    id = kBcdeditResourceId;
  } else if (toolPath == s.bcdbootPath) {
    id = kBcdbootResourceId;
  } else if (toolPath == s.dsptPath) {
    id = kDsptResourceId;
  } else {
    return nullptr;
  }
  ResourceBytes carried;
  if (!machine.resources.Load(id, s.resourceType, &carried) || carried.data == nullptr) {
    return nullptr;
  }
  std::string bytes;
  std::unique_ptr<HeldFile> held = machine.files.HoldAndRead(toolPath, &bytes);
  if (!held || bytes.size() != carried.size ||
      bytes.compare(0, bytes.size(), reinterpret_cast<const char*>(carried.data), carried.size) !=
          0) {
    return nullptr;
  }
  return held;
}

std::optional<uint32_t> RunCarriedTool(BootMachine& machine, const std::wstring& toolPath,
                                       const std::wstring& arguments, std::string* output) {
  const std::unique_ptr<HeldFile> held = HoldCarriedTool(machine, toolPath);
  if (!held) return std::nullopt;
  const std::wstring line = ToolCommandLine(toolPath, arguments);
  return output ? machine.runner.RunForOutput(line, output) : machine.runner.RunForExitCode(line);
}

bool RunTool(BootMachine& machine, const std::wstring& toolPath, const std::wstring& arguments) {
  return RunCarriedTool(machine, toolPath, arguments).has_value();
}

bool RunToolSucceeded(BootMachine& machine, const std::wstring& toolPath,
                      const std::wstring& arguments) {
  const std::optional<uint32_t> code = RunCarriedTool(machine, toolPath, arguments);
  return code && *code == 0;
}

std::vector<std::wstring> BootFileAttributeCommands(wchar_t x, const BootTakeoverSettings& s,
                                                    bool hide) {
  const wchar_t* sw = hide ? L"+h +s +r" : L"-h -s -r";
  return {
      Format(L"cmd /c attrib %ls \"%lc:\\GHOST.*\"", sw, x),
      Format(L"cmd /c attrib %ls \"%lc:\\boot.in*\"", sw, x),
      Format(L"cmd /c attrib %ls \"%lc:\\*.ima\"", sw, x),
      Format(L"cmd /c attrib %ls \"%lc:\\%ls\"", sw, x, s.LoaderName().c_str()),
      Format(L"cmd /c attrib %ls \"%lc:\\%ls\"", sw, x, s.LoaderBootSectorName().c_str()),
  };
}

void HideBootFiles(BootMachine& machine) {
  for (const std::wstring& line :
       BootFileAttributeCommands(machine.settings.bootDrive, machine.settings, true)) {
    machine.runner.RunHiddenAndWait(line);
  }
}

void UnhideBootFiles(BootMachine& machine) {
  for (const std::wstring& line :
       BootFileAttributeCommands(machine.settings.bootDrive, machine.settings, false)) {
    machine.runner.RunHiddenAndWait(line);
  }
}

}  // namespace kavi
