#include "tests/support/win32_test_util.h"

#include <shellapi.h>

#include <atomic>
#include <vector>

#include "host/text.h"
#include "host/win32_util.h"

namespace kavi {

TempFolder::TempFolder() {
  static std::atomic<int> counter{0};
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  path_ = Format(L"%lskavi-test-%lu-%d", temp, GetCurrentProcessId(), counter++);
  CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() {
  // Double-NUL-terminated list for SHFileOperation.
  std::wstring from = path_;
  from.push_back(L'\0');
  SHFILEOPSTRUCTW op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
  SHFileOperationW(&op);
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return false;
  DWORD written = 0;
  return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::string ReadFileBytes(const std::wstring& path) {
  UniqueHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.Valid()) return std::string();
  std::string out;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    out.append(buffer, read);
  }
  return out;
}

bool FileExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace kavi
