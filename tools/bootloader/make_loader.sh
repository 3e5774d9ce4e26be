#!/usr/bin/env bash
# make_loader.sh OUT_DIR: builds the loader pair from Debian's GRUB 2
# PC/BIOS images (grub-pc-bin) and syslinux's memdisk (syslinux-common):
#   OUT_DIR/kvldr      GRUB core with an embedded configuration (grub.cfg
#                      beside this script: the restore environment's kernel
#                      from inside KV.ima, or the DOS floppy KV.ima through
#                      memdisk; the kernel starts in a VBE graphics mode for
#                      the agent's screen) and memdisk, behind GRUB's g2hdr
#                      head that the boot-sector form jumps into;
#   OUT_DIR/kvldr.mbr  the boot-sector form that both boot menus start (a BCD
#                      bootsector entry, a boot.ini line): loaded whole at
#                      0000:7C00, it searches the drives for the file "kvldr"
#                      and starts it. kvldr itself is no boot-sector file.
# The loaded file name is set to "kvldr" with grub-ntldr-img, the tool GRUB
# ships for that.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="$1"
grub=/usr/lib/grub/i386-pc
memdisk=/usr/lib/syslinux/memdisk
for f in "$grub/g2hdr.img" "$grub/grub-ntldr-img" "$memdisk"; do
  [ -e "$f" ] || { echo "make_loader: missing $f (packages grub-pc-bin, syslinux-common)" >&2; exit 1; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree/boot/grub" "$out"
cp "$here/grub.cfg" "$work/tree/boot/grub/grub.cfg"
cp "$memdisk" "$work/tree/memdisk"
tar --format=ustar --owner=0 --group=0 --mtime=@0 --sort=name -C "$work/tree" -cf "$work/memdisk.tar" boot memdisk

# Reproducible: fixed module list, fixed tar, no timestamps in the image.
grub-mkimage -O i386-pc -d "$grub" -o "$work/core.img" -m "$work/memdisk.tar" \
  -p "(memdisk)/boot/grub" \
  biosdisk part_msdos fat ntfs search search_fs_file memdisk tar normal configfile \
  linux16 ntldr echo test sleep loopback linux vbe

# kvldr: GRUB's g2hdr (it moves the core where the core expects to run)
# followed by the core. kvldr.mbr: GRUB's g2ldr.mbr with the loaded file
# renamed from g2ldr to kvldr.
(cd "$work" && "$grub/grub-ntldr-img" --grub2 --boot-file=kvldr -o kvldr.mbr >/dev/null)
cat "$grub/g2hdr.img" "$work/core.img" > "$out/kvldr.tmp"
mv "$out/kvldr.tmp" "$out/kvldr"
cp "$work/kvldr.mbr" "$out/kvldr.mbr"
