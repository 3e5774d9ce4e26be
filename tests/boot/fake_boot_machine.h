// Substitutes for the boot takeover's seams: a process runner that records
// every command line and answers with chosen exit codes, an in-memory boot
// drive, the executable's payloads, the message boxes and the restart; and a
// machine of one MBR disk with C: (partition 1) and D: (partition 2).
#pragma once

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "boot/boot_machine.h"
#include "boot/takeover.h"
#include "tests/boot/fake_disk_devices.h"

namespace kavi {
namespace testing_boot {

class FakeRunner : public BootProcessRunner {
 public:
  std::vector<std::wstring> lines;
  // Exit codes by command line; absent: 0.
  std::map<std::wstring, uint32_t> exitCodes;
  // Command lines starting with one of these cannot be started.
  std::vector<std::wstring> unstartable;

  // Standard output by command line; absent: nothing.
  std::map<std::wstring, std::string> outputs;

  std::optional<uint32_t> RunForOutput(const std::wstring& commandLine,
                                       std::string* output) override {
    auto it = outputs.find(commandLine);
    *output = it == outputs.end() ? std::string() : it->second;
    return RunForExitCode(commandLine);
  }

  std::optional<uint32_t> RunForExitCode(const std::wstring& commandLine) override {
    lines.push_back(commandLine);
    for (const std::wstring& prefix : unstartable) {
      if (commandLine.compare(0, prefix.size(), prefix) == 0) return std::nullopt;
    }
    auto it = exitCodes.find(commandLine);
    return it == exitCodes.end() ? 0u : it->second;
  }
};

// Paths compared exactly, as the code builds them.
class FakeFiles : public BootFiles {
 public:
  std::map<std::wstring, std::string> files;
  std::set<std::wstring> folders;
  std::set<std::wstring> uncreatable;      // Create and WriteScript fail
  std::set<std::wstring> anyoneCanChange;  // a standard user's files
  std::set<std::wstring> unwritable;       // Create succeeds, the write fails
  int profileWritesLeft = -1;              // profile writes that succeed; negative: all
  std::vector<std::wstring> log;           // "create X", "copy A B", "ini F [S] K=V", ...
  // [file][section][key] = value
  std::map<std::wstring, std::map<std::wstring, std::map<std::wstring, std::wstring>>> ini;

  bool Exists(const std::wstring& path) override {
    return files.count(path) > 0 || folders.count(path) > 0;
  }
  bool Copy(const std::wstring& from, const std::wstring& to, bool failIfExists) override {
    log.push_back(L"copy " + from + L" " + to);
    if (!files.count(from) || (failIfExists && files.count(to))) return false;
    files[to] = files[from];
    return true;
  }
  bool Delete(const std::wstring& path) override {
    log.push_back(L"delete " + path);
    return files.erase(path) > 0;
  }
  bool Move(const std::wstring& from, const std::wstring& to) override {
    log.push_back(L"move " + from + L" " + to);
    if (!files.count(from) || files.count(to)) return false;
    files[to] = files[from];
    files.erase(from);
    return true;
  }
  // Folders that cannot be made, and the free bytes of each root (absent:
  // the query fails).
  std::set<std::wstring> unmakeableFolders;
  std::map<std::wstring, uint64_t> freeBytes;
  bool CreateFolder(const std::wstring& path) override {
    log.push_back(L"mkdir " + path);
    if (unmakeableFolders.count(path)) return false;
    folders.insert(path);
    return true;
  }
  bool RemoveFolder(const std::wstring& path) override {
    log.push_back(L"rmdir " + path);
    for (const auto& file : files) {
      if (file.first.compare(0, path.size() + 1, path + L"\\") == 0) return false;
    }
    return folders.erase(path) > 0;
  }
  bool OnlyAdministratorsCanChange(const std::wstring& path) override {
    return !anyoneCanChange.count(path);
  }
  std::optional<uint64_t> FreeBytes(const std::wstring& root) override {
    auto it = freeBytes.find(root);
    if (it == freeBytes.end()) return std::nullopt;
    return it->second;
  }
  // File system names by drive letter; absent: "NTFS".
  std::map<wchar_t, std::wstring> fileSystems;
  std::wstring FileSystemName(wchar_t letter) override {
    auto it = fileSystems.find(letter);
    return it == fileSystems.end() ? L"NTFS" : it->second;
  }
  std::unique_ptr<OutputFile> Create(const std::wstring& path) override {
    log.push_back(L"create " + path);
    if (uncreatable.count(path)) return nullptr;
    files[path].clear();
    return std::make_unique<File>(this, path);
  }
  bool ReadStart(const std::wstring& path, size_t count, std::string* bytes) override {
    auto it = files.find(path);
    if (it == files.end()) return false;
    *bytes = it->second.substr(0, count);
    return true;
  }
  bool ReadAt(const std::wstring& path, uint64_t offset, size_t count,
              std::string* bytes) override {
    auto it = files.find(path);
    if (it == files.end() || offset + count > it->second.size()) return false;
    *bytes = it->second.substr(offset, count);
    return true;
  }
  // Files that some writer holds open: they cannot be held.
  std::set<std::wstring> openForWriting;
  std::unique_ptr<HeldFile> HoldAndRead(const std::wstring& path, std::string* bytes) override {
    auto it = files.find(path);
    if (it == files.end() || openForWriting.count(path)) return nullptr;
    *bytes = it->second;
    return std::make_unique<HeldFile>();
  }
  bool WriteScript(const std::wstring& path, const std::string& bytes) override {
    log.push_back(L"script " + path);
    if (uncreatable.count(path)) return false;
    files[path] = bytes;
    return true;
  }
  bool WriteIniValue(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                     const std::wstring& value) override {
    log.push_back(L"ini " + file + L" [" + section + L"] " + key + L"=" + value);
    if (profileWritesLeft == 0) return false;
    if (profileWritesLeft > 0) --profileWritesLeft;
    ini[file][section][key] = value;
    // The bytes change too, as WritePrivateProfileStringW's would.
    if (files.count(file)) files[file] += std::string(key.begin(), key.end()) + "=\r\n";
    return true;
  }
  bool SetBootLoaderTimeout(const std::wstring& file) override {
    return WriteIniValue(file, L"boot loader", L"timeout", L"3");
  }

  // The log entries of one kind ("create ", "copy ", ...).
  std::vector<std::wstring> Logged(const std::wstring& kind) const {
    std::vector<std::wstring> out;
    for (const std::wstring& entry : log) {
      if (entry.compare(0, kind.size(), kind) == 0) out.push_back(entry);
    }
    return out;
  }

 private:
  class File : public OutputFile {
   public:
    File(FakeFiles* owner, std::wstring path) : owner_(owner), path_(std::move(path)) {}
    bool Write(const uint8_t* data, size_t size) override {
      if (owner_->unwritable.count(path_)) return false;
      owner_->files[path_].assign(reinterpret_cast<const char*>(data), size);
      return true;
    }

   private:
    FakeFiles* owner_;
    std::wstring path_;
  };
};

class FakeResources : public PayloadResources {
 public:
  std::map<uint16_t, std::string> payloads;
  bool Load(uint16_t id, const std::wstring& type, ResourceBytes* bytes) override {
    if (type != L"GHOST") return false;
    auto it = payloads.find(id);
    if (it == payloads.end()) return false;
    bytes->data = reinterpret_cast<const uint8_t*>(it->second.data());
    bytes->size = it->second.size();
    return true;
  }
};

struct ShownMessage {
  std::wstring text;
  std::wstring caption;
  uint32_t type;
};

// Windows 10's registry: Fast Startup on, nothing kept.
class FakePower : public PowerRegistry {
 public:
  std::optional<uint32_t> hiberboot = 1u;
  std::optional<uint32_t> kept;

  std::optional<uint32_t> Hiberboot() override { return hiberboot; }
  bool SetHiberboot(uint32_t value) override {
    hiberboot = value;
    return true;
  }
  std::optional<uint32_t> Kept() override { return kept; }
  bool SetKept(std::optional<uint32_t> value) override {
    kept = value;
    return true;
  }
};

class FakeUi : public TakeoverUi {
 public:
  int answer = kIdYes;   // to every 是/否/取消 question
  int confirm = kIdYes;  // to every 是/否 one
  bool restartStarts = true;
  std::vector<ShownMessage> messages;
  int restarts = 0;

  int Message(const std::wstring& text, const std::wstring& caption, uint32_t type) override {
    messages.push_back({text, caption, type});
    if ((type & 0xF) == kMbYesNoCancel) return answer;
    return (type & 0xF) == kMbYesNo ? confirm : 1;
  }
  bool Restart() override {
    ++restarts;
    return restartStarts;
  }
};

constexpr const wchar_t* kTools = L"C:\\DOCUME~1\\ADMINI~1\\TEMPLA~1";
constexpr const wchar_t* kSystemVolume = L"\\\\?\\Volume{0002}\\";

// The first bytes of a Ghost image and of a WIM file.
const std::string kGhostHeader("\xFE\xEF\x01\x02ghost image", 15);
const std::string kWimHeader("MSWIM\0\0\0\xD0\0\0\0wim image", 21);

// Windows 7 (edition 5) on C:, image folder on D: with a Ghost image
// SYS.GHO, every tool and payload present, the boot manager's folder on C:.
class MachineFixture {
 public:
  testing_disks::FakeDiskDevices devices;
  DiskList disks;
  BootTakeoverSettings settings;
  FakeRunner runner;
  FakeFiles files;
  FakeResources resources;
  FakeUi ui;
  int32_t edition = 5;
  FirmwareFacts firmware;  // BIOS
  FakePower power;

  MachineFixture() {
    using namespace testing_disks;
    devices.drives = {DriveLayout({{kMiB, 1}, {50 * kGiB, 2}})};
    devices.AddVolume(L'C', 0, kMiB);
    devices.AddVolume(L'D', 0, 50 * kGiB);
    devices.volumeNames = {L"\\\\?\\Volume{0001}\\", kSystemVolume};
    devices.dosDevices[L"Volume{0001}"] = L"\\Device\\HarddiskVolume1";
    devices.dosDevices[L"Volume{0002}"] = L"\\Device\\HarddiskVolume2";
    devices.mountPaths[L"\\\\?\\Volume{0001}\\"] = {};
    devices.mountPaths[kSystemVolume] = {L"C:\\"};
    disks = EnumerateDisks(devices);

    WorkingFields fields;
    fields.bootDrive = L'C';
    fields.bcdeditPath = std::wstring(kTools) + L"\\bcdedit.exe";
    fields.bcdbootPath = std::wstring(kTools) + L"\\bcdboot.exe";
    fields.dsptPath = std::wstring(kTools) + L"\\dspt.exe";
    settings = MakeBootTakeoverSettings(fields);

    files.files[fields.bcdeditPath] = "bcdedit";
    files.files[fields.bcdbootPath] = "bcdboot";
    files.files[fields.dsptPath] = "dspt";
    files.files[L"C:\\Boot\\memtest.exe"] = "memtest";
    files.files[L"C:\\BOOT\\BCD"] = "store";
    files.files[L"C:\\boot.ini"] = "[boot loader]";
    files.files[L"D:\\DURozazo\\SYS.GHO"] = kGhostHeader;
    resources.payloads = {{137, "bcdedit"},    {142, "dspt"},   {143, "bcdboot"},
                          {145, "floppy"},     {146, "loader"}, {147, "bootsector"},
                          {148, "environment"}};
  }

  BootMachine Machine() {
    return BootMachine{settings, L'C',    edition, runner,   files, resources,
                       disks,    devices, nullptr, firmware, &power};
  }

  std::wstring Bcdedit(const std::wstring& arguments) const {
    return settings.bcdeditPath + L" " + arguments;
  }

  // The command lines that are not attrib commands.
  std::vector<std::wstring> ToolLines() const {
    std::vector<std::wstring> out;
    for (const std::wstring& line : runner.lines) {
      if (line.compare(0, 14, L"cmd /c attrib ") != 0) out.push_back(line);
    }
    return out;
  }
};

}  // namespace testing_boot
}  // namespace kavi
