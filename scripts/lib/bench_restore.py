#!/usr/bin/env python3
"""bench_restore.py WORK KV_DIR LOADER_DIR TAKEOVER_TOOL IMAGE_MB RESULTS [RUNS]:
the next boot in QEMU (software emulation, one disk on AHCI), measured two
ways on the same disk and the same image, RUNS times in turn (default 1),
the best of each compared:
  1. the whole road: the boot manager stand-in, kvldr.mbr, GRUB, the restore
     environment and the agent, which checks the image's MD5, formats C: and
     writes the image; the figures are the guest's uptime at the agent's end
     (kernel start to restart) and the agent's own check and write times
     from its log;
  2. the reference: the same kernel and initramfs started directly with a
     small extra archive whose init formats C: with mkntfs and runs
     `wimlib-imagex apply` alone, timed in the guest the same way.
Rows go to RESULTS in the form scripts/lib/bench.sh records."""
import hashlib
import os
import re
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "restore", "qemu"))
import disks  # noqa: E402
from disks import MiB, rb  # noqa: E402

C_START = disks.PART_START

# The reference's init: the same start as the environment's (its /init has
# loaded the drivers and run this in place of the agent), then mkntfs and
# the apply alone.
BARE_APPLY = r"""#!/bin/sh
up() { cut -d' ' -f1 /proc/uptime; }
mkdir -p /run/d
ntfs-3g -o ro /dev/sda2 /run/d
start=$(up)
mkntfs -Q -q -p 2048 -H 255 -S 63 /dev/sda1
wimlib-imagex apply /run/d/image.wim 1 /dev/sda1 >/dev/null
end=$(up)
umount /run/d
echo "KAVI-BENCH apply_s $start $end"
sync
poweroff -f
"""


def newc(entries):
    """A cpio (newc) archive of [(name, mode, data)] made without root."""
    out = bytearray()
    for ino, (name, mode, data) in enumerate(entries + [("TRAILER!!!", 0, b"")], 1):
        fields = [ino, mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(name) + 1, 0]
        out += b"070701" + b"".join(b"%08X" % f for f in fields) + name.encode() + b"\0"
        out += b"\0" * (-len(out) % 4) + data
        out += b"\0" * (-len(out) % 4)
    return bytes(out + b"\0" * (-len(out) % 512))


def image_tree(root, mb):
    """A system-like mix: half incompressible, half text that compresses."""
    files, left, i = {}, mb * MiB, 0
    while left > 0:
        size = min(left, 2 * MiB)
        if i % 2:
            data = (b"Windows system text, line %d; " % i) * (size // 30 + 1)
            files["Windows/System32/文本%03d.txt" % i] = data[:size]
        else:
            files["Windows/System32/模块%03d.dll" % i] = rb(100 + i, size)
        left -= size
        i += 1
    disks.write_tree(root, files)


def qemu(args, log, timeout=3600):
    cmd = ["timeout", str(timeout), "qemu-system-i386", "-M", "pc", "-m", "512", "-display", "none",
           "-no-reboot", "-monitor", "none", "-nic", "none", "-serial", "file:" + log] + args
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
    return open(log, "rb").read().decode("utf-8", "replace")


def drive(path, boot=True):
    return ["-device", "ahci,id=ahci0", "-drive", "file=%s,format=raw,if=none,id=d0" % path,
            "-device", "ide-hd,drive=d0,bus=ahci0.0" + (",bootindex=0" if boot else "")]


def main():
    work, kv_dir, loader, tool, mb, results = sys.argv[1:7]
    mb = int(mb)
    runs = int(sys.argv[7]) if len(sys.argv) > 7 else 1
    os.makedirs(work, exist_ok=True)
    c_size = (mb * 2 + 256) * MiB
    d_start = C_START + c_size // disks.SECTOR
    d_size = (mb + 64) * MiB

    # Kept by size: the image is the slow part to make, and a run of another
    # size must not find it.
    wim = os.path.join(work, "image-%dmib.wim" % mb)
    if not os.path.exists(wim):
        tree = os.path.join(work, "image-tree-%dmib" % mb)
        image_tree(tree, mb)
        disks.capture(tree, wim, name="Windows", compress="lzx")
    stub = disks.mbr_stub(os.path.join(ROOT, "tests", "boot", "loader"), work)
    takeover = os.path.join(work, "takeover")
    os.makedirs(takeover, exist_ok=True)
    # Bound to the image as the program binds a checked download: the agent
    # hashes it instead of verifying it.
    with open(wim, "rb") as f:
        md5 = hashlib.md5()
        for piece in iter(lambda: f.read(1 << 20), b""):
            md5.update(piece)
    disks.run(tool, takeover, "--system", "C", "--restore", "D:\\image.wim", "--bind",
              "%d:%s" % (os.path.getsize(wim), md5.hexdigest()), "--disk",
              "1A2B3C4D", "C=%d+%d" % (C_START * 512, c_size), "D=%d+%d" % (d_start * 512, d_size))
    c_tree = os.path.join(work, "c-tree")
    disks.write_tree(c_tree, {"Windows/old.bin": rb(1, 1 * MiB), "bootmgr": rb(2, 40000),
                              "Boot/BCD": rb(3, 16000)})
    for name, src in (("KV.ima", os.path.join(kv_dir, "KV.ima")),
                      ("kvldr", os.path.join(loader, "kvldr")),
                      ("kvldr.mbr", os.path.join(loader, "kvldr.mbr")),
                      ("Ghost.ba_", os.path.join(takeover, "Ghost.ba_")),
                      ("Ghost.map", os.path.join(takeover, "Ghost.map"))):
        with open(src, "rb") as f:
            disks.write_tree(c_tree, {name: f.read()})
    c_wim = os.path.join(work, "c.wim")
    disks.capture(c_tree, c_wim)
    c = os.path.join(work, "c.part")
    disks.make_ntfs(c, c_size, C_START, "SYSTEM", c_wim)
    d_tree = os.path.join(work, "d-tree")
    os.makedirs(d_tree, exist_ok=True)
    os.link(wim, os.path.join(d_tree, "image.wim")) if not os.path.exists(
        os.path.join(d_tree, "image.wim")) else None
    d_wim = os.path.join(work, "d.wim")
    disks.capture(d_tree, d_wim)
    d = os.path.join(work, "d.part")
    disks.make_ntfs(d, d_size, d_start, "DATA", d_wim)
    disk_path = os.path.join(work, "disk.img")
    extra = os.path.join(work, "bare.cpio")
    with open(extra, "wb") as f:
        f.write(newc([("bench-apply", 0o100755, BARE_APPLY.encode())]))
    initrd = os.path.join(work, "initrd-bench")
    with open(initrd, "wb") as f:
        for part in (os.path.join(kv_dir, "initrd.xz"), extra):
            f.write(open(part, "rb").read())

    # The two alternate, each on a fresh copy of the disk, so a slow spell
    # of the machine falls on both; the best of each is compared.
    agent_runs, bare_runs = [], []
    for run in range(runs):
        # 1. The whole road.
        disk = disks.Disk(disk_path, 0x1A2B3C4D, [(C_START, c), (d_start, d)], stub,
                          os.path.join(loader, "kvldr.mbr"))
        started = time.monotonic()
        text = qemu(drive(disk_path), os.path.join(work, "agent.log"))
        wall = time.monotonic() - started
        m = re.search(r"KAVI-AGENT RESULT: (\S+)", text)
        if not m or m.group(1) != "ok":
            sys.exit("bench: the agent did not succeed:\n" + "\n".join(text.splitlines()[-20:]))
        log = disks.read_file(disk.extract(1, os.path.join(work, "d-after.part")),
                              "/DURozazo/restore.log")
        entry = log.decode("utf-8", "replace").split("== kavi restore ")[-1]
        verify_s = float(re.search(r"(?:verified|checked the MD5 of) .* in ([0-9.]+) s",
                                   entry).group(1))
        write_s = float(re.search(r"wrote .* in ([0-9.]+) s", entry).group(1))
        uptime = float(re.search(r"uptime ([0-9.]+) s", entry).group(1))
        agent_runs.append((verify_s, write_s, uptime, wall))

        # 2. The reference.
        disks.Disk(disk_path, 0x1A2B3C4D, [(C_START, c), (d_start, d)], stub,
                   os.path.join(loader, "kvldr.mbr"))
        text = qemu(drive(disk_path, boot=False) + [
            "-kernel", os.path.join(kv_dir, "vmlinuz"), "-initrd", initrd,
            "-append", "console=ttyS0 quiet rootfstype=ramfs kavi.init=/bench-apply"],
                    os.path.join(work, "bare.log"))
        m = re.search(r"KAVI-BENCH apply_s ([0-9.]+) ([0-9.]+)", text)
        if not m:
            sys.exit("bench: the bare apply did not finish:\n" + "\n".join(text.splitlines()[-20:]))
        bare_runs.append(float(m.group(2)) - float(m.group(1)))
        print("bench: run %d of %d, %d MiB image: next boot %.1f s from kernel start to restart "
              "(%.0f s with firmware and loader); agent check %.1f s, write %.1f s; mkntfs + "
              "wimlib-imagex apply alone %.1f s" % (run + 1, runs, mb, uptime, wall, verify_s,
                                                    write_s, bare_runs[-1]))

    bare_s = min(bare_runs)
    write_s = min(r[1] for r in agent_runs)
    both_s = min(r[0] + r[1] for r in agent_runs)
    uptime = min(r[2] for r in agent_runs)
    best = " (best of %d)" % runs if runs > 1 else ""
    with open(results, "a") as f:
        row = "%s\t%.2f\t%.2f\t%s\t%s\n"
        f.write(row % ("next boot of a %d MiB image, QEMU TCG: agent's write vs mkntfs + "
                       "wimlib-imagex apply alone%s" % (mb, best), write_s, bare_s, "s", "lower"))
        f.write(row % ("the same with the agent's MD5 read of the image first%s" % best,
                       both_s, bare_s, "s", "lower"))
        f.write("next boot, kernel start to restart, %d MiB image, QEMU TCG%s\t%.1f\t-\ts\tlower\n"
                % (mb, best, uptime))

if __name__ == "__main__":
    main()
