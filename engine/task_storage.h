// The storage seam of the engine: the partial data file ("NAME.td"), its
// resume state ("NAME.td.cfg") and the final rename. The Windows engine
// implements it with Win32 files; tests substitute memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kavi {
namespace engine {

enum class WriteResult { kOk, kDiskFull, kError };

class TaskStorage {
 public:
  virtual ~TaskStorage() = default;
  // Opens the data file, keeping its contents or starting it empty.
  virtual bool OpenData(bool keepContents) = 0;
  // Safe to call from several threads for disjoint ranges.
  virtual WriteResult WriteAt(int64_t offset, const void* data, size_t size) = 0;
  // Forces written data to the disk.
  virtual bool Flush() = 0;
  virtual void CloseData() = 0;

  virtual bool LoadState(std::string* bytes) = 0;
  // Replaces the state file as a whole: a reader sees the old or the new one.
  virtual bool SaveState(const std::string& bytes) = 0;
  virtual void DeleteState() = 0;

  // Closes the data file and gives it its final name; when that name is
  // taken, the next free "name(N).ext". `savedName` receives the file name
  // used.
  virtual bool Commit(std::wstring* savedName) = 0;

  // The time the system started, in seconds since the epoch.
  virtual int64_t BootTime() = 0;
};

}  // namespace engine
}  // namespace kavi
