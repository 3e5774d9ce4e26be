#include "restore/agent/ntfs_security.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kavi {
namespace restore {
namespace {

// SECURITY_DESCRIPTOR_RELATIVE, ACL and ACE_HEADER as NTFS stores them
// (little-endian, which the agent's processors are).
struct DescriptorHeader {
  uint8_t revision;
  uint8_t sbz1;
  uint16_t control;
  uint32_t ownerOffset;
  uint32_t groupOffset;
  uint32_t saclOffset;
  uint32_t daclOffset;
};
static_assert(sizeof(DescriptorHeader) == 20, "SECURITY_DESCRIPTOR_RELATIVE");
static_assert(offsetof(DescriptorHeader, control) == 2, "control");
static_assert(offsetof(DescriptorHeader, daclOffset) == 16, "DACL offset");

struct AclHeader {
  uint8_t revision;
  uint8_t sbz1;
  uint16_t size;
  uint16_t count;
  uint16_t sbz2;
};
static_assert(sizeof(AclHeader) == 8, "ACL");

struct AceHeader {
  uint8_t type;
  uint8_t flags;
  uint16_t size;
  uint32_t mask;  // ACCESS_ALLOWED_ACE / ACCESS_DENIED_ACE, the SID follows
};
static_assert(sizeof(AceHeader) == 8, "ACE with its mask");
static_assert(offsetof(AceHeader, mask) == 4, "mask");

constexpr uint16_t kSelfRelative = 0x8000;
constexpr uint16_t kDaclPresent = 0x0004;
constexpr uint16_t kDaclProtected = 0x1000;
constexpr uint8_t kAllowed = 0;
constexpr uint8_t kDenied = 1;
constexpr uint8_t kInheritToObjectsAndContainers = 0x03;
constexpr uint32_t kFullControl = 0x001F01FF;
constexpr uint32_t kReadAndExecute = 0x001200A9;
// FILE_WRITE_DATA, FILE_APPEND_DATA, FILE_WRITE_EA, FILE_DELETE_CHILD,
// FILE_WRITE_ATTRIBUTES, DELETE, WRITE_DAC, WRITE_OWNER, GENERIC_ALL,
// GENERIC_WRITE, and MAXIMUM_ALLOWED / ACCESS_SYSTEM_SECURITY for good
// measure.
constexpr uint32_t kChangingRights = 0x00000002 | 0x00000004 | 0x00000010 | 0x00000040 |
                                     0x00000100 | 0x00010000 | 0x00040000 | 0x00080000 |
                                     0x10000000 | 0x40000000 | 0x02000000 | 0x01000000;

// S-1-5-18, S-1-5-32-544, S-1-5-32-545.
const std::vector<uint8_t> kSystem = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
const std::vector<uint8_t> kAdministrators = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 32, 2, 0, 0};
const std::vector<uint8_t> kUsers = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 33, 2, 0, 0};

template <typename T>
void Append(std::string* out, const T& value) {
  out->append(reinterpret_cast<const char*>(&value), sizeof value);
}

void Append(std::string* out, const std::vector<uint8_t>& bytes) {
  out->append(bytes.begin(), bytes.end());
}

// The SID at `offset`, or empty when it does not fit.
std::vector<uint8_t> SidAt(const std::string& bytes, size_t offset) {
  if (offset == 0 || offset + 8 > bytes.size()) return {};
  const size_t size = 8 + 4 * static_cast<uint8_t>(bytes[offset + 1]);
  if (bytes[offset] != 1 || offset + size > bytes.size()) return {};
  return std::vector<uint8_t>(bytes.begin() + offset, bytes.begin() + offset + size);
}

bool IsAdministration(const std::vector<uint8_t>& sid) {
  return sid == kSystem || sid == kAdministrators;
}

template <typename T>
bool ReadAt(const std::string& bytes, size_t offset, T* value) {
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return false;
  std::memcpy(value, bytes.data() + offset, sizeof(T));
  return true;
}

}  // namespace

std::string AdminOnlyDescriptor(bool directory, bool usersRead) {
  std::vector<std::pair<const std::vector<uint8_t>*, uint32_t>> grants = {
      {&kSystem, kFullControl}, {&kAdministrators, kFullControl}};
  if (usersRead) grants.push_back({&kUsers, kReadAndExecute});
  std::string aces;
  for (const auto& grant : grants) {
    const AceHeader ace{kAllowed, directory ? kInheritToObjectsAndContainers : uint8_t{0},
                        static_cast<uint16_t>(sizeof(AceHeader) + grant.first->size()),
                        grant.second};
    Append(&aces, ace);
    Append(&aces, *grant.first);
  }
  const AclHeader acl{2, 0, static_cast<uint16_t>(sizeof(AclHeader) + aces.size()),
                      static_cast<uint16_t>(grants.size()), 0};
  const uint32_t ownerOffset = sizeof(DescriptorHeader);
  const uint32_t groupOffset = ownerOffset + static_cast<uint32_t>(kAdministrators.size());
  const uint32_t daclOffset = groupOffset + static_cast<uint32_t>(kSystem.size());
  const DescriptorHeader header{
      1,
      0,
      static_cast<uint16_t>(kSelfRelative | kDaclPresent | kDaclProtected),
      ownerOffset,
      groupOffset,
      0,
      daclOffset};
  std::string out;
  Append(&out, header);
  Append(&out, kAdministrators);
  Append(&out, kSystem);
  Append(&out, acl);
  out += aces;
  return out;
}

bool IsAdminOnly(const std::string& descriptor) {
  DescriptorHeader header;
  if (!ReadAt(descriptor, 0, &header) || header.revision != 1 ||
      !(header.control & kSelfRelative) || !(header.control & kDaclPresent) ||
      header.daclOffset == 0 || !IsAdministration(SidAt(descriptor, header.ownerOffset))) {
    return false;
  }
  AclHeader acl;
  if (!ReadAt(descriptor, header.daclOffset, &acl) ||
      descriptor.size() - header.daclOffset < acl.size) {
    return false;
  }
  const size_t end = header.daclOffset + acl.size;
  size_t offset = header.daclOffset + sizeof(AclHeader);
  for (uint16_t i = 0; i < acl.count; ++i) {
    AceHeader ace;
    if (!ReadAt(descriptor, offset, &ace) || ace.size < sizeof(AceHeader) ||
        offset + ace.size > end) {
      return false;
    }
    if (ace.type == kAllowed) {
      const std::vector<uint8_t> sid =
          SidAt(descriptor.substr(0, offset + ace.size), offset + sizeof(AceHeader));
      if (sid.empty()) return false;
      if (!IsAdministration(sid) && (ace.mask & kChangingRights)) return false;
    } else if (ace.type != kDenied) {
      return false;
    }
    offset += ace.size;
  }
  return true;
}

}  // namespace restore
}  // namespace kavi
