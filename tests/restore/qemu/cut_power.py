"""Power cuts and swapped images on the next boot, on both roads.

Cuts: QEMU is killed when the agent's serial output reaches a chosen step
(the image is large enough that its apply lasts seconds after the line the
cut waits for); the same disk, and on UEFI the same variable store, is then
started again. Until C: is formatted a cut leaves the old Windows:
bootable, its files and boot configuration its own, the task gone once it
was read (C: exactly as it was before); on BIOS the stand-in boot manager
always starts the loader, so there a cut before the task is read is
finished by the next start, and on UEFI, once BootNext is set again, the
next start runs the agent, which finds no task. From the format on (the
task held on D: until it is back on C:), the next start finishes the task: C: then holds exactly the
image with the old boot files (or, for a Windows-shaped image, its own boot
manager and a store that starts it). A cut during a backup leaves the old
Windows and a whole backup under the name the program looks for. The test
command cuts the boot files' writes, a backup's replacement and, on BIOS,
the apply and then the next format on the machine's own boot chain (a
standard MBR, NTFS boot code that loads \\bootmgr by name) and the apply
onto Windows XP's FAT32 C:; the other instants run with scripts/next-boot
--sweep.

Swap: the task is bound to the checked image's size and MD5 (as a
reinstall binds it), and another valid WIM takes the image's place before
the restart: refused, C: unchanged, the reason in the log."""
import hashlib
import os
import re
import subprocess
import time

import disks
import efivars
from disks import MiB, rb

def binding(path):
    md5 = hashlib.md5()
    with open(path, "rb") as f:
        for piece in iter(lambda: f.read(1 << 20), b""):
            md5.update(piece)
    return "%d:%s" % (os.path.getsize(path), md5.hexdigest())


def bound_disk(t, s, wim_bytes, bind, c_files=None, chain=False):
    """C: (holding C_FILES, the road's old Windows unless given) armed with a
    reinstall of D:\\DURozazo\\Download\\win.wim bound to BIND, D: holding
    WIM_BYTES there; CHAIN: see the road's system_disk."""
    road = s.road
    takeover = road.takeover(s, "restore", "D:\\DURozazo\\Download\\win.wim",
                             bind=["--bind", bind])
    c = s.system_partition(c_files or road.system_files(), takeover, road.c_start)
    d_tree = s.path("d-tree")
    disks.write_tree(d_tree, {"DURozazo/Download/win.wim": wim_bytes})
    d = s.partition("d", d_tree, road.d_start, t.D_SIZE, "DATA")
    if chain:
        return road.system_disk(s, c, d, chain=True), c, d
    return road.system_disk(s, c, d), c, d


def boot_and_cut(t, s, disk, pattern):
    """Starts the machine and kills QEMU itself (no clean shutdown, as a
    power cut) once the serial log matches PATTERN; fails when the boot ends
    first or the agent finished before the kill. A kernel that panics on
    the emulated timer's check before anything of ours runs is powered on
    again, as s.boot does."""
    for attempt in range(3):
        s.boots += 1
        text = cut_once(t, s, disk, pattern)
        if text is not None:
            return text
        text = open(s.path("serial-%d.log" % s.boots), "rb").read().decode("utf-8", "replace")
        if not t.EMULATED_TIMER_PANIC.search(text) or "KAVI-AGENT" in text:
            break
        print("  %s boot %d: the emulated timer failed the kernel's check; powering on again"
              % (s.name, s.boots), flush=True)
    t.check(False, "the boot ended before %r; serial tail:\n%s" %
            (pattern, "\n".join(text.splitlines()[-15:])))


def run_until(s, disk, pattern, timeout):
    """Starts the machine on DISK and kills it as soon as its serial log
    matches PATTERN: the log's text then, or None when the boot ended or
    TIMEOUT passed first (the log file is there either way)."""
    log = s.path("serial-%d.log" % s.boots)
    # IDE on the BIOS road, q35's AHCI ("sata") on the UEFI one, where the
    # firmware's boot order decides.
    boot = ",bootindex=0" if s.road.name == "bios" else ""
    cmd = s.road.machine(s) + [
        "-display", "none", "-no-reboot", "-monitor", "none", "-nic", "none",
        "-serial", "file:" + log, "-drive", "file=%s,format=raw,if=none,id=d0" % disk.path,
        "-device", "ide-hd,drive=d0,bus=ide.0" + boot]
    qemu = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
    deadline = time.monotonic() + timeout
    try:
        while qemu.poll() is None and time.monotonic() < deadline:
            text = open(log, "rb").read().decode("utf-8", "replace") if os.path.exists(log) else ""
            if re.search(pattern, text):
                qemu.kill()
                qemu.wait()
                return open(log, "rb").read().decode("utf-8", "replace")
            time.sleep(0.05)
    finally:
        if qemu.poll() is None:
            qemu.kill()
            qemu.wait()
    if not os.path.exists(log):
        open(log, "wb").close()
    return None


def cut_once(t, s, disk, pattern):
    text = run_until(s, disk, pattern, s.road.boot_timeout)
    if text is not None:
        t.check("KAVI-AGENT RESULT" not in text, "the agent finished before the cut")
        print("  %s boot %d: cut at %r" % (s.name, s.boots, pattern), flush=True)
    return text


def old_windows_kept(t, s, disk, before, serial, made=()):
    """After a cut that left the task unfinished and not armed again: the old
    Windows with its own boot configuration. Once the agent has read the
    task, the task is gone and the configuration put back; before, C: is
    exactly as the takeover left it. On UEFI the firmware used BootNext up,
    so it starts Windows' own entry: BootOrder and Windows' ESP files as
    they were. MADE: files the task may have added to C: before the cut."""
    road = s.road
    c_after = disk.extract(road.C, s.path("c-after.part"))
    after = disks.listing(c_after, s.dir, "c-after")
    if "found: KV.ima and Ghost.ba_" in serial:
        # On UEFI the KV.ima marker stays: only a finished task takes it.
        kept = ["/Ghost.ba_", "/Ghost.map", "/Boot/BCD_B", "/Boot/BCD", "/KV.ima"] + list(made)
        t.same(disks.without(before, kept, times_of=["/", "/Boot"]),
               disks.without(after, kept, times_of=["/", "/Boot"]), "C: changed")
        if road.name == "bios":
            t.check_boot_config_put_back(c_after, road)
        for name in ("/Ghost.ba_", "/Ghost.map"):
            t.check(disks.read_file(c_after, name) is None, name + " is still on C:")
    else:
        t.same(before, after, "C: changed before the task was read")
    if road.name == "uefi":
        store = efivars.VarStore(s.vars)
        t.check(store.boot_order() == s.order_before, "BootOrder changed: %s, was %s" %
                (store.boot_order(), s.order_before))
        esp = disks.fat_files(disk.extract(0, s.path("esp-after.fat")), s.dir)
        changed = sorted(p for p in s.esp_before if esp.get(p) != s.esp_before[p])
        t.check(not changed, "Windows' files on the ESP changed: %s" % changed[:6])


def cut(pattern, resumes_on=("bios", "uefi"), chain=False):
    """A reinstall cut when the serial output matches PATTERN (a tuple: each
    start cut at its own pattern in turn); the next start finishes it on the
    roads in RESUMES_ON, and leaves the old Windows on the others. CHAIN (BIOS
    only): every start goes through a standard MBR and C:'s NTFS boot code to
    the file \\bootmgr, which holds the loader as a boot manager armed for
    the task would start it; nothing of the boot manager's one-time entry."""
    patterns = pattern if isinstance(pattern, tuple) else (pattern,)

    def scenario(t, s):
        road = s.road
        # Incompressible, so the apply takes seconds after any of its lines.
        wim = t.image_wim(s, t.new_windows({"Windows/more.bin": rb(15, 24 * MiB)}))
        c_files = dict(road.system_files())
        if chain:
            c_files["bootmgr"] = open(road.payloads["kvldr"], "rb").read()
        disk, c, _ = bound_disk(t, s, open(wim, "rb").read(), binding(wim), c_files, chain)
        before = disks.listing(c, s.dir, "c-before")
        boot_code = disks.boot_code(c)
        serials = [boot_and_cut(t, s, disk, p) for p in patterns]
        serial = serials[0]
        if road.name not in resumes_on:
            if "done: the firmware starts Boot" in serial:
                # Armed again before anything was written: the agent starts,
                # finds the task gone and hands the machine back.
                road.boot(s, disk, "failed no-task")
            old_windows_kept(t, s, disk, before, serial)
            return
        road.boot(s, disk, "ok")
        if "found: the last start was cut while formatting" in s.serial:
            print("  %s: the task was taken up from its hold on D:" % s.name, flush=True)
        c_after = disk.extract(road.C, s.path("c-after.part"))
        written = disks.listing(c_after, s.dir, "c-after")
        boot_files = [p for p in written if re.match(r"/(bootmgr|boot)(/|$)", p, re.I)]
        t.same(disks.without(disks.listing(wim, s.dir), ["/"]),
               disks.without(written, ["/"] + boot_files), "C: does not hold exactly the image")
        if road.name == "bios":
            t.check(disks.read_file(c_after, "/bootmgr") == c_files["bootmgr"],
                    "bootmgr was not put back")
            t.check(disks.read_file(c_after, "/Boot/BCD") == t.ORIGINAL_BCD,
                    "\\Boot\\BCD is not the backup of the store")
        for name in ("/KV.ima", "/kvldr", "/kvldr.mbr", "/Ghost.run"):
            t.check(disks.read_file(c_after, name) is None, name + " is still on C:")
        t.check_boot_config_put_back(c_after, road)
        t.check(disks.boot_code(c_after)[0x54:] == boot_code[0x54:], "the boot code changed")
        log = disks.read_file(disk.extract(road.D, s.path("d-after.part")), "/DURozazo/restore.log")
        entries = log.decode("utf-8", "replace").split("== kavi restore ")[1:]
        # A cut start's entry is on D: once the image was being checked;
        # the task's progress is kept from the format on.
        started = sum("Checking the image file" in text for text in serials)
        marked = any("Formatting " in text for text in serials)
        t.check(len(entries) == 1 + started and all("result:" not in e for e in entries[:-1]) and
                "result: ok" in entries[-1] and
                marked == ("found: the last start stopped at step" in entries[-1]),
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


def cut_backup(pattern, big=False):
    """A backup over an older SYS.GHO cut when the serial output matches
    PATTERN: the old Windows with its own boot configuration, and a whole
    backup under the name the program looks for once it has finished the
    interrupted replacement as it does before every task (".kavi-done" takes
    the name, else the name stays, else ".kavi-old" goes back): the old
    backup or a new one that verifies."""
    def scenario(t, s):
        road = s.road
        old = open(t.image_wim(s, t.new_windows(), name="old-backup"), "rb").read()
        # BIG: incompressible, so the capture takes seconds after its lines.
        c_files = dict(road.system_files(), **({"Windows/more.bin": rb(15, 24 * MiB)} if big else {}))
        disk, c, _ = t.single_disk(s, "backup", "D:\\DURozazo\\SYS.GHO",
                                   {"DURozazo/SYS.GHO": old}, c_files=c_files)
        before = disks.listing(c, s.dir, "c-before")
        # The backup's record goes onto C: before the swap starts.
        old_windows_kept(t, s, disk, before, boot_and_cut(t, s, disk, pattern), ["/Ghost.sum"])
        d_after = disks.checked_as_windows_would(disk.extract(road.D, s.path("d-after.part")))
        found = {n: disks.read_file(d_after, "/DURozazo/SYS.GHO" + n)
                 for n in ("", ".kavi-done", ".kavi-old")}
        print("  %s: after the cut D:\\DURozazo holds %s" % (s.name, ", ".join(
            "SYS.GHO" + n for n, b in found.items() if b is not None)), flush=True)
        backup = next((found[n] for n in (".kavi-done", "", ".kavi-old") if found[n] is not None), None)
        t.check(backup is not None, "no backup is left under any of its names")
        if backup != old:
            new = s.path("new-backup.wim")
            open(new, "wb").write(backup)
            t.check(subprocess.run(["wimlib-imagex", "verify", new], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL).returncode == 0,
                    "the backup left is neither the old one nor a whole new one")
            record = disks.read_file(disk.extract(road.C, s.path("c-record.part")), "/Ghost.sum") or b""
            named = b"image size=%d md5=%s" % (len(backup), hashlib.md5(backup).hexdigest().encode())
            t.check(named in record, "the new backup left is not in C:'s record: %r" % record)
    return scenario


def reinstall_cut(pattern):
    """The reinstall of a Windows-shaped image (its own boot manager and
    store template) cut when the serial output matches PATTERN and finished
    by the next start, with the reinstall's checks."""
    def scenario(t, s):
        s.cut_at = pattern
        t.scenario_reinstall(s)
    return scenario


def reinstall_fat_cut(pattern):
    """Windows XP's FAT32 C: (emptied, not formatted) cut when the serial
    output matches PATTERN and finished by the next start, with the FAT
    reinstall's checks."""
    def scenario(t, s):
        s.cut_at = pattern
        t.scenario_reinstall_fat(s)
    return scenario


# name: (function taking the test module and the scenario, bus in the test
# command or None for scripts/next-boot only, further buses); the instants
# in the order a task reaches them.
SCENARIOS = {
    "cut_start": (cut(r"Kavi restore\.", ("bios",)), None, ["ide"]),
    "cut_check": (cut(r"Checking the image file", ()), None, ["ide"]),
    "cut_format": (cut(r"Putting the task back on "), None, ["ide"]),
    # On the machine's own boot chain: cut in the apply, then right after
    # the next start formatted C: again.
    "cut_format_chain": (cut((r"writing +([3-9]\d)%", r"Putting the task back on "), ("bios",),
                             chain=True), "ide", []),
    "cut_rearmed": (cut(r"Writing the image to"), None, ["ide"]),
    "cut_apply": (cut(r"writing +([3-9]\d)%"), None, ["ide"]),
    "cut_apply_late": (cut(r"writing +([8-9]\d)%"), None, ["ide"]),
    # Cut in the apply, then in the next start's image check, then in the
    # format after that: the fourth start finishes.
    "cut_thrice": (cut((r"writing +([3-9]\d)%", r"Checking the image file", r"Formatting ")),
                   None, ["ide"]),
    "cut_boot_files": (reinstall_cut(r"Writing the boot files"), "ide", []),
    # BIOS only: XP's FAT32 C: cut in the apply into its staging folder.
    "cut_fat": (reinstall_fat_cut(r"writing +([3-9]\d)%"), "ide", []),
    "cut_capture": (cut_backup(r"backing up +([3-9]\d)%", big=True), None, ["ide"]),
    "cut_backup_swap": (cut_backup(r"Putting the new backup in place"), "ide", []),
    "swap_image": (scenario_swap, "ide", []),
}
# The UEFI road: the same instants and one more, right after the agent set
# BootNext again (the task is gone from C: and nothing written yet: the old
# Windows); the test command cuts the boot files' writes on the ESP.
UEFI_SCENARIOS = {name: (fn, None, ["sata"]) for name, (fn, _, _) in SCENARIOS.items()
                  if not name.endswith(("_chain", "_fat"))}
UEFI_SCENARIOS["cut_armed"] = (cut(r"the firmware starts Boot[0-9A-F]{4} next", ()), None, ["sata"])
UEFI_SCENARIOS["cut_boot_files"] = (SCENARIOS["cut_boot_files"][0], "sata", [])
