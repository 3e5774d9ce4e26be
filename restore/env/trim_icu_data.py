#!/usr/bin/env python3
"""trim_icu_data.py LIBRARY WORK_DIR: replaces ICU's data library in place by
one that holds only ICU's character set converters.

wimlib reads its XML through libxml2, which links ICU, whose data library
carries every locale, collation, time zone and break table: about 31 MB that
nothing in the restore environment reads. ICU's own packaging tool (icupkg)
removes every item but the converters and their alias table, so libxml2
still decodes any encoding a document may name; the result goes back into a
shared library with the same SONAME and the same data symbol, which is all
libicuuc asks of it."""
import os
import re
import subprocess
import sys


def readelf(*args):
    return subprocess.run(["readelf", "-W", *args], check=True, stdout=subprocess.PIPE,
                          text=True).stdout


def main():
    library, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    soname = re.search(r"\(SONAME\).*\[(.*)\]", readelf("-d", library)).group(1)
    symbol = None
    for line in readelf("-s", library).splitlines():
        fields = line.split()
        if len(fields) >= 8 and re.fullmatch(r"icudt\d+_dat", fields[7]) and fields[6] != "UND":
            symbol, address, size, section = fields[7], int(fields[1], 16), int(fields[2], 0), int(fields[6])
            break
    if symbol is None:
        sys.exit("trim_icu_data: %s defines no icudtNN_dat" % library)
    for line in readelf("-S", library).splitlines():
        m = re.match(r"\s*\[\s*(\d+)\]\s+(\S+)\s+\S+\s+([0-9a-f]+)\s+([0-9a-f]+)", line)
        if m and int(m.group(1)) == section:
            offset = address - int(m.group(3), 16) + int(m.group(4), 16)
            break
    else:
        sys.exit("trim_icu_data: no section %d in %s" % (section, library))

    full = os.path.join(work, symbol[:-4] + "l.dat")
    with open(library, "rb") as src, open(full, "wb") as dst:
        src.seek(offset)
        dst.write(src.read(size))
    items = subprocess.run(["icupkg", "-l", full], check=True, stdout=subprocess.PIPE,
                           text=True).stdout.split()
    keep = [i for i in items if i.endswith(".cnv") or i == "cnvalias.icu"]
    if not any(i.endswith(".cnv") for i in keep) or "cnvalias.icu" not in keep:
        sys.exit("trim_icu_data: %s holds no converters" % library)
    remove = os.path.join(work, "remove.txt")
    with open(remove, "w") as f:
        f.write("\n".join(i for i in items if i not in keep) + "\n")
    trimmed = os.path.join(work, "trimmed.dat")
    if os.path.exists(trimmed):
        os.unlink(trimmed)
    subprocess.run(["icupkg", "-r", remove, full, trimmed], check=True, stdout=subprocess.DEVNULL)

    source = os.path.join(work, "icudata.S")
    with open(source, "w") as f:
        f.write('\t.section .rodata\n\t.globl %s\n\t.type %s, @object\n\t.balign 16\n%s:\n'
                '\t.incbin "%s"\n\t.size %s, . - %s\n\t.section .note.GNU-stack,"",@progbits\n'
                % (symbol, symbol, symbol, trimmed, symbol, symbol))
    obj = os.path.join(work, "icudata.o")
    subprocess.run(["as", "--32", "-o", obj, source], check=True)
    subprocess.run(["ld", "-m", "elf_i386", "-shared", "-soname", soname, "-o", library + ".new", obj],
                   check=True)
    os.replace(library + ".new", library)
    print("trim_icu_data: %s: %d of %d items kept, %d -> %d bytes of data"
          % (soname, len(keep), len(items), size, os.path.getsize(trimmed)))


if __name__ == "__main__":
    main()
