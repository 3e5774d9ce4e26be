"""Power cuts and swapped images on the next boot (the BIOS road; the UEFI
road cuts the apply too, where the agent sets BootNext to our entry again).

Cuts: QEMU is killed when the agent's serial output reaches a chosen step
(the image is large enough that its apply lasts seconds after the line the
cut waits for); the same disk is then started again. A
cut while the image is checked leaves the old Windows (bootable, its boot
configuration its own, the task gone); a cut once the takeover's files are
back on the formatted C: is finished by the next start, and C: then holds
exactly the image with the old boot files. The test command cuts at about
30 % of the apply; scripts/next-boot --only NAME (or --all-buses) runs the
other instants.

Swap: the task is bound to the checked image's size and MD5 (as a
reinstall binds it), and another valid WIM takes the image's place before
the restart: refused, C: unchanged, the reason in the log."""
import hashlib
import os
import re
import subprocess
import time

import disks
from disks import MiB, rb

def binding(path):
    md5 = hashlib.md5()
    with open(path, "rb") as f:
        for piece in iter(lambda: f.read(1 << 20), b""):
            md5.update(piece)
    return "%d:%s" % (os.path.getsize(path), md5.hexdigest())


def bound_disk(t, s, wim_bytes, bind):
    """C: armed with a reinstall of D:\\DURozazo\\Download\\win.wim bound to
    BIND, D: holding WIM_BYTES there."""
    road = s.road
    takeover = road.takeover(s, "restore", "D:\\DURozazo\\Download\\win.wim",
                             bind=["--bind", bind])
    c = s.system_partition(road.system_files(), takeover, road.c_start)
    d_tree = s.path("d-tree")
    disks.write_tree(d_tree, {"DURozazo/Download/win.wim": wim_bytes})
    d = s.partition("d", d_tree, road.d_start, t.D_SIZE, "DATA")
    return road.system_disk(s, c, d), c, d


def boot_and_cut(t, s, disk, pattern):
    """Starts the machine and kills QEMU itself (no clean shutdown, as a
    power cut) once the serial log matches PATTERN; fails when the boot ends
    first or the agent finished before the kill."""
    s.boots += 1
    log = s.path("serial-%d.log" % s.boots)
    # IDE on the BIOS road, q35's AHCI ("sata") on the UEFI one, where the
    # firmware's boot order decides.
    boot = ",bootindex=0" if s.road.name == "bios" else ""
    cmd = s.road.machine(s) + [
        "-display", "none", "-no-reboot", "-monitor", "none", "-nic", "none",
        "-serial", "file:" + log, "-drive", "file=%s,format=raw,if=none,id=d0" % disk.path,
        "-device", "ide-hd,drive=d0,bus=ide.0" + boot]
    qemu = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
    deadline = time.monotonic() + s.road.boot_timeout
    text = ""
    try:
        while qemu.poll() is None and time.monotonic() < deadline:
            text = open(log, "rb").read().decode("utf-8", "replace") if os.path.exists(log) else ""
            if re.search(pattern, text):
                qemu.kill()
                qemu.wait()
                text = open(log, "rb").read().decode("utf-8", "replace")
                t.check("KAVI-AGENT RESULT" not in text, "the agent finished before the cut")
                print("  %s boot %d: cut at %r" % (s.name, s.boots, pattern), flush=True)
                return text
            time.sleep(0.05)
    finally:
        if qemu.poll() is None:
            qemu.kill()
            qemu.wait()
    t.check(False, "the boot ended before %r; serial tail:\n%s" %
            (pattern, "\n".join(text.splitlines()[-15:])))


def cut(pattern, resumes):
    def scenario(t, s):
        road = s.road
        # Incompressible, so the apply takes seconds after any of its lines.
        wim = t.image_wim(s, t.new_windows({"Windows/more.bin": rb(15, 24 * MiB)}))
        disk, c, _ = bound_disk(t, s, open(wim, "rb").read(), binding(wim))
        before = disks.listing(c, s.dir, "c-before")
        boot_code = disks.boot_code(c)
        boot_and_cut(t, s, disk, pattern)
        if not resumes:
            # The old Windows with its own boot configuration, the task gone.
            c_after = disk.extract(road.C, s.path("c-after.part"))
            kept = ["/Ghost.ba_", "/Ghost.map", "/Boot/BCD_B", "/Boot/BCD"]
            t.same(disks.without(before, kept, times_of=["/", "/Boot"]),
                   disks.without(disks.listing(c_after, s.dir, "c-after"), kept,
                                 times_of=["/", "/Boot"]), "C: changed")
            t.check_boot_config_put_back(c_after, road)
            return
        road.boot(s, disk, "ok")
        c_after = disk.extract(road.C, s.path("c-after.part"))
        written = disks.listing(c_after, s.dir, "c-after")
        boot_files = [p for p in written if re.match(r"/(bootmgr|boot)(/|$)", p, re.I)]
        t.same(disks.without(disks.listing(wim, s.dir), ["/"]),
               disks.without(written, ["/"] + boot_files), "C: does not hold exactly the image")
        if road.name == "bios":
            t.check(disks.read_file(c_after, "/bootmgr") == t.OLD_BOOTMGR,
                    "bootmgr was not put back")
            t.check(disks.read_file(c_after, "/Boot/BCD") == t.ORIGINAL_BCD,
                    "\\Boot\\BCD is not the backup of the store")
        for name in ("/KV.ima", "/kvldr", "/kvldr.mbr", "/Ghost.run"):
            t.check(disks.read_file(c_after, name) is None, name + " is still on C:")
        t.check_boot_config_put_back(c_after, road)
        t.check(disks.boot_code(c_after)[0x54:] == boot_code[0x54:], "the boot code changed")
        log = disks.read_file(disk.extract(road.D, s.path("d-after.part")), "/DURozazo/restore.log")
        entries = log.decode("utf-8", "replace").split("== kavi restore ")[1:]
        t.check(len(entries) == 2 and "result:" not in entries[0] and
                "result: ok" in entries[1] and "found: the last start stopped at step" in entries[1],
                "the log does not tell the cut start and the finished one:\n" + log.decode("utf-8", "replace"))
    return scenario


def scenario_swap(t, s):
    """The checked image replaced by another valid WIM before the restart."""
    checked = t.image_wim(s, t.new_windows(), name="checked")
    other = t.image_wim(s, t.new_windows({"Windows/evil.exe": rb(16, 200000)}), name="other")
    road = s.road
    disk, c, d = bound_disk(t, s, open(other, "rb").read(), binding(checked))
    before = disks.listing(c, s.dir, "c-before")
    road.boot(s, disk, "failed image-changed")
    c_after = disk.extract(road.C, s.path("c-after.part"))
    kept = ["/Ghost.ba_", "/Ghost.map", "/Boot/BCD_B", "/Boot/BCD"]
    t.same(disks.without(before, kept, times_of=["/", "/Boot"]),
           disks.without(disks.listing(c_after, s.dir, "c-after"), kept, times_of=["/", "/Boot"]),
           "C: changed")
    t.check_boot_config_put_back(c_after, road)
    entry = t.log_entry(disk.extract(road.D, s.path("d-after.part")))
    t.check("result: failed image-changed: the image changed after it was checked" in entry,
            "the log does not give the reason:\n" + entry)


# name: (function taking the test module and the scenario, bus in the test
# command or None for scripts/next-boot only, further buses)
SCENARIOS = {
    "cut_apply": (cut(r"writing +([3-9]\d)%", True), "ide", []),
    "swap_image": (scenario_swap, "ide", []),
    "cut_check": (cut(r"Checking the image file", False), None, ["ide"]),
    "cut_rearmed": (cut(r"Writing the image to", True), None, ["ide"]),
    "cut_apply_late": (cut(r"writing +([8-9]\d)%", True), None, ["ide"]),
}
