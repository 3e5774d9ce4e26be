// The record every step of the boot takeover works from: the boot drive,
// the tool paths, the fixed boot entry identifier and the payload names.
// Filled once, at the end of the working-path set-up, on the UI thread;
// read-only afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/working_state.h"

namespace kavi {

// Resource type and ids of the payloads the program carries.
constexpr const wchar_t* kPayloadResourceType = L"GHOST";
constexpr uint16_t kBcdeditResourceId = 137;
constexpr uint16_t kDsptResourceId = 142;
constexpr uint16_t kBcdbootResourceId = 143;
constexpr uint16_t kBcdsectResourceId = 144;
constexpr uint16_t kFloppyImageResourceId = 145;
constexpr uint16_t kLoaderResourceId = 146;
constexpr uint16_t kLoaderBootSectorResourceId = 147;
// The open restore environment, written as KV.ima in place of the floppy for
// WIM images and backups.
constexpr uint16_t kRestoreEnvironmentResourceId = 148;
// The UEFI road's files, resources 149 to 154 in this order, written into
// the folder kEfiFolder of the EFI system partition. The first is the one the
// firmware starts.
constexpr uint16_t kEfiFirstResourceId = 149;
constexpr size_t kEfiFileCount = 6;
constexpr const wchar_t* kEfiFileNames[kEfiFileCount] = {
    L"shimx64.efi", L"mmx64.efi", L"grubx64.efi", L"grub.cfg", L"vmlinuz", L"initrd.img"};
constexpr size_t kEfiShimIndex = 0;
constexpr size_t kEfiGrubIndex = 2;
constexpr const wchar_t* kEfiFolder = L"EFI\\KaviRestore";

constexpr const wchar_t* kBootEntryId = L"DD97BC62-B9FD-466E-89A6-DCCF8465F855";

struct BootTakeoverSettings {
  wchar_t bootDrive = 0;
  std::wstring bcdbootPath;
  std::wstring bcdeditPath;
  std::wstring dsptPath;
  std::wstring entryId;
  uint16_t payloadIds[3] = {};
  std::wstring payloadNames[3];     // same order as payloadIds
  uint16_t environmentImageId = 0;  // written as payloadNames[0] instead
  std::wstring resourceType;
  std::wstring scriptFileName;

  const std::wstring& FloppyImageName() const { return payloadNames[0]; }
  const std::wstring& LoaderName() const { return payloadNames[1]; }
  const std::wstring& LoaderBootSectorName() const { return payloadNames[2]; }
};

// The settings of a run whose working state is `fields`.
BootTakeoverSettings MakeBootTakeoverSettings(const WorkingFields& fields);

// The process-wide record: empty until InitBootTakeoverSettings has run.
const BootTakeoverSettings& BootSettings();
void InitBootTakeoverSettings(const WorkingFields& fields);
// From the process-wide working state.
void InitBootTakeoverSettings();

}  // namespace kavi
