#!/usr/bin/env bash
# loader_chain_test.sh LOADER_DIR [REPORT.xml [ENV_DIR]]: boots the loader chain in QEMU
# (software emulation). The test disk has one FAT16 partition holding kvldr.mbr, kvldr
# and a test KV.ima built by make_floppy.py from a stand-in payload folder
# whose "DOS boot sector" writes a marker and powers QEMU off. A stub in the
# master boot record plays the Windows boot manager (or NTLDR, which starts a
# boot.ini boot-sector entry the same way): it loads kvldr.mbr whole at
# 0000:7C00 and jumps to it. The chain must reach the
# marker: kvldr.mbr finds and starts kvldr, whose GRUB finds KV.ima and
# boots it with memdisk. A second disk without KV.ima must hand the machine
# back to the boot manager (a stand-in \bootmgr that writes its own marker).
# A third disk has one NTFS partition with the restore environment's KV.ima
# (ENV_DIR, by default the build tree's restore/env beside LOADER_DIR) whose
# agent is replaced by one that reports on the serial line whether the
# environment sees the disk it came from, and powers off: GRUB must find
# KV.ima on NTFS, loop it back and boot the kernel inside, and the
# environment's /init must bring up the disk and run the agent. Without a
# built environment (a tree without the restore side) that case is skipped.
# Exit 77 (skipped) only when QEMU cannot run. The counts also go to
# REPORT.xml, in the form the test command sums up.
set -euo pipefail
loader_dir="$1"
report="${2:-}"
# report TESTS FAILURES SKIPPED
report() {
  [ -n "$report" ] || return 0
  printf '<?xml version="1.0"?>\n<testsuites name="boot_loader_chain" tests="%d" failures="%d" skipped="%d" errors="0"/>\n' \
    "$1" "$2" "$3" > "$report"
}
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../../.." && pwd)"
env_dir="${3:-$loader_dir/../restore/env}"

if ! command -v qemu-system-i386 >/dev/null || ! qemu-system-i386 -version >/dev/null 2>&1; then
  echo "SKIPPED: qemu-system-i386 cannot run here (package qemu-system-x86)."
  report 3 0 3
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
as --32 -o "$work/marker.o" "$here/marker.S"
ld -m elf_i386 -Ttext 0x7c3e --oformat binary -o "$work/marker.bin" "$work/marker.o"
as --32 --defsym BOOTMGR=1 -o "$work/bootmgr.o" "$here/marker.S"
ld -m elf_i386 -Ttext 0 --oformat binary -o "$work/bootmgr" "$work/bootmgr.o"

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

# make_disk NAME FS FILES...: a disk whose one partition (FS fat: FAT16 of
# 32 MiB; ntfs: NTFS with 16 MiB to spare; from sector 2048) holds the files,
# hidden as the program leaves them on FAT, with the boot-manager stub in the
# master boot record and kvldr.mbr in sectors 1-16.
make_disk() {
  local name="$1" fs="$2" part_sectors=65536 type=06 f
  shift 2
  rm -f "$work/part.img"
  if [ "$fs" = ntfs ]; then
    type=07
    part_sectors=$(( ($(cat "$@" | wc -c) / 512 / 2048 + 16) * 2048 ))
    truncate -s $((part_sectors * 512)) "$work/part.img"
    mkntfs -F -Q -q -s 512 -p 2048 -H 255 -S 63 -L KAVITEST "$work/part.img" 2>"$work/mkntfs.log" ||
      { cat "$work/mkntfs.log"; return 1; }
    for f in "$@"; do
      ntfscp -q "$work/part.img" "$f" "$(basename "$f")"
    done
  else
    mkfs.fat -C -F 16 -h 2048 -n KAVITEST "$work/part.img" $((part_sectors / 2)) >/dev/null
    for f in "$@"; do
      mcopy -i "$work/part.img" "$f" "::$(basename "$f")"
      mattrib -i "$work/part.img" +h +s +r "::$(basename "$f")"
    done
  fi
  python3 - "$work" "$loader_dir/kvldr.mbr" "$part_sectors" "$work/$name" "$type" <<'PY'
import struct, sys
w, mbr_file, part_sectors, disk_file = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
part_type = int(sys.argv[5], 16)
stub = open(w + "/stub.bin", "rb").read()
bootsector_file = open(mbr_file, "rb").read()
assert len(stub) <= 446 and len(bootsector_file) <= 16 * 512
mbr = bytearray(512)
mbr[:len(stub)] = stub
mbr[446:462] = struct.pack("<B3sB3sII", 0x80, b"\xfe\xff\xff", part_type, b"\xfe\xff\xff",
                           2048, part_sectors)
mbr[510:] = b"\x55\xaa"
gap = bytearray(2047 * 512)
gap[:len(bootsector_file)] = bootsector_file
with open(disk_file, "wb") as disk:
    disk.write(mbr)
    disk.write(gap)
    disk.write(open(w + "/part.img", "rb").read())
PY
}

# boots DISK MARKER WHAT [MEMORY_MB [SECONDS]]: runs QEMU on the disk until the
# program at the end of the chain powers it off, and looks for its marker on
# the debug console (the real-mode stand-ins) or the serial line (Linux).
boots() {
  local disk="$1" marker="$2" what="$3" memory="${4:-64}" seconds="${5:-60}" status=0
  rm -f "$work/debug.log" "$work/serial.log"
  timeout "$seconds" qemu-system-i386 -M pc -m "$memory" -display none -no-reboot -monitor none \
    -serial file:"$work/serial.log" -nic none -drive file="$work/$disk",format=raw,if=ide \
    -debugcon file:"$work/debug.log" -device isa-debug-exit,iobase=0xf4,iosize=0x04 ||
    status=$?
  if cat "$work/debug.log" "$work/serial.log" 2>/dev/null | grep -q "$marker"; then
    echo "passed: $what (QEMU exit $status)"
    return 0
  fi
  echo "FAILED: $what (QEMU exit $status); debug console and serial line:"
  cat "$work/debug.log" 2>/dev/null || true
  tail -n 30 "$work/serial.log" 2>/dev/null || true
  return 1
}

cp "$loader_dir/kvldr" "$loader_dir/kvldr.mbr" "$work/"
make_disk takeover.img fat "$work/kvldr.mbr" "$work/kvldr" "$work/KV.ima" "$work/bootmgr"
make_disk nofloppy.img fat "$work/kvldr.mbr" "$work/kvldr" "$work/bootmgr"
passed=0
failed=0
skipped=0
if boots takeover.img KAVI-FLOPPY-BOOTED "kvldr.mbr started as a boot sector reached KV.ima"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
fi
if boots nofloppy.img WINDOWS-BOOT-MANAGER "without KV.ima the loader went back to bootmgr"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
fi

if [ -s "$env_dir/KV.ima" ]; then
  # The environment as built, with the agent replaced by a later archive in
  # the initramfs (the kernel unpacks them in order, the later file wins).
  mkdir -p "$work/open/env/bin"
  cp "$env_dir/KV.ima" "$work/open/KV.ima"
  cat > "$work/open/env/bin/kavi-agent" <<'AGENT'
#!/bin/sh
grep -q ' sda1$' /proc/partitions && echo "KAVI-ENV-BOOTED-WITH-DISK" > /dev/ttyS0
cat /proc/partitions > /dev/ttyS0
poweroff -f
AGENT
  chmod 755 "$work/open/env/bin/kavi-agent"
  python3 "$root/restore/env/mkcpio.py" "$work/open/env" "$work/open/agent.cpio"
  mcopy -i "$work/open/KV.ima" ::/KAVI/INITRD.XZ "$work/open/initrd"
  cat "$work/open/agent.cpio" >> "$work/open/initrd"
  mcopy -o -i "$work/open/KV.ima" "$work/open/initrd" ::/KAVI/INITRD.XZ
  # 128 MiB: the smallest machine the environment is meant to run on.
  make_disk open.img ntfs "$work/kvldr.mbr" "$work/kvldr" "$work/open/KV.ima" "$work/bootmgr"
  if boots open.img KAVI-ENV-BOOTED-WITH-DISK "the restore environment in KV.ima on NTFS booted and saw its disk" 128 90; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
else
  echo "skipped: no restore environment at $env_dir/KV.ima (a tree without the restore side)"
  skipped=1
fi
echo "$passed passed, $failed failed, $skipped skipped"
report 3 "$failed" "$skipped"
[ "$failed" -eq 0 ]
