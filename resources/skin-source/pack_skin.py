#!/usr/bin/env python3
"""Packs the members of a skin folder into the zip archive the program
carries as resource "ZIPRES" 141.

Member names are stored in code page 936 without the UTF-8 flag, as a
Chinese Windows tool writes them, so the toolkit finds them by converting the
names it is given to the ANSI code page. Members are deflated; dates are
fixed so that the same files always give the same archive.

    pack_skin.py OUTPUT.zip FOLDER... [--exclude NAME ...]

A name found in two folders is an error.
"""
import os
import struct
import sys
import zlib

FIXED_TIME = 0  # 00:00:00
FIXED_DATE = (2016 - 1980) << 9 | 1 << 5 | 1  # 2016-01-01


def pack(output, folders, exclude):
    paths = {}
    for folder in folders:
        for n in os.listdir(folder):
            if not os.path.isfile(os.path.join(folder, n)) or n in exclude:
                continue
            if n in paths:
                sys.exit(f"pack_skin.py: {n} is in {paths[n]} and {folder}")
            paths[n] = folder
    names = sorted(paths)
    body = bytearray()
    directory = bytearray()
    for name in names:
        with open(os.path.join(paths[name], name), "rb") as f:
            data = f.read()
        raw = name.encode("gbk")
        crc = zlib.crc32(data) & 0xFFFFFFFF
        packer = zlib.compressobj(9, zlib.DEFLATED, -15)
        packed = packer.compress(data) + packer.flush()
        method = 8
        if len(packed) >= len(data):
            packed, method = data, 0
        offset = len(body)
        body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, method, FIXED_TIME, FIXED_DATE,
                            crc, len(packed), len(data), len(raw), 0) + raw + packed
        directory += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, method,
                                 FIXED_TIME, FIXED_DATE, crc, len(packed), len(data),
                                 len(raw), 0, 0, 0, 0, 0, offset) + raw
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(names), len(names), len(directory),
                      len(body), 0)
    tmp = output + ".tmp"
    with open(tmp, "wb") as f:
        f.write(body + directory + end)
    os.replace(tmp, output)


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    exclude, folders = set(), []
    rest = argv[2:]
    while rest:
        if rest[0] == "--exclude" and len(rest) > 1:
            exclude.add(rest[1])
            rest = rest[2:]
        else:
            folders.append(rest[0])
            rest = rest[1:]
    pack(argv[1], folders, exclude)


if __name__ == "__main__":
    main(sys.argv)
