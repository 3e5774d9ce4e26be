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

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, HERE)
import unittest_report  # noqa: E402
from kavi_session import (DOWNLOAD, ENV, IMAGES, STATE, TITLE, WINE, ProgramCase,  # noqa: E402
                          build_paths, load_cases, screenshot, wine, xdotool)

REPORT = sys.argv[sys.argv.index("--xml") + 1]
# The preselected row: the 64-bit image on machines with more than 3000 MB.
PRESELECTED = "WIN7_64.GHO"


class ReinstallRoad(ProgramCase):
    KAVI, MSGBOX = build_paths(os.path.abspath(sys.argv[1]))

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
        box = self.wait_box(240)
        screenshot("handoff")
        self.assertEqual("错误|读取分区发生错误。", box)
        self.msgbox("answer", "1")
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
        self.assertEqual(1, self.msgbox("list")[0], "no further message after No")
        self.click(702, 288)
        self.expect_box("提示|是否确定删除本软件的缓存文件(包括下载产生的临时文件)", 6)
        self.expect_box("提示|清理缓存成功", 1, seconds=30)

        # "资料备份" opens the data backup window modal over the main window.
        self.click(622, 288)
        for _ in range(20):
            if self.msgbox("window", "UIBootManager")[1] == "1|1":
                break
            time.sleep(0.5)
        screenshot("databackup")
        self.assertEqual("1|0", self.msgbox("window", TITLE)[1], "main window disabled")
        self.msgbox("close", "UIBootManager")
        time.sleep(1)
        self.assertEqual("1|1", self.msgbox("window", TITLE)[1], "usable again")

        # A second instance shows the first window and exits with 0.
        second = subprocess.run([WINE, self.KAVI], env=ENV, capture_output=True, timeout=60)
        self.assertEqual(0, second.returncode)
        windows = [w for w in xdotool("search", "--name", TITLE).split("\n") if w]
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
        self.back_to_start()
        time.sleep(2)
        self.assertEqual(1, self.msgbox("list")[0], "no download started")
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
    suite = load_cases(ReinstallRoad)
    sys.exit(unittest_report.run(suite, REPORT, "main_window_e2e"))
