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
import json
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
    return subprocess.run([WINE, *args], capture_output=True, text=True, errors="replace",
                          timeout=timeout, env=ENV)


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


STATE = os.path.join(ROOT, "build", "devhost")
RULES = os.path.join(STATE, "rules.json")
IMAGES = os.path.join(STATE, "files", "images")
DOWNLOAD = os.path.join(DRIVE_D, "DURozazo", "Download")
# The preselected row: the 64-bit image on machines with more than 3000 MB.
PRESELECTED = "WIN7_64.GHO"


def set_rules(rules):
    with open(RULES, "w", encoding="utf-8") as f:
        f.write(rules)


class ReinstallRoad(unittest.TestCase):
    """Each case starts kavi.exe afresh; the service host runs for all."""

    @classmethod
    def setUpClass(cls):
        os.makedirs(STATE, exist_ok=True)
        set_rules("{}")
        cls.host = subprocess.Popen(
            [sys.executable, os.path.join(ROOT, "tools", "devhost", "devhost.py"), "serve",
             "--demo", "--port", "18080", "--state", STATE],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        for line in cls.host.stdout:
            if "listening" in line:
                break
        if cls.host.poll() is not None:
            raise RuntimeError("the service host could not listen on 127.0.0.1:18080 "
                               "(another kavi test or scripts/run holds the port?)")

    @classmethod
    def tearDownClass(cls):
        cls.host.terminate()
        cls.host.wait(10)
        os.remove(RULES)

    def setUp(self):
        shutil.rmtree(DOWNLOAD, ignore_errors=True)
        self.program = None

    def start(self, rules="{}", settle=3):
        set_rules(rules)
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
        time.sleep(settle)

    def tearDown(self):
        if self.program and self.program.poll() is None:
            self.program.kill()
        subprocess.run(["wineserver", "-k"], env=ENV, check=False)
        time.sleep(1)

    def click(self, x, y):
        xdotool("mousemove", "--window", self.window, str(x), str(y), "click", "1")

    def expect_box(self, expected, answer, seconds=10):
        self.assertEqual(expected, wait_box(seconds))
        msgbox("answer", str(answer))
        time.sleep(0.5)

    def install(self):
        """Start page -> system list page, waiting out a pending start-up check."""
        for _ in range(20):
            self.click(286, 270)  # btninstall, 192 x 192 at 190,140 of page 0
            box = wait_box(2)
            if not box:
                return
            self.assertEqual("提示|正在连接中,请稍候...", box)
            msgbox("answer", "1")
            time.sleep(1)

    def select_and_next(self):
        self.click(290, 540)  # btnselectandnext

    def quit(self):
        self.click(875, 17)  # btnclose, the last 50 pixels of the caption bar
        self.expect_box("提示|是否确定退出软件？", 6)
        self.program.wait(30)
        self.assertEqual(0, self.program.returncode)

    def stats_lines(self):
        path = os.path.join(STATE, "stats.log")
        if not os.path.exists(path):
            return []
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read().splitlines()

    def test_reinstall_road(self):
        already = len(self.stats_lines())
        # Slow enough that the download page can be seen at work.
        self.start('{"/images/WIN7_64.GHO": {"rate": 4000000},'
                   ' "/images/WIN7_32.GHO": {"rate": 4000000}}')
        screenshot("page0")
        self.install()
        time.sleep(1)
        screenshot("page1")
        self.select_and_next()
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

        downloaded = os.listdir(DOWNLOAD)
        self.assertIn(PRESELECTED, downloaded)
        self.assertFalse([n for n in downloaded if ".td" in n], "no partial file left")
        events = [line.split("t=")[1][0] for line in self.stats_lines()[already:] if "t=" in line]
        self.assertEqual(["1", "2", "4"], events, "start, download and verified reports")
        self.quit()

    def test_bottom_menu_tiles_and_second_instance(self):
        self.start()
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

        # "资料备份" opens the data backup window modal over the main window.
        self.click(622, 288)
        for _ in range(20):
            if msgbox("window", "UIBootManager")[1] == "1|1":
                break
            time.sleep(0.5)
        screenshot("databackup")
        self.assertEqual("1|0", msgbox("window", "Kavi一键重装系统")[1], "main window disabled")
        msgbox("close", "UIBootManager")
        time.sleep(1)
        self.assertEqual("1|1", msgbox("window", "Kavi一键重装系统")[1], "usable again")

        # A second instance shows the first window and exits with 0.
        second = subprocess.run([WINE, KAVI], env=ENV, capture_output=True, timeout=60)
        self.assertEqual(0, second.returncode)
        windows = [w for w in xdotool("search", "--name", "Kavi一键重装系统").split("\n") if w]
        self.assertEqual(1, len(windows))
        screenshot("menus")
        self.quit()

    def test_update_offer_pending_check_and_start_page_buttons(self):
        # A newer published version and a slow catalogue.
        self.start('{"/kavi/banben.txt": {"body": "9.9.9"},'
                   ' "/kavi/xitong.txt": {"delay": 8}}', settle=0)
        self.expect_box("一键重装有新版本|Kavi一键重装系统有新版本 V 9.9.9 立刻下载？", 7,
                        seconds=30)
        self.click(286, 270)
        self.expect_box("提示|正在连接中,请稍候...", 1)
        self.install()
        screenshot("list-countdown")
        # btnmain stops the countdown and returns to the start page.
        self.click(111, 618)
        time.sleep(2)
        self.assertEqual(1, msgbox("list")[0], "no download started")
        screenshot("back-to-start")
        # The close button asks; No keeps the program.
        self.click(875, 17)
        self.expect_box("提示|是否确定退出软件？", 7)
        time.sleep(1)
        self.assertIsNone(self.program.poll())
        self.quit()

    def test_unreachable_service(self):
        self.start('{"/kavi/xitong.txt": {"status": 404, "body": "gone"}}')
        self.click(286, 270)
        self.expect_box("警告|链接云引擎失败，请检查网络后重试。", 1)
        self.quit()

    def test_no_second_fixed_drive(self):
        # D: reported as a network drive leaves only the system drive.
        key = r"HKLM\Software\Wine\Drives"
        wine("reg", "add", key, "/v", "d:", "/d", "network", "/f")
        try:
            self.start()
            self.click(286, 270)
            self.expect_box("警告|只有一个分区，无法进行重装操作。", 1)
            self.quit()
        finally:
            wine("reg", "add", key, "/v", "d:", "/d", "hd", "/f")

    def test_tray_menu_quit(self):
        self.start()
        tray = xdotool("search", "--onlyvisible", "--name", "Wine System Tray").split("\n")[0]
        self.assertTrue(tray, "Wine shows the notification area as a window")
        # The icon is the first cell under the tray window's title (Wine puts
        # the window at the top left); the menu opens while the button is down.
        xdotool("mousemove", "12", "31")
        time.sleep(0.5)
        xdotool("mousedown", "3")
        time.sleep(1)
        screenshot("tray-menu")
        xdotool("mouseup", "3")
        time.sleep(0.5)
        # The menu tracks the left button: a click on "退出", its second item.
        xdotool("mousemove", "44", "61", "click", "1")
        self.expect_box("提示|是否确定退出软件？", 6)
        self.program.wait(30)
        self.assertEqual(0, self.program.returncode)
        time.sleep(1)
        remaining = xdotool("search", "--onlyvisible", "--name", "Wine System Tray")
        self.assertEqual("", remaining, "the icon went with the program")

    def test_md5_mismatch_then_small_image(self):
        # The image path answers with a small file of other bytes.
        self.start('{"/images/WIN7_64.GHO": {"body": "not the image", "repeat": 1000},'
                   ' "/images/WIN7_32.GHO": {"body": "not the image", "repeat": 1000}}')
        self.install()
        self.select_and_next()
        self.expect_box("警告|文件校验失败", 1, seconds=60)
        self.expect_box("警告|下载文件小于100MB，可能已下载文件不正确！建议重启软件再试！", 1)
        screenshot("small-image")
        self.quit()

    def test_kept_image_with_a_bad_check_code(self):
        # The image is already there; the catalogue's check codes are damaged.
        os.makedirs(DOWNLOAD, exist_ok=True)
        for name in ("WIN7_32.GHO", PRESELECTED):
            shutil.copy(os.path.join(IMAGES, name), os.path.join(DOWNLOAD, name))
        with open(os.path.join(STATE, "files", "kavi", "xitong.txt"), encoding="cp936") as f:
            catalogue = f.read()
        damaged = catalogue.replace("|</line>", "AAAA|</line>")
        self.start('{"/kavi/xitong.txt": {"body": %s, "encoding": "cp936"}}'
                   % json.dumps(damaged))
        self.install()
        self.select_and_next()
        self.expect_box("提示|当前镜像文件已存在，是否覆盖？", 7)
        self.expect_box("提示|检验系统镜像失败，可能镜像已损坏，建议重新下载系统!", 1,
                        seconds=120)
        self.quit()


if __name__ == "__main__":
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(ReinstallRoad)
    sys.exit(unittest_report.run(suite, REPORT, "main_window_e2e"))
