// What the agent reads from image files and from wimlib-imagex: the file
// header kind, the facts of `wimlib-imagex info`, and the progress lines of
// apply, capture and verify turned into a short plain-ASCII status.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kavi {
namespace restore {

enum class ImageKind { kWim, kGhost, kUnknown };

// "MSWIM\0\0\0" starts WIM and ESD files; Ghost images start with FE EF.
ImageKind ClassifyImageHeader(const std::string& firstBytes);

// What an image's XML says of the Windows it holds; empty when not said.
struct WimImageFacts {
  std::string name;
  // "x86", "x86_64", "ARM64", ...: from the XML's ARCH only, since
  // `wimlib-imagex info` shows "x86" for an image that names none.
  std::string architecture;
  int majorVersion = 0;
  int minorVersion = 0;  // from the XML's VERSION, with its BUILD
  int build = 0;         // 0 when not said
};

struct WimInfo {
  int imageCount = 0;
  // Total Bytes of each image, index 1 first.
  std::vector<uint64_t> totalBytes;
  std::vector<WimImageFacts> images;  // index 1 first
};

// The "Image Count:" line and each image's "Total Bytes:" line in order of
// "Index:", with each image's "Name:" and "Major Version:".
// None when the count is missing or disagrees with the images.
std::optional<WimInfo> ParseWimInfo(const std::string& output);

// Each image's architecture, minor version and build from the XML
// `wimlib-imagex info IMAGE --xml` prints (UTF-16LE); images whose XML has
// no ARCH keep none.
void ApplyWimXml(const std::string& xml, WimInfo* info);

struct WimProgress {
  uint64_t done = 0;   // bytes, at the unit's precision
  uint64_t total = 0;  // bytes, at the unit's precision
  int percent = 0;
};

// "Extracting file data: 12 MiB of 28 MiB (43%) done" and the like of any
// phase; units bytes, KiB, MiB, GiB, TiB. None for other lines.
std::optional<WimProgress> ParseWimProgress(const std::string& line);

struct ProgressFigures {
  double megabytesPerSecond = -1;  // below 0: not known yet
  long secondsLeft = -1;
};

// The rate and the time left from the percent, the bytes the whole task
// covers and the seconds since it started: known once a second and a percent
// have passed; no time left at 100 %.
ProgressFigures FiguresOf(int percent, uint64_t taskBytes, double seconds);

// " 43%   12.5 MB/s   1:02 left" from the percent, the bytes the whole
// task covers and the seconds since it started. Rate and time are left out
// until they mean something (a second and a percent have passed).
std::string ProgressText(int percent, uint64_t taskBytes, double seconds);

// "61.2 MiB"
std::string SizeText(uint64_t bytes);

}  // namespace restore
}  // namespace kavi
