#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "download/md5.h"
#include "host/text.h"

namespace kavi {

bool Md5OfFile(const std::wstring& path, std::string* hex, const Md5Progress& progress) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(ToUtf8(path).c_str(), "rb"), &std::fclose);
  if (!file) return false;
  FileStamp stamp;
  ReadFileStamp(path, &stamp);
  return Md5OfOpenFile(file.get(), stamp.size, hex, progress);
}

}  // namespace kavi

namespace kavi {

bool ReadFileStamp(const std::wstring& path, FileStamp* stamp) {
  struct stat st;
  if (stat(ToUtf8(path).c_str(), &st) != 0) return false;
  stamp->size = static_cast<int64_t>(st.st_size);
  stamp->lastWrite = static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000ull +
                     static_cast<uint64_t>(st.st_mtim.tv_nsec);
  return true;
}

}  // namespace kavi
