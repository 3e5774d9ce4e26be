#include "tests/ui/zip_writer.h"

#include <zlib.h>

namespace SkinUI {
namespace testing {
namespace {

void Put16(std::string* out, unsigned v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string* out, unsigned v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// The fields a local header and its central directory entry share: flags,
// method, a zero time and date, CRC, sizes, the name's length and a zero
// extra length.
void PutSharedFields(std::string* out, unsigned flags, unsigned method, unsigned crc,
                     std::size_t packed, unsigned size, std::size_t nameLength) {
  Put16(out, flags);
  Put16(out, method);
  Put16(out, 0);
  Put16(out, 0);
  Put32(out, crc);
  Put32(out, static_cast<unsigned>(packed));
  Put32(out, size);
  Put16(out, static_cast<unsigned>(nameLength));
  Put16(out, 0);
}

std::string Deflate(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace

void ZipWriter::Add(const std::string& name, const std::string& data, bool deflate, bool utf8Name) {
  Entry e;
  e.name = name;
  e.crc = static_cast<unsigned>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
  e.size = static_cast<unsigned>(data.size());
  e.method = deflate ? 8 : 0;
  e.packed = deflate ? Deflate(data) : data;
  e.flags = utf8Name ? 0x0800 : 0;
  e.offset = 0;
  entries_.push_back(std::move(e));
}

std::string ZipWriter::Finish() const {
  std::string out;
  std::vector<unsigned> offsets;
  for (const Entry& e : entries_) {
    offsets.push_back(static_cast<unsigned>(out.size()));
    Put32(&out, 0x04034b50);
    Put16(&out, 20);
    PutSharedFields(&out, e.flags, e.method, e.crc, e.packed.size(), e.size, e.name.size());
    out += e.name;
    out += e.packed;
  }
  unsigned dirOffset = static_cast<unsigned>(out.size());
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const Entry& e = entries_[i];
    Put32(&out, 0x02014b50);
    Put16(&out, 20);
    Put16(&out, 20);
    PutSharedFields(&out, e.flags, e.method, e.crc, e.packed.size(), e.size, e.name.size());
    Put16(&out, 0);
    Put16(&out, 0);
    Put16(&out, 0);
    Put32(&out, 0);
    Put32(&out, offsets[i]);
    out += e.name;
  }
  unsigned dirSize = static_cast<unsigned>(out.size()) - dirOffset;
  Put32(&out, 0x06054b50);
  Put16(&out, 0);
  Put16(&out, 0);
  Put16(&out, static_cast<unsigned>(entries_.size()));
  Put16(&out, static_cast<unsigned>(entries_.size()));
  Put32(&out, dirSize);
  Put32(&out, dirOffset);
  Put16(&out, 0);
  return out;
}

}  // namespace testing
}  // namespace SkinUI
