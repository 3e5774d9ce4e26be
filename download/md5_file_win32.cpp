#include <windows.h>

#include <vector>

#include "download/md5.h"
#include "host/win32_util.h"

namespace kavi {

bool Md5OfFile(const std::wstring& path, std::string* hex, const Md5Progress& progress) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.Valid()) return false;
  LARGE_INTEGER size = {};
  GetFileSizeEx(file.Get(), &size);
  std::vector<char> buffer(1 << 20);
  Md5 md5;
  int64_t done = 0;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
      return false;
    }
    if (read == 0) break;
    md5.Update(buffer.data(), read);
    done += read;
    if (progress) progress(done, size.QuadPart);
  }
  *hex = md5.FinalHex();
  return true;
}

}  // namespace kavi

namespace kavi {

bool ReadFileStamp(const std::wstring& path, FileStamp* stamp) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
  stamp->size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  stamp->lastWrite = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                     data.ftLastWriteTime.dwLowDateTime;
  return true;
}

}  // namespace kavi
