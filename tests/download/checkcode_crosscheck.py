#!/usr/bin/env python3
"""Each check-code generator against the other's verifier: the development
service host's codes must pass the program's verifier (kavi-checkcode
--verify), and kavi-checkcode's codes must pass an independent verifier
written here from the block's description. Writes a GoogleTest-style XML
report for scripts/test.

Usage: checkcode_crosscheck.py KAVI_CHECKCODE DEVHOST_PY --xml REPORT
"""
import base64
import hashlib
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import unittest_report  # noqa: E402

TOOL, DEVHOST = sys.argv[1], sys.argv[2]
REPORT = sys.argv[sys.argv.index("--xml") + 1]


def independent_verify(path, code):
    digest = hashlib.md5(open(path, "rb").read()).hexdigest()
    block = base64.b64decode(code, validate=True)
    if len(block) < 272:
        return False
    if any(block[block[i]] != ord(digest[i]) for i in range(32)):
        return False
    return hashlib.md5(block[:256]).digest() == block[256:272]


class CrossCheck(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.image = os.path.join(self.dir.name, "镜像.gho")
        with open(self.image, "wb") as f:
            f.write(os.urandom(300000))

    def tearDown(self):
        self.dir.cleanup()

    def test_devhost_codes_pass_the_program(self):
        for _ in range(5):
            out = subprocess.run([sys.executable, DEVHOST, "checkcode", self.image],
                                 capture_output=True, text=True, check=True).stdout.split()
            code = out[-1]
            self.assertEqual(0, subprocess.run([TOOL, "--verify", self.image, code],
                                               capture_output=True).returncode)

    def test_program_codes_pass_an_independent_verifier(self):
        for _ in range(5):
            md5, code = subprocess.run([TOOL, self.image], capture_output=True, text=True,
                                       check=True).stdout.split()
            self.assertEqual(hashlib.md5(open(self.image, "rb").read()).hexdigest(), md5)
            self.assertTrue(independent_verify(self.image, code))

    def test_a_changed_image_fails_both(self):
        md5, code = subprocess.run([TOOL, self.image], capture_output=True, text=True,
                                   check=True).stdout.split()
        with open(self.image, "r+b") as f:
            f.seek(1000)
            f.write(b"\x00\x01")
        self.assertFalse(independent_verify(self.image, code))
        self.assertNotEqual(0, subprocess.run([TOOL, "--verify", self.image, code],
                                              capture_output=True).returncode)


if __name__ == "__main__":
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(CrossCheck)
    sys.exit(unittest_report.run(suite, REPORT, "checkcode_crosscheck"))
