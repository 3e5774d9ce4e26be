#!/usr/bin/env python3
"""End-to-end run of kavi.exe under Wine on a virtual display, against the
development service host with the demo catalogue on the service URL the
program is built with (127.0.0.1:18080 by default).

It reads the window through its accessible tree (the texts a screen reader
reads, and what the window announces) and goes the reinstall road with keys
alone: start page, system list, the countdown starting the download of the
preselected demo image, a pause, verification, and the hand-off, which
under Wine stops at "读取分区发生错误。" because Wine has no disk layouts;
then quits through the close button. The data backup window is used with
keys too. Other cases press the controls by name; pixel clicks remain where
the mouse is the point (a row's switch, the tray icon). Screenshots of each
page go to build/screenshots/e2e-*.png.

Usage: main_window_e2e.py BUILD_DIR --xml REPORT
"""
import json
import os
import pwd
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, HERE)
import unittest_report  # noqa: E402
from kavi_session import (CLOSE, DOWNLOAD, ENV, IMAGES, MB, START,  # noqa: E402
                          STATE, TITLE, WINE, WINE_ARCH, WORK_FOLDER, ProgramCase, build_paths,
                          load_cases, screenshot, set_rules, wine, xdotool)
from devhost import DEMO_IMAGES, DEMO_WIM_IMAGES, size_text  # noqa: E402

REPORT = sys.argv[sys.argv.index("--xml") + 1]
# The preselected row: the 64-bit image on machines with more than 3000 MB,
# a WIM, which the default build writes.
PRESELECTED = "WIN7_64.WIM"
IMAGE = "/images/" + PRESELECTED
QUIT = "提示|是否确定退出软件？"
PENDING = "提示|正在连接中,请稍候..."
CAPTION = "Kavi一键重装系统 7.8.12正式版"
TIPS = ["如果系统卡，慢，或者有一些自己处理不了的问题", "点击上方开始重装，立即帮您安装一个全新的系统！"]
TILES = ["资料备份", "清理缓存"]
BOTTOM_MENU = ["一键重装系统", "备份系统", "还原系统"]
DATA_WINDOW = "UIBootManager"
MEMORY = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES")  # as Wine reports it
DOWNLOAD_FOLDER = "D:\\DURozazo\\Download"
WORK_FOLDER_SHOWN = "D:\\DURozazo"
FAVORITES = os.path.join(ENV["WINEPREFIX"], "drive_c", "users", pwd.getpwuid(os.getuid()).pw_name,
                         "Favorites")
RECOMMENDATION = "推荐下载Windows 7 64位系统" if MEMORY / MB > 3000 else "推荐下载Windows 7 32位系统"
BACKUP_DATA = "备份资料"
WARNING = "温馨提示：由于本软件将修改开机启动，请退出杀毒软件及安全卫士"  # on page 2


def start_page_texts():
    """The host facts and the reinstall reminder for this machine and prefix."""
    out = wine("reg", "query", r"HKLM\Software\Microsoft\Windows NT\CurrentVersion", "/v",
               "InstallDate").stdout
    installed = int(re.search(r"REG_DWORD\s+0x([0-9a-fA-F]+)", out).group(1), 16)
    days = (int(time.time()) - installed) // 86400
    reminder = (f"您的系统在{days}天前进行重装过哦。" if days < 30 else
                f"已经有{days}天没重装过系统啦。")
    # Wine's prefix says Windows 7; its width is the prefix's (win32 or win64).
    edition = "Windows 7 64位" if WINE_ARCH == "64" else "Windows 7 32位"
    return [f"当前系统：{edition}", f"内存大小：{MEMORY / 2 ** 30:.2f} GB", "系统分区：C:",
            "下载路径：" + DOWNLOAD_FOLDER, reminder, *TIPS]



class ReinstallRoad(ProgramCase):
    KAVI, MSGBOX, URL = build_paths(os.path.abspath(sys.argv[1]))

    def assert_reads(self, expected, window=TITLE):
        """Each expected text is the name of a shown object of the window;
        returns all their names."""
        names = [o.name for o in self.shown_objects(window)]
        self.assertEqual([], [n for n in expected if n not in names], f"not read; read: {names}")
        return names

    def assert_bottom_menu_inert(self):
        """btnmain, btnbacksys and btnrecosys do nothing while busy (under Wine
        the last two would tell a partition error)."""
        for name in BOTTOM_MENU:
            self.press("pushbutton:" + name)
        self.assertEqual("", self.wait_box(2), "no backup or restore while downloading")

    def test_reinstall_road(self):
        # Start to hand-off with keys alone, reading what the user reads.
        _, already = self.stats_events()
        # Slow enough that the download page can be seen at work.
        self.start(json.dumps({IMAGE: {"rate": 200000}}))
        screenshot("page0")
        names = self.assert_reads([CAPTION, *start_page_texts(), START.split(":")[1], *TILES,
                                   *BOTTOM_MENU])
        self.assertNotIn(WARNING, names, "the download page is not read while hidden")
        self.assertEqual(START.split(":")[1], self.focused().name)
        # Its location on the screen: 190,140 into page 0, under the 34-pixel caption bar.
        window = dict(line.split("=", 1) for line in
                      xdotool("getwindowgeometry", "--shell", self.window).split("\n"))
        self.assertEqual((int(window["X"]) + 190, int(window["Y"]) + 174, 192, 192),
                         self.find(START).rect)
        announced = self.watch()
        for _ in range(20):
            self.keys("Return")
            box = self.wait_box(2)
            if not box:
                break
            self.assertEqual(PENDING, box)
            self.keys("Return")
        screenshot("page1")
        objects = self.shown_objects()
        rows = [[name, size_text(size), info] for name, _, info, size, _ in
                DEMO_WIM_IMAGES + DEMO_IMAGES]
        self.assert_reads([RECOMMENDATION, *sum(rows, [])])
        switches = [o for o in objects if o.role == "radiobutton"]
        self.assertEqual(len(rows), len(switches))
        self.assertEqual([1], [i for i, o in enumerate(switches) if "checked" in o.states],
                         "the 64-bit row preselected")
        # The list has the focus, which a screen reader reads as its selected
        # row; the arrows move that selection (not the switch).
        preselected = " ".join(rows[1])
        self.assertEqual(("listitem", preselected), self.focused()[:2])
        self.keys("Down")
        self.assertEqual(" ".join(rows[2]), self.focused().name)
        self.keys("Up")
        self.assertEqual(preselected, self.focused().name)

        # Nobody presses: the countdown on the button runs out and downloads
        # the preselected row.
        for _ in range(60):
            if self.served(IMAGE)[0]:
                break
            time.sleep(0.5)
        self.assertGreater(self.served(IMAGE)[0], 0, "the countdown started the download")
        time.sleep(2)
        screenshot("page2")
        size = os.path.getsize(os.path.join(IMAGES, PRESELECTED)) / MB
        page = self.assert_reads(["正在下载系统文件，请稍候...", WARNING, f"文件大小：{size:.2f}MB",
                                  "下载状态：下载中",
                                  f"保存路径：{DOWNLOAD_FOLDER}\\{PRESELECTED}"])
        for pattern in (r"下载速度：[\d.]+[KM]?B/s", r"已下载：[\d.]+MB", r"剩余时间：.+"):
            self.assertTrue([n for n in page if re.fullmatch(pattern, n)], pattern)
        progress = [o[1:3] for o in self.shown_objects() if o.role == "progressbar"]
        self.assertEqual(1, len(progress))
        self.assertEqual("下载进度", progress[0][0])
        self.assertRegex(progress[0][1], r"^\d+\.\d\d%$")
        self.assertEqual("暂停下载", self.focused().name)

        # Meanwhile a screen reader heard the count, each second, the row
        # focus moving with the arrows, the focus on "暂停下载" and the
        # progress.
        announced = announced()
        # Each change is announced; the reader asks for the name when the
        # announcement reaches it, which on a busy machine may be after the
        # next second's change, so a count can be read twice and the one
        # before it not at all.
        counts = [int(m.group(1)) for change, o in announced if change == "name" for m in
                  [re.fullmatch(r"选择然后下一步 \((\d+)\)", o.name)] if m]
        self.assertGreaterEqual(len(counts), 15, "15 down to 1 at least")
        self.assertEqual(15, counts[0])
        self.assertLessEqual(min(counts), 1)
        self.assertEqual(sorted(counts, reverse=True), counts, "never up again")
        focus = [o.name for change, o in announced if change == "focus"]
        focus = [n for i, n in enumerate(focus) if i == 0 or n != focus[i - 1]]
        self.assertEqual([preselected, " ".join(rows[2]), preselected, "暂停下载"], focus[-4:],
                         focus)
        self.assertTrue([o for change, o in announced if change == "value" and
                         o.name == "下载进度" and re.fullmatch(r"\d+\.\d\d%", o.value)])

        # Pause: once the connections have wound down, no image byte is
        # served; after "继续下载" (now at full speed) the download completes.
        self.keys("space")
        time.sleep(2)
        screenshot("page2-paused")
        self.assert_reads(["继续下载", "下载状态：已暂停"])
        paused = self.served(IMAGE)
        time.sleep(3)
        self.assertEqual(paused, self.served(IMAGE), "nothing served while paused")
        set_rules("{}")
        self.keys("space")

        # Download, MD5, verification, then the hand-off, which Wine cannot
        # complete: no disk layouts there.
        box = self.wait_box(240)
        screenshot("handoff")
        self.assertEqual("错误|读取分区发生错误。", box)
        self.assert_reads(["已校验 100%"])
        self.keys("Return")
        self.assertEqual("", self.wait_box(1), "the box closed")
        time.sleep(1)
        screenshot("after")

        downloaded = os.listdir(DOWNLOAD)
        self.assertIn(PRESELECTED, downloaded)
        self.assertFalse([n for n in downloaded if ".td" in n], "no partial file left")
        self.assertEqual(["1", "2", "4"], self.stats_events(already)[0],
                         "start, download and verified reports")
        # The close button, and Yes (the box's default button) to its question.
        self.tab_to("关闭")
        self.keys("Return")
        self.assertEqual(QUIT, self.wait_box(5))
        self.keys("Return")
        self.program.wait(30)
        self.assertEqual(0, self.program.returncode)

    def test_bottom_menu_tiles_and_second_instance(self):
        self.start()
        # Wine has no disk layouts, so both commands stop at the partition
        # look-up, with their messages, and nothing restarts.
        self.press("pushbutton:备份系统")
        self.expect_box("错误|读取备份分区发生错误。", 1)
        self.press("pushbutton:还原系统")
        self.expect_box("错误|读取还原分区发生错误。", 1)

        # "清理缓存": No changes nothing, Yes always ends with the success text.
        self.press("pushbutton:清理缓存")
        self.expect_box("提示|是否确定删除本软件的缓存文件(包括下载产生的临时文件)", 7)
        self.assertEqual(1, self.msgbox("list")[0], "no further message after No")
        self.press("pushbutton:清理缓存")
        self.expect_box("提示|是否确定删除本软件的缓存文件(包括下载产生的临时文件)", 6)
        self.expect_box("提示|清理缓存成功", 1, seconds=30)

        # "资料备份", with keys alone: the data backup window opens modal over
        # the main window, backs up the Favorites (Wine links Documents and
        # Desktop to the Linux home) and closes with Esc.
        backups = os.path.join(WORK_FOLDER, "DataBackup")
        shutil.rmtree(backups, ignore_errors=True)
        with open(os.path.join(FAVORITES, "kavi.url"), "w") as f:
            f.write("[InternetShortcut]\nURL=http://127.0.0.1/\n")
        self.tab_to("资料备份")
        self.keys("Return")
        for _ in range(20):
            if self.msgbox("window", DATA_WINDOW)[1] == "1|1":
                break
            time.sleep(0.5)
        self.assertEqual("1|0", self.msgbox("window", TITLE)[1], "main window disabled")
        self.assert_reads(["一键备份还原资料", "未备份"], DATA_WINDOW)
        self.assertEqual(("备份位置", WORK_FOLDER_SHOWN), self.find("text:", window=DATA_WINDOW)[1:3],
                         "the edit box's label and text")
        self.tab_to("收藏夹", DATA_WINDOW)
        self.keys("space")
        self.assertIn("checked", self.find("checkbutton:收藏夹", window=DATA_WINDOW).states)
        self.tab_to(BACKUP_DATA, DATA_WINDOW)
        self.keys("Return")
        for _ in range(30):
            if self.find("备份资料完成", window=DATA_WINDOW):
                break
            time.sleep(0.5)
        screenshot("databackup")
        self.assert_reads(["备份资料完成"], DATA_WINDOW)
        self.assertTrue(os.path.exists(os.path.join(backups, "收藏夹", "kavi.url")))
        self.keys("Escape")
        time.sleep(1)
        self.assertEqual(1, self.msgbox("window", DATA_WINDOW)[0], "closed by Esc")
        self.assertEqual("1|1", self.msgbox("window", TITLE)[1], "usable again")

        # A second instance shows the first window and exits with 0.
        second = subprocess.run([WINE, self.KAVI], env=ENV, capture_output=True, timeout=60)
        self.assertEqual(0, second.returncode)
        windows = [w for w in xdotool("search", "--name", TITLE).split("\n") if w]
        self.assertEqual(1, len(windows))
        screenshot("menus")
        self.quit()

    def test_update_offer_countdown_stopped_and_another_row(self):
        # A newer published version, a slow catalogue and a last task that
        # failed: the report comes first, the update question only after it
        # is closed, never both at once.
        os.makedirs(WORK_FOLDER, exist_ok=True)

        def remove_log():
            for name in ("restore.log", "restore.ack"):
                if os.path.exists(os.path.join(WORK_FOLDER, name)):
                    os.remove(os.path.join(WORK_FOLDER, name))
        remove_log()
        self.addCleanup(remove_log)
        with open(os.path.join(WORK_FOLDER, "restore.log"), "w", newline="\r\n") as f:
            f.write("== kavi restore 2026-12-08 03:12:45\nresult: failed no-task: none found\n")
        self.start('{"/kavi/banben.txt": {"body": "9.9.9"},'
                   ' "/kavi/xitong.txt": {"delay": 8}}', settle=0)
        self.assertEqual("错误|上次重启未找到还原任务，系统未作任何更改。", self.wait_box(30))
        time.sleep(3)
        self.assertEqual(1, len(self.msgbox("list")[1].split("\n")), "one box at a time")
        self.answer(1)
        self.expect_box("一键重装有新版本|Kavi一键重装系统有新版本 V 9.9.9 立刻下载？", 7,
                        seconds=30)
        self.press(START)
        self.expect_box(PENDING, 1)
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

        # A mouse click on the switch of the third row, then the button: that
        # row's image is asked for. Its server fails, which the download
        # reports.
        set_rules('{"/images/WIN10_64.WIM": {"status": 404}}')
        self.install()
        self.click_on([o for o in self.shown_objects() if o.role == "radiobutton"][2])
        self.select_and_next()
        self.expect_box("提示|下载文件出错,请检查网络链接后重启软件！", 1, seconds=60)
        self.assertEqual(["/images/WIN10_64.WIM"], self.requested("/images/"))
        # Back on the start page and idle: the close button asks; No keeps
        # the program.
        self.press(CLOSE)
        self.expect_box(QUIT, 7)
        time.sleep(1)
        self.assertIsNone(self.program.poll())
        self.quit()

    def test_unreachable_service(self):
        self.start('{"/kavi/xitong.txt": {"status": 404, "body": "gone"}}')
        self.press(START)
        self.expect_box("警告|链接云引擎失败，请检查网络后重试。", 1)
        self.quit()

    def test_no_second_fixed_drive(self):
        # D: reported as a network drive leaves only the system drive.
        key = r"HKLM\Software\Wine\Drives"
        wine("reg", "add", key, "/v", "d:", "/d", "network", "/f")
        try:
            self.start()
            self.press(START)
            self.expect_box("警告|只有一个分区，无法进行重装操作。", 1)
            self.quit()
        finally:
            wine("reg", "add", key, "/v", "d:", "/d", "hd", "/f")

    def test_hidden_while_downloading_and_tray_quit(self):
        # While a download runs the bottom menu is inert and the close button
        # hides the window, which the tray icon, its menu and a second start
        # bring back; "退出" answered No changes nothing; Alt+F4 ends the
        # program, and the icon goes with it.
        self.start(json.dumps({IMAGE: {"rate": 200000}}))
        tray = xdotool("search", "--onlyvisible", "--name", "Wine System Tray").split("\n")[0]
        self.assertTrue(tray, "Wine shows the notification area as a window")
        self.install()
        self.select_and_next()
        for _ in range(20):
            if self.served(IMAGE)[0]:
                break
            time.sleep(0.5)
        self.assert_bottom_menu_inert()
        self.press(CLOSE)
        self.assertEqual("", self.wait_box(2), "no question while downloading")
        self.assertFalse(self.shown(), "hidden")
        self.tray()
        self.assertTrue(self.shown(), "shown by a click on the tray icon")
        self.press(CLOSE)
        second = subprocess.run([WINE, self.KAVI], env=ENV, capture_output=True, timeout=60)
        self.assertEqual(0, second.returncode)
        self.assertTrue(self.shown(), "shown by a second start")
        self.press(CLOSE)
        self.assertFalse(self.shown())
        self.tray(0)
        self.assertTrue(self.shown(), "shown by \"显示窗口\"")
        self.tray(1)
        self.expect_box(QUIT, 7)
        self.assertIsNone(self.program.poll(), "still running after No")
        self.assert_bottom_menu_inert()
        # Alt+F4 ends the program without a question, also now.
        self.keys("alt+F4")
        self.program.wait(30)
        self.assertEqual(0, self.program.returncode)
        time.sleep(1)
        remaining = xdotool("search", "--onlyvisible", "--name", "Wine System Tray")
        self.assertEqual("", remaining, "the icon went with the program")

    def test_md5_mismatch_then_small_image_then_quit(self):
        # The image path answers with a small file of other bytes.
        self.start('{"/images/WIN7_64.WIM": {"body": "not the image", "repeat": 1000},'
                   ' "/images/WIN7_32.WIM": {"body": "not the image", "repeat": 1000}}')
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
        for name in ("WIN7_32.WIM", PRESELECTED):
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
