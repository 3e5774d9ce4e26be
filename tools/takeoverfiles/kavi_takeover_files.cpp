// Writes the "Ghost.ba_" and "Ghost.map" a takeover would leave on a machine
// described on the command line, through the takeover's own builders:
//
//   kavi-takeover-files OUT_DIR --system C --backup|--restore IMAGE_PATH
//       --disk SIGHEX LETTER=START+LENGTH [LETTER=START+LENGTH...] [--disk ...]
//       --gpt DISKGUID LETTER=START+LENGTH:PARTGUID [...] [--disk|--gpt ...]
//
// Disks in Windows order, MBR (--disk, its signature) or GPT (--gpt, its
// disk GUID and each partition's GUID); "-" for a partition without a
// letter; START and LENGTH in bytes. Exits with 1 when the takeover would refuse, 2 on a bad
// command line.
#include <algorithm>
#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "boot/boot_entries.h"
#include "boot/disk_layout.h"
#include "boot/disk_record.h"
#include "boot/ghost_script.h"
#include "boot/takeover_files.h"
#include "host/text.h"

namespace kavi {
namespace {

// Answers the one question the builders ask the devices: the disk number of
// a lettered volume.
class DescribedDevices : public DiskDevices {
 public:
  explicit DescribedDevices(const DiskList& disks) : disks_(disks) {}

  std::unique_ptr<DiskDevice> OpenPhysicalDrive(int) override { return nullptr; }
  std::unique_ptr<DiskDevice> OpenVolume(wchar_t letter) override {
    for (size_t d = 0; d < disks_.size(); ++d) {
      for (const PartitionRecord& p : disks_[d].partitions) {
        if (p.letter == letter) return std::make_unique<Volume>(static_cast<uint32_t>(d));
      }
    }
    return nullptr;
  }
  std::unique_ptr<DiskDevice> OpenVolumeName(const std::wstring&) override { return nullptr; }
  bool IsFixedDrive(wchar_t) override { return true; }
  std::unique_ptr<VolumeSearch> FirstVolume(std::wstring*, uint32_t* error) override {
    *error = 18;
    return nullptr;
  }
  bool DosDeviceTarget(const std::wstring&, std::wstring*) override { return false; }
  bool VolumePathNames(const std::wstring&, std::vector<std::wstring>*) override { return false; }

 private:
  class Volume : public DiskDevice {
   public:
    explicit Volume(uint32_t disk) : disk_(disk) {}
    bool Request(DiskRequest request, uint8_t* out, size_t size) override {
      if (request != DiskRequest::kVolumeDiskExtents || size < sizeof(VolumeDiskExtentsOne)) {
        return false;
      }
      VolumeDiskExtentsOne extents = {};
      extents.NumberOfDiskExtents = 1;
      extents.Extents[0].DiskNumber = disk_;
      std::memcpy(out, &extents, sizeof(extents));
      return true;
    }
    bool ReadAt(uint64_t, uint8_t*, size_t) override { return false; }

   private:
    uint32_t disk_;
  };

  const DiskList& disks_;
};

int Usage(const char* why) {
  std::fprintf(
      stderr,
      "kavi-takeover-files: %s\n"
      "usage: kavi-takeover-files OUT_DIR --system C --backup|--restore IMAGE_PATH\n"
      "           [--bind SIZE:MD5]\n"
      "           --disk SIGHEX LETTER=START+LENGTH [LETTER=START+LENGTH...] [--disk ...]\n"
      "           --gpt DISKGUID LETTER=START+LENGTH:PARTGUID [...] [--disk|--gpt ...]\n",
      why);
  return 2;
}

bool ParseNumber(const std::string& text, int base, unsigned long long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtoull(text.c_str(), &end, base);
  return *end == '\0';
}

// "C=1048576+104857600" or "-=START+LENGTH"; on a GPT disk followed by
// ":PARTGUID".
bool ParsePartition(std::string text, bool gpt, PartitionRecord* record) {
  if (gpt) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    const std::optional<Guid> id = ParseGuid(text.substr(colon + 1));
    if (!id) return false;
    record->gptId = *id;
    text.resize(colon);
  }
  const size_t eq = text.find('=');
  const size_t plus = text.find('+', eq);
  if (eq != 1 || plus == std::string::npos) return false;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  if (letter != '-' && (letter < 'A' || letter > 'Z')) return false;
  unsigned long long start = 0, length = 0;
  if (!ParseNumber(text.substr(eq + 1, plus - eq - 1), 10, &start) ||
      !ParseNumber(text.substr(plus + 1), 10, &length)) {
    return false;
  }
  record->letter = letter == '-' ? 0 : static_cast<wchar_t>(letter);
  record->startingOffset = static_cast<int64_t>(start);
  record->length = static_cast<int64_t>(length);
  return true;
}

bool WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

int Run(int argc, char** argv) {
  if (argc < 2) return Usage("no output folder");
  const std::filesystem::path outDir = argv[1];
  wchar_t system = 0;
  int mode = 0;
  std::wstring image;
  std::optional<ImageBinding> binding;
  DiskList disks;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--system" && i + 1 < argc && std::strlen(argv[i + 1]) == 1) {
      system = static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(argv[++i][0])));
    } else if ((arg == "--backup" || arg == "--restore") && i + 1 < argc) {
      mode = arg == "--backup" ? kTakeoverBackup : kTakeoverRestore;
      image = FromUtf8(argv[++i]);
    } else if (arg == "--bind" && i + 1 < argc) {
      const std::string value = argv[++i];
      const size_t colon = value.find(':');
      unsigned long long size = 0;
      if (colon == std::string::npos || !ParseNumber(value.substr(0, colon), 10, &size)) {
        return Usage("bad --bind");
      }
      binding = ImageBinding{size, value.substr(colon + 1)};
    } else if ((arg == "--disk" || arg == "--gpt") && i + 1 < argc) {
      DiskEntry disk;
      disk.gpt = arg == "--gpt";
      if (disk.gpt) {
        const std::optional<Guid> id = ParseGuid(argv[++i]);
        if (!id) return Usage("bad disk GUID");
        disk.diskId = *id;
      } else {
        unsigned long long signature = 0;
        if (!ParseNumber(argv[++i], 16, &signature) || signature > 0xFFFFFFFFull) {
          return Usage("bad disk signature");
        }
        disk.mbrSignature = static_cast<uint32_t>(signature);
      }
      while (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) {
        PartitionRecord record;
        if (!ParsePartition(argv[++i], disk.gpt, &record)) return Usage("bad partition");
        disk.partitions.push_back(record);
      }
      // The disk map keeps a disk's partitions by starting offset.
      std::stable_sort(disk.partitions.begin(), disk.partitions.end(),
                       [](const PartitionRecord& a, const PartitionRecord& b) {
                         return a.startingOffset < b.startingOffset;
                       });
      disks.push_back(std::move(disk));
    } else {
      return Usage(("unexpected argument " + arg).c_str());
    }
  }
  if (system == 0 || mode == 0 || disks.empty()) {
    return Usage("missing --system, image or --disk/--gpt");
  }

  DescribedDevices devices(disks);
  const std::optional<TakeoverFiles> files =
      BuildTakeoverFiles(disks, devices, system, system, mode, image, binding);
  if (!files) {
    std::fprintf(stderr,
                 "kavi-takeover-files: the takeover would refuse: a partition cannot be resolved "
                 "or the script has no code page 936 form\n");
    return 1;
  }
  std::error_code error;
  std::filesystem::create_directories(outDir, error);
  if (!WriteBytes(outDir / ToUtf8(kGhostScriptFileName), files->script) ||
      !WriteBytes(outDir / ToUtf8(kDiskRecordFileName), files->record)) {
    std::fprintf(stderr, "kavi-takeover-files: cannot write into %s\n", outDir.c_str());
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace kavi

int main(int argc, char** argv) {
  return kavi::Run(argc, argv);
}
