#include "boot/image_payload.h"

#include <cwctype>

#include "boot/boot_entries.h"
#include "boot/boot_payloads.h"
#include "boot/wim_xml.h"

namespace kavi {

ImageFormat ImageFormatOf(const std::string& head) {
  static const std::string kWimMagic("MSWIM\0\0\0", kImageHeaderSize);
  if (head.compare(0, kWimMagic.size(), kWimMagic) == 0) return ImageFormat::kWim;
  if (head.size() >= 2 && static_cast<uint8_t>(head[0]) == 0xFE &&
      static_cast<uint8_t>(head[1]) == 0xEF) {
    return ImageFormat::kGhost;
  }
  return ImageFormat::kUnknown;
}

namespace {

// The restore environment writes the system partition whole (a load) or
// reads it whole while writing the image (a backup): the image file cannot
// live on it.
bool OnSystemDrive(const BootMachine& m, const std::wstring& imagePath) {
  return !imagePath.empty() && std::towupper(imagePath[0]) == std::towupper(m.systemDrive);
}

}  // namespace

PayloadChoice ChooseImagePayload(BootMachine& m, int mode, const std::wstring& imagePath) {
  const BootTakeoverSettings& s = m.settings;
  if (mode == kTakeoverBackup) {
    if (OnSystemDrive(m, imagePath)) return {TakeoverResult::kBackupIntoSystem, 0};
    return {TakeoverResult::kArmed, s.environmentImageId};
  }
  std::string head;
  if (!m.files.ReadStart(imagePath, kImageHeaderSize, &head)) {
    return {TakeoverResult::kImageUnreadable, 0};
  }
  switch (ImageFormatOf(head)) {
    case ImageFormat::kWim:
      if (OnSystemDrive(m, imagePath)) return {TakeoverResult::kImageOnSystemDrive, 0};
      return {TakeoverResult::kArmed, s.environmentImageId};
    case ImageFormat::kGhost:
      if (!HasPayloadResource(m.resources, s.payloadIds[0], s.resourceType)) {
        return {TakeoverResult::kImageNeedsGhost, 0};
      }
      return {TakeoverResult::kArmed, s.payloadIds[0]};
    case ImageFormat::kUnknown:
      break;
  }
  return {TakeoverResult::kImageUnknown, 0};
}

TakeoverResult CheckImageForMachine(BootMachine& m, const std::wstring& imagePath, bool uefi,
                                    bool bootIni) {
  std::string header, xml;
  if (!m.files.ReadStart(imagePath, kWimHeaderBytes, &header)) return TakeoverResult::kArmed;
  const std::optional<WimXmlPlace> place = WimXmlPlaceOf(header);
  if (!place || !m.files.ReadAt(imagePath, place->offset, static_cast<size_t>(place->size), &xml)) {
    return TakeoverResult::kArmed;
  }
  // The task writes image 1.
  for (const WimImageFacts& image : ParseWimXml(xml)) {
    if (image.index != 1) continue;
    switch (CheckImageFit(
        image, MachineFacts{uefi, m.firmware.cpuX64, bootIni, uefi && m.firmware.secureBoot})) {
      case ImageFit::kFits:
        break;
      case ImageFit::kNeedsX64Processor:
        return TakeoverResult::kImageNeedsX64;
      case ImageFit::kNoUefiLoader:
        return TakeoverResult::kImageNoUefiLoader;
      case ImageFit::kNeedsBootManager:
        return TakeoverResult::kImageNeedsBootManager;
      case ImageFit::kNeedsSecureBootOff:
        return TakeoverResult::kImageNeedsSecureBootOff;
    }
  }
  return TakeoverResult::kArmed;
}

}  // namespace kavi
