#!/usr/bin/env python3
"""Tests of the development service host (tools/devhost/devhost.py).

Usage: devhost_test.py [--xml REPORT]   The report has the GoogleTest XML
counts that scripts/test sums up.
"""
import base64
import hashlib
import http.client
import json
import os
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import unittest_report  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools", "devhost"))
import devhost  # noqa: E402


def verify_check_code(code, md5_hex):
    """What the program's verifier does with a check code, written apart
    from the generator."""
    block = base64.b64decode(code, validate=True)
    if len(block) < 272:
        return False
    for i in range(32):
        if block[block[i]] != ord(md5_hex[i]):
            return False
    return hashlib.md5(block[:256]).digest() == block[256:272]


class HostCase(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.state = self.tmp.name
        os.makedirs(os.path.join(self.state, "files", "kavi"))
        self.data = bytes(range(256)) * 40  # 10,240 bytes
        self.put("/images/a.GHO", self.data)
        self.server = devhost.start(0, self.state, {})

    def tearDown(self):
        self.server.shutdown()
        self.server.server_close()
        self.tmp.cleanup()

    def put(self, path, data):
        full = os.path.join(self.state, "files", path.lstrip("/"))
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(data)

    def rules(self, rules):
        with open(os.path.join(self.state, "rules.json"), "w", encoding="utf-8") as f:
            json.dump(rules, f)

    def connect(self):
        return http.client.HTTPConnection("127.0.0.1", self.server.server_port, timeout=10)

    def get(self, path, method="GET", headers=None):
        conn = self.connect()
        conn.request(method, path, headers=headers or {})
        resp = conn.getresponse()
        body = resp.read()
        conn.close()
        return resp, body


class Files(HostCase):
    def test_ranges(self):
        resp, body = self.get("/images/a.GHO", headers={"Range": "bytes=100-199"})
        self.assertEqual(206, resp.status)
        self.assertEqual("bytes 100-199/10240", resp.getheader("Content-Range"))
        self.assertEqual(self.data[100:200], body)

        resp, body = self.get("/images/a.GHO", headers={"Range": "bytes=10000-"})
        self.assertEqual((206, self.data[10000:]), (resp.status, body))
        resp, body = self.get("/images/a.GHO", headers={"Range": "bytes=-40"})
        self.assertEqual("bytes 10200-10239/10240", resp.getheader("Content-Range"))
        self.assertEqual(self.data[-40:], body)
        resp, body = self.get("/images/a.GHO", headers={"Range": "bytes=10240-"})
        self.assertEqual(416, resp.status)
        self.assertEqual("bytes */10240", resp.getheader("Content-Range"))

    def test_head_and_keep_alive_on_one_connection(self):
        conn = self.connect()
        conn.request("HEAD", "/images/a.GHO")
        resp = conn.getresponse()
        self.assertEqual(b"", resp.read())
        self.assertEqual("10240", resp.getheader("Content-Length"))
        conn.request("GET", "/images/a.GHO")
        resp = conn.getresponse()
        self.assertEqual(self.data, resp.read())
        conn.close()

    def test_concurrent_downloads(self):
        results = []

        def fetch():
            results.append(self.get("/images/a.GHO")[1])

        threads = [threading.Thread(target=fetch) for _ in range(6)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual([self.data] * 6, results)

    def test_paths_outside_the_folder_are_not_served(self):
        self.assertEqual(404, self.get("/../../etc/passwd")[0].status)
        self.assertEqual(404, self.get("/%2e%2e/%2e%2e/etc/passwd")[0].status)


class Faults(HostCase):
    def test_status_and_body_per_path_read_while_running(self):
        self.rules({"/kavi/banben.txt": {"status": 500, "body": "boom"}})
        resp, body = self.get("/kavi/banben.txt")
        self.assertEqual((500, b"boom"), (resp.status, body))
        self.rules({"/kavi/banben.txt": {"body": "中文", "encoding": "cp936"}})
        resp, body = self.get("/kavi/banben.txt")
        self.assertEqual((200, "中文".encode("cp936")), (resp.status, body))

    def test_close_after_n_bytes_cuts_the_body(self):
        self.rules({"/images/a.GHO": {"close_after": 1000}})
        conn = self.connect()
        conn.request("GET", "/images/a.GHO")
        resp = conn.getresponse()
        with self.assertRaises(http.client.IncompleteRead) as cut:
            resp.read()
        self.assertEqual(self.data[:1000], cut.exception.partial)

    def test_ignore_range_answers_the_whole_body(self):
        self.rules({"/images/a.GHO": {"ignore_range": True}})
        resp, body = self.get("/images/a.GHO", headers={"Range": "bytes=5-9"})
        self.assertEqual((200, self.data), (resp.status, body))

    def test_rate_limited_body_arrives_whole(self):
        self.rules({"/images/a.GHO": {"rate": 200000}})
        self.assertEqual(self.data, self.get("/images/a.GHO")[1])

    def test_another_file_served_for_a_path(self):
        self.put("/sweep/other.txt", b"other")
        self.rules({"/kavi/xitong.txt": {"file": "/sweep/other.txt"}})
        self.assertEqual(b"other", self.get("/kavi/xitong.txt")[1])

    def test_endless_body_goes_on_without_a_length(self):
        self.rules({"/kavi/xitong.txt": {"endless": True, "body": "ab"}})
        conn = self.connect()
        conn.request("GET", "/kavi/xitong.txt")
        resp = conn.getresponse()
        self.assertIsNone(resp.getheader("Content-Length"))
        self.assertEqual(b"ab" * 500000, resp.read(1000000))
        conn.close()

    def test_stall_after_n_bytes_keeps_the_connection_silent(self):
        self.rules({"/images/a.GHO": {"stall_after": 100}})
        conn = self.connect()
        conn.timeout = 1
        conn.request("GET", "/images/a.GHO")
        resp = conn.getresponse()
        self.assertEqual(self.data[:100], resp.read(100))
        conn.sock.settimeout(1)
        with self.assertRaises(TimeoutError):
            resp.read(1)
        conn.close()

    def test_command_line_fault(self):
        path, rule = devhost.parse_fault("/x:status=404,body=gone,delay=0.01")
        self.assertEqual(("/x", {"status": 404, "body": "gone", "delay": 0.01}), (path, rule))


class Statistics(HostCase):
    def test_token_and_log_as_received(self):
        resp, body = self.get("/kavi/kavitj.php?t=1&a=0000ABCD&b=6&c=00-1A-2B-3C-4D-5E")
        self.assertEqual(devhost.DEFAULT_TOKEN.encode(), body)
        self.get("/kavi/kavitj.php?t=2&a=x%0D%0Ay&b=2")
        with open(os.path.join(self.state, "stats.log"), "rb") as f:
            self.assertEqual([b"/kavi/kavitj.php?t=1&a=0000ABCD&b=6&c=00-1A-2B-3C-4D-5E",
                              b"/kavi/kavitj.php?t=2&a=x%0D%0Ay&b=2"], f.read().splitlines())


class DemoCatalogue(unittest.TestCase):
    def test_check_code_carries_the_digest(self):
        md5 = hashlib.md5(b"image").hexdigest()
        code = devhost.check_code(md5, 7)
        self.assertEqual(code, devhost.check_code(md5, 7))
        self.assertTrue(verify_check_code(code, md5))
        self.assertFalse(verify_check_code(code, hashlib.md5(b"other").hexdigest()))
        block = bytearray(base64.b64decode(code))
        block[260] ^= 1
        self.assertFalse(verify_check_code(base64.b64encode(bytes(block)), md5))

    def test_catalogue_in_code_page_936_describes_the_images(self):
        images = [("系统甲", "A.GHO", "说明", 3000, 1), ("系统乙", "B.GHO", "说明", 5000, 2)]
        with tempfile.TemporaryDirectory() as state:
            devhost.prepare_demo(state, "http://127.0.0.1:1", images, log=lambda _: None)
            with open(os.path.join(state, "files", "kavi", "xitong.txt"), "rb") as f:
                text = f.read().decode("cp936")
            records = [r.split("</line>")[0] for r in text.split("<line>")[1:]]
            self.assertEqual(2, len(records))
            for record, (name, file_name, _, size, _) in zip(records, images):
                fields = record.split("|")
                self.assertEqual(8, len(fields))  # seven fields and the final "|"
                self.assertEqual([name, "http://127.0.0.1:1/images/" + file_name, file_name],
                                 fields[:3])
                path = os.path.join(state, "files", "images", file_name)
                self.assertEqual(size, os.path.getsize(path))
                self.assertEqual(devhost.file_md5(path), fields[5])
                self.assertTrue(verify_check_code(fields[6], fields[5]))


def main():
    xml_path = None
    args = sys.argv[1:]
    if args[:1] == ["--xml"]:
        xml_path = args[1]
        args = args[2:]
    suite = unittest.defaultTestLoader.loadTestsFromModule(sys.modules[__name__])
    return unittest_report.run(suite, xml_path, "devhost_tests", verbosity=1)


if __name__ == "__main__":
    sys.exit(main())
