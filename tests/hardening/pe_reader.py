"""A small reader of Windows PE files (32- and 64-bit), standard library only.

It reads what a hardening check needs: the file and DLL characteristics, the
sections with their access flags, the base relocation directory, and the
imported functions of the import and delay-load import directories. Every
offset is bounds-checked: a damaged file raises PeError, never reads past the
data or loops forever.
"""
import struct
from dataclasses import dataclass, field

# COFF file header characteristics.
FILE_RELOCS_STRIPPED = 0x0001
FILE_DLL = 0x2000

# Optional header DllCharacteristics.
DLL_HIGH_ENTROPY_VA = 0x0020
DLL_DYNAMIC_BASE = 0x0040
DLL_NX_COMPAT = 0x0100

# Section characteristics.
SCN_MEM_EXECUTE = 0x20000000
SCN_MEM_READ = 0x40000000
SCN_MEM_WRITE = 0x80000000

# Data directory indexes.
DIR_EXPORT = 0
DIR_IMPORT = 1
DIR_RESOURCE = 2
DIR_BASERELOC = 5
DIR_DELAY_IMPORT = 13

MAGIC_PE32 = 0x10B
MAGIC_PE32_PLUS = 0x20B

# Bounds on tables, so a corrupt file cannot make the reader spin.
MAX_DESCRIPTORS = 4096
MAX_THUNKS = 65536
MAX_NAME = 512


class PeError(ValueError):
    """The data is not a well-formed PE image."""


@dataclass
class Section:
    name: str
    virtual_address: int
    virtual_size: int
    raw_offset: int
    raw_size: int
    characteristics: int

    @property
    def writable(self):
        return bool(self.characteristics & SCN_MEM_WRITE)

    @property
    def executable(self):
        return bool(self.characteristics & SCN_MEM_EXECUTE)


@dataclass
class Import:
    """One imported function: by name, or by ordinal when name is None."""
    dll: str
    name: str = None
    ordinal: int = None
    delayed: bool = False

    def __str__(self):
        what = self.name if self.name is not None else f"#{self.ordinal}"
        return f"{self.dll}!{what}" + (" (delay-load)" if self.delayed else "")


@dataclass
class PeImage:
    machine: int
    file_characteristics: int
    magic: int
    image_base: int
    dll_characteristics: int
    sections: list
    directories: list  # (rva, size) pairs
    imports: list = field(default_factory=list)
    relocation_count: int = 0

    @property
    def is_64bit(self):
        return self.magic == MAGIC_PE32_PLUS

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def imported_dlls(self):
        return sorted({i.dll.lower() for i in self.imports})


class _Reader:
    def __init__(self, data):
        self.data = data

    def unpack(self, fmt, offset):
        size = struct.calcsize(fmt)
        if offset < 0 or offset + size > len(self.data):
            raise PeError(f"read of {size} bytes at {offset:#x} is past the end of the file")
        return struct.unpack_from(fmt, self.data, offset)

    def cstring(self, offset):
        if offset < 0 or offset >= len(self.data):
            raise PeError(f"string at {offset:#x} is outside the file")
        end = self.data.find(b"\0", offset, offset + MAX_NAME)
        if end < 0:
            raise PeError(f"string at {offset:#x} has no terminator")
        return self.data[offset:end].decode("ascii", errors="replace")


def _rva_to_offset(sections, headers_size, rva):
    for s in sections:
        extent = max(s.virtual_size, s.raw_size)
        if s.virtual_address <= rva < s.virtual_address + extent:
            delta = rva - s.virtual_address
            if delta >= s.raw_size:
                raise PeError(f"RVA {rva:#x} lies in the uninitialised part of {s.name}")
            return s.raw_offset + delta
    if rva < headers_size:
        return rva
    raise PeError(f"RVA {rva:#x} is in no section")


def parse(data):
    """Parses a PE image from bytes; returns a PeImage."""
    r = _Reader(data)
    if r.unpack("<2s", 0)[0] != b"MZ":
        raise PeError("no MZ header")
    pe_offset = r.unpack("<I", 0x3C)[0]
    if r.unpack("<4s", pe_offset)[0] != b"PE\0\0":
        raise PeError("no PE signature")
    machine, section_count, _, _, _, optional_size, file_chars = r.unpack("<HHIIIHH", pe_offset + 4)
    opt = pe_offset + 24
    magic = r.unpack("<H", opt)[0]
    if magic == MAGIC_PE32:
        image_base = r.unpack("<I", opt + 28)[0]
        headers_size = r.unpack("<I", opt + 60)[0]
        dll_chars = r.unpack("<H", opt + 70)[0]
        dir_count = r.unpack("<I", opt + 92)[0]
        dir_offset = opt + 96
    elif magic == MAGIC_PE32_PLUS:
        image_base = r.unpack("<Q", opt + 24)[0]
        headers_size = r.unpack("<I", opt + 60)[0]
        dll_chars = r.unpack("<H", opt + 70)[0]
        dir_count = r.unpack("<I", opt + 108)[0]
        dir_offset = opt + 112
    else:
        raise PeError(f"unknown optional header magic {magic:#x}")
    dir_count = min(dir_count, 16, max(0, (opt + optional_size - dir_offset) // 8))
    directories = [r.unpack("<II", dir_offset + 8 * i) for i in range(dir_count)]

    sections = []
    table = opt + optional_size
    for i in range(section_count):
        raw = r.unpack("<8sIIIIIIHHI", table + 40 * i)
        name = raw[0].rstrip(b"\0").decode("ascii", errors="replace")
        sections.append(Section(name, raw[2], raw[1], raw[4], raw[3], raw[9]))

    image = PeImage(machine, file_chars, magic, image_base, dll_chars, sections, directories)
    to_offset = lambda rva: _rva_to_offset(sections, headers_size, rva)  # noqa: E731
    image.imports = _imports(r, image, to_offset) + _delay_imports(r, image, to_offset)
    image.relocation_count = _relocation_count(r, image, to_offset)
    return image


def resources(data, image=None):
    """The resources of an image as (type, id, bytes); type and id are ints or names."""
    image = image or parse(data)
    r = _Reader(data)
    rva, size = image.directory(DIR_RESOURCE)
    if rva == 0 or size == 0:
        return []
    root = _rva_to_offset(image.sections, 0, rva)

    def entries(offset):
        named, numbered = r.unpack("<12xHH", offset)
        for i in range(min(named + numbered, MAX_DESCRIPTORS)):
            key, target = r.unpack("<II", offset + 16 + 8 * i)
            if key & 0x80000000:  # a counted UTF-16 name
                at = root + (key & 0x7FFFFFFF)
                length = r.unpack("<H", at)[0]
                key = data[at + 2:at + 2 + 2 * length].decode("utf-16-le", errors="replace")
            yield key, target

    result = []
    # Three levels: type, id, language; the leaves point at the data.
    for type_key, type_target in entries(root):
        for id_key, id_target in entries(root + (type_target & 0x7FFFFFFF)):
            for _, leaf in entries(root + (id_target & 0x7FFFFFFF)):
                if leaf & 0x80000000:
                    raise PeError("resource tree deeper than three levels")
                data_rva, data_size = r.unpack("<II", root + leaf)
                start = _rva_to_offset(image.sections, 0, data_rva)
                if start + data_size > len(data):
                    raise PeError(f"resource {type_key}/{id_key} runs past the end of the file")
                result.append((type_key, id_key, data[start:start + data_size]))
    return result


def read(path):
    with open(path, "rb") as f:
        return parse(f.read())


def _thunks(r, image, to_offset, table_rva, dll, delayed):
    """The functions named by an import lookup table."""
    if image.is_64bit:
        fmt, size, ordinal_flag = "<Q", 8, 1 << 63
    else:
        fmt, size, ordinal_flag = "<I", 4, 1 << 31
    result = []
    offset = to_offset(table_rva)
    for i in range(MAX_THUNKS):
        value = r.unpack(fmt, offset + i * size)[0]
        if value == 0:
            return result
        if value & ordinal_flag:
            result.append(Import(dll, ordinal=value & 0xFFFF, delayed=delayed))
        else:
            # IMAGE_IMPORT_BY_NAME: a 16-bit hint, then the name.
            result.append(Import(dll, name=r.cstring(to_offset(value & 0x7FFFFFFF) + 2),
                                 delayed=delayed))
    raise PeError(f"import table of {dll} does not end")


def _imports(r, image, to_offset):
    rva, size = image.directory(DIR_IMPORT)
    if rva == 0 or size == 0:
        return []
    result = []
    base = to_offset(rva)
    for i in range(MAX_DESCRIPTORS):
        lookup, _, _, name_rva, iat = r.unpack("<IIIII", base + 20 * i)
        if lookup == 0 and name_rva == 0 and iat == 0:
            return result
        dll = r.cstring(to_offset(name_rva))
        # Some linkers leave the lookup table out; the address table then holds the names.
        result += _thunks(r, image, to_offset, lookup or iat, dll, delayed=False)
    raise PeError("import directory does not end")


def _delay_imports(r, image, to_offset):
    rva, size = image.directory(DIR_DELAY_IMPORT)
    if rva == 0 or size == 0:
        return []
    result = []
    base = to_offset(rva)
    for i in range(MAX_DESCRIPTORS):
        attributes, name, _, _, names_table, _, _, _ = r.unpack("<8I", base + 32 * i)
        if name == 0 and names_table == 0:
            return result
        # Attribute bit 0 clear: the old layout, whose fields are addresses, not RVAs.
        fix = (lambda v: v) if attributes & 1 else (lambda v: v - image.image_base)
        dll = r.cstring(to_offset(fix(name)))
        result += _thunks(r, image, to_offset, fix(names_table), dll, delayed=True)
    raise PeError("delay-load import directory does not end")


def _relocation_count(r, image, to_offset):
    """Counts the base relocations that patch something (type ABSOLUTE is padding)."""
    rva, size = image.directory(DIR_BASERELOC)
    if rva == 0 or size == 0:
        return 0
    offset, end = to_offset(rva), to_offset(rva) + size
    count = 0
    while offset + 8 <= end:
        _, block_size = r.unpack("<II", offset)
        if block_size < 8 or offset + block_size > end:
            raise PeError(f"base relocation block at {offset:#x} has a bad size {block_size}")
        for j in range((block_size - 8) // 2):
            entry = r.unpack("<H", offset + 8 + 2 * j)[0]
            if entry >> 12 != 0:
                count += 1
        offset += block_size
    return count
