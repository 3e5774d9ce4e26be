#!/usr/bin/env python3
"""kavi.exe at 96 and at 144 DPI (Wine's LogPixels; 144 runs in the prefix
build/wine-dpi144, see scripts/wine), on a virtual display of its own that
is large enough for the scaled window.

The same road at both: start page, a drag by the caption band, the
"资料备份" tile opening the data backup window, the system list, the
download page, each clicked at the skin's positions times the scale, so a
click lands on its control only when the window divides mouse points back. The windows' sizes are the skin's
times the scale. Screenshots of both windows go to
build/screenshots/e2e-dpi{96,144}-*.png, cut around the window.

Usage: high_dpi_e2e.py BUILD_DIR --xml REPORT
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


def own_display(size="1920x1200"):
    """Starts Xvfb on a free display (the suites' usual 1280 x 800 cannot
    hold a 1350 x 956 window) and points DISPLAY at it for this process."""
    n = 120
    while os.path.exists(f"/tmp/.X11-unix/X{n}") or os.path.exists(f"/tmp/.X{n}-lock"):
        n += 1
    server = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", f"{size}x24", "-nolisten", "tcp"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        if os.path.exists(f"/tmp/.X11-unix/X{n}"):
            break
        time.sleep(0.1)
    os.environ["DISPLAY"] = f":{n}"
    return server


XVFB = own_display()
import unittest_report  # noqa: E402
from kavi_session import (ENV, SHOTS, TITLE, ProgramCase, build_paths,  # noqa: E402
                          load_cases, wine_dir, xdotool)

REPORT = sys.argv[sys.argv.index("--xml") + 1]
DEFAULT_PREFIX = ENV["WINEPREFIX"]
BACKUP = "UIBootManager"


class HighDpi(ProgramCase):
    KAVI, MSGBOX, URL = build_paths(os.path.abspath(sys.argv[1]))
    dpi = 96

    def use_dpi(self, dpi):
        """Runs this case's Wine programs at `dpi` (ENV is shared with
        kavi_session's helpers, so it is changed in place until the case
        ends)."""
        self.dpi = dpi
        if dpi != 96:
            ENV["KAVI_WINE_DPI"] = str(dpi)
            ENV["WINEPREFIX"] = os.path.join(wine_dir(dpi), "prefix")
            self.addCleanup(ENV.update, WINEPREFIX=DEFAULT_PREFIX)
            self.addCleanup(ENV.pop, "KAVI_WINE_DPI")
        shutil.rmtree(os.path.join(ENV["WINEPREFIX"], "..", "drive_d", "DURozazo", "Download"),
                      ignore_errors=True)

    def px(self, x):
        """Skin units in pixels, rounded half up (637 -> 956 at 144 DPI)."""
        return (x * self.dpi + 48) // 96

    def click(self, x, y):
        """Clicks at a point given in the skin's units."""
        super().click(self.px(x), self.px(y))

    def geometry(self, window):
        g = dict(line.split("=", 1) for line in
                 xdotool("getwindowgeometry", "--shell", window).split("\n") if "=" in line)
        return int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])

    def shoot(self, name, window):
        """The screen around `window`, with room for its shadow."""
        x, y, w, h = self.geometry(window)
        m = 12
        os.makedirs(SHOTS, exist_ok=True)
        subprocess.run(["import", "-window", "root", "-crop", f"{w + 2 * m}x{h + 2 * m}"
                        f"+{x - m}+{y - m}", "+repage",
                        os.path.join(SHOTS, f"e2e-dpi{self.dpi}-{name}.png")], check=False)

    def road(self):
        self.start(json.dumps({"/images/WIN7_64.WIM": {"rate": 100000}}))
        xdotool("mousemove", "1900", "1180")  # nothing hovered
        time.sleep(1)
        self.assertEqual((self.px(900), self.px(637)), self.geometry(self.window)[2:])
        self.shoot("page0", self.window)

        # Dragged by the caption band (the skin's top 34 units), near its bottom.
        x, y = self.geometry(self.window)[:2]
        xdotool("mousemove", "--window", self.window, str(self.px(450)), str(self.px(30)),
                "mousedown", "1")
        for _ in range(2):
            time.sleep(0.3)
            xdotool("mousemove_relative", "20", "10")
        time.sleep(0.3)
        xdotool("mouseup", "1")
        time.sleep(1)
        self.assertEqual((x + 40, y + 20), self.geometry(self.window)[:2], "dragged")

        # The "资料备份" tile, 622,288 in the skin.
        self.click(622, 288)
        backup = ""
        for _ in range(20):
            backup = xdotool("search", "--onlyvisible", "--name", BACKUP).split("\n")[0]
            if backup:
                break
            time.sleep(0.5)
        self.assertTrue(backup, "the tile's click opened the data backup window")
        self.assertEqual((self.px(404), self.px(426)), self.geometry(backup)[2:])
        xdotool("mousemove", "1900", "1180")
        time.sleep(1)
        self.shoot("databackup", backup)
        self.msgbox("close", BACKUP)
        time.sleep(1)

        self.install()
        xdotool("mousemove", "1900", "1180")
        time.sleep(1)
        self.shoot("page1", self.window)
        self.select_and_next()
        time.sleep(3)
        self.shoot("page2", self.window)
        # The window's own close button hides it while a download runs.
        self.click(875, 17)
        time.sleep(1)
        self.assertFalse(self.shown(), "btnclose hid the window")

    def test_at_96_dpi(self):
        self.use_dpi(96)
        self.road()

    def test_at_144_dpi(self):
        self.use_dpi(144)
        self.road()


if __name__ == "__main__":
    try:
        status = unittest_report.run(load_cases(HighDpi), REPORT, "high_dpi_e2e")
    finally:
        XVFB.terminate()
    sys.exit(status)
