#!/usr/bin/env bash
# loader_chain_test.sh LOADER_DIR: boots the loader chain in QEMU (software
# emulation). The test disk has one FAT16 partition holding kvldr.mbr, kvldr
# and a test KV.ima built by make_floppy.py from a stand-in payload folder
# whose "DOS boot sector" writes a marker and powers QEMU off. A stub in the
# master boot record plays the Windows boot manager: it loads kvldr.mbr as a
# boot-sector file at 0000:7C00 and jumps to it. The chain must reach the
# marker: kvldr.mbr finds and starts kvldr, whose GRUB finds KV.ima and
# boots it with memdisk. Exit 77 (skipped) only when QEMU cannot run.
set -euo pipefail
loader_dir="$1"
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../../.." && pwd)"

if ! command -v qemu-system-i386 >/dev/null || ! qemu-system-i386 -version >/dev/null 2>&1; then
  echo "SKIPPED: qemu-system-i386 cannot run here (package qemu-system-x86)."
  exit 77
fi
for f in "$loader_dir/kvldr" "$loader_dir/kvldr.mbr"; do
  [ -s "$f" ] || { echo "FAILED: $f was not built"; exit 1; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export MTOOLS_SKIP_CHECK=1

# The two stand-ins, assembled for real mode.
as --32 -o "$work/stub.o" "$here/bootmgr_stub.S"
ld -m elf_i386 -Ttext 0x600 --oformat binary -o "$work/stub.bin" "$work/stub.o"
as --32 -o "$work/marker.o" "$here/marker_bootsect.S"
ld -m elf_i386 -Ttext 0x7c3e --oformat binary -o "$work/marker.bin" "$work/marker.o"

# A stand-in payload folder: the marker as the DOS boot sector.
mkdir -p "$work/payload/dos"
python3 - "$work" <<'PY'
import sys
w = sys.argv[1]
code = open(w + "/marker.bin", "rb").read()
boot = bytearray(512)
boot[0:3] = b"\xeb\x3c\x90"
boot[0x3e:0x3e + len(code)] = code
boot[510:] = b"\x55\xaa"
open(w + "/payload/dos/BOOTSECT.BIN", "wb").write(boot)
open(w + "/payload/dos/KERNEL.SYS", "wb").write(b"stand-in kernel")
open(w + "/payload/dos/ORDER.TXT", "w").write("KERNEL.SYS\n")
open(w + "/payload/GHOST.EXE", "wb").write(b"MZ stand-in")
PY
python3 "$root/tools/bootloader/make_floppy.py" "$work/KV.ima" "$work/payload"

# The partition: 32 MiB FAT16 from sector 2048, boot files hidden as the
# program leaves them.
part_sectors=65536
mkfs.fat -C -F 16 -h 2048 -n KAVITEST "$work/part.img" $((part_sectors / 2)) >/dev/null
mcopy -i "$work/part.img" "$loader_dir/kvldr.mbr" ::kvldr.mbr
mcopy -i "$work/part.img" "$loader_dir/kvldr" ::kvldr
mcopy -i "$work/part.img" "$work/KV.ima" ::KV.ima
mattrib -i "$work/part.img" +h +s +r ::kvldr ::kvldr.mbr ::KV.ima

python3 - "$work" "$loader_dir/kvldr.mbr" "$part_sectors" <<'PY'
import struct, sys
w, mbr_file, part_sectors = sys.argv[1], sys.argv[2], int(sys.argv[3])
stub = open(w + "/stub.bin", "rb").read()
bootsector_file = open(mbr_file, "rb").read()
assert len(stub) <= 446 and len(bootsector_file) <= 16 * 512
mbr = bytearray(512)
mbr[:len(stub)] = stub
mbr[446:462] = struct.pack("<B3sB3sII", 0x80, b"\xfe\xff\xff", 0x06, b"\xfe\xff\xff",
                           2048, part_sectors)
mbr[510:] = b"\x55\xaa"
gap = bytearray(2047 * 512)
gap[:len(bootsector_file)] = bootsector_file
with open(w + "/disk.img", "wb") as disk:
    disk.write(mbr)
    disk.write(gap)
    disk.write(open(w + "/part.img", "rb").read())
PY

status=0
timeout 90 qemu-system-i386 -M pc -m 64 -display none -no-reboot -monitor none -serial none \
  -drive file="$work/disk.img",format=raw,if=ide \
  -debugcon file:"$work/debug.log" -device isa-debug-exit,iobase=0xf4,iosize=0x04 || status=$?
if grep -q "KAVI-FLOPPY-BOOTED" "$work/debug.log" 2>/dev/null; then
  echo "1 passed, 0 failed: the boot-sector form reached the floppy image (QEMU exit $status)."
  exit 0
fi
echo "FAILED: the floppy image was not reached (QEMU exit $status); debug console:"
cat "$work/debug.log" 2>/dev/null || true
exit 1
