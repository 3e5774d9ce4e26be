// Builds zip archives in memory for the toolkit's tests, fuzz seeds and
// benchmark: stored or deflated members, optional UTF-8 name flag.
#pragma once

#include <string>
#include <vector>

namespace SkinUI {
namespace testing {

class ZipWriter {
 public:
  // `name` is the raw name as stored (ANSI or UTF-8 bytes).
  void Add(const std::string& name, const std::string& data, bool deflate = true,
           bool utf8Name = false);
  std::string Finish() const;

 private:
  struct Entry {
    std::string name;
    std::string packed;
    unsigned crc;
    unsigned size;
    unsigned short method;
    unsigned short flags;
    unsigned offset;
  };
  std::vector<Entry> entries_;
};

}  // namespace testing
}  // namespace SkinUI
