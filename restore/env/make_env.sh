#!/usr/bin/env bash
# make_env.sh OUT_DIR AGENT_BINARY: builds the open restore environment from
# Debian's i386 packages:
#   OUT_DIR/vmlinuz       the kernel of linux-image-686
#   OUT_DIR/initrd.xz     initramfs: busybox, wimlib-imagex, hivexsh, ntfs-3g, mkntfs,
#                         ntfslabel, ntfscp, the shared libraries they need, the GBK
#                         converter of glibc, the storage and file system
#                         modules, /init (beside this script) and the agent
#                         as /bin/kavi-agent
#   OUT_DIR/KV.ima        FAT image with /KAVIENV, /KAVI/VMLINUZ and
#                         /KAVI/INITRD.XZ, as the loader looks for them
#   OUT_DIR/versions.txt  "package version" of every package used
# Packages, the initramfs and the kernel's modules are gathered by lib.sh,
# which the UEFI boot files (../efi/make_efi.sh) share.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
lib_dir="$here"
[ $# -eq 2 ] || { echo "usage: make_env.sh OUT_DIR AGENT_BINARY" >&2; exit 2; }
out="$1"
agent="$2"
. "$lib_dir/lib.sh"
trap 'echo "make_env: failed at line $LINENO" >&2' ERR
env_start mkfs.fat mcopy
add_userland "$agent"
add_kernel linux-image-686

# -- Archive and image ----------------------------------------------------------
write_versions
write_initrd
cp "$ktree/boot/vmlinuz-$kver" "$stage/vmlinuz"

printf 'Kavi restore environment\r\nkernel %s\r\n' "$kver" > "$stage/KAVIENV"
# Just big enough: the files in 4 KiB clusters, plus room for the FAT and
# the directories.
kib=$(( ($(stat -c %s "$stage/vmlinuz") + 4095) / 4096 * 4 + ($(stat -c %s "$stage/initrd.xz") + 4095) / 4096 * 4 ))
kib=$((kib + kib / 100 + 128))
rm -f "$stage/KV.ima"
mkfs.fat -C -s 8 -n KAVIENV -i 4b415649 "$stage/KV.ima" "$kib" >/dev/null
export MTOOLS_SKIP_CHECK=1
mcopy -i "$stage/KV.ima" "$stage/KAVIENV" ::/KAVIENV
mmd -i "$stage/KV.ima" ::/KAVI
mcopy -i "$stage/KV.ima" "$stage/vmlinuz" ::/KAVI/VMLINUZ
mcopy -i "$stage/KV.ima" "$stage/initrd.xz" ::/KAVI/INITRD.XZ

publish "$out" vmlinuz initrd.xz KV.ima versions.txt
cat "$out/versions.txt"
for f in vmlinuz initrd.xz KV.ima; do
  printf '%-10s %9d bytes\n' "$f" "$(stat -c %s "$out/$f")"
done
