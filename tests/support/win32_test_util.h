// Helpers for Windows-side tests: a fresh temporary folder and small file
// operations on wide paths.
#pragma once

#include <windows.h>

#include <string>

namespace kavi {

// A fresh folder under %TEMP%, removed with its contents on scope exit.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::wstring& Path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);

}  // namespace kavi
