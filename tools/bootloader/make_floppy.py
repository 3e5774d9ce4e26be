#!/usr/bin/env python3
"""make_floppy.py OUT PAYLOAD_DIR: builds KV.ima, the FAT16 floppy image the
loader starts with memdisk, with mkfs.fat and mtools.

PAYLOAD_DIR (licensed separately, never in the repository) must hold:
  dos/BOOTSECT.BIN  the 512-byte FAT12/FAT16 boot sector of the DOS to start
                    (its jump and boot code are kept, the BIOS parameter
                    block is the image's own);
  dos/*             the DOS system files (e.g. IO.SYS, MSDOS.SYS, COMMAND.COM,
                    or KERNEL.SYS and COMMAND.COM) and the DOS tools the
                    start-up script runs: ATTRIB.EXE, and RESTART.COM (or any
                    program named RESTART) which the Ghost task ends with.
                    Files listed in dos/ORDER.TXT (one name a line) are copied
                    first, in that order, then the rest by name; list the
                    kernel files there when the boot sector needs them as the
                    first root entries;
  GHOST.EXE         the Ghost imaging tool;
optionally KVINIT.BAT (run first: load an NTFS or USB driver, for example)
and CONFIG.SYS. The start-up script AUTOEXEC.BAT is ours (autoexec.bat
beside this file). Everything goes into the root of the image.
"""
import os
import shutil
import subprocess
import sys
import tempfile

HEADS, SECTORS = 2, 54          # 80 x 2 x 54 sectors = 4,423,680 bytes
SECTORS_PER_CYLINDER = HEADS * SECTORS
MIN_CYLINDERS = 80
BPB_END = 0x3E                  # the FAT12/16 boot sector's code starts here


def files_in_order(dos):
    names = sorted(n for n in os.listdir(dos) if n.upper() not in ("BOOTSECT.BIN", "ORDER.TXT"))
    order_file = os.path.join(dos, "ORDER.TXT")
    first = []
    if os.path.exists(order_file):
        with open(order_file) as f:
            first = [line.strip() for line in f if line.strip()]
    missing = [n for n in first if n not in names]
    if missing:
        sys.exit("make_floppy: ORDER.TXT names missing files: %s" % ", ".join(missing))
    return first + [n for n in names if n not in first]


def main():
    out, payload = sys.argv[1], sys.argv[2]
    here = os.path.dirname(os.path.abspath(__file__))
    dos = os.path.join(payload, "dos")
    bootsect = os.path.join(dos, "BOOTSECT.BIN")
    ghost = os.path.join(payload, "GHOST.EXE")
    for needed in (bootsect, ghost):
        if not os.path.isfile(needed):
            sys.exit("make_floppy: %s is missing" % needed)
    with open(bootsect, "rb") as f:
        boot = f.read()
    if len(boot) != 512 or boot[510:] != b"\x55\xaa":
        sys.exit("make_floppy: BOOTSECT.BIN must be one boot sector ending in 55 AA")

    sources = [os.path.join(dos, n) for n in files_in_order(dos)]
    sources.append(ghost)
    for extra in ("KVINIT.BAT", "CONFIG.SYS"):
        if os.path.isfile(os.path.join(payload, extra)):
            sources.append(os.path.join(payload, extra))
    sources.append(os.path.join(here, "autoexec.bat"))

    # Room for the files, cluster slack and the FAT16 overhead.
    needed = sum(os.path.getsize(s) // 512 + 1 for s in sources) + 200
    cylinders = max(MIN_CYLINDERS, -(-needed // SECTORS_PER_CYLINDER))
    total = cylinders * SECTORS_PER_CYLINDER

    with tempfile.TemporaryDirectory() as work:
        image = os.path.join(work, "KV.ima")
        subprocess.run(["mkfs.fat", "-C", "-F", "16", "-s", "1", "-r", "224", "-M", "0xF0",
                        "-g", "%d/%d" % (HEADS, SECTORS), "-h", "0", "-D", "0x00",
                        "-i", "4B564C44", "-n", "KAVI", image, str(total // 2)],
                       check=True, stdout=subprocess.DEVNULL)
        with open(image, "r+b") as f:
            ours = bytearray(f.read(512))
            ours[0:3] = boot[0:3]
            ours[BPB_END:512] = boot[BPB_END:512]
            f.seek(0)
            f.write(ours)
        env = dict(os.environ, MTOOLS_SKIP_CHECK="1", MTOOLS_NO_VFAT="1")
        for source in sources:
            name = os.path.basename(source).upper()
            subprocess.run(["mcopy", "-i", image, "-o", source, "::" + name], check=True, env=env)
        shutil.copyfile(image, out)


if __name__ == "__main__":
    main()
