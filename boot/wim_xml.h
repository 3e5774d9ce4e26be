// What a WIM or ESD file says of the Windows it holds, read from the file
// itself without wimlib: the header names where the XML lies (near the end,
// stored uncompressed as UTF-16), so two small reads suffice. And whether
// this machine can start that Windows once it is written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kavi {

constexpr size_t kWimHeaderBytes = 208;
constexpr uint64_t kWimXmlLimit = 8 << 20;

struct WimXmlPlace {
  uint64_t offset = 0;
  uint64_t size = 0;
};

// From the header's XML resource entry; none for another header, or an
// XML that is compressed, empty or larger than kWimXmlLimit.
std::optional<WimXmlPlace> WimXmlPlaceOf(const std::string& header);

// WINDOWS/ARCH values.
constexpr int kWimArchX86 = 0;
constexpr int kWimArchX64 = 9;

struct WimImageFacts {
  int index = 0;
  int arch = -1;     // -1 when the XML does not say
  int major = 0;     // WINDOWS/VERSION/MAJOR, 0 when not said
  int minor = 0;     // MINOR
  int build = 0;     // BUILD, 0 when not said
  std::string name;  // NAME, as UTF-8
};

// Each <IMAGE INDEX="n"> of the XML (UTF-16LE, with or without its BOM).
std::vector<WimImageFacts> ParseWimXml(const std::string& utf16);

struct MachineFacts {
  bool uefi = false;        // the UEFI road (x64 firmware)
  bool cpuX64 = true;       // the processor has long mode
  bool bootIni = false;     // Windows starts through NTLDR and boot.ini
  bool secureBoot = false;  // UEFI with Secure Boot on
};

// Windows 7, Vista, XP and older: their boot managers are not signed for
// Secure Boot (Windows 8 is build 9200, NT 6.2). False when the XML says no
// version.
bool OlderThanWindows8(const WimImageFacts& image);

enum class ImageFit {
  kFits,
  kNeedsX64Processor,   // x64 Windows, a processor without long mode
  kNoUefiLoader,        // x86 Windows on x64 UEFI firmware
  kNeedsBootManager,    // Vista or later where NTLDR's boot code starts Windows
  kNeedsSecureBootOff,  // Windows 7 or older where Secure Boot is on
};

ImageFit CheckImageFit(const WimImageFacts& image, const MachineFacts& machine);

}  // namespace kavi
