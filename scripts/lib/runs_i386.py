#!/usr/bin/env python3
"""Tells whether this machine's kernel starts 32-bit x86 programs.

Writes the smallest static i386 ELF program (exit(0) through int 0x80) into
a temporary folder and runs it. Exit status 0 when it ran, 1 when the kernel
refused it (ENOEXEC on a kernel built or booted without IA-32 emulation).
Needs no compiler, so it answers before anything is installed.
"""
import os
import struct
import subprocess
import sys
import tempfile

BASE = 0x08048000
EHDR_SIZE, PHDR_SIZE = 52, 32
# mov eax, 1 (exit); xor ebx, ebx; int 0x80
CODE = bytes.fromhex("b801000000" "31db" "cd80")


def program():
    entry = BASE + EHDR_SIZE + PHDR_SIZE
    size = EHDR_SIZE + PHDR_SIZE + len(CODE)
    ident = b"\x7fELF" + bytes([1, 1, 1]) + bytes(9)  # 32-bit, little-endian, version 1
    ehdr = ident + struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, entry, EHDR_SIZE, 0, 0,
                               EHDR_SIZE, PHDR_SIZE, 1, 0, 0, 0)
    phdr = struct.pack("<IIIIIIII", 1, 0, BASE, BASE, size, size, 5, 0x1000)
    return ehdr + phdr + CODE


def main():
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "probe")
        with open(path, "wb") as f:
            f.write(program())
        os.chmod(path, 0o755)
        try:
            return 0 if subprocess.run([path], check=False).returncode == 0 else 1
        except OSError:
            return 1


if __name__ == "__main__":
    sys.exit(main())
