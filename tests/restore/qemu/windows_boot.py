"""What a reinstall leaves for starting Windows, made and read for the
next-boot scenarios: Windows-shaped images carrying their own boot files
and a real BCD-Template hive, machine stores, and the result read as the
firmware and the boot manager read it (hivexml from libhivex-bin reads the
hives; the device elements are decoded here)."""
import base64
import os
import struct
import subprocess
import uuid
import xml.etree.ElementTree as ET

import disks
from disks import rb

BOOTMGR_ID = "{9dea862c-5cdd-4e70-acc1-f32b344d4795}"
SETTINGS_ID = "{6efb52bf-1766-41db-a6b3-0ee5eff72bd7}"
LOADER_TYPE = 0x10200003
REG_SZ, REG_BINARY, REG_DWORD = 1, 3, 4


def blank_hive():
    """A hive holding only its root key and the security cell hivex copies
    to the keys it adds."""
    hbin = bytearray(4096)
    hbin[0:4] = b"hbin"
    struct.pack_into("<II", hbin, 4, 0, 4096)
    sd = struct.pack("<BBHIIII", 1, 0, 0x8004, 0, 0, 0, 0)
    sk = b"sk" + struct.pack("<HIIII", 0, 0x20, 0x20, 1, len(sd)) + sd
    sk_cell = struct.pack("<i", -((len(sk) + 4 + 7) // 8 * 8)) + sk
    sk_cell += b"\0" * ((-len(sk_cell)) % 8)
    nk_off = 0x20 + len(sk_cell)
    nk = b"nk" + struct.pack("<HQ" + "I" * 15 + "HH", 0x2C, 0, 0, 0, 0, 0, 0xFFFFFFFF, 0xFFFFFFFF,
                             0, 0xFFFFFFFF, 0x20, 0xFFFFFFFF, 0, 0, 0, 0, 0, 4, 0) + b"ROOT"
    nk_cell = struct.pack("<i", -((len(nk) + 4 + 7) // 8 * 8)) + nk
    nk_cell += b"\0" * ((-len(nk_cell)) % 8)
    hbin[0x20:0x20 + len(sk_cell)] = sk_cell
    hbin[nk_off:nk_off + len(nk_cell)] = nk_cell
    free = nk_off + len(nk_cell)
    struct.pack_into("<i", hbin, free, 4096 - free)
    base = bytearray(4096)
    base[0:4] = b"regf"
    struct.pack_into("<IIQIIIIIII", base, 4, 1, 1, 0, 1, 3, 0, 1, nk_off, 4096, 1)
    csum = 0
    for i in range(0, 0x1FC, 4):
        csum ^= struct.unpack_from("<I", base, i)[0]
    struct.pack_into("<I", base, 0x1FC, csum)
    return bytes(base + hbin)


def sz(text):
    return text.encode("utf-16-le") + b"\0\0"


def device(signature=None, offset=None, disk=None, partition=None):
    """A partition device element: MBR signature and byte offset, or GPT
    disk and partition GUIDs."""
    head = bytes(16) + struct.pack("<IIII", 6, 0, 0x48, 0)
    if disk:
        return (head + uuid.UUID(partition).bytes_le + struct.pack("<II", 0, 0) +
                uuid.UUID(disk).bytes_le + bytes(16))
    return head + struct.pack("<Q", offset) + bytes(8) + struct.pack("<III", 0, 1, signature) + bytes(28)


def decode_device(data):
    """("mbr", signature, offset) or ("gpt", disk, partition); None for others."""
    if len(data) < 88 or struct.unpack_from("<I", data, 16)[0] != 6:
        return None
    style = struct.unpack_from("<I", data, 52)[0]
    if style == 1:
        return ("mbr", struct.unpack_from("<I", data, 56)[0], struct.unpack_from("<Q", data, 32)[0])
    if style == 0:
        return ("gpt", str(uuid.UUID(bytes_le=data[56:72])).upper(),
                str(uuid.UUID(bytes_le=data[32:48])).upper())
    return None


def make_store(path, objects):
    """A hive at PATH with \\Objects\\{id}\\Description\\Type and
    \\Objects\\{id}\\Elements\\NNNNNNNN\\Element per {id: (type, {element:
    (reg type, bytes)})}, written by hivexsh."""
    open(path, "wb").write(blank_hive())
    script = ["add Objects"]
    for oid, (otype, elements) in objects.items():
        script += ["cd \\Objects", "add " + oid, "cd " + oid, "add Description", "cd Description",
                   "setval 1", "Type", "dword:0x%08x" % otype, "cd ..", "add Elements"]
        for element, (rtype, data) in elements.items():
            script += ["cd \\Objects\\%s\\Elements" % oid, "add " + element, "cd " + element,
                       "setval 1", "Element", "hex:%d:%s" % (rtype, ",".join("%02x" % b for b in data))]
    script.append("commit")
    open(path + ".script", "w").write("\n".join(script) + "\n")
    disks.run("hivexsh", "-w", "-f", path + ".script", path)
    return open(path, "rb").read()


def template(work):
    """BCD-Template as Windows images carry it: the boot manager, the
    loader settings and the memory tester, no Windows loader."""
    return make_store(os.path.join(work, "BCD-Template"), {
        BOOTMGR_ID: (0x10100002, {"12000004": (REG_SZ, sz("Windows Boot Manager")),
                                  "12000005": (REG_SZ, sz("zh-CN"))}),
        SETTINGS_ID: (0x20200003, {"12000005": (REG_SZ, sz("zh-CN"))}),
        "{b2721d73-1db4-4c62-bf78-c548a880142d}": (0x10200005, {
            "12000004": (REG_SZ, sz("Windows Memory Diagnostic"))}),
    })


def machine_store(work, name, windows_device, boot_device, other_device):
    """A Windows 7 machine's store: its own loader on WINDOWS_DEVICE (with a
    Vista-era root to be corrected) and, as default, a loader on another
    disk that must stay as it is."""
    own, other = "{0cb3b571-2f2e-4343-a879-d86a476d7215}", "{41a6e4cc-1a3b-4a5e-b0a1-6e1d6b1c7d11}"
    return make_store(os.path.join(work, name), {
        BOOTMGR_ID: (0x10100002, {"11000001": (REG_BINARY, boot_device),
                                  "23000003": (REG_SZ, sz(other))}),
        own: (LOADER_TYPE, {"11000001": (REG_BINARY, windows_device),
                            "12000002": (REG_SZ, sz("\\Windows\\system32\\winload.exe")),
                            "21000001": (REG_BINARY, windows_device),
                            "22000002": (REG_SZ, sz("\\WINNT"))}),
        other: (LOADER_TYPE, {"11000001": (REG_BINARY, other_device),
                              "21000001": (REG_BINARY, other_device)}),
    })


def windows_image(work, seed):
    """The files of a Windows-shaped image with its boot files under
    \\Windows\\Boot and its store template; SEED tells flavours apart."""
    return {
        "Windows/Boot/PCAT/bootmgr": b"BOOTMGR" + rb(seed, 390000),
        "Windows/Boot/PCAT/bootnxt": rb(seed + 1, 4000),
        "Windows/Boot/PCAT/memtest.exe": rb(seed + 2, 90000),
        "Windows/Boot/PCAT/zh-CN/bootmgr.exe.mui": rb(seed + 3, 60000),
        "Windows/Boot/EFI/bootmgfw.efi": b"MZ" + rb(seed + 4, 160000),
        "Windows/Boot/EFI/bootmgr.efi": b"MZ" + rb(seed + 5, 150000),
        "Windows/Boot/EFI/zh-CN/bootmgfw.efi.mui": rb(seed + 6, 20000),
        "Windows/Boot/Fonts/chs_boot.ttf": rb(seed + 7, 300000),
        "Windows/System32/config/BCD-Template": template(work),
        "Windows/System32/config/SYSTEM": rb(seed + 8, 200000),
        "Windows/System32/winload.exe": b"MZ" + rb(seed + 9, 120000),
        "Windows/System32/winload.efi": b"MZ" + rb(seed + 10, 130000),
        "Windows/System32/ntoskrnl.exe": b"MZ" + rb(seed + 11, 300000),
        "Users/Default/桌面/说明.txt": "新系统".encode("utf-8"),
    }


def set_windows(wim, arch, major, name, minor_build=None):
    """The image's XML as Windows' own images have it: architecture (0 x86,
    9 x64), major version (MINOR_BUILD: minor version and build too) and
    edition name."""
    more = []
    if minor_build:
        more = ["--image-property", "WINDOWS/VERSION/MINOR=%d" % minor_build[0],
                "--image-property", "WINDOWS/VERSION/BUILD=%d" % minor_build[1]]
    disks.run("wimlib-imagex", "info", wim, "1", "--image-property", "WINDOWS/ARCH=%d" % arch,
              "--image-property", "WINDOWS/VERSION/MAJOR=%d" % major, *more,
              "--image-property", "NAME=" + name)


def read_store(data, work):
    """{id: {"type": int, element: bytes}} of a hive's \\Objects, by hivexml."""
    path = os.path.join(work, "store-read.hiv")
    open(path, "wb").write(data)
    root = ET.fromstring(subprocess.run(["hivexml", path], stdout=subprocess.PIPE,
                                        check=True).stdout)
    objects = {}
    for obj in root.findall("./node/node[@name='Objects']/node"):
        entry = objects.setdefault(obj.get("name").lower(), {})
        for value in obj.findall("./node[@name='Description']/value[@key='Type']"):
            entry["type"] = int(value.get("value"), 0)
        for element in obj.findall("./node[@name='Elements']/node"):
            for value in element.findall("./value[@key='Element']"):
                raw = value.get("value")
                entry[element.get("name").upper()] = (base64.b64decode(raw) if value.get("encoding")
                                                      == "base64" else raw)
    return objects


def default_loader(store):
    """The boot manager's default entry, checked to be a Windows loader."""
    default = store.get(BOOTMGR_ID, {}).get("23000003")
    assert default, "the store's boot manager has no default entry"
    loader = store.get(default.lower())
    assert loader and loader.get("type") == LOADER_TYPE, "the default entry is no Windows loader"
    return loader


def check_starts(store, partition, loader_path, windows_listing):
    """The default loader names PARTITION (a decode_device tuple) as its
    device and OS device, loads LOADER_PATH, which exists on the written
    partition, with \\Windows as its root."""
    loader = default_loader(store)
    for element in ("11000001", "21000001"):
        got = decode_device(loader.get(element, b""))
        assert got == partition, "element %s names %s, not %s" % (element, got, partition)
    assert loader.get("12000002") == loader_path, "the loader path is %r" % loader.get("12000002")
    assert loader.get("22000002") == "\\Windows", "the system root is %r" % loader.get("22000002")
    names = {p.lower() for p in windows_listing}
    assert loader_path.replace("\\", "/").lower() in names, loader_path + " is not on C:"
