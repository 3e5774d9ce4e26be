#include "ui/gif_frames.h"

#include <cstddef>

namespace SkinUI {
namespace {

class Reader {
 public:
  explicit Reader(const std::string& bytes) : bytes_(bytes) {}
  bool Has(std::size_t n) const { return bytes_.size() - pos_ >= n; }
  int Byte() { return static_cast<unsigned char>(bytes_[pos_++]); }
  int Word() {
    int low = Byte();
    return low | Byte() << 8;
  }
  bool Skip(std::size_t n) {
    if (!Has(n)) return false;
    pos_ += n;
    return true;
  }
  // Data sub-blocks up to the empty one that ends them.
  bool SkipSubBlocks() {
    while (Has(1)) {
      int size = Byte();
      if (size == 0) return true;
      if (!Skip(static_cast<std::size_t>(size))) return false;
    }
    return false;
  }

 private:
  const std::string& bytes_;
  std::size_t pos_ = 0;
};

std::size_t ColorTableSize(int packed) {
  return (packed & 0x80) ? 3u << ((packed & 7) + 1) : 0;
}

}  // namespace

std::optional<std::vector<int>> GifFrameDelays(const std::string& bytes) {
  if (bytes.compare(0, 6, "GIF87a") != 0 && bytes.compare(0, 6, "GIF89a") != 0) return {};
  Reader in(bytes);
  if (!in.Skip(6) || !in.Has(7) || !in.Skip(4)) return {};
  const int screen = in.Byte();
  if (!in.Skip(2) || !in.Skip(ColorTableSize(screen))) return {};
  std::vector<int> delays;
  int pendingDelay = 0;
  while (in.Has(1)) {
    switch (in.Byte()) {
      case 0x21: {  // extension
        if (!in.Has(1)) return {};
        const int label = in.Byte();
        if (label == 0xF9 && in.Has(6)) {
          const int size = in.Byte();
          if (size != 4) return {};
          in.Byte();  // disposal and transparency flags
          pendingDelay = in.Word() * 10;
          in.Byte();  // transparent colour index
          if (in.Byte() != 0) return {};
        } else if (!in.SkipSubBlocks()) {
          return {};
        }
        break;
      }
      case 0x2C: {  // image: descriptor, colour table, LZW code size, data
        if (!in.Has(9)) return {};
        in.Skip(8);
        const int packed = in.Byte();
        if (!in.Skip(ColorTableSize(packed)) || !in.Skip(1) || !in.SkipSubBlocks()) return {};
        delays.push_back(pendingDelay);
        pendingDelay = 0;
        break;
      }
      case 0x3B:  // trailer
        if (delays.empty()) return {};
        return delays;
      default:
        return {};
    }
  }
  return {};  // no trailer
}

}  // namespace SkinUI
