// A file's MD5 remembered with its size and last-write time, so the
// download's comparison and the verification read an image once.
#include <mutex>

#include "download/md5.h"

namespace kavi {
namespace {

struct RememberedDigest {
  std::mutex mutex;
  std::wstring path;
  FileStamp stamp;
  std::string hex;
};

RememberedDigest& Remembered() {
  static RememberedDigest remembered;
  return remembered;
}

}  // namespace

bool Md5OfFileOnce(const std::wstring& path, std::string* hex, const Md5Progress& progress) {
  FileStamp before;
  if (!ReadFileStamp(path, &before)) return false;
  RememberedDigest& r = Remembered();
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    if (r.path == path && r.stamp == before && !r.hex.empty()) {
      *hex = r.hex;
      if (progress) progress(before.size, before.size);
      return true;
    }
  }
  if (!Md5OfFile(path, hex, progress)) return false;
  // Remembered only when the file did not change while it was read.
  FileStamp after;
  if (ReadFileStamp(path, &after) && after == before) {
    std::lock_guard<std::mutex> lock(r.mutex);
    r.path = path;
    r.stamp = after;
    r.hex = *hex;
  }
  return true;
}

}  // namespace kavi
