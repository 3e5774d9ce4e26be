// The download thread's file operations on Windows.
#pragma once

#include "download/download_monitor.h"

namespace kavi {

class Win32DownloadFiles : public DownloadFiles {
 public:
  bool Move(const std::wstring& from, const std::wstring& to) override;
  bool Md5(const std::wstring& path, std::string* hex) override;
  void Sleep(int milliseconds) override;
};

}  // namespace kavi
