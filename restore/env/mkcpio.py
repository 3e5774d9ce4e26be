#!/usr/bin/env python3
"""mkcpio.py ROOT OUT [NODE...]: writes the tree ROOT as a cpio archive in the
"newc" form the kernel unpacks as its initramfs, without needing root: every
entry is owned by 0:0 with time 0 (so the same tree gives the same bytes), and
device nodes are described on the command line instead of being made on disk.
NODE is PATH:c|b:MAJOR:MINOR:MODE, e.g. dev/console:c:5:1:600.
Hard links are written as separate files."""
import os
import stat
import sys


def header(out, ino, mode, nlink, size, rdev_major, rdev_minor, name):
    encoded = name.encode() + b"\0"
    fields = (ino, mode, 0, 0, nlink, 0, size, 0, 0, rdev_major, rdev_minor, len(encoded), 0)
    out.write(b"070701" + b"".join(b"%08X" % f for f in fields) + encoded)
    pad(out, 110 + len(encoded))


def pad(out, length):
    out.write(b"\0" * (-length % 4))


def entries(root):
    for top, dirs, files in os.walk(root):
        dirs.sort()
        rel = os.path.relpath(top, root)
        if rel != ".":
            yield rel
        for name in sorted(files):
            yield os.path.normpath(os.path.join(rel, name))
        # Symbolic links to directories are listed in dirs; os.walk does not follow them.
        for name in dirs:
            if os.path.islink(os.path.join(top, name)):
                yield os.path.normpath(os.path.join(rel, name))


def main():
    root, out_path, nodes = sys.argv[1], sys.argv[2], sys.argv[3:]
    written = set()
    ino = 1
    with open(out_path, "wb") as out:
        for rel in entries(root):
            path = os.path.join(root, rel)
            st = os.lstat(path)
            perm = stat.S_IMODE(st.st_mode)
            if stat.S_ISLNK(st.st_mode):
                data = os.readlink(path).encode()
                header(out, ino, stat.S_IFLNK | 0o777, 1, len(data), 0, 0, rel)
            elif stat.S_ISDIR(st.st_mode):
                header(out, ino, stat.S_IFDIR | perm, 2, 0, 0, 0, rel)
                data = b""
            elif stat.S_ISREG(st.st_mode):
                with open(path, "rb") as f:
                    data = f.read()
                header(out, ino, stat.S_IFREG | perm, 1, len(data), 0, 0, rel)
            else:
                sys.exit(f"mkcpio: {path} is neither file, directory nor link")
            out.write(data)
            pad(out, len(data))
            written.add(rel)
            ino += 1
        for node in nodes:
            rel, kind, major, minor, mode = node.split(":")
            if rel in written:
                sys.exit(f"mkcpio: {rel} is both in the tree and a node")
            kind_bits = {"c": stat.S_IFCHR, "b": stat.S_IFBLK}[kind]
            header(out, ino, kind_bits | int(mode, 8), 1, 0, int(major), int(minor), rel)
            ino += 1
        header(out, 0, 0, 1, 0, 0, 0, "TRAILER!!!")
        # Pad the archive to a whole block, as cpio does.
        out.write(b"\0" * (-out.tell() % 512))


main()
