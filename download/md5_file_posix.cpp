#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "download/md5.h"
#include "host/text.h"

namespace kavi {

bool Md5OfFile(const std::wstring& path, std::string* hex, const Md5Progress& progress) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(ToUtf8(path).c_str(), "rb"), &std::fclose);
  if (!file) return false;
  FileStamp stamp;
  ReadFileStamp(path, &stamp);
  std::vector<char> buffer(1 << 20);
  Md5 md5;
  size_t read;
  int64_t done = 0;
  while ((read = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) {
    md5.Update(buffer.data(), read);
    done += static_cast<int64_t>(read);
    if (progress) progress(done, stamp.size);
  }
  if (std::ferror(file.get())) return false;
  *hex = md5.FinalHex();
  return true;
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
