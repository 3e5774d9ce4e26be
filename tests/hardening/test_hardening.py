#!/usr/bin/env python3
"""Hardening of the binaries we ship, read from the files themselves.

For each binary: ASLR (DYNAMIC_BASE and real base relocations), DEP
(NX_COMPAT), no section both writable and executable, the stack protector,
and imports (plain and delay-load) only from system DLLs of Windows 2000 SP4
and of Windows XP SP3 and only functions those DLLs export there
(win2000_sp4_exports/, xp_sp3_exports/). A self-test feeds the same checks
synthetic images with each fault, so a reader that reads nothing cannot pass.

Usage: test_hardening.py --build DIR --xml REPORT [--ninja PROG] [--objdump PROG] TARGET=FILE...
(TARGET is the build target's name; FILE the binary it makes.)
"""
import argparse
import json
import os
import re
import shlex
import struct
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import pe_reader  # noqa: E402
import unittest_report  # noqa: E402

# The oldest systems the binaries must load on, each with its export lists.
SYSTEMS = {"Windows 2000 SP4": os.path.join(HERE, "win2000_sp4_exports"),
           "Windows XP SP3": os.path.join(HERE, "xp_sp3_exports")}
# Functions of those DLLs that came with XP: never on a Windows 2000 list.
NEW_IN_XP = ("AddVectoredExceptionHandler", "RemoveVectoredExceptionHandler", "GetModuleHandleExW",
             "_fstat64", "_wstat64", "CreateActCtxW", "ActivateActCtx", "GetNativeSystemInfo",
             "GetSystemTimes", "AttachConsole", "SetDllDirectoryW")
SOURCE_SUFFIXES = (".c", ".cc", ".cpp", ".cxx")
PROTECTING_FLAGS = ("-fstack-protector-strong", "-fstack-protector-all")
# Printed by the toolchain's __stack_chk_fail (libssp), linked only when
# protected code refers to it.
STACK_SMASH_MESSAGE = b"*** stack smashing detected ***"


def load_exports(folder):
    """{dll name in lower case: names it exports}; ordinals are written "@N"."""
    result = {}
    for entry in os.listdir(folder):
        if entry.endswith(".txt"):
            with open(os.path.join(folder, entry), encoding="ascii") as f:
                names = {line.strip() for line in f}
            result[entry[:-4].lower() + ".dll"] = {n for n in names if n and not n.startswith("#")}
    return result


def hardening_faults(image):
    """ASLR, DEP and W^X faults of an image, as messages."""
    faults = []
    if not image.dll_characteristics & pe_reader.DLL_DYNAMIC_BASE:
        faults.append("ASLR: DYNAMIC_BASE is not set")
    # The loader can move an image only by its base relocations: the flag
    # without them (mingw drops .reloc from exes unless told) means nothing.
    if image.relocation_count == 0:
        faults.append("ASLR: no base relocations")
    if image.file_characteristics & pe_reader.FILE_RELOCS_STRIPPED:
        faults.append("ASLR: the file header says the relocations are stripped")
    if not image.dll_characteristics & pe_reader.DLL_NX_COMPAT:
        faults.append("DEP: NX_COMPAT is not set")
    for s in image.sections:
        if s.writable and s.executable:
            faults.append(f"section {s.name} is both writable and executable")
    # HIGH_ENTROPY_VA is left alone: it means nothing to a 32-bit image.
    return faults


def import_faults(image, systems):
    """Imports (plain and delay-load) that one of `systems` ({name: exports})
    cannot satisfy."""
    faults = []
    for system, exports in systems.items():
        for imp in image.imports:
            dll = imp.dll.lower()
            key = imp.name if imp.name is not None else f"@{imp.ordinal}"
            if dll not in exports:
                faults.append(f"{imp}: {imp.dll} is not a {system} system DLL")
            elif key not in exports[dll]:
                faults.append(f"{imp}: not exported by {system}'s {dll}")
    return faults


def stack_protector_faults(sources, commands):
    """Sources not compiled with a protecting -fstack-protector flag.

    The binaries are stripped, and under -fstack-protector-strong a function
    with no arrays or address-taken locals rightly has no guard, so the code
    alone cannot prove the flag. The honest proof is the compile command of
    every source of the target (`commands`: file -> list of argument lists),
    where the last stack-protector flag must be a protecting one. The
    toolchain's own static libraries (libstdc++, winpthreads, the CRT) are
    prebuilt and outside this check."""
    faults = []
    for source in sources:
        entries = commands.get(os.path.realpath(source))
        if not entries:
            faults.append(f"{source}: no compile command")
            continue
        for args in entries:
            flags = [a for a in args if a.startswith(("-fstack-protector", "-fno-stack-protector"))]
            if not flags or flags[-1] not in PROTECTING_FLAGS:
                faults.append(f"{source}: compiled with {flags[-1] if flags else 'no stack protector'}")
    return faults


def load_compile_commands(path):
    commands = {}
    with open(path, encoding="utf-8") as f:
        for entry in json.load(f):
            args = entry.get("arguments") or shlex.split(entry["command"])
            source = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
            commands.setdefault(source, []).append(args)
    return commands


def target_sources(ninja, build, target):
    """The C and C++ sources that go into `target`, its dependencies included."""
    out = subprocess.run([ninja, "-C", build, "-t", "inputs", target], capture_output=True,
                         text=True, check=True).stdout
    lines = (line.strip().strip("'") for line in out.splitlines())
    return [line for line in lines if line.endswith(SOURCE_SUFFIXES)]


def objdump_imports(objdump, path):
    """(dll, name) of the plain imports by name, as binutils reads them."""
    out = subprocess.run([objdump, "-p", path], capture_output=True, text=True, check=True).stdout
    result, dll = set(), None
    for line in out.splitlines():
        if "DLL Name:" in line:
            dll = line.split("DLL Name:")[1].strip().lower()
        elif dll and re.match(r"^\t[0-9a-f]+\t\s*\d+\s+\S+$", line):
            result.add((dll, line.split()[-1]))
    return result


class ShippedBinaries(unittest.TestCase):
    binaries = {}  # target name -> file
    build = None
    ninja = "ninja"
    objdump = None

    @classmethod
    def setUpClass(cls):
        cls.systems = {name: load_exports(folder) for name, folder in SYSTEMS.items()}
        cls.images = {}
        for target, path in cls.binaries.items():
            with open(path, "rb") as f:
                data = f.read()
            cls.images[target] = (data, pe_reader.parse(data))

    def test_aslr_dep_and_no_writable_code(self):
        for target, (_, image) in self.images.items():
            with self.subTest(target):
                self.assertEqual(hardening_faults(image), [])

    def test_imports_are_all_in_windows_2000_sp4_and_xp_sp3(self):
        for target, (_, image) in self.images.items():
            with self.subTest(target):
                self.assertIn("kernel32.dll", image.imported_dlls())
                self.assertEqual(import_faults(image, self.systems), [])
                # Ours, in host/xp_compat_win32.cpp, not kernel32's (Vista+).
                self.assertNotIn("GetTickCount64", [i.name for i in image.imports])

    def test_reader_sees_the_imports_binutils_sees(self):
        if not self.objdump:
            self.skipTest("no objdump given")
        for target, (_, image) in self.images.items():
            with self.subTest(target):
                ours = {(i.dll.lower(), i.name) for i in image.imports
                        if not i.delayed and i.name is not None}
                self.assertTrue(ours)
                self.assertEqual(ours, objdump_imports(self.objdump, self.binaries[target]))

    def test_built_with_the_stack_protector(self):
        commands = load_compile_commands(os.path.join(self.build, "compile_commands.json"))
        for target, (data, _) in self.images.items():
            with self.subTest(target):
                sources = target_sources(self.ninja, self.build, target)
                self.assertTrue(sources, "no sources found for the target")
                self.assertEqual(stack_protector_faults(sources, commands), [])
                self.assertIn(STACK_SMASH_MESSAGE, data)

    def test_every_program_kavi_carries_is_checked(self):
        data, image = self.images["kavi"]
        # UEFI images (Debian's signed shim, GRUB and kernel for the UEFI
        # road) run under the firmware, not Windows: they are not checked here.
        carried = [(t, i, b) for t, i, b in pe_reader.resources(data, image)
                   if b[:2] == b"MZ" and not is_efi_image(b)]
        self.assertTrue(carried, "kavi.exe carries no programs: the resources were not read")
        checked = [d for d, _ in self.images.values()]
        for type_key, id_key, payload in carried:
            with self.subTest(f"{type_key} {id_key}"):
                self.assertIn(payload, checked, "a carried program is not in the checked list")


def is_efi_image(data):
    """True for a PE image whose subsystem is an EFI one (10 to 13)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        return False
    subsystem = struct.unpack_from("<H", data, pe + 24 + 68)[0]
    return 10 <= subsystem <= 13


def synthetic_pe(imports=None, delay_imports=None,
                 dll_characteristics=pe_reader.DLL_DYNAMIC_BASE | pe_reader.DLL_NX_COMPAT,
                 text_characteristics=0x60000020, relocations=True):
    """A minimal 32-bit image: .text, .idata with the given imports
    ({dll: [name or ordinal]}) and delay-load imports, and .reloc."""
    imports = {"KERNEL32.dll": ["GetTickCount"]} if imports is None else imports
    idata_rva = 0x2000
    blob = bytearray()

    def put(data):
        blob.extend(bytes(-len(blob) % 4))
        blob.extend(data)
        return idata_rva + len(blob) - len(data)

    def thunk_table(functions):
        values = [0x80000000 | f if isinstance(f, int) else put(b"\0\0" + f.encode() + b"\0")
                  for f in functions]
        return put(struct.pack(f"<{len(values) + 1}I", *values, 0))

    descriptors = b"".join(
        struct.pack("<5I", thunk_table(f), 0, 0, put(dll.encode() + b"\0"), thunk_table(f))
        for dll, f in imports.items())
    import_dir = (put(descriptors + bytes(20)), len(descriptors) + 20)
    delay_dir = (0, 0)
    if delay_imports:
        descriptors = b"".join(
            struct.pack("<8I", 1, put(dll.encode() + b"\0"), put(bytes(4)), thunk_table(f),
                        thunk_table(f), 0, 0, 0) for dll, f in delay_imports.items())
        delay_dir = (put(descriptors + bytes(32)), len(descriptors) + 32)
    idata = bytes(blob) + bytes(-len(blob) % 0x200)
    reloc_rva = idata_rva + (len(idata) + 0xFFF) // 0x1000 * 0x1000
    # One HIGHLOW fix-up at .text+0, and a padding entry.
    reloc = struct.pack("<IIHH", 0x1000, 12, 0x3000, 0) if relocations else b""
    sections = [(b".text", 0x1000, b"\xc3" + bytes(0x1FF), text_characteristics),
                (b".idata", idata_rva, idata, 0xC0000040),
                (b".reloc", reloc_rva, reloc + bytes(0x200 - len(reloc)), 0x42000040)]

    directories = [(0, 0)] * 16
    directories[pe_reader.DIR_IMPORT] = import_dir
    directories[pe_reader.DIR_DELAY_IMPORT] = delay_dir
    directories[pe_reader.DIR_BASERELOC] = (reloc_rva, len(reloc))
    optional = bytearray(224)
    struct.pack_into("<HBBIIIIII", optional, 0, pe_reader.MAGIC_PE32, 2, 40, 0x200, len(idata),
                     0, 0x1000, 0x1000, idata_rva)
    struct.pack_into("<IIIHHHHHHIIIIHH", optional, 28, 0x400000, 0x1000, 0x200, 5, 1, 0, 0, 5, 1,
                     0, reloc_rva + 0x1000, 0x200, 0, 3, dll_characteristics)
    struct.pack_into("<I", optional, 92, 16)
    for i, (rva, size) in enumerate(directories):
        struct.pack_into("<II", optional, 96 + 8 * i, rva, size)
    file_characteristics = 0x0102 | (0 if relocations else pe_reader.FILE_RELOCS_STRIPPED)
    header = bytearray(0x200)
    header[0:2] = b"MZ"
    struct.pack_into("<I", header, 0x3C, 0x40)
    struct.pack_into("<4sHHIIIHH", header, 0x40, b"PE\0\0", 0x14C, len(sections), 0, 0, 0, 224,
                     file_characteristics)
    header[0x58:0x58 + 224] = optional
    body = bytearray()
    for i, (name, rva, data, characteristics) in enumerate(sections):
        struct.pack_into("<8sIIIIIIHHI", header, 0x138 + 40 * i, name, len(data), rva, len(data),
                         0x200 + len(body), 0, 0, 0, 0, characteristics)
        body.extend(data)
    return bytes(header + body)


class CheckerSelfTest(unittest.TestCase):
    """The checks catch each fault in images made to have it."""

    def setUp(self):
        self.systems = {name: load_exports(folder) for name, folder in SYSTEMS.items()}

    def faults(self, **kwargs):
        image = pe_reader.parse(synthetic_pe(**kwargs))
        return hardening_faults(image) + import_faults(image, self.systems)

    def test_a_sound_image_passes_and_is_read_in_full(self):
        image = pe_reader.parse(synthetic_pe(
            imports={"KERNEL32.dll": ["GetTickCount", "Sleep"], "USER32.dll": ["MessageBoxW"]},
            delay_imports={"shlwapi.dll": ["PathIsDirectoryW"]}))
        self.assertEqual(hardening_faults(image) + import_faults(image, self.systems), [])
        self.assertEqual([str(i) for i in image.imports],
                         ["KERNEL32.dll!GetTickCount", "KERNEL32.dll!Sleep", "USER32.dll!MessageBoxW",
                          "shlwapi.dll!PathIsDirectoryW (delay-load)"])
        self.assertEqual(image.relocation_count, 1)

    def test_hardening_faults_are_each_reported(self):
        self.assertIn("section .text is both writable and executable",
                      self.faults(text_characteristics=0xE0000020))
        self.assertEqual(self.faults(dll_characteristics=pe_reader.DLL_DYNAMIC_BASE),
                         ["DEP: NX_COMPAT is not set"])
        self.assertEqual(self.faults(dll_characteristics=pe_reader.DLL_NX_COMPAT),
                         ["ASLR: DYNAMIC_BASE is not set"])
        self.assertEqual(self.faults(relocations=False),
                         ["ASLR: no base relocations",
                          "ASLR: the file header says the relocations are stripped"])

    def test_imports_windows_xp_lacks_are_each_reported(self):
        self.assertEqual(self.faults(imports={"KERNEL32.dll": ["GetTickCount64"]}), [
            "KERNEL32.dll!GetTickCount64: not exported by Windows 2000 SP4's kernel32.dll",
            "KERNEL32.dll!GetTickCount64: not exported by Windows XP SP3's kernel32.dll"])
        self.assertEqual(self.faults(imports={"libwinpthread-1.dll": ["pthread_create"]}), [
            "libwinpthread-1.dll!pthread_create: libwinpthread-1.dll is not a "
            f"{system} system DLL" for system in SYSTEMS])
        self.assertEqual(self.faults(imports={"COMCTL32.dll": [17]}), [
            f"COMCTL32.dll!#17: not exported by {system}'s comctl32.dll" for system in SYSTEMS])

    def test_imports_only_xp_has_are_reported_against_windows_2000(self):
        self.assertEqual(self.faults(imports={"KERNEL32.dll": ["AddVectoredExceptionHandler"]}), [
            "KERNEL32.dll!AddVectoredExceptionHandler: not exported by Windows 2000 SP4's "
            "kernel32.dll"])
        self.assertEqual(self.faults(delay_imports={"msvcrt.dll": ["_wstat64"]}), [
            "msvcrt.dll!_wstat64 (delay-load): not exported by Windows 2000 SP4's msvcrt.dll"])
        # GDI+ is loaded at run time: no system of ours has it as an import.
        self.assertEqual(len(self.faults(delay_imports={"gdiplus.dll": ["GdiplusStartup"]})), 2)

    def test_no_list_holds_a_function_newer_than_the_system(self):
        xp = set().union(*self.systems["Windows XP SP3"].values())
        for name in ("GetTickCount64", "InitOnceExecuteOnce", "CreateSymbolicLinkW",
                     "SetFileInformationByHandle", "InitializeSRWLock", "GetFileInformationByHandleEx",
                     "CancelIoEx", "SleepConditionVariableCS", "GetLogicalProcessorInformation"):
            self.assertNotIn(name, xp)
        win2000 = self.systems["Windows 2000 SP4"]
        self.assertFalse(set(NEW_IN_XP) & set().union(*win2000.values()))
        # XP SP3 still exports everything 2000 SP4 did: a name only on the 2000
        # list is a slip of the pen.
        for dll, names in win2000.items():
            with self.subTest(dll):
                self.assertLessEqual(names, self.systems["Windows XP SP3"].get(dll, set()))

    def test_a_source_without_the_stack_protector_is_reported(self):
        commands = {os.path.realpath("/s/a.cpp"): [["g++", "-fstack-protector-strong", "-c"]],
                    os.path.realpath("/s/b.cpp"): [["g++", "-fstack-protector-strong",
                                                    "-fno-stack-protector"]],
                    os.path.realpath("/s/c.cpp"): [["g++", "-O2"]]}
        self.assertEqual(stack_protector_faults(["/s/a.cpp", "/s/b.cpp", "/s/c.cpp", "/s/d.cpp"],
                                                commands),
                         ["/s/b.cpp: compiled with -fno-stack-protector",
                          "/s/c.cpp: compiled with no stack protector", "/s/d.cpp: no compile command"])

    def test_damaged_files_are_refused(self):
        image = synthetic_pe()
        for damaged in (image[:0x100], image[:0x500], b"MZ" + bytes(100), b"not a PE"):
            with self.assertRaises(pe_reader.PeError):
                pe_reader.parse(damaged)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--xml")
    parser.add_argument("--ninja", default="ninja")
    parser.add_argument("--objdump")
    parser.add_argument("binaries", nargs="+", metavar="TARGET=FILE")
    args = parser.parse_args()
    ShippedBinaries.build = args.build
    ShippedBinaries.ninja = args.ninja
    ShippedBinaries.objdump = args.objdump
    ShippedBinaries.binaries = dict(b.split("=", 1) for b in args.binaries)
    loader = unittest.defaultTestLoader
    suite = unittest.TestSuite([loader.loadTestsFromTestCase(CheckerSelfTest),
                                loader.loadTestsFromTestCase(ShippedBinaries)])
    return unittest_report.run(suite, args.xml, "hardening")


if __name__ == "__main__":
    sys.exit(main())
