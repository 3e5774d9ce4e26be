"""What the end-to-end suites share: the paths, Wine, the message box
helper, the accessibility client (which reads the windows and presses their
controls by name, as a screen reader does), xdotool, screenshots, the
development service host (run in this process, on the port the program is
built with, counting what it serves),
and a test case base class that starts kavi.exe afresh for each case and
ends every Wine process after it.

KAVI_WINE_DIR names another Wine folder than build/wine (as for
scripts/wine); the service host's state then lives in it too, so two trees
built for different ports can be tested side by side. KAVI_WINE_ARCH=64
(set by CTest in the 64-bit tree) runs the 64-bit build in build/wine64.
"""
import collections
import os
import re
import shutil
import subprocess
import sys
import threading
import time
import unittest
import urllib.parse

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools", "devhost"))
import devhost  # noqa: E402

WINE = os.path.join(ROOT, "scripts", "wine")
SHOTS = os.path.join(ROOT, "build", "screenshots")
WINE_ARCH = "64" if os.environ.get("KAVI_WINE_ARCH") == "64" else ""


def wine_dir(dpi=None):
    """The Wine folder scripts/wine uses for this build at `dpi`."""
    return os.path.join(ROOT, "build", f"wine{WINE_ARCH}" + (f"-dpi{dpi}" if dpi else ""))


WINE_DIR = os.environ.get("KAVI_WINE_DIR") or wine_dir()
DRIVE_D = os.path.join(WINE_DIR, "drive_d")
ENV = dict(os.environ, WINEPREFIX=os.path.join(WINE_DIR, "prefix"))
STATE = (os.path.join(WINE_DIR, "devhost") if os.environ.get("KAVI_WINE_DIR")
         else os.path.join(ROOT, "build", "devhost"))
FILES = os.path.join(STATE, "files")
RULES = os.path.join(STATE, "rules.json")
IMAGES = os.path.join(FILES, "images")
WORK_FOLDER = os.path.join(DRIVE_D, "DURozazo")
DOWNLOAD = os.path.join(WORK_FOLDER, "Download")
TITLE = "Kavi一键重装系统"
# Names of the main window's buttons as screen readers read them (text,
# else tooltip).
START = "pushbutton:立即重装"
SELECT_AND_NEXT = "pushbutton:选择然后下一步*"
BACK_TO_START = "pushbutton:一键重装系统"
CLOSE = "pushbutton:关闭"
MB = 1024 * 1024


def build_paths(build):
    """kavi.exe, msgbox.exe (a11y.exe lies beside it) and the service URL of
    a win32 build tree."""
    return (os.path.join(build, "dist", "kavi.exe"),
            os.path.join(build, "tests", "e2e", "msgbox.exe"), service_url(build))


def service_url(build):
    """The service host URL the tree was configured with (KAVI_SERVICE_URL)."""
    try:
        with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as f:
            m = re.search(r"^KAVI_SERVICE_URL:\w+=(\S+)$", f.read(), re.M)
    except OSError:
        m = None
    return m.group(1) if m else "http://127.0.0.1:18080"


def wine(*args, timeout=60):
    return subprocess.run([WINE, *args], capture_output=True, text=True, errors="replace",
                          timeout=timeout, env=ENV)


def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True).stdout.strip()


def screenshot(name):
    os.makedirs(SHOTS, exist_ok=True)
    subprocess.run(["import", "-window", "root", os.path.join(SHOTS, f"e2e-{name}.png")],
                   check=False)


class Accessible(collections.namedtuple("Accessible", "role name value states rect shown")):
    """One object of a window's accessible tree as a11y.exe prints it:
    role and state names, location (x, y, width, height on the screen);
    `shown` is false when it or an object above it is invisible."""


def parse_accessible(output):
    objects, hidden = [], []  # hidden[d]: the object at depth d is not shown
    for line in output.splitlines():
        depth = (len(line) - len(line.lstrip(" "))) // 2
        role, name, value, states, rect = line.lstrip(" ").split("\t")
        states = frozenset(s for s in states.split("+") if s)
        del hidden[depth:]
        shown = "invisible" not in states and not any(hidden)
        hidden.append(not shown)
        objects.append(Accessible(role, name, value, states,
                                  tuple(int(n) for n in rect.split(",")), shown))
    return objects


def set_rules(rules):
    with open(RULES, "w", encoding="utf-8") as f:
        f.write(rules)


class CountingHandler(devhost.Handler):
    """The service host's handler, noting every request and body byte."""

    def answer(self, head):
        self.counted = urllib.parse.unquote(self.path.split("?", 1)[0])
        self.server.note(self.counted, 0)
        super().answer(head)

    def sendfile(self, f, offset, length):
        super().sendfile(f, offset, length)
        self.server.note(self.counted, length, request=False)

    def write_body(self, read, offset, length, rule):
        def counted(off, n):
            data = read(off, n)
            self.server.note(self.counted, len(data), request=False)
            return data
        super().write_body(counted, offset, length, rule)


class CountingHost(devhost.Server):
    def __init__(self, port, state):
        super().__init__(port, state)
        self.RequestHandlerClass = CountingHandler
        self.lock = threading.Lock()
        self.requests = collections.Counter()
        self.bytes = collections.Counter()

    def handle_error(self, request, client_address):
        # A client that hangs up mid-answer (a paused or stopped download) is
        # no error of the host's.
        if not isinstance(sys.exc_info()[1], ConnectionError):
            super().handle_error(request, client_address)

    def note(self, path, count, request=True):
        with self.lock:
            self.requests[path] += request
            self.bytes[path] += count


class ProgramCase(unittest.TestCase):
    """Each case starts kavi.exe afresh; the service host runs for all.
    Subclasses set KAVI and MSGBOX (see build_paths)."""
    KAVI = MSGBOX = URL = None

    @classmethod
    def setUpClass(cls):
        os.makedirs(STATE, exist_ok=True)
        set_rules("{}")
        port = int(urllib.parse.urlsplit(cls.URL).port or 80)
        try:
            cls.host = CountingHost(port, STATE)
        except OSError as e:
            raise RuntimeError(f"the service host could not listen on {cls.URL} ({e}; another "
                               "kavi test or scripts/run holds the port?)") from e
        devhost.prepare_demo(STATE, cls.URL, wim_images=devhost.DEMO_WIM_IMAGES)
        threading.Thread(target=cls.host.serve_forever, args=(0.05,), daemon=True).start()

    @classmethod
    def tearDownClass(cls):
        cls.host.shutdown()
        cls.host.server_close()
        os.remove(RULES)

    def setUp(self):
        shutil.rmtree(DOWNLOAD, ignore_errors=True)
        with self.host.lock:
            self.host.requests.clear()
            self.host.bytes.clear()
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

    def a11y_exe(self):
        return os.path.join(os.path.dirname(self.MSGBOX), "a11y.exe")

    def a11y(self, *args):
        r = wine(self.a11y_exe(), *args)
        return r.returncode, r.stdout

    def shown_objects(self, window=TITLE):
        """The objects of the window's accessible tree that the user sees."""
        code, out = self.a11y("tree", window)
        self.assertEqual(0, code, f"the accessible tree of {window}")
        return [o for o in parse_accessible(out) if o.shown]

    def find(self, *steps, window=TITLE):
        """The first shown object matching the steps ("role:name", "role:" or
        "name", a name ending in "*" by prefix), or None."""
        code, out = self.a11y("find", window, *steps)
        return parse_accessible(out)[0] if code == 0 else None

    def press(self, *steps, window=TITLE):
        """Does the default action of the object the steps find."""
        code, out = self.a11y("press", window, *steps)
        self.assertEqual(0, code, f"{steps} found and pressed in {window} ({out.strip()})")

    def focused(self, window=TITLE):
        """The object with the keyboard focus, or None."""
        code, out = self.a11y("focus", window)
        return parse_accessible(out)[0] if code == 0 else None

    def watch(self, window=TITLE):
        """Starts recording the changes the window announces to screen
        readers; returns a function that ends the recording and gives them as
        (change, Accessible) pairs, change being "focus", "name", "value" or
        "state"."""
        watcher = subprocess.Popen(
            [WINE, self.a11y_exe(), "watch", window, "600"],
            env=ENV, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, errors="replace")
        self.assertEqual("watching", watcher.stdout.readline().strip())

        def changes():
            out, _ = watcher.communicate(timeout=60)
            return [(change, parse_accessible(line)[0])
                    for change, line in (entry.split("\t", 1) for entry in out.splitlines())]
        return changes

    def keys(self, *names):
        """Types keys (xdotool names, "Tab", "shift+Tab", "Return") into the
        window that has the keyboard focus."""
        xdotool("key", "--delay", "150", *names)
        time.sleep(0.5)

    def tab_to(self, name, window=TITLE):
        """Tabs until the control named `name` has the keyboard focus."""
        for _ in range(20):
            focused = self.focused(window)
            if focused and focused.name == name:
                return
            self.keys("Tab")
        self.fail(f"Tab never reached {name!r} in {window}")

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

    def click_on(self, accessible):
        """A mouse click in the middle of an object's screen location."""
        x, y, width, height = accessible.rect
        xdotool("mousemove", str(x + width // 2), str(y + height // 2), "click", "1")

    def answer(self, button):
        """Presses a button of the shown message box; it must close."""
        code, _ = self.msgbox("answer", str(button))
        self.assertEqual(0, code, f"button {button} found and the box closed")
        time.sleep(0.5)

    def expect_box(self, expected, button, seconds=30):
        self.assertEqual(expected, self.wait_box(seconds))
        self.answer(button)

    def shown(self):
        """Whether the main window is visible."""
        return self.msgbox("window", TITLE)[1].startswith("1|")

    def assert_responsive(self, what):
        """The main window answers a message within 5 seconds."""
        code, out = self.msgbox("ping", TITLE)
        self.assertEqual(0, code, f"the window answers while {what} (got {out!r})")

    def install(self):
        """Start page -> system list page, waiting out a pending start-up check.
        After each press it waits for what the press brings, the list page or
        a box, however slowly a loaded machine shows it."""
        for _ in range(20):
            self.press(START)
            until = time.time() + 60
            box = ""
            while not box and time.time() < until:
                if self.find(SELECT_AND_NEXT):
                    return
                code, out = self.msgbox("list")
                box = out.split("\n")[0] if code == 0 and out else ""
            self.assertEqual("提示|正在连接中,请稍候...", box)
            self.answer(1)
            time.sleep(1)

    def select_and_next(self):
        self.press(SELECT_AND_NEXT)

    def back_to_start(self):
        self.press(BACK_TO_START)

    def tray(self, item=None):
        """Left click on the tray icon, or the tray menu's item 0 ("显示窗口")
        or 1 ("退出"). Wine shows the notification area as a window at the top
        left, the icon in its first cell; the menu opens while the right
        button is down and then tracks the left one."""
        xdotool("mousemove", "12", "31")
        time.sleep(0.5)
        if item is None:
            xdotool("click", "1")
        else:
            xdotool("mousedown", "3")
            time.sleep(1)
            xdotool("mouseup", "3")
            time.sleep(0.5)
            xdotool("mousemove", "44", str(42 + 19 * item), "click", "1")
        time.sleep(1)

    def served(self, path):
        """(requests, body bytes) the service host has answered for `path`."""
        with self.host.lock:
            return self.host.requests[path], self.host.bytes[path]

    def requested(self, prefix):
        """The paths starting with `prefix` that the service host was asked for."""
        with self.host.lock:
            return sorted(p for p in self.host.requests if p.startswith(prefix))

    def stats_events(self, since=0):
        """The statistics events ("t=" values) reported after the first
        `since` lines of the statistics log, and that log's length."""
        path = os.path.join(STATE, "stats.log")
        lines = []
        if os.path.exists(path):
            with open(path, encoding="utf-8", errors="replace") as f:
                lines = f.read().splitlines()
        events = [line.split("t=")[1][0] for line in lines[since:] if "t=" in line]
        return events, len(lines)

    def quit(self):
        self.press(CLOSE)
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
