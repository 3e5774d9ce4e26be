#!/usr/bin/env python3
"""The whole next boot in QEMU (software emulation): a stand-in boot manager
in the master boot record chain-loads kvldr.mbr as the Windows boot manager
does, GRUB finds KV.ima on C:, boots the restore environment, and the agent
carries out the Ghost task that a real takeover left ("Ghost.ba_" and its
disk record, written by kavi-takeover-files through the program's own script
and record code), then restarts. QEMU runs with -no-reboot, so the restart
ends it; the disks are then read back and compared.

Scenarios (each on another disk bus, so IDE, AHCI, NVMe and virtio all
run): reinstall, backup then restore, four refusals, and an image on a
second disk whose Linux order differs from its Windows order.

With --screen-render, the reinstall and the changed-byte refusal also check
the agent's graphical screen as QEMU's monitor takes it (screen.py).

--road uefi runs reinstall, backup then restore and refusals (one of them
a C: BitLocker encrypted over the task, bitlocker.py) on the UEFI road
instead, with the same checks: a GPT disk (EFI system partition,
Microsoft reserved partition, C:, D:), OVMF's Secure Boot firmware with
Microsoft's keys, our files in \\EFI\\KaviRestore armed through a Boot####
load option and BootNext written into the scenario's copy of the variable
store (efivars.py); after each boot the firmware has forgotten BootNext,
BootOrder is as it was, Secure Boot was on, and of the ESP only our folder
is gone.

Usage: restore_qemu_test.py --kvima KV.ima --loader DIR --takeover-files BIN
       [--screen-render BIN] [--report XML] [--only NAME,...] [--all-buses]
       [--keep DIR]
       restore_qemu_test.py --road uefi --efi DIR --takeover-files BIN [...]
Exit 77 (skipped) only when QEMU (or, on the UEFI road, OVMF) cannot run."""
import argparse
import concurrent.futures
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import backup_record  # noqa: E402
import bitlocker  # noqa: E402
import cut_power  # noqa: E402
import disks  # noqa: E402
import efivars  # noqa: E402
import screen  # noqa: E402
import windows_boot  # noqa: E402
import write_failure  # noqa: E402
from disks import MiB, rb  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
LOADER_SRC = os.path.join(ROOT, "tests", "boot", "loader")
BOOT_TIMEOUT = 420

SIG = 0x1A2B3C4D
C_START = disks.PART_START
C_SIZE = 96 * MiB
D_START = C_START + C_SIZE // disks.SECTOR
D_SIZE = 64 * MiB

ORIGINAL_BCD = b"regf-original-store" + rb(6, 24000)
ARMED_BCD = b"regf-armed-store" + rb(7, 24000)
OLD_BOOTMGR = b"BOOTMGR" + rb(5, 40000)
TAKEOVER_FILES = ["/KV.ima", "/kvldr", "/kvldr.mbr", "/Ghost.ba_", "/Ghost.map"]
BOOT_FILES = ["/bootmgr", "/Boot", "/Boot/BCD", "/Boot/zh-CN", "/Boot/zh-CN/bootmgr.exe.mui"]


def old_windows():
    """C: before the takeover, with the boot manager's files."""
    return {
        "Windows/System32/kernel32.dll": rb(1, 300000),
        "Windows/System32/drivers/disk.sys": rb(2, 50000),
        "Windows/explorer.exe": rb(3, 200000),
        "Windows/System32/kernel32.dll -> Windows/SysWOW64/kernel32.dll": None,
        "Users/小明/Documents/报告.txt": "旧系统里的文件".encode("utf-8"),
        "Program Files/应用/app.exe": rb(4, 100000),
        "bootmgr": OLD_BOOTMGR,
        "Boot/BCD": ARMED_BCD,
        "Boot/BCD_B": ORIGINAL_BCD,
        "Boot/zh-CN/bootmgr.exe.mui": rb(8, 10000),
    }


def new_windows(extra=None):
    """The image to install: no boot files of its own."""
    files = {
        "Windows/System32/ntoskrnl.exe": rb(11, 400000),
        "Windows/System32/config/SYSTEM": rb(12, 200000),
        "Windows/Fonts/微软雅黑.ttf": rb(13, 300000),
        "Users/Default/桌面/说明.txt": "新系统".encode("utf-8"),
        "Windows/System32/ntoskrnl.exe -> Windows/System32/硬链接.exe": None,
        "Windows/big.bin": rb(14, 3 * MiB),
    }
    files.update(extra or {})
    return files


class BiosRoad:
    """The BIOS road: an MBR disk whose stand-in boot manager chain-loads
    kvldr.mbr, C: holding KV.ima, kvldr and the boot manager's files, the
    task armed by the takeover's files on C: and the swapped \\Boot\\BCD."""
    name = "bios"
    qemu = "qemu-system-i386"
    C, D = 0, 1  # partition indexes on the system disk
    c_start, d_start = C_START, D_START
    boot_timeout = BOOT_TIMEOUT

    def __init__(self, args, work):
        self.stub = disks.mbr_stub(LOADER_SRC, work)
        self.vbr = disks.ntfs_vbr_stub(LOADER_SRC, work)
        self.payloads = {"KV.ima": args.kvima, "kvldr": os.path.join(args.loader, "kvldr"),
                         "kvldr.mbr": os.path.join(args.loader, "kvldr.mbr")}
        self.bootsector = self.payloads["kvldr.mbr"]

    @staticmethod
    def inputs(args):
        return [args.kvima, os.path.join(args.loader, "kvldr"), args.takeover_files]

    @staticmethod
    def unavailable():
        return None

    def machine(self, s):
        return [self.qemu, "-M", "pc", "-m", "512"]

    def system_files(self):
        return old_windows()

    def takeover(self, s, mode, image, record_id=None, out=None, bind=()):
        return s.takeover_files(mode, image, [
            "--disk", "%08X" % (SIG if record_id is None else record_id),
            "C=%d+%d" % (C_START * 512, C_SIZE), "D=%d+%d" % (D_START * 512, D_SIZE)] + list(bind),
            out)

    def system_disk(self, s, c, d, disk_id=None, chain=False):
        """With CHAIN, the machine's own boot chain instead of the stand-in:
        a standard MBR starts C:'s NTFS boot code, which loads \\bootmgr."""
        if chain:
            disks.put_boot_code(c, self.vbr)
            return disks.Disk(s.path("disk.img"), SIG if disk_id is None else disk_id,
                              [(C_START, c), (D_START, d)], disks.STANDARD_MBR)
        return disks.Disk(s.path("disk.img"), SIG if disk_id is None else disk_id,
                          [(C_START, c), (D_START, d)], self.stub, self.bootsector)

    def rearm(self, s, disk, c_part):
        """The swapped boot configuration a takeover leaves on C:."""
        bcd = s.path("bcd")
        open(bcd, "wb").write(ORIGINAL_BCD)
        disks.put_file(c_part, bcd, "/Boot/BCD_B")
        open(bcd, "wb").write(ARMED_BCD)
        disks.put_file(c_part, bcd, "/Boot/BCD")

    def boot(self, s, disk, expect):
        return s.boot([(disk, s.bus)], expect)


OVMF_DIR = "/usr/share/OVMF"
OVMF_CODE = os.path.join(OVMF_DIR, "OVMF_CODE_4M.secboot.fd")
OVMF_VARS = os.path.join(OVMF_DIR, "OVMF_VARS_4M.ms.fd")  # Microsoft's keys enrolled
EFI_FILES = ["shimx64.efi", "mmx64.efi", "grubx64.efi", "grub.cfg", "vmlinuz", "initrd.img"]
OUR_FOLDER = "/EFI/KaviRestore"
SHIM_SIGNER_CA = "Microsoft Corporation UEFI CA 2011"

# The UEFI system disk as Windows lays it out: EFI system partition,
# Microsoft reserved partition, C:, D:.
ESP_START, ESP_SIZE = disks.PART_START, 100 * MiB
MSR_START, MSR_SIZE = ESP_START + ESP_SIZE // disks.SECTOR, 16 * MiB
UC_START = MSR_START + MSR_SIZE // disks.SECTOR
UD_START = UC_START + C_SIZE // disks.SECTOR
DISK_GUID = "5C0E3F4A-8B21-4D6E-9A7C-2F1B3D4E5A60"
PART_GUIDS = ["3A9D1C72-55E0-4B8F-A1D6-0E7B2C9F4D11", "8F2E6B14-0C3A-4D79-B5E1-92A7D4C6F022",
              "C41B7E09-6D2F-4A85-9E3C-5B8A1F0D7E33", "19E5A3D8-F47B-4C26-8D0A-6E2C9B1F5A44"]
WINDOWS_ESP = {  # what Windows keeps there; must stay byte for byte
    "EFI/Microsoft/Boot/bootmgfw.efi": rb(61, 150000),
    "EFI/Microsoft/Boot/bootmgr.efi": rb(62, 120000),
    "EFI/Microsoft/Boot/BCD": ORIGINAL_BCD,
    "EFI/Microsoft/Boot/zh-CN/bootmgfw.efi.mui": rb(63, 12000),
    "EFI/Microsoft/Recovery/BCD": rb(64, 24000),
    "EFI/Boot/bootx64.efi": rb(61, 150000),
}


class UefiRoad:
    """The UEFI road: a GPT disk, OVMF's Secure Boot firmware with
    Microsoft's keys, our six files in \\EFI\\KaviRestore on the EFI system
    partition, armed as bcdedit's {fwbootmgr} bootsequence leaves it: a
    Boot#### load option and BootNext in the scenario's copy of the variable
    store. The store first goes through one boot per disk bus (priming), so
    the firmware has made its own boot options and BootOrder, with a Windows
    Boot Manager entry first, as on a machine that has started Windows."""
    name = "uefi"
    qemu = "qemu-system-x86_64"
    C, D = 2, 3
    c_start, d_start = UC_START, UD_START
    # A boot takes about 35 s; when our loader cannot start, the firmware
    # tries its other options and then waits for a key.
    boot_timeout = 240

    def __init__(self, args, work):
        self.efi, self.work = args.efi, work
        # KV.ima is only the marker the agent looks for beside Ghost.ba_ on
        # this road (the environment is on the ESP), as the takeover writes it.
        marker = os.path.join(work, "KV.ima")
        open(marker, "wb").write(b"KAVI UEFI task marker\r\n")
        self.payloads = {"KV.ima": marker}
        self.lock = threading.Lock()
        self.primed = {}

    @staticmethod
    def inputs(args):
        return [os.path.join(args.efi or "", f) for f in EFI_FILES] + [args.takeover_files]

    @staticmethod
    def unavailable():
        for f in (OVMF_CODE, OVMF_VARS):
            if not os.path.exists(f):
                return "%s is missing (package ovmf)" % f
        return None

    def machine(self, s):
        return [self.qemu, "-machine", "q35,smm=on",
                "-global", "driver=cfi.pflash01,property=secure,value=on",
                "-global", "ICH9-LPC.disable_s3=1",
                "-drive", "if=pflash,format=raw,unit=0,readonly=on,file=" + OVMF_CODE,
                "-drive", "if=pflash,format=raw,unit=1,file=" + s.vars, "-m", "1024"]

    def system_files(self):
        return {k: v for k, v in old_windows().items()
                if k != "bootmgr" and not k.startswith("Boot/")}

    def takeover(self, s, mode, image, record_id=None, out=None, bind=()):
        """Ghost.ba_ and Ghost.map by the program's own code from the GPT
        disk's map: C: is the third partition, the record's lines carry the
        disk's and the partitions' GUIDs."""
        parts = [("-", ESP_START, ESP_SIZE), ("-", MSR_START, MSR_SIZE), ("C", UC_START, C_SIZE),
                 ("D", UD_START, D_SIZE)]
        out = s.takeover_files(mode, image, ["--gpt", record_id or DISK_GUID] + [
            "%s=%d+%d:%s" % (letter, start * disks.SECTOR, size, guid)
            for (letter, start, size), guid in zip(parts, PART_GUIDS)] + list(bind), out)
        record = open(os.path.join(out, "Ghost.map"), "rb").read().decode("ascii")
        check("1:3 gpt=%s part=%s " % (record_id or DISK_GUID, PART_GUIDS[2]) in record,
              "the disk record does not name C: by its GUIDs:\n" + record)
        return out

    def our_folder(self, s):
        tree = s.path("kavi-efi")
        if not os.path.isdir(tree):
            os.makedirs(tree)
            for f in EFI_FILES:
                shutil.copyfile(os.path.join(self.efi, f), os.path.join(tree, f))
        return tree

    def system_disk(self, s, c, d, disk_id=None):
        tree = s.path("esp-tree")
        disks.write_tree(tree, WINDOWS_ESP)
        shutil.copytree(self.our_folder(s), os.path.join(tree, "EFI", "KaviRestore"))
        esp = s.path("esp.fat")
        disks.make_fat(esp, ESP_SIZE, ESP_START, "SYSTEM", tree)
        msr = disks.empty_partition(s.path("msr.part"), MSR_SIZE)
        disk = disks.GptDisk(s.path("disk.img"), disk_id or DISK_GUID, [
            (ESP_START, esp, disks.ESP_TYPE, PART_GUIDS[0], "EFI system partition"),
            (MSR_START, msr, disks.MSR_TYPE, PART_GUIDS[1], "Microsoft reserved partition"),
            (UC_START, c, disks.BASIC_DATA_TYPE, PART_GUIDS[2], "Basic data partition"),
            (UD_START, d, disks.BASIC_DATA_TYPE, PART_GUIDS[3], "Basic data partition")])
        s.vars = s.path("vars.fd")
        shutil.copyfile(self.prime(s.bus), s.vars)
        self.arm(s, disk)
        return disk

    def arm(self, s, disk):
        """BootNext to a Boot#### for HD(1,GPT,...)/\\EFI\\KaviRestore\\shimx64.efi;
        notes what must be the same after the boot."""
        esp = disk.extract(0, s.path("esp-armed.fat"))
        files = disks.fat_files(esp, s.dir)
        check(sorted(p for p in files if p.startswith(OUR_FOLDER + "/")) ==
              sorted(OUR_FOLDER + "/" + f for f in EFI_FILES), "our folder on the ESP is not complete")
        s.esp_before = {p: h for p, h in files.items() if not p.startswith(OUR_FOLDER + "/")}
        store = efivars.VarStore(s.vars)
        s.order_before = store.boot_order()
        path = (efivars.hd_node(1, ESP_START, ESP_SIZE // disks.SECTOR, PART_GUIDS[0]) +
                efivars.file_node("\\EFI\\KaviRestore\\shimx64.efi") + efivars.END_NODE)
        s.armed = store.arm_next_boot("Kavi 一键还原", path)
        store.save()

    def rearm(self, s, disk, c_part):
        """Our folder back on the ESP, the KV.ima marker back on C: and the
        next boot armed again, as a second takeover does."""
        disks.put_file(c_part, self.payloads["KV.ima"], "/KV.ima")
        esp = disk.extract(0, s.path("esp-rearm.fat"))
        disks.run("mcopy", "-s", "-i", esp, self.our_folder(s), "::/EFI/KaviRestore",
                  env=dict(os.environ, MTOOLS_SKIP_CHECK="1"))
        disk.write_back(0, esp)
        self.arm(s, disk)

    def boot(self, s, disk, expect):
        """Boots, then checks what every boot of this road must leave: the
        firmware took BootNext and forgot it, BootOrder is as it was, Secure
        Boot was on, and of the ESP only our folder is gone."""
        result = s.boot([(disk, s.bus)], expect)
        check(re.search(r"BdsDxe: starting Boot%04X " % s.armed, s.serial),
              "the firmware did not start Boot%04X (BootNext)" % s.armed)
        store = efivars.VarStore(s.vars)
        check(store.boot_next() is None, "BootNext is still set after the boot")
        check(store.boot_order() == s.order_before, "BootOrder changed: %s, was %s" %
              (store.boot_order(), s.order_before))
        esp = disk.extract(0, s.path("esp-after-%d.fat" % s.boots))
        check(not disks.fat_exists(esp, OUR_FOLDER), "\\EFI\\KaviRestore is still on the ESP")
        ours = [n for n, option in store.boot_options().items()
                if "kavirestore" in repr(option).lower()]
        check(not ours, "our firmware entries are still there: %s" % ours)
        after = disks.fat_files(esp, s.dir)
        s.esp_after = esp
        # A reinstall renews the boot manager's files (s.esp_changes: path ->
        # the new sha256, None for the store, which the scenario reads).
        changed = sorted(p for p in set(after) | set(s.esp_before) if after.get(p) != s.esp_before.get(p)
                         and not (p in s.esp_changes and s.esp_changes[p] in (None, after.get(p))))
        check(not changed, "ESP files changed: %s" % changed[:6])
        fsck = subprocess.run(["fsck.fat", "-n", esp], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        check(fsck.returncode == 0, "the ESP's file system has errors:\n" +
              fsck.stdout.decode("utf-8", "replace")[-800:])
        found = re.findall(r"found: firmware [^\r\n]*", s.serial)
        check(found and found[-1].strip() == "found: firmware UEFI, Secure Boot enabled",
              "the agent did not see UEFI with Secure Boot enabled: %s" % found)
        print("  %s boot %d: armed through BootNext (Boot%04X); BootOrder %s kept" %
              (s.name, s.boots, s.armed, " ".join("%04X" % n for n in s.order_before)), flush=True)
        return result

    def prime(self, bus):
        with self.lock:
            if bus not in self.primed:
                self.primed[bus] = self._prime(bus)
            return self.primed[bus]

    def _prime(self, bus):
        """A copy of OVMF's store with a Windows Boot Manager entry first,
        booted once on BUS from a disk whose removable-media path is shim
        and GRUB halting the machine, so the firmware makes its own boot
        options for that bus."""
        work = os.path.join(self.work, "prime-" + bus)
        os.makedirs(work)
        vars_ = os.path.join(work, "vars.fd")
        shutil.copyfile(OVMF_VARS, vars_)
        store = efivars.VarStore(vars_)
        db = store.certificates("db", efivars.IMAGE_SECURITY)
        check(SHIM_SIGNER_CA in db, "db does not hold %s: %s" % (SHIM_SIGNER_CA, db))
        windows = store.free_boot_number()
        store.set("Boot%04X" % windows, efivars.load_option("Windows Boot Manager", (
            efivars.hd_node(1, ESP_START, ESP_SIZE // disks.SECTOR, PART_GUIDS[0]) +
            efivars.file_node("\\EFI\\Microsoft\\Boot\\bootmgfw.efi") + efivars.END_NODE)))
        store.set("BootOrder", struct.pack("<H", windows))
        store.save()
        tree = os.path.join(work, "esp-tree")
        boot = os.path.join(tree, "EFI", "BOOT")
        os.makedirs(boot)
        shutil.copyfile(os.path.join(self.efi, "shimx64.efi"), os.path.join(boot, "BOOTX64.EFI"))
        for f in ("mmx64.efi", "grubx64.efi"):
            shutil.copyfile(os.path.join(self.efi, f), os.path.join(boot, f))
        open(os.path.join(boot, "grub.cfg"), "w").write("echo KAVI-PRIMED\nhalt\n")
        esp = os.path.join(work, "esp.fat")
        disks.make_fat(esp, ESP_SIZE, ESP_START, "SYSTEM", tree)
        disk = disks.GptDisk(os.path.join(work, "disk.img"), "0D15C0DE-0000-4000-8000-00000000000D",
                             [(ESP_START, esp, disks.ESP_TYPE, "0D15C0DE-0000-4000-8000-00000000000E",
                               "EFI system partition")])
        log = os.path.join(work, "serial.log")
        holder = type("Prime", (), {"vars": vars_})
        cmd = ["timeout", "120"] + self.machine(holder) + [
            "-display", "none", "-no-reboot", "-monitor", "none", "-nic", "none",
            "-serial", "file:" + log, "-drive", "file=%s,format=raw,if=none,id=d0" % disk.path]
        cmd += {"sata": ["-device", "ide-hd,drive=d0,bus=ide.0"],
                "nvme": ["-device", "nvme,serial=kavi0,drive=d0"],
                "virtio": ["-device", "virtio-blk-pci,drive=d0"]}[bus]
        subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
        text = open(log, "rb").read().decode("utf-8", "replace") if os.path.exists(log) else ""
        order = efivars.VarStore(vars_).boot_order()
        check("KAVI-PRIMED" in text and order and order[0] == windows,
              "priming the variable store on %s failed (BootOrder %s); serial tail:\n%s" %
              (bus, order, "\n".join(text.splitlines()[-10:])))
        print("  variable store primed on %s: BootOrder %s; db: %s" %
              (bus, " ".join("%04X" % n for n in order), "; ".join(db)), flush=True)
        return vars_


class Context:
    def __init__(self, args, work):
        self.args, self.work = args, work
        self.road = ROADS[args.road](args, work)


class Scenario:
    """One scenario's folder, disks and boots."""

    def __init__(self, ctx, name, bus):
        self.ctx, self.name, self.bus = ctx, name, bus
        self.road = ctx.road
        self.dir = os.path.join(ctx.work, name)
        os.makedirs(self.dir)
        self.boots = 0
        self.esp_changes = {}

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def takeover_files(self, mode, image, disk_args, out=None):
        """Ghost.ba_ and Ghost.map as the program leaves them."""
        out = out or self.path("takeover")
        os.makedirs(out, exist_ok=True)
        disks.run(self.ctx.args.takeover_files, out, "--system", "C", "--" + mode, image,
                  *disk_args)
        return out

    def system_partition(self, files, takeover, start=C_START, size=C_SIZE, name="c"):
        # A hibernation file goes in last: ntfssecaudit opens no volume that has one.
        files = dict(files)
        hibernation = files.pop("hiberfil.sys", None)
        tree = self.path(name + "-tree")
        disks.write_tree(tree, files)
        for f, src in self.road.payloads.items():
            shutil.copyfile(src, os.path.join(tree, f))
        for f in os.listdir(takeover):
            shutil.copyfile(os.path.join(takeover, f), os.path.join(tree, f))
        part = self.partition(name, tree, start, size, "SYSTEM")
        # Only administrators may change the task, as the takeover leaves it.
        disks.protect(part, ["/" + f for f in os.listdir(takeover)])
        if hibernation is not None:
            source = self.path(name + "-hiberfil.sys")
            open(source, "wb").write(hibernation)
            disks.put_file(part, source, "/hiberfil.sys")
        return part

    def partition(self, name, tree, start, size, label):
        wim = self.path(name + "-content.wim")
        disks.capture(tree, wim)
        part = self.path(name + ".part")
        disks.make_ntfs(part, size, start, label, wim)
        os.unlink(wim)
        return part

    def boot(self, machine_disks, expect):
        """Boots the first of [(Disk, bus)] (the others attached too) and
        returns the agent's last serial line; asserts it says EXPECT."""
        self.boots += 1
        log = self.path("serial-%d.log" % self.boots)
        cmd = ["timeout", str(self.road.boot_timeout)] + self.road.machine(self) + [
            "-display", "none", "-no-reboot", "-monitor", "none", "-nic", "none",
            "-serial", "file:" + log]
        if getattr(self, "no_graphics", False):
            cmd += ["-vga", "none"]
        ahci = False
        for i, (disk, bus) in enumerate(machine_disks):
            drive = "file=%s,format=raw,if=none,id=d%d" % (disk.path, i)
            # The firmware's own boot order decides on UEFI: a boot index
            # would make OVMF rewrite BootOrder from QEMU's list.
            boot = ",bootindex=%d" % i if self.road.name == "bios" else ""
            if bus == "sata":  # the q35 machine's own AHCI controller
                cmd += ["-drive", drive, "-device", "ide-hd,drive=d%d,bus=ide.%d%s" % (i, i, boot)]
            elif bus == "ide":
                cmd += ["-drive", drive, "-device", "ide-hd,drive=d%d,bus=ide.%d%s" % (i, i, boot)]
            elif bus == "ahci":
                if not ahci:
                    cmd += ["-device", "ahci,id=ahci0"]
                    ahci = True
                cmd += ["-drive", drive, "-device", "ide-hd,drive=d%d,bus=ahci0.%d%s" % (i, i, boot)]
            elif bus == "nvme":
                cmd += ["-drive", drive, "-device", "nvme,serial=kavi%d,drive=d%d%s" % (i, i, boot)]
            elif bus == "virtio":
                cmd += ["-drive", drive, "-device", "virtio-blk-pci,drive=d%d%s" % (i, boot)]
        for attempt in range(3):
            started = time.monotonic()
            watch = getattr(self, "screen", None)
            status = watch.run(cmd, log) if watch else subprocess.run(
                cmd, stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT).returncode
            seconds = time.monotonic() - started
            text = open(log, "rb").read().decode("utf-8", "replace") if os.path.exists(log) else ""
            # Under software emulation on a loaded host the kernel's check of
            # the timer's interrupt route can miss its window and panic before
            # anything of ours runs; a machine is then simply powered on again.
            if not EMULATED_TIMER_PANIC.search(text) or "KAVI-AGENT" in text:
                break
            print("  %s boot %d: the emulated timer failed the kernel's check; powering on again"
                  % (self.name, self.boots), flush=True)
        results = re.findall(r"KAVI-AGENT RESULT: ([^\r\n]*)", text)
        result = results[-1].strip() if results else None
        print("  %s boot %d on %s: %s in %.0f s (QEMU exit %d)" %
              (self.name, self.boots, "+".join(b for _, b in machine_disks), result, seconds, status),
              flush=True)
        if result is None or not result.startswith(expect):
            tail = "\n".join(text.splitlines()[-25:])
            raise AssertionError("expected the agent to report '%s', got %r; serial tail:\n%s" %
                                 (expect, result, tail))
        self.serial = text
        return result


EMULATED_TIMER_PANIC = re.compile(r"Kernel panic - not syncing: IO-APIC \+ timer doesn't work")


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def same(expected, actual, what):
    diff = disks.differences(expected, actual)
    check(not diff, what + ":\n    " + "\n    ".join(diff))


def check_boot_code_kept(before, after):
    """The new file system's boot sector keeps the old boot code and the
    hidden-sector count; sectors 1-15 (the rest of the boot code) too."""
    check(after[0x54:0x1FE] == before[0x54:0x1FE], "the boot code of sector 0 changed")
    check(after[512:] == before[512:], "the boot code of sectors 1-15 changed")
    check(disks.le32(after, 0x1C) == disks.le32(before, 0x1C), "the hidden-sector count changed")


def check_boot_config_put_back(part, road):
    if road.name == "bios":
        check(disks.read_file(part, "/Boot/BCD") == ORIGINAL_BCD, "\\Boot\\BCD is not the backup put back")
        check(disks.read_file(part, "/Boot/BCD_B") is None, "\\Boot\\BCD_B is still there")
    check(disks.read_file(part, "/Ghost.ba_") is None, "Ghost.ba_ is still there")
    check(disks.read_file(part, "/Ghost.map") is None, "the disk record is still there")
    if road.name == "uefi":
        check(disks.read_file(part, "/KV.ima") is None, "the KV.ima marker is still there")


def log_entry(part):
    log = disks.read_file(part, "/DURozazo/restore.log")
    check(log is not None, "no DURozazo\\restore.log on the image's partition")
    entry = log.decode("utf-8", "replace").split("== kavi restore ")[-1]
    return entry


def single_disk(s, mode, image_path, d_files, disk_id=None, record_id=None, c_files=None):
    """C: and D: on the road's system disk, C: armed with a task for
    IMAGE_PATH. Returns the disk and the partition files of C: and D:."""
    road = s.road
    takeover = road.takeover(s, mode, image_path, record_id)
    c = s.system_partition(c_files or road.system_files(), takeover, road.c_start)
    d_tree = s.path("d-tree")
    os.makedirs(os.path.join(d_tree, "DURozazo", "Download"))
    disks.write_tree(d_tree, d_files)
    d = s.partition("d", d_tree, road.d_start, D_SIZE, "DATA")
    disk = road.system_disk(s, c, d, disk_id)
    return disk, c, d


def image_wim(s, files, name="image", compress="lzx", protected=()):
    """A WIM captured from an NTFS volume, as images made on Windows are:
    with security descriptors, attributes and short names; PROTECTED (paths
    of FILES) only administrators can change."""
    tree = s.path(name + "-tree")
    disks.write_tree(tree, files)
    volume = s.partition(name + "-volume", tree, disks.PART_START, C_SIZE + 32 * MiB, "IMAGE")
    if protected:
        disks.protect(volume, ["/" + p for p in protected])
    wim = s.path(name + ".wim")
    disks.capture(volume, wim, name="Windows", compress=compress)
    os.unlink(volume)
    return wim


def windows_wim(s, arch, major, name, seed=90, minor_build=None):
    """A Windows-shaped image with its own boot files, store template and XML."""
    files = windows_boot.windows_image(s.dir, seed)
    # Its boot files and store template, as Windows keeps them.
    wim = image_wim(s, files, protected=[p for p in files if p.startswith("Windows/Boot/") or
                                         p.endswith("BCD-Template")])
    windows_boot.set_windows(wim, arch, major, name, minor_build)
    return files, wim


def sha(data):
    return hashlib.sha256(data).hexdigest()


def scenario_reinstall(s):
    """Windows 10 (in a folder with a Chinese name on D:) written over
    Windows 7 on C:: C: holds exactly the image, and the image's boot
    manager starts it: on BIOS from the active C: with a store made from the
    image's template (the old one is no hive it can use); on UEFI from the
    ESP, whose other files stay as they were."""
    road = s.road
    uefi = road.name == "uefi"
    files, wim = windows_wim(s, 9 if uefi else 0, 10, "Windows 10 Pro")
    if uefi:
        manager = sha(files["Windows/Boot/EFI/bootmgfw.efi"])
        s.esp_changes = {"/EFI/Microsoft/Boot/bootmgfw.efi": manager, "/EFI/Boot/bootx64.efi": manager,
                         "/EFI/Microsoft/Boot/bootmgr.efi": sha(files["Windows/Boot/EFI/bootmgr.efi"]),
                         "/EFI/Microsoft/Boot/zh-CN/bootmgfw.efi.mui":
                             sha(files["Windows/Boot/EFI/zh-CN/bootmgfw.efi.mui"]),
                         "/EFI/Microsoft/Boot/Fonts/chs_boot.ttf":
                             sha(files["Windows/Boot/Fonts/chs_boot.ttf"]),
                         "/EFI/Microsoft/Boot/BCD": None}
    disk, c, _ = single_disk(s, "restore", "D:\\系统镜像\\Windows 10.wim",
                             {"系统镜像/Windows 10.wim": open(wim, "rb").read()})
    before = disks.boot_code(c)
    # A power cut first, when asked for; the next start finishes the task.
    cut_at = getattr(s, "cut_at", None)
    if cut_at:
        cut_power.boot_and_cut(sys.modules[__name__], s, disk, cut_at)
    if s.ctx.args.screen_render and not cut_at:
        s.screen = screen.ScreenWatch(s, s.ctx.args.screen_render, "install",
                                     "系统镜像\\Windows 10.wim")
    road.boot(s, disk, "ok")
    if s.ctx.args.screen_render and not cut_at:
        s.screen.check(s.serial)
    c_after = disk.extract(road.C, s.path("c-after.part"))
    d_after = disk.extract(road.D, s.path("d-after.part"))
    image = disks.listing(wim, s.dir)
    written = disks.listing(c_after, s.dir, "c-after")
    # Exactly the image's files, plus on BIOS the boot manager's at the root.
    boot_files = [p for p in written if re.match(r"/(bootmgr|bootnxt|boot)(/|$)", p, re.I)]
    same(disks.without(image, ["/"]), disks.without(written, ["/"] + boot_files),
         "C: does not hold exactly the image")
    if uefi:
        store = disks.read_file_fat(s.esp_after, "/EFI/Microsoft/Boot/BCD")
        partition = ("gpt", DISK_GUID, PART_GUIDS[2])
    else:
        for name, src in (("/bootmgr", "PCAT/bootmgr"), ("/bootnxt", "PCAT/bootnxt"),
                          ("/Boot/zh-CN/bootmgr.exe.mui", "PCAT/zh-CN/bootmgr.exe.mui"),
                          ("/Boot/Fonts/chs_boot.ttf", "Fonts/chs_boot.ttf")):
            check(disks.read_file(c_after, name) == files["Windows/Boot/" + src],
                  "%s is not the image's own" % name)
        store = disks.read_file(c_after, "/Boot/BCD")
        partition = ("mbr", SIG, C_START * disks.SECTOR)
        # With the image's own descriptors, not ntfs-3g's everyone-may-change.
        for name in ("/bootmgr", "/Boot/zh-CN/bootmgr.exe.mui", "/Boot/BCD"):
            who = disks.who_may_change(disks.security(c_after, name))
            check(not who, "%s may be changed by %s" % (name, who))
    check(store is not None, "the boot partition holds no store")
    store = windows_boot.read_store(store, s.dir)
    windows_boot.check_starts(store, partition, "\\Windows\\system32\\winload." + ("efi" if uefi else "exe"),
                            written)
    manager_device = windows_boot.decode_device(store[windows_boot.BOOTMGR_ID].get("11000001", b""))
    check(manager_device == (("gpt", DISK_GUID, PART_GUIDS[0]) if uefi else partition),
          "the boot manager's device is %s" % (manager_device,))
    check(disks.read_file(c_after, "/Users/小明/Documents/报告.txt") is None, "an old file survived")
    check(disks.read_file(c_after, "/Ghost.ba_") is None, "Ghost.ba_ survived")
    check_boot_code_kept(before, disks.boot_code(c_after))
    entry = log_entry(d_after)
    check("result: ok" in entry, "the log does not end in success:\n" + entry)
    check(not cut_at or "found: the last start stopped at step apply" in entry,
          "the finishing start does not say where the last one stopped:\n" + entry)
    check('found: image 1 of 1 "Windows 10 Pro" (%s, Windows 10)' % ("x86_64" if uefi else "x86") in entry,
          "the log does not name the edition written:\n" + entry)


def scenario_backup_restore(s):
    """C: captured into D:\\DURozazo\\SYS.GHO, changed, then restored."""
    road = s.road
    d_files = {"DURozazo/备份说明.txt": "数据盘".encode("utf-8")}
    # What Windows keeps on C: but a backup leaves out.
    left_out = {"pagefile.sys": b"P" * 4096, "System Volume Information/shadow": b"S" * 4096}
    disk, c, _ = single_disk(s, "backup", "D:\\DURozazo\\SYS.GHO", d_files,
                             c_files=dict(road.system_files(), **left_out))
    road.boot(s, disk, "ok")
    c1 = disk.extract(road.C, s.path("c-after-backup.part"))
    d1 = disk.extract(road.D, s.path("d-after-backup.part"))
    check_boot_config_put_back(c1, road)
    # The backup holds the system's hives, and Windows trusts it by its
    # record: neither is any user's to change, read back as NTFS keeps them.
    for part, path in ((d1, "/DURozazo/SYS.GHO"), (c1, "/Ghost.sum")):
        descriptor = disks.security(part, path)
        check(descriptor is not None, "no security descriptor on " + path)
        check(not disks.who_may_change(descriptor),
              "%s may be changed by %s" % (path, disks.who_may_change(descriptor)))
    backup = disks.read_file(d1, "/DURozazo/SYS.GHO")
    check(backup is not None and backup[:8] == b"MSWIM\0\0\0", "SYS.GHO is no WIM")
    gho = s.path("sys.gho")
    open(gho, "wb").write(backup)
    in_backup = subprocess.run(["wimlib-imagex", "dir", gho, "1"], stdout=subprocess.PIPE,
                               check=True, text=True, errors="replace").stdout.split("\n")
    for path in ("/pagefile.sys", "/System Volume Information", "/KV.ima", "/Ghost.ba_"):
        check(path not in in_backup, path + " is in the backup")
    check("/Windows" in in_backup, "the backup holds no \\Windows")
    # Nothing of those comes back with the restore, nor the takeover's own
    # files, which every takeover writes anew.
    dropped = ["/Ghost.sum", "/pagefile.sys", "/System Volume Information",
               "/System Volume Information/shadow", "/KV.ima", "/kvldr", "/kvldr.mbr"]
    captured = disks.without(disks.listing(c1, s.dir, "c-captured"), dropped[1:])
    bound = backup_record.recorded_binding(sys.modules[__name__], s, c1, d1)

    # The user works on; then restores.
    changed = s.path("changed.txt")
    open(changed, "wb").write("备份之后改过的内容".encode("utf-8"))
    disks.put_file(c1, changed, "/Users/小明/Documents/报告.txt")
    disks.put_file(c1, changed, "/新文件.txt")
    takeover = road.takeover(s, "restore", "D:\\DURozazo\\SYS.GHO", out=s.path("takeover-restore"),
                             bind=["--bind", bound])
    for attempt in ("swapped", "backup") if road.name == "bios" else ("backup",):
        for f in os.listdir(takeover):
            disks.put_file(c1, os.path.join(takeover, f), "/" + f)
        disks.protect(c1, ["/" + f for f in os.listdir(takeover)])
        road.rearm(s, disk, c1)
        disk.write_back(road.C, c1)
        if attempt == "swapped":
            c1 = backup_record.refuse_swapped_backup(sys.modules[__name__], s, disk, c1, d1)
    road.boot(s, disk, "ok")
    c2 = disk.extract(road.C, s.path("c-after-restore.part"))
    restored = disks.listing(c2, s.dir, "c-restored")
    # The root's times change once the task's files leave it after the write;
    # the record of the backups outlives the restore.
    same(disks.without(captured, dropped, times_of=["/"]),
         disks.without(restored, dropped, times_of=["/"]),
         "C: after the restore differs from C: at the backup")
    check(disks.read_file(c2, "/Ghost.sum") == disks.read_file(c1, "/Ghost.sum"),
          "the restore did not keep the backup's record")
    entry = log_entry(disk.extract(road.D, s.path("d-after-restore.part")))
    check("result: ok" in entry, "the log does not end in success:\n" + entry)
    check("done: checked the MD5 of" in entry, "the restore was not bound to the backup:\n" + entry)


def refusal(s, code, image_path, d_files, record_id=None, watch_screen=False):
    """Boots a task the agent must refuse: C: keeps every byte but the
    takeover's own bookkeeping (the task is gone and the boot configuration
    put back, so Windows starts next time). The log goes to the image's
    partition; when the disk record cannot be trusted, that partition is
    unknown and the log goes into the work folder already on D:, never
    onto C:."""
    road = s.road
    disk, c, d = single_disk(s, "restore", image_path, d_files, record_id=record_id)
    before = disks.listing(c, s.dir, "c-before")
    d_before = disks.listing(d, s.dir, "d-before")
    if watch_screen and s.ctx.args.screen_render:
        s.screen = screen.ScreenWatch(s, s.ctx.args.screen_render, "install",
                                     image_path.split("\\", 1)[1])
    road.boot(s, disk, "failed " + code)
    if watch_screen and s.ctx.args.screen_render:
        s.screen.check_failure(code)
    c_after = disk.extract(road.C, s.path("c-after.part"))
    check(disks.boot_code(c_after) == disks.boot_code(c), "C:'s boot sectors changed")
    bookkeeping = ["/Ghost.ba_", "/Ghost.map", "/Boot/BCD_B", "/Boot/BCD"]
    if road.name == "uefi":
        bookkeeping.append("/KV.ima")  # the marker goes with the task
    same(disks.without(before, bookkeeping, times_of=["/", "/Boot"]),
         disks.without(disks.listing(c_after, s.dir, "c-after"), bookkeeping, times_of=["/", "/Boot"]),
         "C: changed")
    check_boot_config_put_back(c_after, road)
    d_after = disk.extract(road.D, s.path("d-after.part"))
    log = ["/DURozazo/restore.log"]
    same(disks.without(d_before, log, times_of=["/", "/DURozazo"]),
         disks.without(disks.listing(d_after, s.dir, "d-after"), log, times_of=["/", "/DURozazo"]),
         "D: changed beyond the log")
    entry = log_entry(d_after)
    check("result: failed " + code in entry, "the log does not give the reason:\n" + entry)


def scenario_refuse_gho(s):
    # A machine without a graphics mode: GRUB falls back to text, and so
    # does the agent.
    s.no_graphics = True
    gho = s.path("SYS.GHO")
    disks.ghost_header_file(gho)
    refusal(s, "image-gho", "D:\\DURozazo\\SYS.GHO", {"DURozazo/SYS.GHO": open(gho, "rb").read()})


def scenario_refuse_corrupt(s):
    marker = b"KAVI-RESOURCE-MARKER"
    wim = image_wim(s, new_windows({"Windows/marked.bin": marker + rb(21, 200000)}),
                    compress="none")
    disks.flip_byte_in_resource(wim, marker)
    refusal(s, "image-corrupt", "D:\\DURozazo\\Download\\win.wim",
            {"DURozazo/Download/win.wim": open(wim, "rb").read()}, watch_screen=True)


def scenario_refuse_too_large(s):
    wim = image_wim(s, new_windows({"Windows/huge.bin": bytes(C_SIZE + 8 * MiB)}))
    refusal(s, "image-too-large", "D:\\DURozazo\\Download\\win.wim",
            {"DURozazo/Download/win.wim": open(wim, "rb").read()})


def scenario_refuse_record(s):
    wim = image_wim(s, new_windows())
    refusal(s, "record-mismatch", "D:\\DURozazo\\Download\\win.wim",
            {"DURozazo/Download/win.wim": open(wim, "rb").read()}, record_id=SIG ^ 0x100)


def scenario_second_disk(s):
    """Windows disk 0 holds the image on E:, disk 1 the system on C:, both
    partitions at the same place with the same size: only the disk record's
    signatures tell them apart, and the Linux order differs."""
    data_sig, system_sig = 0xD15C0000, 0x5157E111
    wim = image_wim(s, new_windows())
    takeover = s.takeover_files("restore", "E:\\镜像\\win.wim", [
        "--disk", "%08X" % data_sig, "E=%d+%d" % (C_START * 512, C_SIZE),
        "--disk", "%08X" % system_sig, "C=%d+%d" % (C_START * 512, C_SIZE)])
    c = s.system_partition(old_windows(), takeover)
    e_tree = s.path("e-tree")
    disks.write_tree(e_tree, {"镜像/win.wim": open(wim, "rb").read(), "其他/照片.jpg": rb(31, 500000)})
    e = s.partition("e", e_tree, C_START, C_SIZE, "DATA")
    system = disks.Disk(s.path("system.img"), system_sig, [(C_START, c)], s.road.stub, s.road.bootsector)
    data = disks.Disk(s.path("data.img"), data_sig, [(C_START, e)])
    e_before = disks.listing(e, s.dir, "e-before")
    before = disks.boot_code(c)
    system_bus, data_bus = s.bus
    s.boot([(system, system_bus), (data, data_bus)], "ok")
    c_after = system.extract(0, s.path("c-after.part"))
    e_after = data.extract(0, s.path("e-after.part"))
    written = disks.listing(c_after, s.dir, "c-after")
    same(disks.without(disks.listing(wim, s.dir), ["/"]), disks.without(written, ["/"] + BOOT_FILES),
         "C: on the system disk does not hold exactly the image")
    check_boot_code_kept(before, disks.boot_code(c_after))
    check(disks.boot_code(e_after) == disks.boot_code(e), "E:'s boot sectors changed")
    log = ["/DURozazo", "/DURozazo/restore.log"]
    same(disks.without(e_before, log, times_of=["/"]),
         disks.without(disks.listing(e_after, s.dir, "e-after"), log, times_of=["/"]),
         "the data disk changed beyond the log")
    check("result: ok" in log_entry(e_after), "the log does not end in success")


XP_BOOT_INI = (b"[boot loader]\r\ntimeout=30\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
               b"[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Windows XP\" "
               b"/fastdetect\r\n")
XP_ARMED_INI = (b"[boot loader]\r\ntimeout=3\r\ndefault=C:\\kvldr\r\n[operating systems]\r\n"
                b"multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Windows XP\" /fastdetect\r\n"
                b"C:\\kvldr=Kavi\xd2\xbb\xbc\xfc\xbb\xb9\xd4\xad\r\n")


def scenario_reinstall_fat(s):
    """Windows XP on FAT32, booted through boot.ini: the image goes into the
    emptied volume, whose boot sector stays as it was; ntldr and
    NTDETECT.COM come back, and boot.ini is the backup boot.in_."""
    cut_at = getattr(s, "cut_at", None)
    # Cut: incompressible, so the apply takes seconds after any of its lines.
    extra = {"Windows/more.bin": rb(15, 24 * MiB)} if cut_at else {}
    files = {k: v for k, v in new_windows(extra).items() if " -> " not in k}
    wim = image_wim(s, files)
    takeover = s.takeover_files("restore", "D:\\镜像\\xp.wim", [
        "--disk", "%08X" % SIG, "C=%d+%d" % (C_START * 512, C_SIZE), "D=%d+%d" % (D_START * 512, D_SIZE)])
    c_tree = s.path("c-tree")
    disks.write_tree(c_tree, {"WINDOWS/system32/kernel32.dll": rb(41, 200000),
                              "Documents and Settings/小明/桌面/旧文件.txt": b"old",
                              "ntldr": rb(42, 250000), "NTDETECT.COM": rb(43, 47000),
                              "boot.ini": XP_ARMED_INI, "boot.in_": XP_BOOT_INI})
    for name, src in list(s.road.payloads.items()) + [(f, os.path.join(takeover, f))
                                                     for f in os.listdir(takeover)]:
        shutil.copyfile(src, os.path.join(c_tree, name))
    c = s.path("c.fat")
    disks.make_fat(c, C_SIZE, C_START, "SYSTEM", c_tree)
    d_tree = s.path("d-tree")
    disks.write_tree(d_tree, {"镜像/xp.wim": open(wim, "rb").read()})
    d = s.partition("d", d_tree, D_START, D_SIZE, "DATA")
    disk = disks.Disk(s.path("disk.img"), SIG, [(C_START, c), (D_START, d)], s.road.stub,
                      s.road.bootsector)
    boot_sector = disks.boot_code(c)[:512]
    if cut_at:
        cut_power.boot_and_cut(sys.modules[__name__], s, disk, cut_at)
    s.boot([(disk, s.bus)], "ok")
    c_after = disk.extract(0, s.path("c-after.fat"))
    after = disks.boot_code(c_after)[:512]
    if cut_at:
        # The cut start left the volume marked dirty (FAT32's state byte),
        # which Windows' check at its next start clears.
        after = after[:0x41] + bytes([after[0x41] & ~1]) + after[0x42:]
    check(after == boot_sector, "C:'s FAT boot sector changed")
    expected = disks.tree_files(s.path("image-tree"))
    for name in ("/ntldr", "/NTDETECT.COM"):
        expected[name] = disks.tree_files(c_tree)[name]
    expected["/boot.ini"] = disks.tree_files(c_tree)["/boot.in_"]
    actual = disks.fat_files(c_after, s.dir)
    missing = sorted(set(expected) - set(actual))
    extra = sorted(set(actual) - set(expected))
    changed = sorted(p for p in set(expected) & set(actual) if expected[p] != actual[p])
    check(not (missing or extra or changed),
          "C: does not hold the image and the boot files: missing %s, unexpected %s, changed %s"
          % (missing[:5], extra[:5], changed[:5]))
    entry = log_entry(disk.extract(1, s.path("d-after.part")))
    check("result: ok" in entry, "the log does not end in success")
    check(not cut_at or "found: the last start stopped at step apply" in entry,
          "the log does not tell that the cut start was taken up:\n" + entry)


def scenario_reinstall_reserved(s):
    """A machine with an active "System Reserved" partition holding the boot
    manager and its store: Windows 7 written over Windows 7 on C: gets the
    image's boot manager there, and the machine's store is kept, its entry
    for C: now the default with a corrected root; the store's other entry
    and every other file of the partition stay."""
    sr_start, sr_size = C_START, 24 * MiB
    c_start = sr_start + sr_size // disks.SECTOR
    d_start = c_start + C_SIZE // disks.SECTOR
    files, wim = windows_wim(s, 0, 6, "Windows 7 Ultimate", seed=120)
    c_device = windows_boot.device(SIG, c_start * disks.SECTOR)
    store = windows_boot.machine_store(s.dir, "machine-BCD", c_device,
                                     windows_boot.device(SIG, sr_start * disks.SECTOR),
                                     windows_boot.device(0x0BADF00D, c_start * disks.SECTOR))
    sr_tree = s.path("sr-tree")
    disks.write_tree(sr_tree, {"bootmgr": OLD_BOOTMGR, "Boot/BCD": store,
                               "Boot/zh-CN/bootmgr.exe.mui": rb(8, 10000),
                               "Boot/Fonts/wgl4_boot.ttf": rb(9, 40000)})
    sr = s.partition("sr", sr_tree, sr_start, sr_size, "System Reserved")
    takeover = s.takeover_files("restore", "D:\\Win7.wim", [
        "--disk", "%08X" % SIG, "-=%d+%d" % (sr_start * 512, sr_size),
        "C=%d+%d" % (c_start * 512, C_SIZE), "D=%d+%d" % (d_start * 512, D_SIZE)])
    c_files = {k: v for k, v in old_windows().items() if k != "bootmgr" and not k.startswith("Boot/")}
    c = s.system_partition(c_files, takeover, c_start)
    d_tree = s.path("d-tree")
    disks.write_tree(d_tree, {"Win7.wim": open(wim, "rb").read()})
    d = s.partition("d", d_tree, d_start, D_SIZE, "DATA")
    disk = disks.Disk(s.path("disk.img"), SIG, [(sr_start, sr), (c_start, c), (d_start, d)],
                      s.road.stub, s.road.bootsector)
    sr_before = disks.listing(sr, s.dir, "sr-before")
    s.boot([(disk, s.bus)], "ok")
    sr_after = disk.extract(0, s.path("sr-after.part"))
    c_after = disk.extract(1, s.path("c-after.part"))
    written = disks.listing(c_after, s.dir, "c-after")
    same(disks.without(disks.listing(wim, s.dir), ["/"]), disks.without(written, ["/"]),
         "C: does not hold exactly the image")
    renewed = ["/bootmgr", "/bootnxt", "/Boot/BCD", "/Boot/memtest.exe", "/Boot/Fonts/chs_boot.ttf",
               "/Boot/zh-CN/bootmgr.exe.mui"]
    same(disks.without(sr_before, renewed, times_of=["/", "/Boot", "/Boot/Fonts", "/Boot/zh-CN"]),
         disks.without(disks.listing(sr_after, s.dir, "sr-after"), renewed,
                       times_of=["/", "/Boot", "/Boot/Fonts", "/Boot/zh-CN"]),
         "System Reserved changed beyond the boot manager's files")
    check(disks.read_file(sr_after, "/bootmgr") == files["Windows/Boot/PCAT/bootmgr"],
          "System Reserved's bootmgr is not the image's")
    after = windows_boot.read_store(disks.read_file(sr_after, "/Boot/BCD"), s.dir)
    windows_boot.check_starts(after, ("mbr", SIG, c_start * disks.SECTOR),
                            "\\Windows\\system32\\winload.exe", written)
    check(len(after) == 3 and windows_boot.decode_device(after[
        "{41a6e4cc-1a3b-4a5e-b0a1-6e1d6b1c7d11}"]["11000001"]) == ("mbr", 0x0BADF00D, c_start * 512),
          "the store's other entry changed")
    check("result: ok" in log_entry(disk.extract(2, s.path("d-after.part"))),
          "the log does not end in success")


def scenario_refuse_machine(s):
    """An image this machine cannot start, refused before anything is
    written: x64 Windows on the BIOS road's 32-bit processor (QEMU's
    qemu32 has no long mode), x86 Windows on x64 UEFI."""
    _, wim = windows_wim(s, 0 if s.road.name == "uefi" else 9, 10, "Windows 10 Pro")
    refusal(s, "image-not-for-machine", "D:\\DURozazo\\Download\\win.wim",
            {"DURozazo/Download/win.wim": open(wim, "rb").read()})


def scenario_refuse_secure_boot(s):
    """Windows 7 x64 (6.1.7601) under OVMF with Secure Boot enforced: its boot
    manager would be refused once C: is written, so nothing is."""
    _, wim = windows_wim(s, 9, 6, "Windows 7 Ultimate", minor_build=(1, 7601))
    refusal(s, "image-not-for-machine", "D:\\DURozazo\\Download\\win.wim",
            {"DURozazo/Download/win.wim": open(wim, "rb").read()})


def scenario_refuse_hibernated(s):
    """A C: whose Windows hibernated (Fast Startup after a takeover answered
    "否"), which ntfs-3g mounts read-only without failing: the agent says so
    in its own words and C: keeps every byte (the one-time entry is spent,
    so the hibernated Windows resumes next)."""
    road = s.road
    wim = image_wim(s, new_windows())
    files = dict(road.system_files(), **{"hiberfil.sys": b"HIBR" + bytes(4092)})
    disk, c, _ = single_disk(s, "restore", "D:\\DURozazo\\Download\\win.wim",
                             {"DURozazo/Download/win.wim": open(wim, "rb").read()}, c_files=files)
    before = disks.listing(c, s.dir, "c-before")
    road.boot(s, disk, "failed target-hibernated")
    c_after = disk.extract(road.C, s.path("c-after.part"))
    same(before, disks.listing(c_after, s.dir, "c-after"), "the hibernated C: changed")
    entry = log_entry(disk.extract(road.D, s.path("d-after.part")))
    check("result: failed target-hibernated" in entry, "the log does not give the reason:\n" + entry)


# name: (function, bus in the test command, further buses with --all-buses)
SCENARIOS = {
    "reinstall": (scenario_reinstall, "ide", ["ahci", "nvme", "virtio"]),
    "reinstall_fat": (scenario_reinstall_fat, "virtio", ["ide"]),
    "reinstall_reserved": (scenario_reinstall_reserved, "ahci", []),
    "refuse_machine": (scenario_refuse_machine, "ide", []),
    "backup_restore": (scenario_backup_restore, "ahci", ["ide"]),
    "refuse_gho": (scenario_refuse_gho, "ide", []),
    "refuse_corrupt": (scenario_refuse_corrupt, "virtio", []),
    "refuse_too_large": (scenario_refuse_too_large, "ahci", []),
    "refuse_record": (scenario_refuse_record, "nvme", []),
    "refuse_hibernated": (scenario_refuse_hibernated, "ahci", []),
    "second_disk": (scenario_second_disk, ("nvme", "virtio"), [("virtio", "ide")]),
}
# The same scenarios and checks on the UEFI road (q35's own AHCI is "sata").
UEFI_SCENARIOS = {
    "reinstall": (scenario_reinstall, "nvme", ["sata", "virtio"]),
    "backup_restore": (scenario_backup_restore, "sata", ["nvme"]),
    "refuse_corrupt": (scenario_refuse_corrupt, "virtio", ["sata"]),
    "refuse_machine": (scenario_refuse_machine, "sata", []),
    "refuse_secure_boot": (scenario_refuse_secure_boot, "sata", []),
}
ROADS = {"bios": BiosRoad, "uefi": UefiRoad}
for _name, (_fn, _bus, _more) in list(cut_power.SCENARIOS.items()) + list(
        write_failure.SCENARIOS.items()):
    SCENARIOS[_name] = (lambda s, fn=_fn: fn(sys.modules[__name__], s), _bus, _more)
for _name, (_fn, _bus, _more) in list(bitlocker.SCENARIOS.items()) + list(
        cut_power.UEFI_SCENARIOS.items()):
    UEFI_SCENARIOS[_name] = (lambda s, fn=_fn: fn(sys.modules[__name__], s), _bus, _more)


def write_report(path, name, tests, failures, skipped):
    if path:
        with open(path, "w") as f:
            f.write('<?xml version="1.0"?>\n<testsuites name="%s" tests="%d" '
                    'failures="%d" skipped="%d" errors="0"/>\n' % (name, tests, failures, skipped))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--road", choices=sorted(ROADS), default="bios")
    parser.add_argument("--kvima")
    parser.add_argument("--loader")
    parser.add_argument("--efi", help="the UEFI road's six files (shimx64.efi ... initrd.img)")
    parser.add_argument("--takeover-files", required=True)
    parser.add_argument("--report")
    parser.add_argument("--screen-render", help="kavi-screen-render: check the screen of a reinstall")
    parser.add_argument("--only")
    parser.add_argument("--all-buses", action="store_true")
    parser.add_argument("--sweep", action="store_true", help="every power-cut instant (cut_*)")
    parser.add_argument("--keep")
    parser.add_argument("--jobs", type=int, default=2)
    args = parser.parse_args()

    if args.road == "bios" and not (args.kvima and args.loader):
        parser.error("the BIOS road needs --kvima and --loader")
    if args.road == "uefi" and not args.efi:
        parser.error("the UEFI road needs --efi")
    road = ROADS[args.road]
    suite = "restore_next_boot" + ("_uefi" if args.road == "uefi" else "")
    runs = []
    scenarios = UEFI_SCENARIOS if args.road == "uefi" else SCENARIOS
    if args.sweep:
        args.only = ",".join(n for n in scenarios if n.startswith("cut_"))
    for name, (fn, bus, more) in scenarios.items():
        if args.only and name not in args.only.split(","):
            continue
        # A scenario without a bus of its own runs only when asked for.
        asked = args.all_buses or (args.only and bus is None)
        for b in ([bus] if bus else []) + (more if asked else []):
            runs.append((name, fn, b))
    why = None
    if not shutil.which(road.qemu) or subprocess.run(
            [road.qemu, "-version"], stdout=subprocess.DEVNULL).returncode != 0:
        why = "%s cannot run here (package qemu-system-x86)" % road.qemu
    why = why or road.unavailable()
    if why:
        print("SKIPPED: " + why)
        write_report(args.report, suite, len(runs), 0, len(runs))
        return 77
    for f in road.inputs(args):
        if not os.path.exists(f):
            print("FAILED: %s was not built" % f)
            write_report(args.report, suite, len(runs), len(runs), 0)
            return 1

    work = args.keep or tempfile.mkdtemp(prefix="kavi-restore-")
    if args.keep:
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
    ctx = Context(args, work)

    def one(run):
        name, fn, bus = run
        label = "%s (%s)" % (name, "+".join(bus) if isinstance(bus, tuple) else bus)
        s = Scenario(ctx, name + "-" + ("-".join(bus) if isinstance(bus, tuple) else bus), bus)
        try:
            fn(s)
            print("passed: " + label, flush=True)
            ok = True
        except Exception as e:  # a failed check or a tool that failed
            detail = e.stdout.decode("utf-8", "replace") if isinstance(
                e, subprocess.CalledProcessError) and e.stdout else ""
            print("FAILED: %s: %s %s" % (label, e, detail), flush=True)
            if not isinstance(e, AssertionError):
                traceback.print_exc()
            ok = False
        if ok and not args.keep:
            shutil.rmtree(s.dir, ignore_errors=True)
        return ok

    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        results = list(pool.map(one, runs))
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    passed, failed = results.count(True), results.count(False)
    print("%d passed, %d failed" % (passed, failed))
    write_report(args.report, suite, len(results), failed, 0)
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
