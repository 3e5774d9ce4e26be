// The payloads the next boot needs, written from the executable's "GHOST"
// resources, the tool runner for bcdedit, and the attribute commands that
// hide the boot files between takeovers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "boot/boot_machine.h"

namespace kavi {

// Creates the file (replacing it), then writes the resource into it in one
// call. A missing or empty resource leaves the file behind empty and fails.
bool WriteResourceToFile(BootFiles& files, PayloadResources& resources, const std::wstring& path,
                         uint16_t id, const std::wstring& type);

// True when the resource exists and is not empty.
bool HasPayloadResource(PayloadResources& resources, uint16_t id, const std::wstring& type);

// The UEFI road's file `index` (kEfiFileNames) as carried; empty when it is not.
std::string CarriedEfiFile(PayloadResources& resources, const std::wstring& type, size_t index);

// "X:\KV.ima" from resource `imageId` (the DOS floppy or the restore
// environment), "X:\kvldr" and, with the flag, "X:\kvldr.mbr" on the boot
// drive, in this order; stops at the first that cannot be written.
bool WriteBootPayloads(BootMachine& machine, uint16_t imageId, bool withBootSector);

// True when every payload WriteBootPayloads would write is carried.
bool HasBootPayloads(BootMachine& machine, uint16_t imageId, bool withBootSector);

// The carried tool at `toolPath` (the settings' bcdedit, bcdboot or dspt
// path) held open, when its bytes are those of the resource it was written
// from; null when it is another file, or has changed, or cannot be held.
std::unique_ptr<HeldFile> HoldCarriedTool(BootMachine& machine, const std::wstring& toolPath);

// "TOOL ARGUMENTS"; the tool path is not quoted (the tools folder is a short
// path). Every run of a carried tool checks it first and holds it until the
// run ends: a tool that was changed is not run. RunTool reports only
// whether the tool could be started.
std::wstring ToolCommandLine(const std::wstring& toolPath, const std::wstring& arguments);
// The exit code of the carried tool; with `output`, what it wrote there.
// None when it was not run.
std::optional<uint32_t> RunCarriedTool(BootMachine& machine, const std::wstring& toolPath,
                                       const std::wstring& arguments,
                                       std::string* output = nullptr);
bool RunTool(BootMachine& machine, const std::wstring& toolPath, const std::wstring& arguments);
// The tool ran and exited with 0.
bool RunToolSucceeded(BootMachine& machine, const std::wstring& toolPath,
                      const std::wstring& arguments);

// The five attrib command lines, in order, hiding (+h +s +r) or unhiding.
std::vector<std::wstring> BootFileAttributeCommands(wchar_t bootDrive,
                                                    const BootTakeoverSettings& settings,
                                                    bool hide);
void HideBootFiles(BootMachine& machine);
void UnhideBootFiles(BootMachine& machine);

}  // namespace kavi
