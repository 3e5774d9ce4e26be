#include "restore/agent/ntfs_security.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace kavi {
namespace restore {
namespace {

// A descriptor as Windows or ntfs-3g would store it: owner, then a DACL of
// (type, SID, mask) entries.
struct Ace {
  uint8_t type;
  std::vector<uint8_t> sid;
  uint32_t mask;
};

const std::vector<uint8_t> kEveryone = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
const std::vector<uint8_t> kSystem = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
const std::vector<uint8_t> kAdministrators = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 32, 2, 0, 0};
const std::vector<uint8_t> kUsers = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 33, 2, 0, 0};
// S-1-5-21-1-2-3-1001: a standard user.
const std::vector<uint8_t> kUser = {1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0,    0, 1, 0,
                                    0, 0, 2, 0, 0, 0, 3, 0, 0,  0, 0xE9, 3, 0, 0};

void Put32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}
void Put16(std::string* out, uint16_t v) {
  out->push_back(static_cast<char>(v));
  out->push_back(static_cast<char>(v >> 8));
}

std::string Descriptor(const std::vector<uint8_t>& owner, const std::vector<Ace>& aces,
                       bool daclPresent = true) {
  std::string acl;
  for (const Ace& ace : aces) {
    acl.push_back(static_cast<char>(ace.type));
    acl.push_back(0);
    Put16(&acl, static_cast<uint16_t>(8 + ace.sid.size()));
    Put32(&acl, ace.mask);
    acl.append(ace.sid.begin(), ace.sid.end());
  }
  std::string out = {1, 0};
  Put16(&out, static_cast<uint16_t>(0x8000 | (daclPresent ? 0x0004 : 0)));
  Put32(&out, 20);                                                          // owner
  Put32(&out, 0);                                                           // group
  Put32(&out, 0);                                                           // SACL
  Put32(&out, daclPresent ? static_cast<uint32_t>(20 + owner.size()) : 0);  // DACL
  out.append(owner.begin(), owner.end());
  if (!daclPresent) return out;
  out += std::string{2, 0};
  Put16(&out, static_cast<uint16_t>(8 + acl.size()));
  Put16(&out, static_cast<uint16_t>(aces.size()));
  Put16(&out, 0);
  return out + acl;
}

TEST(NtfsSecurity, OnlyWhatNoUserCanChangeIsAdminOnly) {
  const uint32_t full = 0x1F01FF, read = 0x1200A9;
  struct Case {
    const char* name;
    std::string descriptor;
    bool adminOnly;
  };
  const std::string ours = AdminOnlyDescriptor(true, true);
  const Case cases[] = {
      {"ours, a folder Users read", ours, true},
      {"ours, a file", AdminOnlyDescriptor(false, false), true},
      {"Users read, a user denied",
       Descriptor(kSystem, {{0, kAdministrators, full}, {0, kUsers, read}, {1, kUser, full}}),
       true},
      {"ntfs-3g's own: everyone full control", Descriptor(kAdministrators, {{0, kEveryone, full}}),
       false},
      {"owned by a user", Descriptor(kUser, {{0, kAdministrators, full}}), false},
      {"Users may append", Descriptor(kAdministrators, {{0, kUsers, read | 0x4}}), false},
      {"a user may change the permissions", Descriptor(kAdministrators, {{0, kUser, 0x40000}}),
       false},
      {"Everyone GENERIC_WRITE", Descriptor(kAdministrators, {{0, kEveryone, 0x40000000}}), false},
      {"no DACL: anyone", Descriptor(kAdministrators, {}, false), false},
      {"an object entry not known here", Descriptor(kAdministrators, {{5, kUsers, read}}), false},
      {"cut short", ours.substr(0, ours.size() - 1), false},
      {"empty", "", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.adminOnly, IsAdminOnly(c.descriptor)) << c.name;
}

}  // namespace
}  // namespace restore
}  // namespace kavi
