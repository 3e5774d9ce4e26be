"""A write that fails in the middle of the apply (the BIOS road).

C: is formatted with 64 KiB clusters, as the old one was, and the image
holds 1800 small files: its bytes pass the size check by far, yet each file
takes a whole cluster, so wimlib runs out of room at about 80 % of the
apply. (A truncated image can no longer get this far: the task is bound to
the image's size and MD5, and a shortened file fails that check before the
format.) The agent formats and writes once more, fails again and stays on
with the task armed: the takeover's files and the progress marker on the
formatted C:, the boot manager's one-time entry set again in \\Boot\\BCD,
the failure on the screen's last line and in the log. scripts/next-boot
--only write_fails_again also powers the machine on again and sees the
agent find the task and write once more."""
import os
import re
import shutil
import subprocess
import xml.etree.ElementTree as ET

import cut_power
import disks
import windows_boot
from disks import rb

OUR_ENTRY = "{dd97bc62-b9fd-466e-89a6-dccf8465f855}"
CLUSTER = 64 * 1024
FILES = 1800


def boot_until(t, s, disk, pattern):
    """Starts the machine and kills QEMU once the serial log matches
    PATTERN (the agent stays on after it, or would go on writing)."""
    s.boots += 1
    # Two formats and two writes in one start.
    text = cut_power.run_until(s, disk, pattern, 2 * s.road.boot_timeout)
    if text is None:
        text = open(s.path("serial-%d.log" % s.boots), "rb").read().decode("utf-8", "replace")
        t.check(False, "the boot ended before %r; serial tail:\n%s" %
                (pattern, "\n".join(text.splitlines()[-15:])))
    print("  %s boot %d: reached %r" % (s.name, s.boots, pattern), flush=True)
    return text


def boot_sequence(hive, path):
    """The boot manager's one-time sequence (element 24000002, a string
    list) in a store, by hivexml."""
    open(path, "wb").write(hive)
    root = ET.fromstring(subprocess.run(["hivexml", path], stdout=subprocess.PIPE,
                                        check=True).stdout)
    for obj in root.findall("./node/node[@name='Objects']/node"):
        if obj.get("name").lower() == windows_boot.BOOTMGR_ID:
            return [e.text.lower() for e in obj.findall(
                "./node[@name='Elements']/node[@name='24000002']/value/string") if e.text]
    return []


def armed_disk(t, s):
    """C: (64 KiB clusters, the boot manager's store a real hive) armed with
    a reinstall bound to an image of small files on D:."""
    road = s.road
    many = {"Windows/many/f%04d.dat" % i: rb(1000 + i, 2000) for i in range(FILES)}
    wim = t.image_wim(s, t.new_windows(many))
    takeover = road.takeover(s, "restore", "D:\\DURozazo\\Download\\win.wim",
                             bind=["--bind", cut_power.binding(wim)])
    files = road.system_files()
    # The armed store as the takeover leaves it; this start used up its
    # one-time entry.
    files["Boot/BCD"] = windows_boot.make_store(s.path("armed.hiv"), {
        windows_boot.BOOTMGR_ID: (0x10100002, {"12000004": (windows_boot.REG_SZ,
                                                            windows_boot.sz("Windows Boot Manager"))})})
    tree = s.path("c-tree")
    disks.write_tree(tree, files)
    for f, src in road.payloads.items():
        shutil.copyfile(src, os.path.join(tree, f))
    for f in os.listdir(takeover):
        shutil.copyfile(os.path.join(takeover, f), os.path.join(tree, f))
    content = s.path("c-content.wim")
    disks.capture(tree, content)
    c = s.path("c.part")
    with open(c, "wb") as f:
        f.truncate(t.C_SIZE)
    disks.run("mkntfs", "-F", "-Q", "-q", "-s", "512", "-c", str(CLUSTER), "-p", str(road.c_start),
              "-H", "255", "-S", "63", "-L", "SYSTEM", c)
    disks.run("wimlib-imagex", "apply", content, "1", c)
    disks.protect(c, ["/" + f for f in os.listdir(takeover)])
    d_tree = s.path("d-tree")
    disks.write_tree(d_tree, {"DURozazo/Download/win.wim": open(wim, "rb").read()})
    d = s.partition("d", d_tree, road.d_start, t.D_SIZE, "DATA")
    return road.system_disk(s, c, d), takeover


def scenario(again):
    def run(t, s):
        road = s.road
        disk, takeover = armed_disk(t, s)
        serial = boot_until(t, s, disk, r"KAVI-AGENT RESULT: [^\r\n]*[\r\n]")
        t.check("KAVI-AGENT RESULT: failed write-failed" in serial,
                "the agent did not end in write-failed:\n" + "\n".join(serial.splitlines()[-15:]))
        t.check(len(re.findall(r"Formatting /dev/", serial)) == 2, "not formatted exactly twice")
        t.check("the task stays" in serial, "the screen does not say the task stays")
        c = disk.extract(road.C, s.path("c-after.part"))
        marker = disks.read_file(c, "/Ghost.run")
        t.check(marker is not None and b"step=apply" in marker, "no progress marker on C:")
        for f in os.listdir(takeover):
            t.check(disks.read_file(c, "/" + f) == open(os.path.join(takeover, f), "rb").read(),
                    f + " is not kept on C:")
        for f in ("/KV.ima", "/kvldr", "/kvldr.mbr"):
            t.check(disks.read_file(c, f) is not None, f + " is not kept on C:")
        sequence = boot_sequence(disks.read_file(c, "/Boot/BCD"), s.path("bcd-after.hiv"))
        t.check(sequence == [OUR_ENTRY], "the one-time entry is not set again: %r" % sequence)
        log = disks.read_file(disk.extract(road.D, s.path("d-after.part")), "/DURozazo/restore.log")
        entry = log.decode("utf-8", "replace").split("== kavi restore ")[-1]
        t.check("warning: wimlib-imagex could not write the image" in entry and
                "result: failed write-failed" in entry, "the log does not tell the failure:\n" + entry)
        if again:
            # The next power-on finds the task and writes once more.
            serial = boot_until(t, s, disk, r"Writing the image to ")
            t.check("found: the last start stopped at step apply" in serial,
                    "the next start did not find the kept task:\n" + serial[-1500:])
    return run


# name: (function taking the test module and the scenario, bus in the test
# command or None for scripts/next-boot only, further buses)
SCENARIOS = {
    "write_fails": (scenario(False), "ide", []),
    "write_fails_again": (scenario(True), None, ["ide"]),
}
