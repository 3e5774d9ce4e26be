#!/usr/bin/env python3
"""End-to-end run of kavi.exe under Wine on a virtual display, against the
development service host with the demo catalogue on 127.0.0.1:18080 (the
service URL the program is built with).

It clicks through the reinstall road as a user would: start page, system
list, download of the preselected demo image, verification, and the hand-off,
which under Wine stops at "读取分区发生错误。" because Wine has no disk
layouts; then quits through the close button. Screenshots of each page go to
build/screenshots/e2e-*.png.

Usage: main_window_e2e.py BUILD_DIR --xml REPORT
"""
import os
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import unittest_report  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.abspath(sys.argv[1])
REPORT = sys.argv[sys.argv.index("--xml") + 1]
WINE = os.path.join(ROOT, "scripts", "wine")
KAVI = os.path.join(BUILD, "dist", "kavi.exe")
MSGBOX = os.path.join(BUILD, "tests", "e2e", "msgbox.exe")
SHOTS = os.path.join(ROOT, "build", "screenshots")
DRIVE_D = os.path.join(ROOT, "build", "wine", "drive_d")
ENV = dict(os.environ, WINEPREFIX=os.path.join(ROOT, "build", "wine", "prefix"))


def wine(*args, timeout=60):
    return subprocess.run([WINE, *args], capture_output=True, text=True, timeout=timeout, env=ENV)


def msgbox(*args, timeout=60):
    r = wine(MSGBOX, *args, timeout=timeout)
    return r.returncode, r.stdout.strip()


def wait_box(seconds):
    """The first message box shown within `seconds`, as "caption|text"; ''."""
    until = time.time() + seconds
    while time.time() < until:
        code, out = msgbox("list")
        if code == 0 and out:
            return out.split("\n")[0]
        time.sleep(0.5)
    return ""


def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True).stdout.strip()


def screenshot(name):
    os.makedirs(SHOTS, exist_ok=True)
    subprocess.run(["import", "-window", "root", os.path.join(SHOTS, f"e2e-{name}.png")],
                   check=False)


class ReinstallRoad(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        state = os.path.join(ROOT, "build", "devhost")
        cls.rules = os.path.join(state, "rules.json")
        # Slow enough that the download page can be seen at work.
        os.makedirs(state, exist_ok=True)
        with open(cls.rules, "w") as f:
            f.write('{"/images/WIN7_64.GHO": {"rate": 4000000},'
                    ' "/images/WIN7_32.GHO": {"rate": 4000000}}')
        cls.host = subprocess.Popen(
            [sys.executable, os.path.join(ROOT, "tools", "devhost", "devhost.py"), "serve",
             "--demo", "--port", "18080", "--state", state],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        for line in cls.host.stdout:
            if "listening" in line:
                break

    def setUp(self):
        # A fresh download folder, so the image is fetched.
        shutil.rmtree(os.path.join(DRIVE_D, "DURozazo", "Download"), ignore_errors=True)
        self.program = subprocess.Popen([WINE, KAVI], env=ENV, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        self.window = ""
        for _ in range(120):
            self.window = xdotool("search", "--onlyvisible", "--name",
                                  "Kavi一键重装系统").split("\n")[0]
            if self.window:
                break
            time.sleep(0.5)
        self.assertTrue(self.window, "the main window appeared")
        time.sleep(3)  # the start-up check reaches the service host

    def tearDown(self):
        if self.program.poll() is None:
            self.program.kill()
        subprocess.run(["wineserver", "-k"], env=ENV, check=False)
        time.sleep(1)

    @classmethod
    def tearDownClass(cls):
        cls.host.terminate()
        cls.host.wait(10)
        os.remove(cls.rules)

    def click(self, x, y):
        xdotool("mousemove", "--window", self.window, str(x), str(y), "click", "1")

    def expect_box(self, expected, answer, seconds=10):
        self.assertEqual(expected, wait_box(seconds))
        msgbox("answer", str(answer))
        time.sleep(0.5)

    def test_reinstall_road(self):
        screenshot("page0")

        # Start page -> system list page.
        for _ in range(20):
            self.click(286, 270)  # btninstall, 192 x 192 at 190,140 of page 0
            box = wait_box(2)
            if not box:
                break
            self.assertEqual("提示|正在连接中,请稍候...", box)
            msgbox("answer", "1")
            time.sleep(1)
        time.sleep(1)
        screenshot("page1")

        # Start the preselected download at once.
        self.click(290, 540)  # btnselectandnext
        time.sleep(3)
        screenshot("page2")
        # Pause and resume: the button toggles and the download goes on.
        self.click(366, 532)  # btnpause
        time.sleep(1.5)
        screenshot("page2-paused")
        self.click(366, 532)

        # Download, MD5, verification, then the hand-off, which Wine cannot
        # complete: no disk layouts there.
        box = wait_box(240)
        screenshot("handoff")
        self.assertEqual("错误|读取分区发生错误。", box)
        msgbox("answer", "1")
        time.sleep(1)
        screenshot("after")

        downloaded = os.listdir(os.path.join(DRIVE_D, "DURozazo", "Download"))
        self.assertIn("WIN7_64.GHO" if "WIN7_64.GHO" in downloaded else "WIN7_32.GHO", downloaded)
        self.assertFalse([n for n in downloaded if n.endswith(".td")], "no partial file left")

        # Quit through the close button: the question, then Yes.
        self.click(875, 17)  # btnclose, the last 50 pixels of the caption bar
        self.assertEqual("提示|是否确定退出软件？", wait_box(10))
        msgbox("answer", "6")
        self.program.wait(30)
        self.assertEqual(0, self.program.returncode)


    def test_bottom_menu_tiles_and_second_instance(self):
        # Wine has no disk layouts, so both commands stop at the partition
        # look-up, with their messages, and nothing restarts.
        self.click(275, 618)  # btnbacksys
        self.expect_box("错误|读取备份分区发生错误。", 1)
        self.click(386, 618)  # btnrecosys
        self.expect_box("错误|读取还原分区发生错误。", 1)

        # "清理缓存": No changes nothing, Yes always ends with the success text.
        self.click(702, 288)
        self.expect_box("提示|是否确定删除本软件的缓存文件(包括下载产生的临时文件)", 7)
        self.assertEqual(1, msgbox("list")[0], "no further message after No")
        self.click(702, 288)
        self.expect_box("提示|是否确定删除本软件的缓存文件(包括下载产生的临时文件)", 6)
        self.expect_box("提示|清理缓存成功", 1, seconds=30)

        # A second instance shows the first window and exits with 0.
        second = subprocess.run([WINE, KAVI], env=ENV, capture_output=True, timeout=60)
        self.assertEqual(0, second.returncode)
        windows = [w for w in xdotool("search", "--name", "Kavi一键重装系统").split("\n") if w]
        self.assertEqual(1, len(windows))
        screenshot("menus")


if __name__ == "__main__":
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(ReinstallRoad)
    sys.exit(unittest_report.run(suite, REPORT, "main_window_e2e"))
