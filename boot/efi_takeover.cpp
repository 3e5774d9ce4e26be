#include "boot/efi_takeover.h"

#include <cctype>

#include "boot/boot_payloads.h"
#include "boot/disk_record.h"
#include "host/text.h"

namespace kavi {
namespace {

// The task partition still carries KV.ima, so the restore environment finds
// the task the way it does on the BIOS road; the environment itself comes
// from the EFI system partition, and this file only marks the partition.
constexpr char kTaskMarker[] = "KAVI UEFI task marker\r\n";

std::wstring EfiFolderPath(const EfiTarget& target) {
  return target.volume + kEfiFolder;
}

std::wstring EfiFilePath(const EfiTarget& target, size_t i) {
  return EfiFolderPath(target) + L"\\" + kEfiFileNames[i];
}

std::wstring RootPath(const BootMachine& m, const std::wstring& name) {
  return Format(L"%lc:\\%ls", m.settings.bootDrive, name.c_str());
}

uint16_t EfiResourceId(size_t i) {
  return static_cast<uint16_t>(kEfiFirstResourceId + i);
}

// What a takeover on this road has put down so far, taken back in reverse.
class Undo {
 public:
  explicit Undo(BootMachine& m) : m_(m) {}
  void AddedFolder(const std::wstring& path) { folder_ = path; }
  void AddedFile(const std::wstring& path) { files_.push_back(path); }
  void AddedEntry(const std::wstring& id) { entry_ = id; }

  void TakeBack() {
    if (!entry_.empty()) {
      RunTool(m_, m_.settings.bcdeditPath, Format(L"/delete %ls", entry_.c_str()));
    }
    for (auto it = files_.rbegin(); it != files_.rend(); ++it) m_.files.Delete(*it);
    if (!folder_.empty()) m_.files.RemoveFolder(folder_);
  }

 private:
  BootMachine& m_;
  std::wstring folder_;
  std::vector<std::wstring> files_;
  std::wstring entry_;
};

bool WriteMarker(BootMachine& m, const std::wstring& path) {
  std::unique_ptr<OutputFile> file = m.files.Create(path);
  return file &&
         file->Write(reinterpret_cast<const uint8_t*>(kTaskMarker), sizeof(kTaskMarker) - 1);
}

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

bool HasEfiPayloads(BootMachine& m) {
  for (size_t i = 0; i < kEfiFileCount; ++i) {
    if (!HasPayloadResource(m.resources, EfiResourceId(i), m.settings.resourceType)) return false;
  }
  return true;
}

std::optional<EfiTarget> FindEfiTarget(BootMachine& m) {
  const int32_t disk = DiskNumberOfVolume(m.devices, m.systemDrive);
  if (disk < 0 || static_cast<size_t>(disk) >= m.disks.size()) return std::nullopt;
  const PartitionRecord* esp = FindEfiSystemPartition(m.disks[disk]);
  if (esp == nullptr) return std::nullopt;
  EfiTarget target;
  target.volume =
      VolumeNameOfPartition(m.devices, static_cast<uint32_t>(disk), esp->startingOffset);
  if (target.volume.empty()) return std::nullopt;
  // QueryDosDeviceW wants "Volume{...}": no "\\?\" and no trailing slash.
  if (!m.devices.DosDeviceTarget(target.volume.substr(4, target.volume.size() - 5),
                                 &target.device)) {
    return std::nullopt;
  }
  uint64_t needed = kEfiRoomMargin;
  for (size_t i = 0; i < kEfiFileCount; ++i) {
    ResourceBytes bytes;
    if (m.resources.Load(EfiResourceId(i), m.settings.resourceType, &bytes)) needed += bytes.size;
  }
  const std::optional<uint64_t> free = m.files.FreeBytes(target.volume);
  if (!free || *free < needed) return std::nullopt;
  return target;
}

std::optional<std::wstring> BcdEntryIdFromOutput(const std::string& output) {
  constexpr size_t kIdSize = 38;  // braces and 36 characters
  for (size_t at = output.find('{'); at != std::string::npos; at = output.find('{', at + 1)) {
    if (output.size() - at < kIdSize || output[at + kIdSize - 1] != '}') continue;
    const std::string inner = output.substr(at + 1, kIdSize - 2);
    bool valid = true;
    for (size_t i = 0; i < inner.size() && valid; ++i) {
      valid = (i == 8 || i == 13 || i == 18 || i == 23) ? inner[i] == '-' : IsHex(inner[i]);
    }
    if (valid) return L"{" + std::wstring(inner.begin(), inner.end()) + L"}";
  }
  return std::nullopt;
}

std::vector<std::wstring> OurEfiEntriesFromOutput(const std::string& output) {
  std::vector<std::wstring> ours;
  std::string folder = std::string("\\") + ToAnsi(kEfiFolder) + "\\";
  for (char& c : folder) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  size_t at = 0;
  while (at < output.size()) {
    size_t end = output.find("\n\r\n", at);
    const size_t blank = output.find("\n\n", at);
    if (blank < end) end = blank;
    std::string entry = output.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? output.size() : end + 2;
    const std::optional<std::wstring> id = BcdEntryIdFromOutput(entry);
    for (char& c : entry) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (id && entry.find(folder) != std::string::npos) ours.push_back(*id);
  }
  return ours;
}

std::wstring EfiEntryCopyArguments(const std::wstring& name) {
  // A copy of {bootmgr} is a firmware application: one of the firmware's
  // own boot entries, which Windows writes through to a Boot#### variable.
  return Format(L"/copy {bootmgr} /d \"%ls\"", name.c_str());
}

std::vector<std::wstring> EfiEntryArguments(const std::wstring& id, const std::wstring& device) {
  return {
      Format(L"/set %ls device partition=%ls", id.c_str(), device.c_str()),
      Format(L"/set %ls path \\%ls\\%ls", id.c_str(), kEfiFolder, kEfiFileNames[0]),
      Format(L"/set {fwbootmgr} bootsequence %ls /addfirst", id.c_str()),
  };
}

TakeoverResult ArmEfiTakeover(BootMachine& m, const EfiTarget& target, const std::wstring& name,
                              const TakeoverFiles& task) {
  Undo undo(m);
  const auto fail = [&](TakeoverResult result) {
    undo.TakeBack();
    return result;
  };
  // \EFI itself is the firmware's and Windows' and is never made here.
  if (!m.files.CreateFolder(EfiFolderPath(target)))
    return fail(TakeoverResult::kPayloadsNotWritten);
  undo.AddedFolder(EfiFolderPath(target));
  for (size_t i = 0; i < kEfiFileCount; ++i) {
    undo.AddedFile(EfiFilePath(target, i));
    if (!WriteResourceToFile(m.files, m.resources, EfiFilePath(target, i), EfiResourceId(i),
                             m.settings.resourceType)) {
      return fail(TakeoverResult::kPayloadsNotWritten);
    }
  }
  const std::wstring marker = RootPath(m, m.settings.FloppyImageName());
  undo.AddedFile(marker);
  if (!WriteMarker(m, marker)) return fail(TakeoverResult::kPayloadsNotWritten);
  const std::wstring script = RootPath(m, m.settings.scriptFileName);
  const std::wstring record = RootPath(m, kDiskRecordFileName);
  undo.AddedFile(script);
  undo.AddedFile(record);
  if (!m.files.WriteScript(script, task.script) || !m.files.WriteScript(record, task.record)) {
    return fail(TakeoverResult::kScriptNotWritten);
  }

  const std::wstring& bcdedit = m.settings.bcdeditPath;
  // One entry of ours at a time: an earlier takeover's goes first.
  std::string listed;
  if (m.runner.RunForOutput(ToolCommandLine(bcdedit, L"/enum firmware"), &listed)) {
    for (const std::wstring& old : OurEfiEntriesFromOutput(listed)) {
      RunTool(m, bcdedit, Format(L"/delete %ls", old.c_str()));
    }
  }
  std::string output;
  const std::optional<uint32_t> copied =
      RunCarriedTool(m, bcdedit, EfiEntryCopyArguments(name), &output);
  const std::optional<std::wstring> id = BcdEntryIdFromOutput(output);
  if (id) undo.AddedEntry(*id);
  if (!copied || *copied != 0 || !id) return fail(TakeoverResult::kBootEntryNotAdded);
  for (const std::wstring& line : EfiEntryArguments(*id, target.device)) {
    if (!RunToolSucceeded(m, bcdedit, line)) return fail(TakeoverResult::kBootEntryNotAdded);
  }
  return TakeoverResult::kArmed;
}

}  // namespace kavi
