// The two files the Windows side leaves beside KV.ima: the one-line Ghost
// script (Ghost.ba_, code page 936 bytes) and the disk record (Ghost.map)
// that pins each Ghost designation to a disk (MBR signature, or GPT disk and
// partition GUIDs) and a byte range.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "restore/agent/gpt.h"

namespace kavi {
namespace restore {

// Ghost's "disk:partition", both 1-based.
struct Designation {
  int disk = 0;
  int partition = 0;

  bool operator==(const Designation& o) const { return disk == o.disk && partition == o.partition; }
  bool operator!=(const Designation& o) const { return !(*this == o); }
};

std::string DesignationText(const Designation& d);  // "1:2"

enum class TaskMode { kLoad, kDump };

struct GhostTask {
  TaskMode mode = TaskMode::kLoad;
  // Load: the image's partition -> target. Dump: source -> the image's partition.
  Designation source;
  Designation target;
  Designation imagePartition;
  // The path on the image's partition as the script holds it: code page 936
  // bytes with backslashes, starting with one ("\DURozazo\SYS.GHO").
  std::string imagePath;
  int imageIndex = 1;  // load only: which image of the file
};

struct ScriptResult {
  bool ok = false;
  GhostTask task;
  std::string error;  // English, when !ok
};

// Accepts the Ghost command line followed by "restart", lines ended by CRLF
// or LF. A carriage return anywhere else, a zero byte, another program or a
// mode other than pload/pdump is refused with the reason.
ScriptResult ParseGhostScript(const std::string& bytes);

// Every partition the task names, each once: source first.
std::vector<Designation> TaskDesignations(const GhostTask& task);

struct DiskRecordLine {
  Designation designation;
  uint32_t signature = 0;  // mbr= lines
  uint64_t start = 0;      // bytes
  uint64_t length = 0;     // bytes
  bool gpt = false;
  Guid diskGuid;       // gpt= lines
  Guid partitionGuid;  // part=
};

// The image file a load was checked against before the restart.
struct ImageBinding {
  uint64_t size = 0;
  std::string md5;  // 32 lower-case hex digits
};

struct DiskRecordResult {
  bool ok = false;
  std::vector<DiskRecordLine> lines;
  std::optional<ImageBinding> image;
  std::string error;
};

// "KAVI-DISKMAP 1" then "d:p mbr=XXXXXXXX start=N length=N" and
// "d:p gpt=DISKGUID part=PARTGUID start=N length=N" lines (CRLF or LF,
// single spaces, upper-case hex, GUIDs without braces and not zero); a
// designation may appear only once. At most one "image size=N md5=HEX"
// line (lower-case hex) binds a load to the bytes that were checked.
DiskRecordResult ParseDiskRecord(const std::string& bytes);

// One line as the Windows side writes it, without the line end.
std::string DiskRecordText(const DiskRecordLine& line);
std::string ImageBindingText(const ImageBinding& image);

}  // namespace restore
}  // namespace kavi
