#!/usr/bin/env python3
"""Bad input from the service host, end to end: kavi.exe under Wine against
the development service host on the program's built-in port, fed catalogues, version
texts and statistics replies that no sane host sends (huge, endless,
garbage, wrong encoding, hostile file names and URLs, silence).

For each, the program must not crash, its window must keep answering, it
must write nothing outside its work folder, and every refusal must be a
clear message. Screenshots go to build/screenshots/e2e-sweep-*.png.

Usage: bad_input_e2e.py BUILD_DIR --xml REPORT
"""
import json
import os
import random
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, HERE)
import unittest_report  # noqa: E402
from kavi_session import (DOWNLOAD, DRIVE_D, ENV, FILES, START, WORK_FOLDER,  # noqa: E402
                          ProgramCase, build_paths, load_cases, screenshot, xdotool)

REPORT = sys.argv[sys.argv.index("--xml") + 1]
PATHS = build_paths(os.path.abspath(sys.argv[1]))
SWEEP = os.path.join(FILES, "sweep")
DRIVE_C = os.path.join(ENV["WINEPREFIX"], "drive_c")
LINK_FAILED = "警告|链接云引擎失败，请检查网络后重试。"
BAD_NAME = "错误|系统镜像的文件名不正确，无法下载，请稍后重试。"
BAD_URL = "错误|系统镜像的下载地址不正确，无法下载，请稍后重试。"
TOO_LONG = "错误|系统镜像的下载地址或保存路径过长，无法下载。"
IMAGE_URL = PATHS[2] + "/images/WIN7_64.GHO"


def record(name, url=IMAGE_URL, file_name="WIN7_64.GHO", info="说明", size="105MB",
           md5="", code=""):
    return "<line>" + "|".join([name, url, file_name, info, size, md5, code]) + "|</line>"


def catalogue(records, filler=""):
    return "Kavi 系统镜像列表\r\n" + filler + "\r\n".join(records) + "\r\n"


def put(name, data):
    os.makedirs(SWEEP, exist_ok=True)
    with open(os.path.join(SWEEP, name), "wb") as f:
        f.write(data)
    return "/sweep/" + name


def serve_catalogue(name, data):
    """Rules that answer the catalogue path with `data`."""
    return json.dumps({"/kavi/xitong.txt": {"file": put(name, data)}})


def files_written_since(moment):
    """Files under Wine's C: and D: changed after `moment`, outside the work
    folder and Wine's own bookkeeping."""
    changed = []
    for top in (DRIVE_C, DRIVE_D):
        for folder, dirs, names in os.walk(top):
            if folder == DRIVE_D:
                dirs[:] = [d for d in dirs if os.path.join(folder, d) != WORK_FOLDER]
            for n in names:
                path = os.path.join(folder, n)
                try:
                    if os.lstat(path).st_mtime > moment:
                        changed.append(os.path.relpath(path, os.path.dirname(top)))
                except OSError:
                    pass
    return changed


class BadInput(ProgramCase):
    KAVI, MSGBOX, URL = PATHS

    def setUp(self):
        super().setUp()
        self.started = time.time()

    def tearDown(self):
        try:
            if self.program and not self.quit_asked and self.program.poll() is not None:
                self.fail(f"kavi.exe ended by itself with {self.program.returncode}")
            self.assertEqual([], files_written_since(self.started),
                             "nothing written outside the work folder")
        finally:
            super().tearDown()

    def list_page(self, shot):
        """Install, then stop the countdown on the list page."""
        self.install()
        time.sleep(1)
        self.assert_responsive("the list page shows")
        screenshot(shot)
        self.back_to_start()
        time.sleep(1)
        self.assert_responsive("back on the start page")

    def refused_download(self, rules, expected):
        self.start(rules)
        self.install()
        self.select_and_next()
        self.expect_box(expected, 1)
        self.assert_responsive("the download was refused")
        self.assertFalse(os.path.exists(DOWNLOAD) and os.listdir(DOWNLOAD), "nothing downloaded")
        self.quit()

    def wait_for_verdict(self, seconds):
        """Presses the start button until it says something other than
        "still connecting"; that message ("" after `seconds`)."""
        until = time.time() + seconds
        while time.time() < until:
            self.press(START)
            box = self.wait_box(2)
            self.msgbox("answer", "1")
            if box != "提示|正在连接中,请稍候...":
                return box
            time.sleep(2)
        return ""

    def test_ten_thousand_images(self):
        records = [record(f"测试镜像 {i:05d}", info=f"第 {i} 个镜像" * 5) for i in range(10000)]
        self.start(serve_catalogue("many.txt", catalogue(records).encode("cp936")))
        self.list_page("sweep-10000")
        self.quit()

    def test_sixty_megabyte_catalogue(self):
        # Megabytes of noise before the records, and records whose fields
        # are megabytes long.
        huge = "大" * (4 * 1024 * 1024)
        records = [record("正常镜像"), record(huge, info=huge, size=huge), record("最后镜像")]
        piece = "噪声 <li ne> | "
        room = (60 << 20) - 3 * len(huge.encode("cp936"))
        filler = piece * (room // len(piece.encode("cp936")))
        data = catalogue(records, filler).encode("cp936")
        self.assertTrue(59 << 20 < len(data) < 61 << 20, len(data))
        self.start(serve_catalogue("huge.txt", data))
        self.install()
        # Resting on the giant row brings up its tooltip.
        xdotool("mousemove", "--window", self.window, "480", "160")
        time.sleep(2)
        self.assert_responsive("a row with megabytes of text shows its tooltip")
        screenshot("sweep-60mb")
        self.back_to_start()
        self.quit()

    def test_garbage_from_every_text_answer(self):
        garbage = random.Random(12).randbytes(1 << 20)
        self.start(json.dumps({
            "/kavi/xitong.txt": {"file": put("garbage.bin", garbage)},
            "/kavi/banben.txt": {"file": put("garbage-version.bin", garbage[:300])},
            "/kavi/kavitj.php": {"file": put("garbage-token.bin", garbage[:5000])},
        }))
        # No update offer for a version text that is not a version.
        self.assertEqual("", self.wait_box(3))
        self.press(START)
        self.expect_box(LINK_FAILED, 1)
        self.assert_responsive("the catalogue was garbage")
        self.quit()

    def test_catalogue_in_other_encodings(self):
        # Every field ends in a letter: a UTF-8 byte read as the first half of
        # a code page 936 character would take the "|" after it along.
        records = [record("镜像 UTF-8 A", file_name="镜像.GHO"),
                   record("镜像 UTF-8 B", file_name="镜像.GHO")]
        text = catalogue(records)
        # UTF-16 has a NUL after every ASCII letter: no record survives.
        self.start(serve_catalogue("utf16.txt", text.encode("utf-16")))
        self.press(START)
        self.expect_box(LINK_FAILED, 1)
        self.quit()
        self.tearDown()
        self.setUp()

        # UTF-8 read as code page 936 gives odd names; the image still
        # downloads under such a name inside the download folder.
        self.start(serve_catalogue("utf8.txt", text.encode("utf-8")))
        self.install()
        screenshot("sweep-utf8")
        self.select_and_next()
        # No MD5 and no check code: the download ends at the verification.
        self.expect_box("提示|检验系统镜像失败，可能镜像已损坏，建议重新下载系统!", 1, seconds=120)
        self.assertEqual(["镜像.GHO".encode("utf-8").decode("cp936")], os.listdir(DOWNLOAD))
        self.quit()

    def test_file_names_with_path_parts(self):
        for name in ("..\\..\\..\\windows\\evil.GHO", "C:\\evil.GHO", "sub/evil.GHO",
                     "evil.GHO:stream", "CON.GHO"):
            with self.subTest(name=name):
                bad = catalogue([record("镜像一", file_name=name), record("镜像二", file_name=name)])
                self.refused_download(serve_catalogue("names.txt", bad.encode("cp936")), BAD_NAME)
                self.tearDown()
                self.setUp()

    def test_urls_that_cannot_be_downloaded(self):
        long_url = IMAGE_URL + "?" + "x" * 4000
        for url, message in ((long_url, TOO_LONG), ("闀滃儚.GHO", BAD_URL),
                             ("file:///c:/windows/win.ini", BAD_URL)):
            with self.subTest(url=url[:40]):
                text = catalogue([record("镜像一", url=url), record("镜像二", url=url)])
                self.refused_download(serve_catalogue("url.txt", text.encode("cp936")), message)
                self.tearDown()
                self.setUp()

    def test_endless_answers(self):
        self.start(json.dumps({"/kavi/xitong.txt": {"endless": True, "body": "<line>无尽"},
                               "/kavi/banben.txt": {"endless": True, "body": "9.9"}}), settle=0)
        self.assert_responsive("endless answers arrive")
        # The text fetches give up at their size limit: no offer, no list.
        self.assertEqual("", self.wait_box(3))
        box = self.wait_for_verdict(120)
        self.assertEqual(LINK_FAILED, box)
        self.quit()

    def test_service_host_that_stalls(self):
        # Headers and a few bytes of the catalogue, then silence. (The version
        # text and the statistics go through the same fetch.)
        self.start(json.dumps({"/kavi/xitong.txt": {"stall_after": 10, "body": "<line>" * 100}}))
        self.press(START)
        self.expect_box("提示|正在连接中,请稍候...", 1)
        self.assert_responsive("the service host is silent")
        screenshot("sweep-stall")
        # The fetch gives up after 30 seconds without a byte.
        started = time.time()
        box = self.wait_for_verdict(90)
        print(f"stalled host refused after {time.time() - started:.0f} s", file=sys.stderr)
        self.assertEqual(LINK_FAILED, box)
        self.quit()

    def test_image_server_that_falls_silent(self):
        # Every request for the image stops after 1 MB and stays open.
        self.start(json.dumps({"/images/WIN7_64.WIM": {"stall_after": 1000000}}))
        self.install()
        self.select_and_next()
        time.sleep(5)
        self.assert_responsive("the image server is silent")
        screenshot("sweep-silent-image")
        self.press("pushbutton:停止下载")
        self.expect_box("提示|是否确定停止下载?", 6)
        time.sleep(3)
        self.assert_responsive("the download stopped")
        # The stop came through: the window is idle again, so the close
        # button asks instead of hiding the window.
        self.quit()


if __name__ == "__main__":
    suite = load_cases(BadInput)
    sys.exit(unittest_report.run(suite, REPORT, "bad_input_e2e"))
