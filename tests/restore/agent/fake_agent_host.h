// Substitutes for the agent's seams: partitions whose file trees live in
// memory (reachable only while mounted, writable only when mounted so),
// block devices that keep every write, a tool runner that plays mkntfs,
// stat, the agent's own MD5, hivexsh and wimlib-imagex, a console with a clock that moves one
// second per call, and firmware that says BIOS unless told otherwise.
#pragma once

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "restore/agent/agent_host.h"
#include "restore/agent/ntfs_boot.h"

namespace kavi {
namespace restore {
namespace testing_agent {

struct Node {
  Node(bool isDirectory = false, std::string contents = "", std::string descriptor = "")
      : directory(isDirectory), bytes(std::move(contents)), security(std::move(descriptor)) {}

  bool directory = false;
  std::string bytes;
  // NTFS's security descriptor; empty is ntfs-3g's own for what it creates
  // (everyone full control). Trees compare by contents only.
  std::string security;

  bool operator==(const Node& o) const { return directory == o.directory && bytes == o.bytes; }
};

// Files of one partition by path below its root ("/Boot/BCD"); folders too.
using Tree = std::map<std::string, Node>;

// What the stand-in MD5 prints for a file's bytes: 32 hex digits that
// differ when the bytes do.
inline std::string FakeMd5(const std::string& bytes) {
  char hex[40];
  std::snprintf(hex, sizeof hex, "%016llx%016llx",
                static_cast<unsigned long long>(std::hash<std::string>{}(bytes)),
                static_cast<unsigned long long>(std::hash<std::string>{}(bytes + "#")));
  return std::string(hex, 32);
}

// An EFI_LOAD_OPTION whose path list holds just the file path's text.
inline std::string LoadOptionValue(const std::string& description, const std::string& file) {
  auto utf16 = [](const std::string& text) {
    std::string wide;
    for (char c : text) wide += std::string{c, '\0'};
    return wide + std::string(2, '\0');
  };
  const std::string path = utf16(file);
  return std::string{1, 0, 0, 0, static_cast<char>(path.size()), 0} + utf16(description) + path;
}

inline std::vector<uint8_t> NtfsBootRegion(uint8_t codeFill, uint32_t hidden) {
  std::vector<uint8_t> r(kNtfsBootRegionSize, codeFill);
  std::fill(r.begin(), r.begin() + 0x54, 0);
  const uint8_t bpb[] = {0xEB, 0x52, 0x90, 'N', 'T', 'F', 'S', ' ', ' ', ' ', ' ', 0x00, 0x02, 8};
  std::copy(bpb, bpb + sizeof(bpb), r.begin());
  r[0x18] = 63;   // sectors per track
  r[0x1A] = 255;  // heads
  for (int i = 0; i < 4; ++i) r[0x1C + i] = static_cast<uint8_t>(hidden >> (8 * i));
  r[0x28] = 0xFF;  // total sectors 0x31FFF: the backup boot sector follows
  r[0x29] = 0x1F;
  r[0x2A] = 0x03;
  r[510] = 0x55;
  r[511] = 0xAA;
  return r;
}

class FakeMachine : public DiskAccess,
                    public VolumeAccess,
                    public ToolRunner,
                    public Console,
                    public FirmwareAccess {
 public:
  struct Part {
    FoundPartition found;
    Tree tree;
    std::vector<uint8_t> bootRegion;
  };
  std::vector<Part> parts;
  std::map<std::string, bool> mounted;  // device -> writable
  std::vector<std::pair<std::string, uint64_t>> diskWrites;
  std::map<std::string, std::vector<uint8_t>> written;  // "device@offset" -> bytes
  std::vector<std::vector<std::string>> runs;
  std::vector<std::string> screen;
  // What the graphical screen was told.
  std::vector<ScreenStep> steps;
  ScreenTask task = ScreenTask::kUnknown;
  std::string taskName;
  int verifyStatus = 0;
  int captureStatus = 0;
  int applyStatus = 0;
  int ntfsReadStatus = 0;  // of "kavi-agent --md5-ntfs"
  int ntfscpStatus = 0;
  int dirStatus = 0;  // of "wimlib-imagex dir"
  // Devices nothing can be written to, and those that become so when
  // mkntfs formats them.
  std::set<std::string> readOnly;
  std::set<std::string> lockedByFormat;
  uint32_t formats = 0;
  Tree scratch;           // the environment's /tmp
  std::string infoImage;  // more lines of image 1 in `wimlib-imagex info`
  std::string infoXml;    // what `wimlib-imagex info IMAGE --xml` prints
  std::map<std::string, std::vector<uint8_t>> mbrs;  // "/dev/sda" -> sector 0
  Tree imageFiles = {{"/Windows", {true, ""}}, {"/Windows/explorer.exe", {false, "MZ"}}};
  double clock = 0;
  FirmwareState firmware;
  std::map<uint16_t, std::string> loadOptions;  // Boot#### values
  std::optional<uint16_t> bootNext;
  // Called before each tool runs, as if the machine stopped there.
  std::function<void(const std::vector<std::string>&)> beforeRun;
  // Called before each change to a file or folder (a rename is one change).
  std::function<void()> beforeChange;
  std::function<void(const std::string& file, const std::string& bytes)> beforeWrite;
  // Devices with renames that no unmount has put on the disk yet.
  std::set<std::string> unflushedRenames;

  Part& Add(const std::string& device, uint32_t signature, uint64_t start, FsKind fs,
            uint64_t length = 100ull << 20) {
    Part p;
    p.found.device = device;
    p.found.disk = device.substr(5, 3);
    p.found.signature = signature;
    p.found.start = start;
    p.found.length = length;
    p.found.fs = fs;
    p.bootRegion = NtfsBootRegion(0xC7, static_cast<uint32_t>(start / 512));
    parts.push_back(p);
    return parts.back();
  }
  // A partition of a GPT disk, named by its GUIDs.
  Part& AddGpt(const std::string& device, const std::string& diskGuid,
               const std::string& partitionGuid, uint64_t start, FsKind fs, bool esp = false) {
    Part& p = Add(device, 0, start, fs);
    p.found.style = DiskStyle::kGpt;
    p.found.diskGuid = *ParseGuid(diskGuid);
    p.found.partitionGuid = *ParseGuid(partitionGuid);
    p.found.esp = esp;
    return p;
  }
  Part& PartOf(const std::string& device) {
    for (Part& p : parts) {
      if (p.found.device == device) return p;
    }
    return parts.at(99);
  }
  bool Ran(const std::string& tool, const std::string& verb = "") const {
    for (const auto& argv : runs) {
      if (argv[0] == tool && (verb.empty() || argv.at(1) == verb)) return true;
    }
    return false;
  }

  // DiskAccess
  std::vector<FoundPartition> Partitions() override {
    std::vector<FoundPartition> all;
    for (const Part& p : parts) all.push_back(p.found);
    return all;
  }
  bool Read(const std::string& device, uint64_t offset, size_t size,
            std::vector<uint8_t>* out) override {
    auto mbr = mbrs.find(device);  // a whole disk
    if (mbr != mbrs.end()) {
      out->assign(mbr->second.begin(), mbr->second.begin() + std::min(size, mbr->second.size()));
      return offset == 0 && size <= mbr->second.size();
    }
    bool known = false;
    for (const Part& part : parts) known = known || part.found.device == device;
    if (!known) return false;
    const Part& p = PartOf(device);
    if (offset + size > p.bootRegion.size()) return false;
    out->assign(p.bootRegion.begin() + offset, p.bootRegion.begin() + offset + size);
    return true;
  }
  bool Write(const std::string& device, uint64_t offset,
             const std::vector<uint8_t>& bytes) override {
    diskWrites.push_back({device, offset});
    written[device + "@" + std::to_string(offset)] = bytes;
    return true;
  }

  // VolumeAccess: "/m/sda1/..." reaches sda1's tree while it is mounted.
  std::string Mount(const FoundPartition& partition, bool writable) override {
    if (mounted.count(partition.device)) return "";
    mounted[partition.device] = writable;
    return "/m/" + partition.device.substr(5);
  }
  bool Unmount(const std::string& dir) override {
    unflushedRenames.erase("/dev/" + dir.substr(3));
    return mounted.erase("/dev/" + dir.substr(3)) == 1;
  }
  std::optional<std::vector<DirEntry>> List(const std::string& dir) override {
    Tree* tree = nullptr;
    std::string path;
    if (!Locate(dir, false, &tree, &path)) return std::nullopt;
    if (!path.empty() && (!tree->count(path) || !(*tree)[path].directory)) return std::nullopt;
    std::vector<DirEntry> entries;
    for (const auto& [p, node] : *tree) {
      if (p.size() > path.size() + 1 && p.compare(0, path.size() + 1, path + "/") == 0 &&
          p.find('/', path.size() + 1) == std::string::npos) {
        entries.push_back(DirEntry{p.substr(path.size() + 1), node.directory});
      }
    }
    return entries;
  }
  std::optional<std::string> ReadFile(const std::string& file, size_t limit) override {
    Tree* tree = nullptr;
    std::string path;
    if (!Locate(file, false, &tree, &path) || !tree->count(path) || (*tree)[path].directory) {
      return std::nullopt;
    }
    return (*tree)[path].bytes.substr(0, limit);
  }
  // A file written over keeps its descriptor, as on NTFS.
  bool WriteFile(const std::string& file, const std::string& bytes) override {
    Changing();
    if (beforeWrite) beforeWrite(file, bytes);
    return Put(file, Node{false, bytes, SecurityOf(file).value_or("")});
  }
  bool AppendFile(const std::string& file, const std::string& bytes) override {
    Changing();
    std::optional<std::string> old = ReadFile(file, std::string::npos);
    return Put(file, Node{false, old.value_or("") + bytes, SecurityOf(file).value_or("")});
  }
  bool MakeDirectory(const std::string& dir) override {
    Changing();
    return Put(dir, Node{true, ""});
  }
  bool Remove(const std::string& target) override {
    Changing();
    return Erase(target);
  }
  bool Rename(const std::string& from, const std::string& to) override {
    Changing();
    if (to.compare(0, 3, "/m/") == 0)
      unflushedRenames.insert("/dev/" + to.substr(3, to.find('/', 3) - 3));
    Tree* tree = nullptr;
    std::string path, toPath;
    if (Locate(from, true, &tree, &path) && tree->count(path) && (*tree)[path].directory) {
      // A folder moves with everything in it, within its volume.
      Tree* toTree = nullptr;
      if (!Locate(to, true, &toTree, &toPath) || toTree != tree || tree->count(toPath))
        return false;
      Tree moved;
      for (auto it = tree->begin(); it != tree->end();) {
        if (it->first == path || it->first.compare(0, path.size() + 1, path + "/") == 0) {
          moved[toPath + it->first.substr(path.size())] = it->second;
          it = tree->erase(it);
        } else {
          ++it;
        }
      }
      tree->insert(moved.begin(), moved.end());
      return true;
    }
    std::optional<std::string> bytes = ReadFile(from, std::string::npos);
    const std::string security = SecurityOf(from).value_or("");
    return bytes && Erase(to) && Put(to, Node{false, *bytes, security}) && Erase(from);
  }
  bool SetSecurity(const std::string& target, const std::string& descriptor) override {
    Changing();
    Tree* tree = nullptr;
    std::string path;
    if (!Locate(target, true, &tree, &path) || !tree->count(path) || !OnNtfs(target)) return false;
    (*tree)[path].security = descriptor;
    return true;
  }
  std::optional<std::string> ReadSecurity(const std::string& target) override {
    return OnNtfs(target) ? SecurityOf(target) : std::nullopt;
  }
  // What a standard user's Windows would leave: their own descriptor.
  static constexpr const char* kUserMade = "user's own";

 private:
  void Changing() {
    if (beforeChange) beforeChange();
  }
  std::optional<std::string> SecurityOf(const std::string& target) {
    Tree* tree = nullptr;
    std::string path;
    if (!Locate(target, false, &tree, &path) || !tree->count(path)) return std::nullopt;
    return (*tree)[path].security;
  }
  bool OnNtfs(const std::string& target) {
    return target.compare(0, 3, "/m/") == 0 && PartOf(DeviceOf(target)).found.fs == FsKind::kNtfs;
  }
  // "/m/sda1/..." is on "/dev/sda1".
  static std::string DeviceOf(const std::string& full) {
    const size_t slash = full.find('/', 3);
    return "/dev/" + full.substr(3, slash == std::string::npos ? slash : slash - 3);
  }
  bool Erase(const std::string& target) {
    Tree* tree = nullptr;
    std::string path;
    if (!Locate(target, true, &tree, &path)) return false;
    for (auto it = tree->begin(); it != tree->end();) {
      const bool inside =
          it->first == path || it->first.compare(0, path.size() + 1, path + "/") == 0;
      it = inside ? tree->erase(it) : std::next(it);
    }
    return true;
  }

 public:
  // ToolRunner: mkntfs and wimlib-imagex act on the fake partitions.
  int Run(const std::vector<std::string>& argv,
          const std::function<void(const std::string&)>& onLine, std::string* output) override {
    runs.push_back(argv);
    if (beforeRun) beforeRun(argv);
    const std::string& tool = argv[0];
    const std::string verb = argv.size() > 1 ? argv[1] : "";
    auto progress = [&](const char* phase) {
      for (int percent : {0, 50, 100}) {
        if (onLine) {
          onLine(std::string(phase) + ": " + std::to_string(percent * 6 / 10) + " MiB of 60 MiB (" +
                 std::to_string(percent) + "%) done");
        }
      }
    };
    if (tool == "ntfslabel") {
      if (output) *output = "SYSTEM\n";
      return 0;
    }
    if (tool == "kavi-agent" && verb == "--md5-ntfs") {
      // libntfs-3g reads the volume itself: only right while no mount holds it.
      if (ntfsReadStatus != 0 || argv.size() != 4 || mounted.count(argv[2])) return 1;
      const Tree& tree = PartOf(argv[2]).tree;
      auto file = tree.find(argv[3]);
      if (file == tree.end() || file->second.directory) return 1;
      if (output) *output = FakeMd5(file->second.bytes) + "  " + argv[3] + "\n";
      return 0;
    }
    if (tool == "ntfscp") {
      // Like the MD5 read above: libntfs-3g on a volume no mount holds.
      if (ntfscpStatus != 0 || argv.size() != 4 || mounted.count(argv[1]) ||
          readOnly.count(argv[1]))
        return 1;
      std::optional<std::string> bytes = ReadFile(argv[2], std::string::npos);
      Tree& tree = PartOf(argv[1]).tree;
      const std::string parent = argv[3].substr(0, argv[3].rfind('/'));
      if (!bytes || (!parent.empty() && !tree.count(parent))) return 1;
      tree[argv[3]] = Node{false, *bytes};
      return 0;
    }
    if (tool == "stat" || (tool == "kavi-agent" && verb == "--md5")) {
      std::optional<std::string> bytes = ReadFile(argv.back(), std::string::npos);
      if (!bytes) return 1;
      if (output) {
        *output = tool == "stat" ? std::to_string(bytes->size()) + "\n"
                                 : FakeMd5(*bytes) + "  " + argv.back() + "\n";
      }
      return 0;
    }
    if (tool == "hivexsh") {
      // Stands in for the store edit: the script must be where it is named.
      return ReadFile(argv[3], std::string::npos) ? 0 : 1;
    }
    if (tool == "mkntfs") {
      Part& p = PartOf(argv.back());
      p.tree.clear();
      if (lockedByFormat.count(argv.back())) readOnly.insert(argv.back());
      p.bootRegion = NtfsBootRegion(0x00, 0);  // mkntfs' own code, hidden sectors as given
      // And a volume serial number of its own, as mkntfs picks at random.
      ++formats;
      for (int i = 0; i < 4; ++i) p.bootRegion[0x48 + i] = static_cast<uint8_t>(formats >> (8 * i));
      return 0;
    }
    if (tool != "wimlib-imagex") return 127;
    if (verb == "info" && argv.back() == "--xml") {
      if (output) *output = infoXml;
      return 0;
    }
    if (verb == "info") {
      if (output) {
        *output =
            "WIM Information:\nImage Count:    1\n\nAvailable Images:\n"
            "Index:                  1\nTotal Bytes:            62914560\n" +
            infoImage;
      }
      return 0;
    }
    if (verb == "dir") {
      std::string listing = "/\n";
      for (const auto& [path, node] : imageFiles) listing += path + "\n";
      for (size_t at = 0, end; (end = listing.find('\n', at)) != std::string::npos; at = end + 1) {
        if (onLine && end > at) onLine(listing.substr(at, end - at));
      }
      // The real runner keeps 1 MiB of output and fails beyond it.
      if (output && listing.size() > (1u << 20)) return -1;
      if (output) *output = listing;
      return dirStatus;
    }
    if (verb == "verify") {
      progress("Verifying file data");
      return verifyStatus;
    }
    if (verb == "apply") {
      progress("Extracting file data");
      // A device, or a folder of a mounted volume ("/m/sda1/KAVI.NEW").
      const std::string& to = argv[4];
      Tree* tree = nullptr;
      std::string into;
      if (to.compare(0, 5, "/dev/") == 0) {
        tree = &PartOf(to).tree;
      } else if (!Locate(to, true, &tree, &into)) {
        return 1;
      }
      // Like wimlib, nothing is applied over an existing file or folder.
      for (const auto& [path, node] : imageFiles) {
        if (tree->count(into + path)) return 1;
        (*tree)[into + path] = node;
      }
      return applyStatus;
    }
    if (verb == "capture") {
      progress("Archiving file data");
      if (captureStatus == 0) WriteFile(argv[3], std::string("MSWIM\0\0\0new", 11));
      return captureStatus;
    }
    return 1;
  }

  // Console
  void Line(const std::string& text) override { screen.push_back(text); }
  void Progress(const std::string& text) override { screen.push_back(text); }
  double Seconds() override { return clock += 1; }
  std::string Timestamp() override { return "2026-12-08 03:12:45"; }
  void Task(ScreenTask t, const std::string& name) override {
    task = t;
    taskName = name;
  }
  void Step(ScreenStep step) override { steps.push_back(step); }

  // FirmwareAccess
  FirmwareState State() override { return firmware; }
  std::vector<LoadOption> LoadOptions() override {
    std::vector<LoadOption> all;
    for (const auto& [number, value] : loadOptions) all.push_back(LoadOption{number, value});
    return all;
  }
  bool SetBootNext(uint16_t number) override {
    bootNext = number;
    return true;
  }
  bool DeleteLoadOption(uint16_t number) override {
    if (bootNext == number) bootNext.reset();
    return loadOptions.erase(number) == 1;
  }

 private:
  bool Locate(const std::string& full, bool forWriting, Tree** tree, std::string* path) {
    if (full.compare(0, 5, "/tmp/") == 0) {
      *tree = &scratch;
      *path = full.substr(4);
      return true;
    }
    if (full.compare(0, 3, "/m/") != 0) return false;
    const size_t slash = full.find('/', 3);
    const std::string device = DeviceOf(full);
    auto it = mounted.find(device);
    if (it == mounted.end() || (forWriting && (!it->second || readOnly.count(device)))) {
      return false;
    }
    *tree = &PartOf(device).tree;
    *path = slash == std::string::npos ? "" : full.substr(slash);
    return true;
  }
  bool Put(const std::string& full, const Node& node) {
    Tree* tree = nullptr;
    std::string path;
    if (!Locate(full, true, &tree, &path) || path.empty()) return false;
    const std::string parent = path.substr(0, path.rfind('/'));
    if (!parent.empty() && (!tree->count(parent) || !(*tree)[parent].directory)) return false;
    (*tree)[path] = node;
    return true;
  }
};

}  // namespace testing_agent
}  // namespace restore
}  // namespace kavi
