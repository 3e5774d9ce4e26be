#include "restore/agent/bcd_store.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "restore/agent/volume_files.h"

namespace kavi {
namespace restore {
namespace {

constexpr size_t kHiveBinsStart = 0x1000;
constexpr size_t kRootCellField = 0x24;
constexpr int kMaxDepth = 32;
constexpr uint32_t kBigDataLimit = 16344;  // larger values live in "db" cells
constexpr uint16_t kCompressedName = 0x0020;
constexpr uint32_t kBcdBootMgrType = 0x10100002;
constexpr uint32_t kDevicePartition = 6;
constexpr uint32_t kStyleGpt = 0;
constexpr uint32_t kStyleMbr = 1;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

uint16_t U16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

uint32_t U32(const std::string& b, size_t at) {
  return uint32_t{U16(b, at)} | uint32_t{U16(b, at + 2)} << 16;
}

void PutU32(std::string* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<char>(v >> (8 * i));
}

class HiveReader {
 public:
  explicit HiveReader(const std::string& bytes) : b_(bytes) {}

  std::optional<HiveKey> Root() {
    if (b_.size() < kHiveBinsStart + 32 || b_.compare(0, 4, "regf") != 0) return std::nullopt;
    HiveKey root;
    if (!Key(U32(b_, kRootCellField), 0, &root)) return std::nullopt;
    return root;
  }

 private:
  // The data of the cell at `offset` (after its size field) and its length.
  bool Cell(uint32_t offset, size_t* at, size_t* size) const {
    const size_t start = kHiveBinsStart + size_t{offset};
    if (offset == 0xFFFFFFFF || start + 4 > b_.size()) return false;
    const int32_t raw = static_cast<int32_t>(U32(b_, start));
    const size_t length = raw < 0 ? size_t(-int64_t{raw}) : size_t(raw);
    if (length < 8 || start + length > b_.size()) return false;
    *at = start + 4;
    *size = length - 4;
    return true;
  }

  static std::string Name(const std::string& b, size_t at, size_t length, bool ascii) {
    std::string name;
    if (ascii) return b.substr(at, length);
    for (size_t i = 0; i + 1 < length; i += 2) {
      const uint16_t c = U16(b, at + i);
      name += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return name;
  }

  bool Key(uint32_t offset, int depth, HiveKey* key) {
    size_t at, size;
    if (depth > kMaxDepth || !Cell(offset, &at, &size) || size < 0x4C ||
        b_.compare(at, 2, "nk") != 0) {
      return false;
    }
    const uint16_t nameLength = U16(b_, at + 0x48);
    if (0x4C + size_t{nameLength} > size) return false;
    key->name = Name(b_, at + 0x4C, nameLength, U16(b_, at + 2) & kCompressedName);
    const uint32_t subkeys = U32(b_, at + 0x14);
    const uint32_t values = U32(b_, at + 0x24);
    if (subkeys > 0) {
      std::vector<uint32_t> offsets;
      if (!SubkeyOffsets(U32(b_, at + 0x1C), 0, &offsets) || offsets.size() != subkeys) {
        return false;
      }
      for (uint32_t o : offsets) {
        key->subkeys.emplace_back();
        if (!Key(o, depth + 1, &key->subkeys.back())) return false;
      }
    }
    if (values > 0) {
      size_t listAt, listSize;
      if (!Cell(U32(b_, at + 0x28), &listAt, &listSize) || listSize / 4 < values) return false;
      for (uint32_t i = 0; i < values; ++i) {
        HiveValue value;
        if (!Value(U32(b_, listAt + 4 * i), &value)) return false;
        key->values.push_back(std::move(value));
      }
    }
    return true;
  }

  bool SubkeyOffsets(uint32_t offset, int depth, std::vector<uint32_t>* out) {
    size_t at, size;
    if (depth > 1 || !Cell(offset, &at, &size) || size < 4) return false;
    const std::string sig = b_.substr(at, 2);
    const size_t count = U16(b_, at + 2);
    const size_t step = (sig == "lf" || sig == "lh") ? 8 : 4;
    if (sig != "lf" && sig != "lh" && sig != "li" && sig != "ri") return false;
    if (4 + count * step > size) return false;
    for (size_t i = 0; i < count; ++i) {
      const uint32_t o = U32(b_, at + 4 + i * step);
      if (sig == "ri") {
        if (!SubkeyOffsets(o, depth + 1, out)) return false;
      } else {
        out->push_back(o);
      }
    }
    return true;
  }

  bool Value(uint32_t offset, HiveValue* value) {
    size_t at, size;
    if (!Cell(offset, &at, &size) || size < 0x14 || b_.compare(at, 2, "vk") != 0) return false;
    const uint16_t nameLength = U16(b_, at + 2);
    if (0x14 + size_t{nameLength} > size) return false;
    value->name = Name(b_, at + 0x14, nameLength, U16(b_, at + 0x10) & 1);
    value->type = U32(b_, at + 0x0C);
    const uint32_t length = U32(b_, at + 4);
    if (length & 0x80000000) {
      value->data = b_.substr(at + 8, std::min<uint32_t>(length & 0x7FFFFFFF, 4));
      return true;
    }
    if (length == 0 || length > kBigDataLimit) return true;
    size_t dataAt, dataSize;
    if (!Cell(U32(b_, at + 8), &dataAt, &dataSize) || dataSize < length) return false;
    value->data = b_.substr(dataAt, length);
    return true;
  }

  const std::string& b_;
};

std::string Utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

std::string Sz(const std::string& text) {
  return Utf16(text) + std::string(2, '\0');
}

std::string MultiSz(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& s : items) out += Sz(s);
  return out + std::string(2, '\0');
}

std::vector<std::string> ReadMultiSz(const std::string& data) {
  std::vector<std::string> items(1);
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    const uint16_t c = U16(data, i);
    if (c == 0) {
      if (items.back().empty()) break;
      items.emplace_back();
    } else {
      items.back() += c < 0x80 ? static_cast<char>(c) : '?';
    }
  }
  if (items.back().empty()) items.pop_back();
  return items;
}

std::string ReadSz(const std::string& data) {
  std::vector<std::string> items = ReadMultiSz(data);
  return items.empty() ? std::string() : items[0];
}

std::string ElementName(uint32_t element) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", element);
  return text;
}

bool SameId(const std::string& a, const std::string& b) {
  return SameNameIgnoringCase(a, b);
}

// hivexsh commands that set one value per key, adding the keys the store
// does not have yet; keys are matched in any case, as the boot manager does.
class ScriptBuilder {
 public:
  explicit ScriptBuilder(const HiveKey& root) : root_(root) {}

  void Set(const std::vector<std::string>& path, const std::string& name, uint32_t type,
           const std::string& data) {
    Ensure(path);
    script_ +=
        "cd " + PathText(path) + "\nsetval 1\n" + name + "\nhex:" + std::to_string(type) + ":";
    for (size_t i = 0; i < data.size(); ++i) {
      char hex[4];
      std::snprintf(hex, sizeof hex, i ? ",%02x" : "%02x", static_cast<uint8_t>(data[i]));
      script_ += hex;
    }
    script_ += "\n";
  }

  void SetElement(const std::string& id, uint32_t element, uint32_t type, const std::string& data) {
    Set({"Objects", id, "Elements", ElementName(element)}, "Element", type, data);
  }

  std::string Finish() { return script_ + "commit\n"; }

 private:
  static std::string PathText(const std::vector<std::string>& path) {
    std::string text;
    for (const std::string& p : path) text += "\\" + p;
    return text.empty() ? "\\" : text;
  }

  void Ensure(const std::vector<std::string>& path) {
    const HiveKey* key = &root_;
    for (size_t i = 0; i < path.size(); ++i) {
      const std::vector<std::string> upTo(path.begin(), path.begin() + i + 1);
      if (key) key = key->Find(path[i]);
      if (key || added_.count(PathText(upTo))) continue;
      script_ += "cd " + PathText({path.begin(), path.begin() + i}) + "\nadd " + path[i] + "\n";
      added_.insert(PathText(upTo));
    }
  }

  const HiveKey& root_;
  std::set<std::string> added_;
  std::string script_;
};

std::string Integer(uint64_t value) {
  std::string out(8, '\0');
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(value >> (8 * i));
  return out;
}

const BcdObject* FindObject(const std::vector<BcdObject>& objects, const std::string& id) {
  for (const BcdObject& o : objects) {
    if (SameId(o.id, id)) return &o;
  }
  return nullptr;
}

bool NamesPartition(const BcdObject& o, uint32_t element, const BcdPartition& p) {
  auto it = o.elements.find(element);
  if (it == o.elements.end()) return false;
  std::optional<BcdPartition> named = DecodeBcdDevice(it->second);
  return named && *named == p;
}

}  // namespace

const HiveKey* HiveKey::Find(const std::string& subkey) const {
  for (const HiveKey& k : subkeys) {
    if (SameNameIgnoringCase(k.name, subkey)) return &k;
  }
  return nullptr;
}

const HiveValue* HiveKey::Value(const std::string& value) const {
  for (const HiveValue& v : values) {
    if (SameNameIgnoringCase(v.name, value)) return &v;
  }
  return nullptr;
}

std::optional<HiveKey> ReadHive(const std::string& bytes) {
  return HiveReader(bytes).Root();
}

bool BcdPartition::operator==(const BcdPartition& o) const {
  if (gpt != o.gpt) return false;
  return gpt ? disk == o.disk && partition == o.partition
             : signature == o.signature && offset == o.offset;
}

std::string EncodeBcdDevice(const BcdPartition& p) {
  std::string out(kBcdDeviceSize, '\0');
  PutU32(&out, 16, kDevicePartition);
  PutU32(&out, 24, kBcdDeviceSize - 16);
  if (p.gpt) {
    std::memcpy(&out[32], p.partition.bytes.data(), 16);
    PutU32(&out, 52, kStyleGpt);
    std::memcpy(&out[56], p.disk.bytes.data(), 16);
  } else {
    PutU32(&out, 32, static_cast<uint32_t>(p.offset));
    PutU32(&out, 36, static_cast<uint32_t>(p.offset >> 32));
    PutU32(&out, 52, kStyleMbr);
    PutU32(&out, 56, p.signature);
  }
  return out;
}

std::optional<BcdPartition> DecodeBcdDevice(const std::string& e) {
  if (e.size() < kBcdDeviceSize || U32(e, 16) != kDevicePartition) return std::nullopt;
  BcdPartition p;
  const uint32_t style = U32(e, 52);
  if (style == kStyleGpt) {
    p.gpt = true;
    std::memcpy(p.partition.bytes.data(), &e[32], 16);
    std::memcpy(p.disk.bytes.data(), &e[56], 16);
  } else if (style == kStyleMbr) {
    p.offset = uint64_t{U32(e, 32)} | uint64_t{U32(e, 36)} << 32;
    p.signature = U32(e, 56);
  } else {
    return std::nullopt;
  }
  return p;
}

std::vector<BcdObject> BcdObjects(const HiveKey& store) {
  std::vector<BcdObject> out;
  const HiveKey* objects = store.Find("Objects");
  if (!objects) return out;
  for (const HiveKey& key : objects->subkeys) {
    BcdObject o;
    o.id = key.name;
    const HiveKey* description = key.Find("Description");
    const HiveValue* type = description ? description->Value("Type") : nullptr;
    if (type && type->data.size() >= 4) o.type = U32(type->data, 0);
    if (const HiveKey* elements = key.Find("Elements")) {
      for (const HiveKey& e : elements->subkeys) {
        const HiveValue* v = e.Value("Element");
        if (v)
          o.elements[static_cast<uint32_t>(std::strtoul(e.name.c_str(), nullptr, 16))] = v->data;
      }
    }
    out.push_back(std::move(o));
  }
  return out;
}

std::string LoaderPath(bool uefi) {
  return uefi ? "\\Windows\\system32\\winload.efi" : "\\Windows\\system32\\winload.exe";
}

std::optional<std::string> KeepStoreScript(const HiveKey& store, const BcdTarget& t) {
  const std::vector<BcdObject> objects = BcdObjects(store);
  const BcdObject* bootmgr = FindObject(objects, kBootMgrId);
  if (!bootmgr) return std::nullopt;
  std::vector<const BcdObject*> loaders;
  for (const BcdObject& o : objects) {
    if (o.type == kBcdLoaderType && (NamesPartition(o, kElementDevice, t.windows) ||
                                     NamesPartition(o, kElementOsDevice, t.windows))) {
      loaders.push_back(&o);
    }
  }
  if (loaders.empty()) return std::nullopt;
  const BcdObject* chosen = loaders[0];
  auto def = bootmgr->elements.find(kElementDefault);
  for (const BcdObject* o : loaders) {
    if (def != bootmgr->elements.end() && SameId(ReadSz(def->second), o->id)) chosen = o;
  }
  ScriptBuilder s(store);
  const std::string device = EncodeBcdDevice(t.windows);
  s.SetElement(chosen->id, kElementDevice, kRegBinary, device);
  s.SetElement(chosen->id, kElementPath, kRegSz, Sz(LoaderPath(t.uefi)));
  s.SetElement(chosen->id, kElementOsDevice, kRegBinary, device);
  s.SetElement(chosen->id, kElementSystemRoot, kRegSz, Sz("\\Windows"));
  s.SetElement(bootmgr->id, kElementDefault, kRegSz, Sz(chosen->id));
  std::vector<std::string> order;
  auto shown = bootmgr->elements.find(kElementDisplayOrder);
  if (shown != bootmgr->elements.end()) order = ReadMultiSz(shown->second);
  bool listed = false;
  for (const std::string& id : order) listed = listed || SameId(id, chosen->id);
  if (!listed) {
    order.insert(order.begin(), chosen->id);
    s.SetElement(bootmgr->id, kElementDisplayOrder, kRegMultiSz, MultiSz(order));
  }
  return s.Finish();
}

std::string NewStoreScript(const HiveKey& templateStore, const BcdTarget& t,
                           const std::string& description) {
  const std::vector<BcdObject> objects = BcdObjects(templateStore);
  ScriptBuilder s(templateStore);
  const BcdObject* bootmgr = FindObject(objects, kBootMgrId);
  const std::string bootmgrId = bootmgr ? bootmgr->id : kBootMgrId;
  std::string type(4, '\0');
  if (!bootmgr) {
    PutU32(&type, 0, kBcdBootMgrType);
    s.Set({"Objects", bootmgrId, "Description"}, "Type", kRegDword, type);
    s.SetElement(bootmgrId, kElementDescription, kRegSz, Sz("Windows Boot Manager"));
  }
  s.SetElement(bootmgrId, kElementDevice, kRegBinary, EncodeBcdDevice(t.boot));
  if (t.uefi) {
    s.SetElement(bootmgrId, kElementPath, kRegSz, Sz("\\EFI\\Microsoft\\Boot\\bootmgfw.efi"));
  }
  s.SetElement(bootmgrId, kElementDefault, kRegSz, Sz(t.loaderId));
  s.SetElement(bootmgrId, kElementDisplayOrder, kRegMultiSz, MultiSz({t.loaderId}));
  s.SetElement(bootmgrId, 0x25000004, kRegBinary, Integer(5));  // timeout, seconds

  PutU32(&type, 0, kBcdLoaderType);
  s.Set({"Objects", t.loaderId, "Description"}, "Type", kRegDword, type);
  const std::string device = EncodeBcdDevice(t.windows);
  s.SetElement(t.loaderId, kElementDevice, kRegBinary, device);
  s.SetElement(t.loaderId, kElementPath, kRegSz, Sz(LoaderPath(t.uefi)));
  s.SetElement(t.loaderId, kElementDescription, kRegSz, Sz(description));
  if (const BcdObject* settings = FindObject(objects, kLoaderSettingsId)) {
    s.SetElement(t.loaderId, kElementInherit, kRegMultiSz, MultiSz({settings->id}));
  }
  s.SetElement(t.loaderId, kElementOsDevice, kRegBinary, device);
  s.SetElement(t.loaderId, kElementSystemRoot, kRegSz, Sz("\\Windows"));
  return s.Finish();
}

bool DefaultStartsWindowsOn(const HiveKey& store, const BcdPartition& windows) {
  const std::vector<BcdObject> objects = BcdObjects(store);
  const BcdObject* bootmgr = FindObject(objects, kBootMgrId);
  if (!bootmgr) return false;
  auto def = bootmgr->elements.find(kElementDefault);
  if (def == bootmgr->elements.end()) return false;
  const BcdObject* loader = FindObject(objects, ReadSz(def->second));
  return loader && loader->type == kBcdLoaderType &&
         NamesPartition(*loader, kElementDevice, windows) &&
         NamesPartition(*loader, kElementOsDevice, windows);
}

}  // namespace restore
}  // namespace kavi
