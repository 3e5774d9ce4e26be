#include "restore/agent/wim_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kavi {
namespace restore {
namespace {

// The value after "Key:" on a line that starts with the key.
bool FieldValue(const std::string& line, const char* key, uint64_t* value) {
  const size_t n = std::strlen(key);
  if (line.compare(0, n, key) != 0) return false;
  size_t at = n;
  while (at < line.size() && line[at] == ' ') ++at;
  if (at >= line.size() || line[at] < '0' || line[at] > '9') return false;
  char* end = nullptr;
  *value = std::strtoull(line.c_str() + at, &end, 10);
  return true;
}

// The text after "Key:" on a line that starts with the key.
bool FieldText(const std::string& line, const char* key, std::string* text) {
  const size_t n = std::strlen(key);
  if (line.compare(0, n, key) != 0) return false;
  size_t at = n;
  while (at < line.size() && line[at] == ' ') ++at;
  *text = line.substr(at);
  return true;
}

int UnitShift(const char* unit) {
  static const char* const kUnits[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
  for (int i = 0; i < 5; ++i) {
    if (std::strcmp(unit, kUnits[i]) == 0) return 10 * i;
  }
  return -1;
}

}  // namespace

ImageKind ClassifyImageHeader(const std::string& firstBytes) {
  if (firstBytes.size() >= 8 && firstBytes.compare(0, 8, std::string("MSWIM\0\0\0", 8)) == 0) {
    return ImageKind::kWim;
  }
  if (firstBytes.size() >= 2 && static_cast<uint8_t>(firstBytes[0]) == 0xFE &&
      static_cast<uint8_t>(firstBytes[1]) == 0xEF) {
    return ImageKind::kGhost;
  }
  return ImageKind::kUnknown;
}

std::optional<WimInfo> ParseWimInfo(const std::string& output) {
  WimInfo info;
  bool counted = false;
  uint64_t expectedIndex = 1;
  bool inImage = false;
  size_t at = 0;
  while (at < output.size()) {
    size_t end = output.find('\n', at);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    at = end + 1;
    uint64_t value = 0;
    if (FieldValue(line, "Image Count:", &value)) {
      if (counted || value > 10000) return std::nullopt;
      info.imageCount = static_cast<int>(value);
      counted = true;
    } else if (FieldValue(line, "Index:", &value)) {
      if (value != expectedIndex) return std::nullopt;
      ++expectedIndex;
      inImage = true;
      info.images.emplace_back();
    } else if (!info.images.empty() && FieldText(line, "Name:", &info.images.back().name)) {
    } else if (!info.images.empty() && FieldValue(line, "Major Version:", &value)) {
      info.images.back().majorVersion = static_cast<int>(value);
    } else if (inImage && FieldValue(line, "Total Bytes:", &value)) {
      info.totalBytes.push_back(value);
      inImage = false;
    }
  }
  if (!counted || info.imageCount < 1 ||
      info.totalBytes.size() != static_cast<size_t>(info.imageCount)) {
    return std::nullopt;
  }
  return info;
}

std::optional<WimProgress> ParseWimProgress(const std::string& line) {
  const size_t colon = line.find(": ");
  if (colon == std::string::npos) return std::nullopt;
  unsigned long long done = 0, total = 0;
  char doneUnit[8] = {}, totalUnit[8] = {};
  int percent = -1, consumed = 0;
  if (std::sscanf(line.c_str() + colon + 2, "%llu %7s of %llu %7s (%d%%) done%n", &done, doneUnit,
                  &total, totalUnit, &percent, &consumed) != 5 ||
      consumed == 0) {
    return std::nullopt;
  }
  const int doneShift = UnitShift(doneUnit), totalShift = UnitShift(totalUnit);
  if (doneShift < 0 || totalShift < 0 || percent < 0 || percent > 100) return std::nullopt;
  WimProgress progress;
  progress.done = static_cast<uint64_t>(done) << doneShift;
  progress.total = static_cast<uint64_t>(total) << totalShift;
  progress.percent = percent;
  return progress;
}

ProgressFigures FiguresOf(int percent, uint64_t taskBytes, double seconds) {
  ProgressFigures figures;
  if (seconds >= 1.0 && percent >= 1) {
    const double done = static_cast<double>(taskBytes) * percent / 100.0;
    figures.megabytesPerSecond = done / seconds / 1e6;
    if (percent < 100) {
      figures.secondsLeft = static_cast<long>(seconds * (100 - percent) / percent + 0.5);
    }
  }
  return figures;
}

std::string ProgressText(int percent, uint64_t taskBytes, double seconds) {
  char text[80];
  int n = std::snprintf(text, sizeof(text), "%3d%%", percent);
  const ProgressFigures f = FiguresOf(percent, taskBytes, seconds);
  if (f.megabytesPerSecond >= 0) {
    n += std::snprintf(text + n, sizeof(text) - n, "   %.1f MB/s", f.megabytesPerSecond);
  }
  if (f.secondsLeft >= 0) {
    std::snprintf(text + n, sizeof(text) - n, "   %ld:%02ld left", f.secondsLeft / 60,
                  f.secondsLeft % 60);
  }
  return text;
}

std::string SizeText(uint64_t bytes) {
  char text[32];
  const double mib = static_cast<double>(bytes) / (1024.0 * 1024.0);
  if (mib >= 10240.0) {
    std::snprintf(text, sizeof(text), "%.1f GiB", mib / 1024.0);
  } else {
    std::snprintf(text, sizeof(text), "%.1f MiB", mib);
  }
  return text;
}

void ApplyWimXml(const std::string& xml, WimInfo* info) {
  std::string text;  // the ASCII of the UTF-16 is all the tags need
  for (size_t i = 0; i + 1 < xml.size(); i += 2) {
    if (xml[i + 1] == '\0') text += xml[i];
  }
  for (size_t n = 0; n < info->images.size(); ++n) {
    const size_t at = text.find("<IMAGE INDEX=\"" + std::to_string(n + 1) + "\"");
    const size_t end = text.find("</IMAGE>", at);
    if (at == std::string::npos || end == std::string::npos) continue;
    const auto number = [&](const std::string& tag) {
      const size_t found = text.find("<" + tag + ">", at);
      return found < end ? std::atoi(text.c_str() + found + tag.size() + 2) : 0;
    };
    info->images[n].minorVersion = number("MINOR");
    info->images[n].build = number("BUILD");
    const size_t arch = text.find("<ARCH>", at);
    if (arch == std::string::npos || arch > end) continue;
    const int value = std::atoi(text.c_str() + arch + 6);
    static const char* const kNames[] = {"x86", "MIPS", "Alpha", "PPC", "SHX", "ARM", "IA64"};
    info->images[n].architecture = value == 9                 ? "x86_64"
                                   : value == 12              ? "ARM64"
                                   : value >= 0 && value <= 6 ? kNames[value]
                                                              : std::to_string(value);
  }
}

}  // namespace restore
}  // namespace kavi
