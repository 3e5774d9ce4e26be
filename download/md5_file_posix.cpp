#include <cstdio>
#include <memory>
#include <vector>

#include "download/md5.h"
#include "host/text.h"

namespace kavi {

bool Md5OfFile(const std::wstring& path, std::string* hex) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(ToUtf8(path).c_str(), "rb"), &std::fclose);
  if (!file) return false;
  std::vector<char> buffer(1 << 20);
  Md5 md5;
  size_t read;
  while ((read = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) {
    md5.Update(buffer.data(), read);
  }
  if (std::ferror(file.get())) return false;
  *hex = md5.FinalHex();
  return true;
}

}  // namespace kavi
