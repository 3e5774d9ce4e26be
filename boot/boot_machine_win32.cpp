#include "boot/boot_machine.h"

#include <windows.h>

#include <vector>

#include "boot/ghost_script.h"
#include "boot/volume_reach.h"
#include "host/ini_file.h"
#include "host/tools_folder.h"
#include "host/win32_util.h"

namespace kavi {
namespace {

// Starts the command line as RunHiddenAndWait does (hidden, a console of its
// own, handles inherited, no time limit); with `output`, its standard output
// and error go to that handle. False when it could not start.
bool StartHidden(const std::wstring& commandLine, HANDLE output, PROCESS_INFORMATION* process) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  if (output != nullptr) {
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
  }
  return CreateSystemProcess(commandLine, CREATE_NEW_CONSOLE, &startup, process);
}

uint32_t WaitForExitCode(HANDLE process) {
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  if (!GetExitCodeProcess(process, &code)) code = ~DWORD{0};
  return code;
}

class Win32BootProcessRunner : public BootProcessRunner {
 public:
  std::optional<uint32_t> RunForExitCode(const std::wstring& commandLine) override {
    PROCESS_INFORMATION process;
    if (!StartHidden(commandLine, nullptr, &process)) return std::nullopt;
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    return WaitForExitCode(process.hProcess);
  }

  std::optional<uint32_t> RunForOutput(const std::wstring& commandLine,
                                       std::string* output) override {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return std::nullopt;
    UniqueHandle reader(readEnd);
    UniqueHandle writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    PROCESS_INFORMATION process;
    if (!StartHidden(commandLine, writeEnd, &process)) return std::nullopt;
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    // Our copy of the write end goes, so the read ends when the process
    // (and anything it started with its handles) has exited.
    writer.Reset();
    output->clear();
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(readEnd, chunk, sizeof(chunk), &read, nullptr) && read > 0) {
      output->append(chunk, read);
    }
    return WaitForExitCode(process.hProcess);
  }
};

class Win32OutputFile : public OutputFile {
 public:
  explicit Win32OutputFile(UniqueHandle file) : file_(std::move(file)) {}
  bool Write(const uint8_t* data, size_t size) override {
    if (size > MAXDWORD) return false;
    DWORD written = 0;
    return WriteFile(file_.Get(), data, static_cast<DWORD>(size), &written, nullptr) &&
           written == size;
  }

 private:
  UniqueHandle file_;
};

class Win32HeldFile : public HeldFile {
 public:
  explicit Win32HeldFile(UniqueHandle file) : file_(std::move(file)) {}

 private:
  UniqueHandle file_;
};

class Win32BootFiles : public BootFiles {
 public:
  bool Exists(const std::wstring& path) override {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  bool Copy(const std::wstring& from, const std::wstring& to, bool failIfExists) override {
    return CopyFileW(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE) != FALSE;
  }
  bool Delete(const std::wstring& path) override { return DeleteFileW(path.c_str()) != FALSE; }
  bool Move(const std::wstring& from, const std::wstring& to) override {
    return MoveFileW(from.c_str(), to.c_str()) != FALSE;
  }
  bool CreateFolder(const std::wstring& path) override {
    if (CreateDirectoryW(path.c_str(), nullptr)) return true;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  bool RemoveFolder(const std::wstring& path) override {
    return RemoveDirectoryW(path.c_str()) != FALSE;
  }
  bool OnlyAdministratorsCanChange(const std::wstring& path) override {
    return IsAdministratorsOnlyFolder(path);  // files are read the same way
  }
  std::optional<uint64_t> FreeBytes(const std::wstring& root) override {
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr)) return std::nullopt;
    return available.QuadPart;
  }
  std::wstring FileSystemName(wchar_t letter) override { return VolumeFileSystemName(letter); }
  std::unique_ptr<OutputFile> Create(const std::wstring& path) override {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return nullptr;
    return std::make_unique<Win32OutputFile>(std::move(file));
  }
  bool ReadStart(const std::wstring& path, size_t count, std::string* bytes) override {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid() || count > MAXDWORD) return false;
    std::string buffer(count, '\0');
    DWORD read = 0;
    if (!ReadFile(file.Get(), &buffer[0], static_cast<DWORD>(count), &read, nullptr)) return false;
    buffer.resize(read);
    *bytes = std::move(buffer);
    return true;
  }
  bool ReadAt(const std::wstring& path, uint64_t offset, size_t count,
              std::string* bytes) override {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!file.Valid() || count > MAXDWORD ||
        !SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN)) {
      return false;
    }
    std::string buffer(count, '\0');
    DWORD read = 0;
    if (!ReadFile(file.Get(), &buffer[0], static_cast<DWORD>(count), &read, nullptr) ||
        read != count) {
      return false;
    }
    *bytes = std::move(buffer);
    return true;
  }
  std::unique_ptr<HeldFile> HoldAndRead(const std::wstring& path, std::string* bytes) override {
    // No FILE_SHARE_WRITE or FILE_SHARE_DELETE: the open fails while anyone
    // may write the file, and nobody can write, delete or rename it while
    // it is held. Starting it as a process only reads.
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > MAXDWORD / 2) {
      return nullptr;
    }
    std::string buffer(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!buffer.empty() &&
        (!ReadFile(file.Get(), &buffer[0], static_cast<DWORD>(buffer.size()), &read, nullptr) ||
         read != buffer.size())) {
      return nullptr;
    }
    *bytes = std::move(buffer);
    return std::make_unique<Win32HeldFile>(std::move(file));
  }
  bool WriteScript(const std::wstring& path, const std::string& bytes) override {
    return WriteGhostScriptFile(path, bytes);
  }
  bool WriteIniValue(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                     const std::wstring& value) override {
    return WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), file.c_str()) !=
           FALSE;
  }
  bool SetBootLoaderTimeout(const std::wstring& file) override {
    return kavi::SetBootLoaderTimeout(CIniFile(file));
  }
};

class ModuleResources : public PayloadResources {
 public:
  bool Load(uint16_t id, const std::wstring& type, ResourceBytes* bytes) override {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), type.c_str());
    if (found == nullptr) return false;
    HGLOBAL loaded = LoadResource(nullptr, found);
    if (loaded == nullptr) return false;
    bytes->data = static_cast<const uint8_t*>(LockResource(loaded));
    bytes->size = SizeofResource(nullptr, found);
    return bytes->data != nullptr;
  }
};

}  // namespace

BootProcessRunner& SystemBootProcessRunner() {
  static Win32BootProcessRunner runner;
  return runner;
}

BootFiles& SystemBootFiles() {
  static Win32BootFiles files;
  return files;
}

PayloadResources& SystemPayloadResources() {
  static ModuleResources resources;
  return resources;
}

BootMachine SystemBootMachine() {
  return BootMachine{BootSettings(),
                     Working().SystemDrive(),
                     Working().WindowsEdition(),
                     SystemBootProcessRunner(),
                     SystemBootFiles(),
                     SystemPayloadResources(),
                     Disks(),
                     SystemDiskDevices(),
                     stdout,
                     SystemFirmwareFacts(),
                     &SystemPowerRegistry()};
}

}  // namespace kavi
