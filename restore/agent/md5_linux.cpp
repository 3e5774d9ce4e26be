// The agent's MD5 tool, as md5sum prints it:
//   "kavi-agent --md5 FILE"               a file through the file system;
//   "kavi-agent --md5-ntfs DEVICE PATH"   a file of an unmounted NTFS volume,
//                                         read by libntfs-3g in this process.
// The image's check runs these rather than busybox's md5sum, whose compact
// MD5 takes three times as long under QEMU's emulation. The second reads a
// third as long again as the same read through ntfs-3g's FUSE mount: no
// round trip through the kernel and the FUSE daemon for every 128 KiB.
// libntfs-3g's headers want time(), gettimeofday() and struct stat's
// st_mtime before them.
#include <sys/stat.h>
#include <sys/time.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "download/md5.h"
#include "host/text.h"
#include "restore/agent/host_linux.h"

// Last: libntfs-3g's headers define min and max as macros.
extern "C" {
#include <ntfs-3g/types.h>  // before the rest, which use its types
#include <ntfs-3g/attrib.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/volume.h>
}
#undef min
#undef max

namespace kavi {
namespace restore {
namespace {

constexpr size_t kPiece = 4 << 20;

int PrintDigest(const std::string& hex, const char* name) {
  std::printf("%s  %s\n", hex.c_str(), name);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

// The unnamed data stream of PATH, as ntfs-3g's mount shows the file.
bool HashNtfsFile(ntfs_volume* volume, const char* path, Md5* md5) {
  ntfs_inode* inode = ntfs_pathname_to_inode(volume, nullptr, path);
  if (inode == nullptr) return false;
  bool ok = false;
  if (ntfs_attr* data = ntfs_attr_open(inode, AT_DATA, AT_UNNAMED, 0)) {
    std::vector<char> buffer(kPiece);
    s64 at = 0;
    for (;;) {
      const s64 n = ntfs_attr_pread(data, at, static_cast<s64>(buffer.size()), buffer.data());
      if (n <= 0) {
        ok = n == 0 && at == data->data_size;
        break;
      }
      md5->Update(buffer.data(), static_cast<size_t>(n));
      at += n;
    }
    ntfs_attr_close(data);
  }
  ntfs_inode_close(inode);
  return ok;
}

}  // namespace

int PrintFileMd5(const char* path) {
  std::string hex;
  return Md5OfFile(FromUtf8(path), &hex) ? PrintDigest(hex, path) : 1;
}

int PrintNtfsFileMd5(const char* device, const char* path) {
  ntfs_volume* volume = ntfs_mount(device, NTFS_MNT_RDONLY);
  if (volume == nullptr) return 1;
  Md5 md5;
  const bool ok = HashNtfsFile(volume, path, &md5);
  ntfs_umount(volume, FALSE);
  return ok ? PrintDigest(md5.FinalHex(), path) : 1;
}

}  // namespace restore
}  // namespace kavi
