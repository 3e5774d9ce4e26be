"""Test disks for the next boot, made without root: NTFS partitions written
by mkntfs into partition files and filled through wimlib (which treats a
regular file as an NTFS volume), an MBR partition table by sfdisk, the
stand-in boot manager and kvldr.mbr put in front, and everything read back
with wimlib, ntfscat and plain byte comparisons."""
import hashlib
import os
import random
import re
import shutil
import struct
import subprocess

SECTOR = 512
MiB = 1 << 20
PART_START = 2048  # sectors: partitions start at 1 MiB, as Windows puts them


def run(*cmd, **kw):
    return subprocess.run(list(cmd), check=True, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, **kw)


def write_tree(root, files):
    """files: {relative path: bytes}; "a -> b" keys make b a hard link of a."""
    for rel, data in files.items():
        if " -> " in rel:
            src, dst = rel.split(" -> ")
            os.makedirs(os.path.dirname(os.path.join(root, dst)), exist_ok=True)
            os.link(os.path.join(root, src), os.path.join(root, dst))
            continue
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def rb(seed, size):
    """SIZE reproducible, incompressible bytes."""
    return random.Random(seed).randbytes(size)


def capture(source, wim, name="image", compress="none"):
    """Every file of SOURCE into WIM: an empty exclusion list, since wimlib's
    own would leave out what a Windows C: holds (pagefile.sys, System
    Volume Information)."""
    config = wim + ".config"
    with open(config, "w") as f:
        f.write("[ExclusionList]\n")
    run("wimlib-imagex", "capture", source, wim, name, "--compress=" + compress, "--config=" + config)
    os.unlink(config)


def make_ntfs(path, size_bytes, start_sector, label, content_wim=None):
    """An NTFS partition file as Windows would have it at START_SECTOR of its
    disk, filled with image 1 of CONTENT_WIM."""
    with open(path, "wb") as f:
        f.truncate(size_bytes)
    run("mkntfs", "-F", "-Q", "-q", "-s", "512", "-p", str(start_sector), "-H", "255", "-S", "63",
        "-L", label, path)
    if content_wim:
        run("wimlib-imagex", "apply", content_wim, "1", path)


def make_fat(path, size_bytes, start_sector, label, tree):
    """A FAT32 partition file at START_SECTOR of its disk holding TREE."""
    if os.path.exists(path):
        os.unlink(path)
    run("mkfs.fat", "-C", "-F", "32", "-h", str(start_sector), "-n", label, path,
        str(size_bytes // 1024))
    entries = [os.path.join(tree, e) for e in sorted(os.listdir(tree))]
    run("mcopy", "-s", "-m", "-i", path, *entries, "::", env=dict(os.environ, MTOOLS_SKIP_CHECK="1"))


def fat_files(part, work):
    """{path: sha256} of every file on a FAT partition file."""
    out = os.path.join(work, os.path.basename(part) + "-files")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    if subprocess.run(["mdir", "-b", "-i", part, "::"], stdout=subprocess.PIPE,
                      env=dict(os.environ, MTOOLS_SKIP_CHECK="1")).stdout.strip():
        run("mcopy", "-s", "-n", "-i", part, "::*", out, env=dict(os.environ, MTOOLS_SKIP_CHECK="1"))
    return tree_files(out)


def fat_exists(part, path):
    """Whether PATH (a file or a folder) is on a FAT partition file."""
    return subprocess.run(["mdir", "-i", part, "::" + path], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL,
                          env=dict(os.environ, MTOOLS_SKIP_CHECK="1")).returncode == 0


def read_file_fat(part, path):
    """A file's bytes from a FAT partition file; None when it is not there."""
    r = subprocess.run(["mtype", "-i", part, "::" + path], stdout=subprocess.PIPE,
                       stderr=subprocess.DEVNULL, env=dict(os.environ, MTOOLS_SKIP_CHECK="1"))
    return r.stdout if r.returncode == 0 else None


def tree_files(root):
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            full = os.path.join(folder, name)
            rel = "/" + os.path.relpath(full, root)
            files[rel] = hashlib.sha256(open(full, "rb").read()).hexdigest()
    return files


def put_file(part, source, dest):
    run("ntfscp", "-f", part, source, dest)


def checked_as_windows_would(part):
    """A cut can leave an NTFS volume whose $MFTMirr lags $MFT, which ntfs-3g
    refuses to read and Windows' own check at its next start mends: mended
    here the same way (the mirror copied from $MFT, the volume clean)."""
    subprocess.run(["ntfsfix", "-d", part], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return part


def read_file(part, path):
    r = subprocess.run(["ntfscat", part, path], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return r.stdout if r.returncode == 0 else None


# SIDs by their bytes: who may be granted the right to change a file.
ADMINISTRATION_SIDS = (bytes.fromhex("010100000000000512000000"),           # SYSTEM
                       bytes.fromhex("01020000000000052000000020020000"))  # Administrators
# FILE_WRITE_DATA, APPEND, WRITE_EA, DELETE_CHILD, WRITE_ATTRIBUTES, DELETE,
# WRITE_DAC, WRITE_OWNER, GENERIC_ALL, GENERIC_WRITE, MAXIMUM_ALLOWED.
CHANGING_RIGHTS = 0x2 | 0x4 | 0x10 | 0x40 | 0x100 | 0x10000 | 0x40000 | 0x80000 | \
    0x10000000 | 0x40000000 | 0x02000000


def security(part, path):
    """PATH's security descriptor on an NTFS partition file, as
    ntfssecaudit dumps it (its hex lines), or None."""
    r = subprocess.run(["ntfssecaudit", "-v", part, path], stdout=subprocess.PIPE,
                       stderr=subprocess.DEVNULL, text=True)
    words = [w for line in r.stdout.splitlines()
             if re.match(r"\s+[0-9a-f]{6}  ", line) for w in line.split()[1:]]
    return bytes.fromhex("".join(words)) if words else None


USERS_SID = bytes.fromhex("01020000000000052000000021020000")


def admin_only_descriptor():
    """Owner Administrators, group SYSTEM, a protected DACL: SYSTEM and
    Administrators full control, Users read and execute (what the takeover
    gives the task's files)."""
    system, admins = ADMINISTRATION_SIDS
    aces = b"".join(struct.pack("<BBHI", 0, 0, 8 + len(sid), mask) + sid
                    for sid, mask in ((system, 0x1F01FF), (admins, 0x1F01FF), (USERS_SID, 0x1200A9)))
    acl = struct.pack("<BBHHH", 2, 0, 8 + len(aces), 3, 0) + aces
    owner = 20
    return struct.pack("<BBHIIII", 1, 0, 0x8000 | 0x1000 | 0x4, owner, owner + len(admins), 0,
                       owner + len(admins) + len(system)) + admins + system + acl


def protect(part, paths):
    """PATHS of an NTFS partition file given admin_only_descriptor(), through
    ntfssecaudit's restore of saved ACLs."""
    descriptor = admin_only_descriptor()
    lines = []
    for path in paths:
        lines += ["File " + path, "Security key : none"]
        lines += ["        %06x  %s" % (at, " ".join(descriptor[w:w + 4].hex()
                                                 for w in range(at, min(at + 16, len(descriptor)), 4)))
                  for at in range(0, len(descriptor), 16)]
    saved = part + ".acl"
    with open(saved, "w") as f:
        f.write("\n".join(lines) + "\n")
    run("ntfssecaudit", "-s", part, saved)
    os.unlink(saved)
    for path in paths:
        assert not who_may_change(security(part, path)), path + " kept its descriptor"


def who_may_change(descriptor):
    """The owner and every SID the DACL lets change the file, but SYSTEM
    and Administrators; ["no DACL"] when there is none (anyone may)."""
    owner, dacl = struct.unpack_from("<I", descriptor, 4)[0], struct.unpack_from("<I", descriptor, 16)[0]
    sid = lambda at: descriptor[at:at + 8 + 4 * descriptor[at + 1]]
    found = [] if sid(owner) in ADMINISTRATION_SIDS else ["owner " + sid(owner).hex()]
    if not dacl:
        return found + ["no DACL"]
    count, at = struct.unpack_from("<H", descriptor, dacl + 4)[0], dacl + 8
    for _ in range(count):
        kind, size, mask = descriptor[at], *struct.unpack_from("<HI", descriptor, at + 2)
        who = sid(at + 8)
        if kind == 0 and who not in ADMINISTRATION_SIDS and mask & CHANGING_RIGHTS:
            found.append("%s 0x%x" % (who.hex(), mask))
        at += size
    return found


class Disk:
    """A raw disk image: MBR with SIGNATURE, the stand-in boot manager as its
    code, kvldr.mbr in sectors 1-16 where the stand-in loads it from, and the
    partitions [(start sector, partition file)] in order; a partition file
    ending in ".fat" gets the FAT32 type, the others NTFS."""

    def __init__(self, path, signature, partitions, stub=None, bootsector_file=None):
        self.signature = signature
        table = "label: dos\nlabel-id: 0x%08x\n" % signature
        for i, (start, part) in enumerate(partitions):
            table += "start=%d, size=%d, type=%s%s\n" % (
                start, os.path.getsize(part) // SECTOR, "c" if part.endswith(".fat") else "7",
                ", bootable" if i == 0 else "")
        self._lay_out(path, partitions, table)
        with open(path, "r+b") as f:
            if stub:
                code = open(stub, "rb").read()
                assert len(code) <= 440
                f.write(code)
            if bootsector_file:
                loader = open(bootsector_file, "rb").read()
                assert len(loader) <= 16 * SECTOR
                f.seek(SECTOR)
                f.write(loader)

    def _lay_out(self, path, partitions, table):
        """The image file with room behind the last partition (the backup
        GPT lives there), the partition table by sfdisk, the partitions."""
        self.path, self.partitions = path, partitions
        end = max(s + os.path.getsize(f) // SECTOR for s, f in partitions)
        with open(path, "wb") as f:
            f.truncate((end + 2048) * SECTOR)
        subprocess.run(["sfdisk", "-q", path], input=table.encode(), check=True,
                       stdout=subprocess.DEVNULL)
        with open(path, "r+b") as f:
            for start, part in partitions:
                f.seek(start * SECTOR)
                with open(part, "rb") as src:
                    shutil.copyfileobj(src, f, 1 << 20)

    def extract(self, index, out):
        start, part = self.partitions[index]
        size = os.path.getsize(part)
        with open(self.path, "rb") as src, open(out, "wb") as dst:
            src.seek(start * SECTOR)
            left = size
            while left:
                chunk = src.read(min(left, 1 << 20))
                dst.write(chunk)
                left -= len(chunk)
        return out

    def write_back(self, index, part):
        start, _ = self.partitions[index]
        with open(part, "rb") as src, open(self.path, "r+b") as dst:
            dst.seek(start * SECTOR)
            shutil.copyfileobj(src, dst, 1 << 20)

    def digest(self):
        h = hashlib.sha256()
        with open(self.path, "rb") as f:
            for chunk in iter(lambda: f.read(1 << 20), b""):
                h.update(chunk)
        return h.hexdigest()


ESP_TYPE = "C12A7328-F81F-11D2-BA4B-00A0C93EC93B"
MSR_TYPE = "E3C9E316-0B5C-4DB8-817D-F92DF00215AE"
BASIC_DATA_TYPE = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7"


class GptDisk(Disk):
    """A raw disk image with a GPT (disk GUID GUID) holding the partitions
    [(start sector, partition file, type GUID, partition GUID, name)] in
    order, numbered from 1 as Windows and the firmware count them; no boot
    code (UEFI firmware reads the EFI system partition)."""

    def __init__(self, path, guid, partitions):
        self.guid, self.entries = guid, partitions
        table = "label: gpt\nlabel-id: %s\n" % guid
        for start, part, type_guid, part_guid, name in partitions:
            table += 'start=%d, size=%d, type=%s, uuid=%s, name="%s"\n' % (
                start, os.path.getsize(part) // SECTOR, type_guid, part_guid, name)
        self._lay_out(path, [(start, part) for start, part, _, _, _ in partitions], table)


def empty_partition(path, size_bytes):
    """A partition file of zeros (the Microsoft reserved partition)."""
    with open(path, "wb") as f:
        f.truncate(size_bytes)
    return path


def boot_code(part):
    """Sectors 0-15 of an NTFS partition: the BPB and the boot code."""
    with open(part, "rb") as f:
        return f.read(16 * SECTOR)


# Fields of `wimlib-imagex dir --detailed` that describe the volume rather
# than where the data sits inside the WIM.
_KEEP = ("Attributes", "Security Descriptor", "Creation Time", "Last Write Time",
         "Link Count", "Hash", "Uncompressed size", "Short Name")


def listing(source, work, name="listing"):
    """{path: {field: value}} of a partition file or of image 1 of a WIM: every
    file and folder with attributes, security descriptor, times, link count,
    short name and stream hashes."""
    wim = source
    if not source.endswith(".wim"):
        wim = os.path.join(work, name + ".wim")
        if os.path.exists(wim):
            os.unlink(wim)
        capture(source, wim, compress="none")
    text = run("wimlib-imagex", "dir", wim, "1", "--detailed").stdout.decode("utf-8", "replace")
    entries, current, stream = {}, None, ""
    for line in text.splitlines():
        m = re.match(r'Full Path\s+= "(.*)"$', line)
        if m:
            current = entries.setdefault(m.group(1), {})
            stream = ""
            continue
        if current is None:
            continue
        s = line.strip()
        if s.endswith("data stream:"):
            stream = s + " "
            continue
        key, sep, value = s.partition(" = ")
        key = key.strip()
        if sep and key in _KEEP:
            current[stream + key] = value.strip()
    return entries


def without(entries, paths, times_of=()):
    """ENTRIES less the given paths (compared case-insensitively) and less the
    times of the folders in TIMES_OF, whose contents the test changed."""
    drop = {p.lower() for p in paths}
    out = {}
    for path, fields in entries.items():
        if path.lower() in drop:
            continue
        if path.lower() in {t.lower() for t in times_of}:
            fields = {k: v for k, v in fields.items() if "Time" not in k}
        out[path] = fields
    return out


def differences(expected, actual, limit=8):
    """A few readable lines on how two listings differ; empty when equal."""
    lines = []
    for path in sorted(set(expected) | set(actual)):
        if path not in actual:
            lines.append("missing: " + path)
        elif path not in expected:
            lines.append("unexpected: " + path)
        elif expected[path] != actual[path]:
            keys = [k for k in expected[path] if expected[path].get(k) != actual[path].get(k)]
            keys += [k for k in actual[path] if k not in expected[path]]
            lines.append("changed: %s (%s)" % (path, ", ".join(keys)))
        if len(lines) >= limit:
            lines.append("...")
            break
    return lines


def mbr_stub(loader_src, work):
    """Assembles the stand-in boot manager of the loader test."""
    obj, out = os.path.join(work, "stub.o"), os.path.join(work, "stub.bin")
    run("as", "--32", "-o", obj, os.path.join(loader_src, "bootmgr_stub.S"))
    run("ld", "-m", "elf_i386", "-Ttext", "0x600", "--oformat", "binary", "-o", out, obj)
    return out


# A master boot record as Windows writes one: it starts the active
# partition's boot code.
STANDARD_MBR = "/usr/lib/syslinux/mbr/mbr.bin"


def ntfs_vbr_stub(loader_src, work):
    """Assembles the stand-in for Windows' NTFS boot code (it loads \\BOOTMGR)."""
    obj, out = os.path.join(work, "vbr.o"), os.path.join(work, "vbr.bin")
    run("as", "--32", "-o", obj, os.path.join(loader_src, "ntfs_vbr_stub.S"))
    run("ld", "-m", "elf_i386", "-Ttext", "0x7c00", "--oformat", "binary", "-o", out, obj)
    return out


def put_boot_code(part, code_file):
    """CODE_FILE's boot code into an NTFS partition file's boot region, around
    the BPB the format wrote (sector 0 from 0x54, sectors 1-15)."""
    code = open(code_file, "rb").read()
    assert len(code) <= 16 * SECTOR
    with open(part, "r+b") as f:
        assert f.read(3) == b"\xeb\x52\x90", "the format's jump does not lead to 0x54"
        f.seek(0x54)
        f.write(code[0x54:SECTOR])
        f.seek(SECTOR)
        f.write(code[SECTOR:])


def ghost_header_file(path, size=4096):
    """A file that begins as a Ghost image does."""
    with open(path, "wb") as f:
        f.write(b"\xfe\xef\x01\x00" + rb(7, size - 4))


def flip_byte_in_resource(wim, marker):
    """Changes one byte inside the file data that starts with MARKER, stored
    uncompressed in the WIM, so only its hash can tell."""
    with open(wim, "r+b") as f:
        data = f.read()
        at = data.find(marker)
        assert at > 0, "marker not found in the WIM"
        f.seek(at + len(marker) + 100)
        b = f.read(1)
        f.seek(at + len(marker) + 100)
        f.write(bytes([b[0] ^ 0x5A]))


def le32(data, offset):
    return struct.unpack_from("<I", data, offset)[0]
