#!/usr/bin/env python3
"""End-to-end run of kavi.exe under Wine on a virtual display, against the
development service host with the demo catalogue on the service URL the
program is built with (127.0.0.1:18080 by default).

It clicks through the reinstall road as a user would: start page, system
list, the countdown starting the download of the preselected demo image,
the window hidden and shown again while it runs, a pause, verification, and
the hand-off, which under Wine stops at "读取分区发生错误。" because Wine has
no disk layouts; then quits through the close button. Screenshots of each
page go to build/screenshots/e2e-*.png.

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
from kavi_session import (DOWNLOAD, ENV, IMAGES, MB, STATE, TITLE, WINE, ProgramCase,  # noqa: E402
                          build_paths, load_cases, screenshot, set_rules, wine, xdotool)

REPORT = sys.argv[sys.argv.index("--xml") + 1]
# The preselected row: the 64-bit image on machines with more than 3000 MB.
PRESELECTED = "WIN7_64.GHO"
IMAGE = "/images/" + PRESELECTED
QUIT = "提示|是否确定退出软件？"


class ReinstallRoad(ProgramCase):
    KAVI, MSGBOX, URL = build_paths(os.path.abspath(sys.argv[1]))

    def button_look(self):
        """The pixels of btnselectandnext (200 x 50 around 290,540)."""
        geometry = dict(line.split("=", 1) for line in
                        xdotool("getwindowgeometry", "--shell", self.window).split("\n"))
        x, y = int(geometry["X"]), int(geometry["Y"])
        return subprocess.run(["import", "-window", "root", "-crop", f"200x50+{x + 190}+{y + 515}",
                               "rgb:-"], capture_output=True).stdout

    def assert_bottom_menu_inert(self):
        """btnmain, btnbacksys and btnrecosys do nothing while busy (under Wine
        the last two would tell a partition error)."""
        self.back_to_start()
        self.click(275, 618)  # btnbacksys
        self.click(386, 618)  # btnrecosys
        self.assertEqual("", self.wait_box(2), "no backup or restore while downloading")

    def test_reinstall_road(self):
        _, already = self.stats_events()
        # Slow enough that the download page can be seen at work.
        self.start(json.dumps({IMAGE: {"rate": 200000}}))
        screenshot("page0")
        self.install()
        time.sleep(1)
        screenshot("page1")
        # Nobody clicks: the countdown on the button runs out and downloads
        # the preselected row.
        looks = [self.button_look()]
        for _ in range(60):
            if self.served(IMAGE)[0]:
                break
            look = self.button_look()
            if look != looks[-1]:
                looks.append(look)
            time.sleep(0.3)
        self.assertGreater(self.served(IMAGE)[0], 0, "the countdown started the download")
        self.assertGreaterEqual(len(looks), 5, "the button counted down")
        time.sleep(2)
        screenshot("page2")

        # While it runs: the bottom menu is inert and the close button hides
        # the window, which the tray icon, its menu and a second start bring
        # back; "退出" answered No changes nothing.
        self.assert_bottom_menu_inert()
        self.click(875, 17)  # btnclose
        self.assertEqual("", self.wait_box(2), "no question while downloading")
        self.assertFalse(self.shown(), "hidden")
        self.tray()
        self.assertTrue(self.shown(), "shown by a click on the tray icon")
        self.click(875, 17)
        second = subprocess.run([WINE, self.KAVI], env=ENV, capture_output=True, timeout=60)
        self.assertEqual(0, second.returncode)
        self.assertTrue(self.shown(), "shown by a second start")
        self.click(875, 17)
        self.assertFalse(self.shown())
        self.tray(0)
        self.assertTrue(self.shown(), "shown by \"显示窗口\"")
        self.tray(1)
        self.expect_box(QUIT, 7)
        self.assertIsNone(self.program.poll(), "still running after No")
        self.assert_bottom_menu_inert()

        # Pause: once the connections have wound down, no image byte is
        # served; after "继续下载" (now at full speed) the download completes.
        self.click(366, 532)  # btnpause
        time.sleep(2)
        screenshot("page2-paused")
        paused = self.served(IMAGE)
        time.sleep(3)
        self.assertEqual(paused, self.served(IMAGE), "nothing served while paused")
        set_rules("{}")
        self.click(366, 532)

        # Download, MD5, verification, then the hand-off, which Wine cannot
        # complete: no disk layouts there.
        box = self.wait_box(240)
        screenshot("handoff")
        self.assertEqual("错误|读取分区发生错误。", box)
        self.answer(1)
        time.sleep(1)
        screenshot("after")

        downloaded = os.listdir(DOWNLOAD)
        self.assertIn(PRESELECTED, downloaded)
        self.assertFalse([n for n in downloaded if ".td" in n], "no partial file left")
        self.assertEqual(["1", "2", "4"], self.stats_events(already)[0],
                         "start, download and verified reports")
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

    def test_update_offer_countdown_stopped_and_another_row(self):
        # A newer published version and a slow catalogue.
        self.start('{"/kavi/banben.txt": {"body": "9.9.9"},'
                   ' "/kavi/xitong.txt": {"delay": 8}}', settle=0)
        self.expect_box("一键重装有新版本|Kavi一键重装系统有新版本 V 9.9.9 立刻下载？", 7,
                        seconds=30)
        self.click(286, 270)
        self.expect_box("提示|正在连接中,请稍候...", 1)
        _, already = self.stats_events()
        self.install()
        listed = time.time()
        screenshot("list-countdown")
        # btnmain stops the countdown: well past its 15 seconds nothing was
        # downloaded or reported.
        self.back_to_start()
        screenshot("back-to-start")
        time.sleep(max(0, listed + 20 - time.time()))
        self.assertEqual(1, self.msgbox("list")[0], "no message")
        self.assertEqual([], self.requested("/images/"))
        self.assertNotIn("2", self.stats_events(already)[0], "no download reported")

        # The switch of the fourth row, then the button: that row's image is
        # asked for. Its server fails, which the download reports.
        set_rules('{"/images/WIN10_64.WIM": {"status": 404}}')
        self.install()
        self.click(514, 310)  # optselectsystem of row 3, rows 70 high from y 64
        self.select_and_next()
        self.expect_box("提示|下载文件出错,请检查网络链接后重启软件！", 1, seconds=60)
        self.assertEqual(["/images/WIN10_64.WIM"], self.requested("/images/"))
        # Back on the start page and idle: the close button asks; No keeps
        # the program.
        self.click(875, 17)
        self.expect_box(QUIT, 7)
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
        self.tray(1)
        self.expect_box(QUIT, 6)
        self.program.wait(30)
        self.assertEqual(0, self.program.returncode)
        time.sleep(1)
        remaining = xdotool("search", "--onlyvisible", "--name", "Wine System Tray")
        self.assertEqual("", remaining, "the icon went with the program")

    def test_md5_mismatch_then_small_image_then_quit(self):
        # The image path answers with a small file of other bytes.
        self.start('{"/images/WIN7_64.GHO": {"body": "not the image", "repeat": 1000},'
                   ' "/images/WIN7_32.GHO": {"body": "not the image", "repeat": 1000}}')
        self.install()
        self.select_and_next()
        self.expect_box("警告|文件校验失败", 1, seconds=60)
        self.expect_box("警告|下载文件小于100MB，可能已下载文件不正确！建议重启软件再试！", 1)
        screenshot("small-image")
        # Again, overwriting it; Cancel to the failed checksum ends the program.
        self.install()
        self.select_and_next()
        self.expect_box("提示|当前镜像文件已存在，是否覆盖？", 6)
        self.expect_box("警告|文件校验失败", 2, seconds=60)
        self.program.wait(30)
        self.assertEqual(0, self.program.returncode)

    def kept_image(self, size=None, expected="提示|检验系统镜像失败，可能镜像已损坏，建议重新下载系统!"):
        """Both Windows 7 images already downloaded (copied, or `size` zero
        bytes); the download is asked for and the kept file verified."""
        os.makedirs(DOWNLOAD, exist_ok=True)
        for name in ("WIN7_32.GHO", PRESELECTED):
            if size is None:
                shutil.copy(os.path.join(IMAGES, name), os.path.join(DOWNLOAD, name))
            else:
                with open(os.path.join(DOWNLOAD, name), "wb") as f:
                    f.truncate(size)
        self.install()
        self.select_and_next()
        self.expect_box("提示|当前镜像文件已存在，是否覆盖？", 7)
        self.expect_box(expected, 1, seconds=120)

    def test_kept_images_bad_check_code_and_size_boundary(self):
        # The catalogue's check codes are damaged.
        with open(os.path.join(STATE, "files", "kavi", "xitong.txt"), encoding="cp936") as f:
            catalogue = f.read()
        damaged = catalogue.replace("|</line>", "AAAA|</line>")
        self.start('{"/kavi/xitong.txt": {"body": %s, "encoding": "cp936"}}'
                   % json.dumps(damaged))
        self.kept_image()
        # Exactly 100 MB passes the size check (the check code then fails);
        # one byte less is refused.
        self.kept_image(100 * MB)
        self.kept_image(100 * MB - 1,
                        "警告|下载文件小于100MB，可能已下载文件不正确！建议重启软件再试！")
        self.quit()


if __name__ == "__main__":
    suite = load_cases(ReinstallRoad)
    sys.exit(unittest_report.run(suite, REPORT, "main_window_e2e"))
