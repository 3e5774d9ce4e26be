// NTFS security descriptors (self-relative, as ntfs-3g's "system.ntfs_acl"
// attribute carries them) for the files the agent makes: what no user but
// an administrator can change, and the check that a file found is such.
#pragma once

#include <string>

namespace kavi {
namespace restore {

// Owner Administrators, group SYSTEM, a protected DACL granting SYSTEM and
// Administrators full control and, with `usersRead`, Users read and
// execute. `directory`: the entries are inherited by what is made inside.
std::string AdminOnlyDescriptor(bool directory, bool usersRead);

// True when `descriptor` is owned by SYSTEM or Administrators and its DACL
// lets nobody else change the file: no write, append, delete, attribute,
// permission or ownership right, generic or specific. A missing (NULL) DACL,
// a malformed descriptor or an entry of a kind not known here is not.
bool IsAdminOnly(const std::string& descriptor);

}  // namespace restore
}  // namespace kavi
