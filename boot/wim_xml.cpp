#include "boot/wim_xml.h"

#include <cstdlib>

namespace kavi {
namespace {

constexpr size_t kXmlEntry = 0x48;  // the XML's resource entry in the header
constexpr uint8_t kResourceCompressed = 0x04;

uint64_t Le(const std::string& b, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + i]);
  return v;
}

// UTF-16LE to UTF-8 (the BMP; surrogates become '?').
std::string Utf8(const std::string& utf16) {
  std::string out;
  size_t i = utf16.size() >= 2 && Le(utf16, 0, 2) == 0xFEFF ? 2 : 0;
  for (; i + 1 < utf16.size(); i += 2) {
    const uint32_t c = static_cast<uint32_t>(Le(utf16, i, 2));
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c >= 0xD800 && c < 0xE000) {
      out += '?';
    } else {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// The text of the first <tag>...</tag> in [from, to); none when absent.
std::optional<std::string> Element(const std::string& xml, size_t from, size_t to,
                                   const std::string& tag) {
  const size_t open = xml.find("<" + tag + ">", from);
  if (open == std::string::npos || open >= to) return std::nullopt;
  const size_t start = open + tag.size() + 2;
  const size_t close = xml.find("</" + tag + ">", start);
  if (close == std::string::npos || close > to) return std::nullopt;
  return xml.substr(start, close - start);
}

int Number(const std::optional<std::string>& text, int otherwise) {
  if (!text || text->empty()) return otherwise;
  char* end = nullptr;
  const long v = std::strtol(text->c_str(), &end, 0);
  return *end == '\0' && v >= 0 && v < 1 << 20 ? static_cast<int>(v) : otherwise;
}

}  // namespace

std::optional<WimXmlPlace> WimXmlPlaceOf(const std::string& header) {
  if (header.size() < kWimHeaderBytes || header.compare(0, 8, std::string("MSWIM\0\0\0", 8)) != 0) {
    return std::nullopt;
  }
  WimXmlPlace place;
  place.size = Le(header, kXmlEntry, 7);
  const uint8_t flags = static_cast<uint8_t>(header[kXmlEntry + 7]);
  place.offset = Le(header, kXmlEntry + 8, 8);
  if (place.size == 0 || place.size > kWimXmlLimit || (flags & kResourceCompressed) ||
      Le(header, kXmlEntry + 16, 8) != place.size) {
    return std::nullopt;
  }
  return place;
}

std::vector<WimImageFacts> ParseWimXml(const std::string& utf16) {
  const std::string xml = Utf8(utf16);
  std::vector<WimImageFacts> images;
  size_t at = 0;
  while ((at = xml.find("<IMAGE INDEX=\"", at)) != std::string::npos) {
    const size_t end = xml.find("</IMAGE>", at);
    if (end == std::string::npos) break;
    WimImageFacts image;
    image.index = std::atoi(xml.c_str() + at + 14);
    image.arch = Number(Element(xml, at, end, "ARCH"), -1);
    image.major = Number(Element(xml, at, end, "MAJOR"), 0);
    image.minor = Number(Element(xml, at, end, "MINOR"), 0);
    image.build = Number(Element(xml, at, end, "BUILD"), 0);
    image.name = Element(xml, at, end, "NAME").value_or("");
    images.push_back(image);
    at = end;
  }
  return images;
}

bool OlderThanWindows8(const WimImageFacts& image) {
  if (image.build > 0) return image.build < 9200;
  return image.major > 0 && (image.major < 6 || (image.major == 6 && image.minor < 2));
}

ImageFit CheckImageFit(const WimImageFacts& image, const MachineFacts& machine) {
  if (image.arch == kWimArchX64 && !machine.cpuX64) return ImageFit::kNeedsX64Processor;
  if (image.arch == kWimArchX86 && machine.uefi) return ImageFit::kNoUefiLoader;
  // Refused by the firmware once C: is written, or hanging without a video BIOS.
  if (machine.uefi && machine.secureBoot && OlderThanWindows8(image)) {
    return ImageFit::kNeedsSecureBootOff;
  }
  // NTLDR's volume boot code and boot.ini cannot start the boot manager.
  if (machine.bootIni && image.major >= 6) return ImageFit::kNeedsBootManager;
  return ImageFit::kFits;
}

}  // namespace kavi
