// Which embedded image becomes KV.ima for a takeover. The open restore
// environment loads WIM and ESD files and makes every backup; the DOS floppy
// with Ghost, carried only when the build was given its files, loads Ghost
// images. The choice is made from the image file's first bytes, before
// anything is written.
#pragma once

#include <cstdint>
#include <string>

#include "boot/takeover.h"

namespace kavi {

enum class ImageFormat {
  kWim,    // "MSWIM\0\0\0": WIM or ESD
  kGhost,  // FE EF
  kUnknown,
};

constexpr size_t kImageHeaderSize = 8;

ImageFormat ImageFormatOf(const std::string& head);

struct PayloadChoice {
  TakeoverResult result;  // kArmed when an embedded payload can handle it
  uint16_t imageId;       // the resource written as KV.ima
};

// Backup (kTakeoverBackup): the restore environment. Restore: by the image
// file's header; kImageUnreadable, kImageUnknown or kImageNeedsGhost (a
// Ghost image while no floppy is carried) when none can.
PayloadChoice ChooseImagePayload(BootMachine& machine, int mode, const std::wstring& imagePath);

// Whether this machine can start the Windows in a WIM/ESD file's image 1,
// by the file's own XML (wim_xml): kArmed when it can or the XML does not
// tell; kImageNeedsX64, kImageNoUefiLoader or kImageNeedsBootManager.
TakeoverResult CheckImageForMachine(BootMachine& machine, const std::wstring& imagePath, bool uefi,
                                    bool bootIni);

}  // namespace kavi
