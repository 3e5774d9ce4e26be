#include <windows.h>

#include <vector>

#include "download/md5.h"
#include "host/win32_util.h"

namespace kavi {

bool Md5OfFile(const std::wstring& path, std::string* hex) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.Valid()) return false;
  std::vector<char> buffer(1 << 20);
  Md5 md5;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
      return false;
    }
    if (read == 0) break;
    md5.Update(buffer.data(), read);
  }
  *hex = md5.FinalHex();
  return true;
}

}  // namespace kavi
