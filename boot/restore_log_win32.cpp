#include "boot/restore_log.h"

#include <windows.h>

#include <cwctype>

#include "host/text.h"
#include "host/win32_util.h"

namespace kavi {
namespace {

std::wstring UpperCase(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

// The log grows by one short entry per boot; its end is enough.
constexpr LONGLONG kLogTail = 256 * 1024;

bool ReadTail(const std::wstring& path, LONGLONG limit, std::string* text) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size;
  if (!file.Valid() || !GetFileSizeEx(file.Get(), &size)) return false;
  LARGE_INTEGER from;
  from.QuadPart = size.QuadPart > limit ? size.QuadPart - limit : 0;
  // SetFilePointer with the high part, as SetFilePointerEx is not in every
  // kernel32 the program starts on.
  LONG high = from.HighPart;
  if (SetFilePointer(file.Get(), static_cast<LONG>(from.LowPart), &high, FILE_BEGIN) ==
          INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    return false;
  }
  std::string buffer(static_cast<size_t>(size.QuadPart - from.QuadPart), '\0');
  DWORD read = 0;
  if (!buffer.empty() &&
      !ReadFile(file.Get(), &buffer[0], static_cast<DWORD>(buffer.size()), &read, nullptr)) {
    return false;
  }
  buffer.resize(read);
  *text = std::move(buffer);
  return true;
}

class FolderLogStore : public RestoreLogStore {
 public:
  FolderLogStore(std::wstring workFolder, wchar_t systemDrive)
      : workFolder_(std::move(workFolder)), systemFolder_(Format(L"%lc:\\DURozazo", systemDrive)) {}

  std::vector<std::string> ReadLogs() override {
    std::vector<std::wstring> folders = {workFolder_};
    if (UpperCase(workFolder_) != UpperCase(systemFolder_)) {
      folders.push_back(systemFolder_);
    }
    std::vector<std::string> logs;
    for (const std::wstring& folder : folders) {
      std::string text;
      if (ReadTail(folder + L"\\" + kRestoreLogName, kLogTail, &text)) logs.push_back(text);
    }
    return logs;
  }
  std::string ReadAck() override {
    std::string text;
    ReadTail(AckPath(), 4096, &text);
    return text;
  }
  bool WriteAck(const std::string& header) override {
    UniqueHandle file(CreateFileW(AckPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file.Valid() &&
           WriteFile(file.Get(), header.data(), static_cast<DWORD>(header.size()), &written,
                     nullptr) &&
           written == header.size();
  }

 private:
  std::wstring AckPath() const { return workFolder_ + L"\\" + kRestoreAckName; }

  std::wstring workFolder_;
  std::wstring systemFolder_;
};

}  // namespace

std::optional<std::wstring> TakeUnreportedRestoreFailure(const std::wstring& workFolder,
                                                         wchar_t systemDrive) {
  if (workFolder.empty() || systemDrive == 0) return std::nullopt;
  FolderLogStore store(workFolder, systemDrive);
  return TakeUnreportedRestoreFailure(store);
}

}  // namespace kavi
