"""What the end-to-end suites share: the paths, Wine, the message box
helper, xdotool, screenshots, the development service host on the
program's built-in port 127.0.0.1:18080, and a test case base class that
starts kavi.exe afresh for each case and ends every Wine process after it.
"""
import os
import shutil
import subprocess
import sys
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE = os.path.join(ROOT, "scripts", "wine")
SHOTS = os.path.join(ROOT, "build", "screenshots")
DRIVE_D = os.path.join(ROOT, "build", "wine", "drive_d")
ENV = dict(os.environ, WINEPREFIX=os.path.join(ROOT, "build", "wine", "prefix"))
STATE = os.path.join(ROOT, "build", "devhost")
FILES = os.path.join(STATE, "files")
RULES = os.path.join(STATE, "rules.json")
IMAGES = os.path.join(FILES, "images")
WORK_FOLDER = os.path.join(DRIVE_D, "DURozazo")
DOWNLOAD = os.path.join(WORK_FOLDER, "Download")
TITLE = "Kavi一键重装系统"


def build_paths(build):
    """kavi.exe and msgbox.exe of a win32 build tree."""
    return (os.path.join(build, "dist", "kavi.exe"),
            os.path.join(build, "tests", "e2e", "msgbox.exe"))


def wine(*args, timeout=60):
    return subprocess.run([WINE, *args], capture_output=True, text=True, errors="replace",
                          timeout=timeout, env=ENV)


def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True).stdout.strip()


def screenshot(name):
    os.makedirs(SHOTS, exist_ok=True)
    subprocess.run(["import", "-window", "root", os.path.join(SHOTS, f"e2e-{name}.png")],
                   check=False)


def set_rules(rules):
    with open(RULES, "w", encoding="utf-8") as f:
        f.write(rules)


class ProgramCase(unittest.TestCase):
    """Each case starts kavi.exe afresh; the service host runs for all.
    Subclasses set KAVI and MSGBOX (see build_paths)."""
    KAVI = MSGBOX = None

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
        self.quit_asked = False

    def tearDown(self):
        if self.program and self.program.poll() is None:
            self.program.kill()
        subprocess.run(["wineserver", "-k"], env=ENV, check=False)
        time.sleep(1)

    def msgbox(self, *args, timeout=60):
        r = wine(self.MSGBOX, *args, timeout=timeout)
        return r.returncode, r.stdout.strip()

    def wait_box(self, seconds):
        """The first message box shown within `seconds`, as "caption|text"; ''."""
        until = time.time() + seconds
        while time.time() < until:
            code, out = self.msgbox("list")
            if code == 0 and out:
                return out.split("\n")[0]
            time.sleep(0.5)
        return ""

    def start(self, rules="{}", settle=3):
        set_rules(rules)
        self.program = subprocess.Popen([WINE, self.KAVI], env=ENV, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        self.window = ""
        for _ in range(120):
            self.window = xdotool("search", "--onlyvisible", "--name", TITLE).split("\n")[0]
            if self.window:
                break
            time.sleep(0.5)
        self.assertTrue(self.window, "the main window appeared")
        time.sleep(settle)

    def click(self, x, y):
        xdotool("mousemove", "--window", self.window, str(x), str(y), "click", "1")

    def expect_box(self, expected, answer, seconds=10):
        self.assertEqual(expected, self.wait_box(seconds))
        self.msgbox("answer", str(answer))
        time.sleep(0.5)

    def assert_responsive(self, what):
        """The main window answers a message within 5 seconds."""
        code, out = self.msgbox("ping", TITLE)
        self.assertEqual(0, code, f"the window answers while {what} (got {out!r})")

    def install(self):
        """Start page -> system list page, waiting out a pending start-up check."""
        for _ in range(20):
            self.click(286, 270)  # btninstall, 192 x 192 at 190,140 of page 0
            box = self.wait_box(2)
            if not box:
                return
            self.assertEqual("提示|正在连接中,请稍候...", box)
            self.msgbox("answer", "1")
            time.sleep(1)

    def select_and_next(self):
        self.click(290, 540)  # btnselectandnext

    def back_to_start(self):
        self.click(111, 618)  # btnmain

    def quit(self):
        self.click(875, 17)  # btnclose, the last 50 pixels of the caption bar
        self.expect_box("提示|是否确定退出软件？", 6)
        self.quit_asked = True
        self.program.wait(30)
        self.assertEqual(0, self.program.returncode)


def load_cases(case_class):
    """The class's cases, or only those named in KAVI_E2E_CASES
    (comma-separated test method names) when it is set."""
    names = [n for n in os.environ.get("KAVI_E2E_CASES", "").split(",") if n]
    loader = unittest.defaultTestLoader
    if not names:
        return loader.loadTestsFromTestCase(case_class)
    return unittest.TestSuite(case_class(n) for n in names)
