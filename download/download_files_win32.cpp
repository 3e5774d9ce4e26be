#include "download/download_files_win32.h"

#include <windows.h>

#include "download/md5.h"

namespace kavi {

bool Win32DownloadFiles::Move(const std::wstring& from, const std::wstring& to) {
  return MoveFileW(from.c_str(), to.c_str()) != FALSE;
}

bool Win32DownloadFiles::Md5(const std::wstring& path, std::string* hex) {
  return Md5OfFileOnce(path, hex);
}

void Win32DownloadFiles::Sleep(int milliseconds) {
  ::Sleep(static_cast<DWORD>(milliseconds));
}

}  // namespace kavi
