// Small Win32 helpers shared by the Windows side of every subsystem: owned
// handles and the path queries that must never be cut at MAX_PATH silently.
#pragma once

#include <windows.h>

#include <string>

namespace kavi {

// A kernel handle closed on scope exit. Both null and INVALID_HANDLE_VALUE
// count as empty.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : handle_(h) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE Get() const { return handle_; }
  bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Release() {
    HANDLE h = handle_;
    handle_ = nullptr;
    return h;
  }
  void Reset(HANDLE h = nullptr) {
    if (Valid()) CloseHandle(handle_);
    handle_ = h;
  }

 private:
  HANDLE handle_ = nullptr;
};

// GetWindowsDirectoryW of any length; empty on failure.
std::wstring WindowsDirectory();

// GetModuleFileNameW of any length (null module: the running executable);
// empty on failure.
std::wstring ModuleFileName(HMODULE module);

// CreateProcessW, handles inherited, for a command the program runs
// elevated (host/command_line.h): a program named without a folder comes
// from the system folder by its full path, and the child starts in the
// system folder. False when it could not start.
bool CreateSystemProcess(const std::wstring& commandLine, DWORD flags, STARTUPINFOW* startup,
                         PROCESS_INFORMATION* process);

// Where DLLs loaded by name are looked for, for a process that runs
// elevated: the system folder alone where kernel32 has
// SetDefaultDllDirectories (Windows 8, and 7 with KB2533623), else no
// longer the current folder (SetDllDirectoryW, XP SP1 on). Windows 2000
// keeps its search order; its GDI+ may lie beside the program.
void LimitDllSearch();

// True when `path` fits an API limited to MAX_PATH characters with its NUL.
inline bool FitsMaxPath(const std::wstring& path) {
  return path.size() < MAX_PATH;
}

}  // namespace kavi
