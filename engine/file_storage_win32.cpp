#include "engine/file_storage_win32.h"

#include <windows.h>
#include <winioctl.h>

#include <ctime>
#include <mutex>

#include "host/text.h"
#include "host/win32_util.h"

namespace kavi {
namespace engine {
namespace {

class Win32FileStorage : public TaskStorage {
 public:
  Win32FileStorage(const std::wstring& folder, const std::wstring& fileName)
      : folder_(folder),
        fileName_(fileName),
        target_(folder + L"\\" + fileName),
        data_(target_ + L".td"),
        state_(target_ + L".td.cfg") {}
  ~Win32FileStorage() override { CloseData(); }

  bool OpenData(bool keepContents) override {
    CloseData();
    CreateDirectoryW(folder_.c_str(), nullptr);
    file_.Reset(CreateFileW(data_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            keepContents ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr));
    if (!file_.Valid()) return false;
    // Sparse, so a connection writing far into a new file does not make the
    // file system zero everything before it first.
    DWORD returned = 0;
    DeviceIoControl(file_.Get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    return true;
  }

  WriteResult WriteAt(int64_t offset, const void* data, size_t size) override {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
      OVERLAPPED at = {};
      at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      DWORD written = 0;
      if (!WriteFile(file_.Get(), bytes, static_cast<DWORD>(size), &written, &at) || written == 0) {
        DWORD error = GetLastError();
        return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? WriteResult::kDiskFull
                                                                           : WriteResult::kError;
      }
      bytes += written;
      offset += written;
      size -= written;
    }
    return WriteResult::kOk;
  }

  bool Flush() override { return file_.Valid() && FlushFileBuffers(file_.Get()); }
  void CloseData() override { file_.Reset(); }

  bool LoadState(std::string* bytes) override {
    UniqueHandle file(CreateFileW(state_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!file.Valid()) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > (16 << 20)) return false;
    bytes->assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    return bytes->empty() ||
           (ReadFile(file.Get(), &(*bytes)[0], static_cast<DWORD>(bytes->size()), &read, nullptr) &&
            read == bytes->size());
  }

  bool SaveState(const std::string& bytes) override {
    // Written beside and moved over, so a reader sees the old or the new one.
    const std::wstring fresh = state_ + L".new";
    {
      UniqueHandle file(CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
      DWORD written = 0;
      if (!file.Valid() ||
          !WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) ||
          written != bytes.size()) {
        return false;
      }
    }
    return MoveFileExW(fresh.c_str(), state_.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
  }

  void DeleteState() override { DeleteFileW(state_.c_str()); }

  bool Commit(std::wstring* savedName) override {
    CloseData();
    std::wstring name = fileName_;
    const size_t dot = fileName_.rfind(L'.');
    const std::wstring stem = dot == std::wstring::npos ? fileName_ : fileName_.substr(0, dot);
    const std::wstring extension = dot == std::wstring::npos ? L"" : fileName_.substr(dot);
    for (int n = 1; n < 1000; ++n) {
      if (MoveFileW(data_.c_str(), (folder_ + L"\\" + name).c_str())) {
        *savedName = name;
        return true;
      }
      const DWORD error = GetLastError();
      if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return false;
      name = Format(L"%ls(%d)%ls", stem.c_str(), n, extension.c_str());
    }
    return false;
  }

  int64_t BootTime() override {
    return static_cast<int64_t>(std::time(nullptr)) - GetTickCount() / 1000;
  }

 private:
  const std::wstring folder_, fileName_, target_, data_, state_;
  UniqueHandle file_;
};

}  // namespace

std::unique_ptr<TaskStorage> CreateFileStorage(const std::wstring& folder,
                                               const std::wstring& fileName) {
  return std::make_unique<Win32FileStorage>(folder, fileName);
}

bool DeletePartialFiles(const std::wstring& folder, const std::wstring& fileName) {
  const std::wstring target = folder + L"\\" + fileName;
  bool data = DeleteFileW((target + L".td").c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
  bool state = DeleteFileW((target + L".td.cfg").c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
  return data && state;
}

}  // namespace engine
}  // namespace kavi
