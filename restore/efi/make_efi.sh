#!/usr/bin/env bash
# make_efi.sh OUT_DIR AGENT_BINARY: the UEFI boot files, all from Debian's
# packages and signed by Debian or Microsoft (no key of ours), for the folder
# \EFI\KaviRestore\ of an EFI system partition:
#   OUT_DIR/shimx64.efi   shim-signed (Microsoft's third-party UEFI CA)
#   OUT_DIR/mmx64.efi     MokManager, from shim-helpers-amd64-signed (which
#                         shim-signed depends on); shim starts it when asked
#   OUT_DIR/grubx64.efi   grub-efi-amd64-signed (Debian's key, which shim holds)
#   OUT_DIR/grub.cfg      ours (beside this script): boots the two below
#   OUT_DIR/vmlinuz       the signed amd64 kernel linux-image-amd64 names
#   OUT_DIR/initrd.img    initramfs: that kernel's modules (signed, as they
#                         come) and the same i386 userland and agent as the
#                         BIOS environment (../env/make_env.sh); the amd64
#                         kernel runs it through its IA32 emulation
#   OUT_DIR/versions.txt  "package version" of every package used
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
lib_dir="$here/../env"
[ $# -eq 2 ] || { echo "usage: make_efi.sh OUT_DIR AGENT_BINARY" >&2; exit 2; }
out="$1"
agent="$2"
. "$lib_dir/lib.sh"
trap 'echo "make_efi: failed at line $LINENO" >&2' ERR
env_start
add_userland "$agent"
# efivarfs besides: the agent reads the firmware's SecureBoot variable.
add_kernel linux-image-amd64:amd64 fs/efivarfs/efivarfs

# Lockdown under Secure Boot refuses a module whose appended signature is
# gone, and the kernel would then find no disk: check every one.
unsigned="$(find "$rootfs/lib/modules" -name '*.ko*' -exec sh -c \
  'for m; do [ "$(tail -c 28 "$m")" = "~Module signature appended~" ] || echo "$m"; done' sh {} +)"
[ -z "$unsigned" ] || die "modules without a signature: $unsigned"
[ -n "$(find "$rootfs/lib/modules" -name '*.ko' -print -quit)" ] || die "no modules in the initramfs"

# boot_file SPEC REL NAME: REL of package SPEC as NAME, after checking that it
# carries an Authenticode signature (a PE certificate table).
boot_file() {
  local spec="$1" rel="$2" name="$3"
  fetch "$spec"
  spec="$(canonical "$spec")"
  [ -f "${tree_of[$spec]}/$rel" ] || die "$spec has no /$rel"
  python3 - "${tree_of[$spec]}/$rel" <<'PY' || die "$spec: /$rel is not a signed PE image"
import struct, sys
d = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", d, 0x3C)[0]
assert d[pe:pe + 4] == b"PE\0\0"
opt = pe + 24
# PE32+: the data directories start at 112; the certificate table is the fifth.
assert struct.unpack_from("<H", d, opt)[0] == 0x20B
offset, size = struct.unpack_from("<II", d, opt + 112 + 4 * 8)
assert size > 0 and offset + size <= len(d)
PY
  cp "${tree_of[$spec]}/$rel" "$stage/$name"
  used[$spec]=1
}
boot_file shim-signed:amd64 usr/lib/shim/shimx64.efi.signed shimx64.efi
helpers="$(depends shim-signed:amd64 | grep '^shim-helpers-amd64-signed$' || true)"
[ -n "$helpers" ] || die "shim-signed names no shim-helpers-amd64-signed"
boot_file "$helpers:amd64" usr/lib/shim/mmx64.efi.signed mmx64.efi
boot_file grub-efi-amd64-signed:amd64 usr/lib/grub/x86_64-efi-signed/grubx64.efi.signed grubx64.efi
boot_file "$kernel_pkg" "boot/vmlinuz-$kver" vmlinuz
cp "$here/grub.cfg" "$stage/grub.cfg"

write_versions
write_initrd
mv "$stage/initrd.xz" "$stage/initrd.img"
publish "$out" shimx64.efi mmx64.efi grubx64.efi grub.cfg vmlinuz initrd.img versions.txt
cat "$out/versions.txt"
for f in shimx64.efi mmx64.efi grubx64.efi grub.cfg vmlinuz initrd.img; do
  printf '%-12s %9d bytes\n' "$f" "$(stat -c %s "$out/$f")"
done
