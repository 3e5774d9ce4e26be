// The boot manager's store (BCD): a registry hive of objects, each with a
// type and elements. Read here with a small reader of the hive format;
// changed by hivexsh (libhivex), whose command script is built here from
// the store as read, so no hive is ever written by our own code.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "restore/agent/gpt.h"

namespace kavi {
namespace restore {

struct HiveValue {
  std::string name;
  uint32_t type = 0;  // REG_SZ 1, REG_BINARY 3, REG_DWORD 4, REG_MULTI_SZ 7
  std::string data;
};

struct HiveKey {
  std::string name;
  std::vector<HiveValue> values;
  std::vector<HiveKey> subkeys;

  // By name in any ASCII case; null when absent.
  const HiveKey* Find(const std::string& subkey) const;
  const HiveValue* Value(const std::string& value) const;
};

// The whole tree of a "regf" hive; none when a cell lies outside the hive
// or a signature is wrong. Values stored in big-data cells read as absent.
std::optional<HiveKey> ReadHive(const std::string& bytes);

// A partition as a BCD device element names it: by MBR disk signature and
// byte offset, or by GPT disk and partition GUIDs.
struct BcdPartition {
  bool gpt = false;
  uint32_t signature = 0;
  uint64_t offset = 0;
  Guid disk;
  Guid partition;

  bool operator==(const BcdPartition& o) const;
};

constexpr size_t kBcdDeviceSize = 88;

// The 88-byte partition device element.
std::string EncodeBcdDevice(const BcdPartition& partition);
// None for any other kind of device (boot, ramdisk, locate, ...).
std::optional<BcdPartition> DecodeBcdDevice(const std::string& element);

constexpr const char* kBootMgrId = "{9dea862c-5cdd-4e70-acc1-f32b344d4795}";
constexpr const char* kLoaderSettingsId = "{6efb52bf-1766-41db-a6b3-0ee5eff72bd7}";
constexpr uint32_t kBcdLoaderType = 0x10200003;  // a Windows boot loader

// Element numbers (the key names under Elements, as 8 hex digits).
constexpr uint32_t kElementDevice = 0x11000001;
constexpr uint32_t kElementPath = 0x12000002;
constexpr uint32_t kElementDescription = 0x12000004;
constexpr uint32_t kElementInherit = 0x14000006;
constexpr uint32_t kElementOsDevice = 0x21000001;
constexpr uint32_t kElementSystemRoot = 0x22000002;
constexpr uint32_t kElementDefault = 0x23000003;
constexpr uint32_t kElementDisplayOrder = 0x24000001;

struct BcdObject {
  std::string id;  // "{...}" as the key is named
  uint32_t type = 0;
  std::map<uint32_t, std::string> elements;  // each "Element" value's bytes
};

// The objects under \Objects.
std::vector<BcdObject> BcdObjects(const HiveKey& store);

// What the store has to start: the written Windows partition, the
// partition the boot manager runs from, and the firmware's kind.
struct BcdTarget {
  BcdPartition windows;
  BcdPartition boot;
  bool uefi = false;
  std::string loaderId;  // the id a new loader entry gets
};

// The loader path the image's firmware kind needs.
std::string LoaderPath(bool uefi);

// A hivexsh script that makes the machine's store default to a loader
// already naming the written partition, with this firmware's loader path
// and \Windows as its root; none when no loader entry names it.
std::optional<std::string> KeepStoreScript(const HiveKey& store, const BcdTarget& target);

// A hivexsh script that turns the image's template store into one whose
// boot manager runs from the boot partition and starts a new loader entry
// on the written partition by default.
std::string NewStoreScript(const HiveKey& templateStore, const BcdTarget& target,
                           const std::string& description);

// Whether the store's default entry is a Windows loader on `windows`.
bool DefaultStartsWindowsOn(const HiveKey& store, const BcdPartition& windows);

}  // namespace restore
}  // namespace kavi
