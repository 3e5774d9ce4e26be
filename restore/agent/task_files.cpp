#include "restore/agent/task_files.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace kavi {
namespace restore {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Splits on LF, dropping one CR right before each LF. False when a CR stands
// anywhere else or a zero byte appears: such a file was not written by us.
bool SplitLines(const std::string& bytes, std::vector<std::string>* lines, std::string* error) {
  std::string line;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\0') {
      *error = "a zero byte at offset " + std::to_string(i);
      return false;
    }
    if (c == '\r') {
      if (i + 1 >= bytes.size() || bytes[i + 1] != '\n') {
        *error = "a carriage return without line feed at offset " + std::to_string(i);
        return false;
      }
      continue;
    }
    if (c == '\n') {
      lines->push_back(line);
      line.clear();
      continue;
    }
    line += c;
  }
  if (!line.empty()) lines->push_back(line);
  return true;
}

// Reads "d:p" at `at`; advances `at` past it. Ghost numbers from 1 and no
// machine has hundreds of disks or partitions.
bool ReadDesignation(const std::string& text, size_t* at, Designation* out) {
  int values[2] = {0, 0};
  for (int part = 0; part < 2; ++part) {
    if (part == 1) {
      if (*at >= text.size() || text[*at] != ':') return false;
      ++*at;
    }
    size_t digits = 0;
    while (*at < text.size() && IsDigit(text[*at]) && digits < 4) {
      values[part] = values[part] * 10 + (text[*at] - '0');
      ++*at;
      ++digits;
    }
    if (digits == 0 || values[part] == 0) return false;
    if (*at < text.size() && IsDigit(text[*at])) return false;
  }
  out->disk = values[0];
  out->partition = values[1];
  return true;
}

bool ParseBareDesignation(const std::string& text, Designation* out) {
  size_t at = 0;
  return ReadDesignation(text, &at, out) && at == text.size();
}

// "d:p\path": the designation and the path from its first backslash.
bool ParseFileDesignation(const std::string& text, Designation* partition, std::string* path) {
  size_t at = 0;
  if (!ReadDesignation(text, &at, partition)) return false;
  if (at >= text.size() || text[at] != '\\' || at + 1 >= text.size()) return false;
  *path = text.substr(at);
  return true;
}

// The switch value after "key=" in the comma-separated -clone group; quoted
// values keep everything up to the closing quote.
bool CloneValue(const std::string& group, const char* key, std::string* value) {
  const std::string wanted = std::string(key) + "=";
  size_t at = 0;
  while (at <= group.size()) {
    size_t end = at;
    bool quoted = false;
    while (end < group.size() && (quoted || group[end] != ',')) {
      if (group[end] == '"') quoted = !quoted;
      ++end;
    }
    const std::string item = group.substr(at, end - at);
    if (item.compare(0, wanted.size(), wanted) == 0) {
      std::string v = item.substr(wanted.size());
      if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
      if (v.find('"') != std::string::npos) return false;
      *value = v;
      return true;
    }
    at = end + 1;
  }
  return false;
}

std::string LowerAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

ScriptResult ScriptError(const std::string& error) {
  ScriptResult r;
  r.error = error;
  return r;
}

}  // namespace

std::string DesignationText(const Designation& d) {
  return std::to_string(d.disk) + ":" + std::to_string(d.partition);
}

ScriptResult ParseGhostScript(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string error;
  if (!SplitLines(bytes, &lines, &error)) return ScriptError("the script holds " + error);
  std::vector<std::string> used;
  for (const std::string& line : lines) {
    if (!line.empty()) used.push_back(line);
  }
  if (used.empty()) return ScriptError("the script is empty");
  if (used.size() > 2 || (used.size() == 2 && LowerAscii(used[1]) != "restart")) {
    return ScriptError("the script holds more than one Ghost command and \"restart\"");
  }
  const std::string& command = used[0];
  if (LowerAscii(command.substr(0, 10)) != "ghost.exe ") {
    return ScriptError("the script does not start Ghost.exe");
  }
  const size_t clone = command.find(" -clone,");
  if (clone == std::string::npos) return ScriptError("the script has no -clone switch");
  // The group runs to the next space outside quotes.
  size_t end = clone + 8;
  bool quoted = false;
  while (end < command.size() && (quoted || command[end] != ' ')) {
    if (command[end] == '"') quoted = !quoted;
    ++end;
  }
  if (quoted) return ScriptError("the -clone switch has an unclosed quote");
  const std::string group = command.substr(clone + 8, end - clone - 8);

  std::string mode, src, dst;
  if (!CloneValue(group, "mode", &mode) || !CloneValue(group, "src", &src) ||
      !CloneValue(group, "dst", &dst)) {
    return ScriptError("the -clone switch lacks mode, src or dst");
  }
  ScriptResult result;
  GhostTask& task = result.task;
  if (mode == "pload") {
    task.mode = TaskMode::kLoad;
    // "d:p\path:N": the image number follows the path's last colon.
    const size_t colon = src.rfind(':');
    Designation image;
    std::string path;
    if (colon == std::string::npos || colon + 1 >= src.size() ||
        !ParseFileDesignation(src.substr(0, colon), &image, &path)) {
      return ScriptError("the load source is not a partition, a path and an image number");
    }
    int index = 0;
    for (size_t i = colon + 1; i < src.size(); ++i) {
      if (!IsDigit(src[i]) || index > 999) return ScriptError("the image number is not a number");
      index = index * 10 + (src[i] - '0');
    }
    if (index < 1) return ScriptError("the image number is not a number");
    if (!ParseBareDesignation(dst, &task.target)) {
      return ScriptError("the load target is not a partition");
    }
    task.source = image;
    task.imagePartition = image;
    task.imagePath = path;
    task.imageIndex = index;
  } else if (mode == "pdump") {
    task.mode = TaskMode::kDump;
    if (!ParseBareDesignation(src, &task.source)) {
      return ScriptError("the dump source is not a partition");
    }
    if (!ParseFileDesignation(dst, &task.imagePartition, &task.imagePath)) {
      return ScriptError("the dump destination is not a partition and a path");
    }
    task.target = task.imagePartition;
  } else {
    return ScriptError("the mode \"" + mode + "\" is neither pload nor pdump");
  }
  result.ok = true;
  return result;
}

std::vector<Designation> TaskDesignations(const GhostTask& task) {
  std::vector<Designation> all = {task.source};
  if (task.target != task.source) all.push_back(task.target);
  return all;
}

std::string DiskRecordText(const DiskRecordLine& line) {
  std::string text = DesignationText(line.designation);
  if (line.gpt) {
    text += " gpt=" + GuidText(line.diskGuid) + " part=" + GuidText(line.partitionGuid);
  } else {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", line.signature);
    text += std::string(" mbr=") + hex;
  }
  return text + " start=" + std::to_string(line.start) + " length=" + std::to_string(line.length);
}

std::string ImageBindingText(const ImageBinding& image) {
  return "image size=" + std::to_string(image.size) + " md5=" + image.md5;
}

DiskRecordResult ParseDiskRecord(const std::string& bytes) {
  DiskRecordResult result;
  std::vector<std::string> lines;
  std::string error;
  if (!SplitLines(bytes, &lines, &error)) {
    result.error = "the disk record holds " + error;
    return result;
  }
  if (lines.empty() || lines[0] != "KAVI-DISKMAP 1") {
    result.error = "the disk record does not start with KAVI-DISKMAP 1";
    return result;
  }
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty()) continue;
    if (line.compare(0, 6, "image ") == 0) {
      ImageBinding image;
      unsigned long long size = 0;
      char md5[33] = {};
      const bool read =
          std::sscanf(line.c_str(), "image size=%llu md5=%32[0-9a-f]", &size, md5) == 2;
      image.size = size;
      image.md5 = md5;
      if (!read || image.md5.size() != 32 || line != ImageBindingText(image) || result.image) {
        result.error = "line " + std::to_string(i + 1) + " of the disk record is malformed";
        return result;
      }
      result.image = image;
      continue;
    }
    DiskRecordLine record;
    size_t at = 0;
    char hex[9] = {}, disk[37] = {}, part[37] = {};
    unsigned long long start = 0, length = 0;
    bool shaped = ReadDesignation(line, &at, &record.designation);
    if (shaped && std::sscanf(line.c_str() + at, " mbr=%8[0-9A-F] start=%llu length=%llu", hex,
                              &start, &length) == 3) {
      record.signature = static_cast<uint32_t>(std::strtoul(hex, nullptr, 16));
    } else if (shaped && std::sscanf(line.c_str() + at,
                                     " gpt=%36[0-9A-F-] part=%36[0-9A-F-] start=%llu length=%llu",
                                     disk, part, &start, &length) == 4) {
      std::optional<Guid> diskGuid = ParseGuid(disk), partGuid = ParseGuid(part);
      shaped = diskGuid && partGuid && !diskGuid->IsZero() && !partGuid->IsZero();
      if (shaped) {
        record.gpt = true;
        record.diskGuid = *diskGuid;
        record.partitionGuid = *partGuid;
      }
    } else {
      shaped = false;
    }
    record.start = start;
    record.length = length;
    // scanf forgives spaces, signs and leading zeros; we wrote none of them.
    shaped = shaped && line == DiskRecordText(record);
    if (!shaped) {
      result.error = "line " + std::to_string(i + 1) + " of the disk record is malformed";
      return result;
    }
    for (const DiskRecordLine& earlier : result.lines) {
      if (earlier.designation == record.designation) {
        result.error = "the disk record names " + DesignationText(record.designation) + " twice";
        return result;
      }
    }
    result.lines.push_back(record);
  }
  result.ok = true;
  return result;
}

}  // namespace restore
}  // namespace kavi
