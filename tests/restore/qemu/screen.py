"""The next-boot screen as the machine shows it: QEMU's monitor takes the
screen (screendump) while the agent writes the image and once more when the
machine asks to restart (held paused by -action shutdown=pause), and the
checks compare regions of each picture with the agent's own drawing of the
state the serial log tells (kavi-screen-render): the title, the task and its
steps, and the bar's filled width against the percent.

The moment of the first picture depends on when the harness sees the serial
line, so the checks take the screen as it is: the agent draws before it
writes the line, so the screen shows the serial log's state at the pause or
a later one, and every later state is one the log names."""
import os
import re
import socket
import subprocess
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
# Agent serial lines that start each step, in their order.
STEP_LINES = [("find", "Looking for the task"), ("verify", "Verifying the image file"),
              ("format", "Formatting "), ("write", "Writing the image to "), ("bootfiles", None),
              ("done", None)]
# The serial progress line's word for a step with a percent.
PROGRESS_WORD = {"verify": "verifying", "write": "writing"}
BLUE = (0x2F, 0x80, 0xED)
TOLERANCE = 12  # per channel: a 16 bpp mode drops the low bits


def read_ppm(path):
    data = open(path, "rb").read()
    fields = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
    if not fields:
        raise AssertionError("%s is no 8-bit PPM" % path)
    width, height = int(fields.group(1)), int(fields.group(2))
    return width, height, data[fields.end():]


class Picture:
    def __init__(self, path):
        self.path = path
        self.width, self.height, self.rgb = read_ppm(path)

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])


def region_differs(a, b, rect):
    """How many pixels of RECT differ by more than the tolerance."""
    x, y, w, h = rect
    bad = 0
    for row in range(y, y + h):
        start = (row * a.width + x) * 3
        ra, rb = a.rgb[start:start + w * 3], b.rgb[start:start + w * 3]
        if ra == rb:
            continue
        for i in range(0, w * 3, 3):
            if max(abs(ra[i + k] - rb[i + k]) for k in range(3)) > TOLERANCE:
                bad += 1
    return bad


def near(colour, want):
    return max(abs(c - w) for c, w in zip(colour, want)) <= TOLERANCE


class ScreenWatch:
    """Runs one boot with QEMU's monitor on a socket and takes the screen."""

    def __init__(self, scenario, render, task, name):
        self.s, self.render, self.task, self.name = scenario, render, task, name
        self.serial_all = ""
        self.pictures = []  # (label, Picture, serial text at the moment)

    def run(self, cmd, log):
        sock = self.s.path("monitor.sock")
        i = cmd.index("-monitor")
        cmd = cmd[:i + 1] + ["unix:%s,server=on,wait=off" % sock] + cmd[i + 2:]
        cmd += ["-action", "shutdown=pause"]
        proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
        monitor = None
        mid_taken = False
        try:
            while proc.poll() is None:
                time.sleep(0.1)
                if monitor is None:
                    monitor = self._connect(sock)
                    continue
                text = self._serial(log)
                if not mid_taken and re.search(r"writing +[1-9]\d?%", text):
                    mid_taken = True
                    self._take(monitor, log, "writing")
                if "paused (shutdown)" in self._command(monitor, "info status"):
                    self._take(monitor, log, "end", resume=False)
                    self._command(monitor, "quit", wait=False)
                    break
            return proc.wait()
        finally:
            if monitor:
                monitor.close()
            if proc.poll() is None:
                proc.kill()
                proc.wait()

    @staticmethod
    def _serial(log):
        return open(log, "rb").read().decode("utf-8", "replace") if os.path.exists(log) else ""

    @staticmethod
    def _connect(path):
        if not os.path.exists(path):
            return None
        monitor = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            monitor.connect(path)
        except OSError:
            monitor.close()
            return None
        ScreenWatch._until_prompt(monitor)
        return monitor

    @staticmethod
    def _until_prompt(monitor):
        got = b""
        while not got.endswith(b"(qemu) "):
            chunk = monitor.recv(4096)
            if not chunk:
                break
            got += chunk
        return got.decode("utf-8", "replace")

    @staticmethod
    def _command(monitor, line, wait=True):
        monitor.sendall(line.encode() + b"\n")
        return ScreenWatch._until_prompt(monitor) if wait else ""

    def _take(self, monitor, log, label, resume=True):
        self._command(monitor, "stop")
        path = self.s.path("screen-%d-%s.ppm" % (self.s.boots, label))
        self._command(monitor, "screendump " + path)
        serial = self._serial(log)
        if resume:
            self._command(monitor, "cont")
        self.pictures.append((label, Picture(path), serial))

    # -- checks -----------------------------------------------------------

    def expected(self, picture, **state):
        path = self.s.path("expected-%d.ppm" % len(os.listdir(self.s.dir)))
        args = [self.render, str(picture.width), str(picture.height), path]
        args += ["%s=%s" % kv for kv in state.items()]
        out = subprocess.run(args, stdout=subprocess.PIPE, check=True).stdout.decode()
        rects = {}
        for line in out.splitlines():
            name, *numbers = line.split()
            rects[name] = tuple(int(n) for n in numbers)
        return Picture(path), rects

    def check(self, serial_all):
        """Checks every picture taken; SERIAL_ALL is the boot's whole serial log."""
        self.serial_all = serial_all
        check(self.pictures and self.pictures[-1][0] == "end",
              "the screen was not taken when the machine restarted")
        for label, picture, serial in self.pictures:
            check(picture.width >= 1024 and picture.height >= 768,
                  "the %s screen is %dx%d, not graphics of 1024x768 or more" %
                  (label, picture.width, picture.height))
            step = self._step(picture, serial)
            print("  %s: %s screen %dx%d shows step %s%s" % (
                self.s.name, label, picture.width, picture.height, step[0],
                ", bar at %d%%" % step[1] if step[1] is not None else ""), flush=True)
            if label == "end":
                check(step[0] == "done", "the last screen does not say 完成，即将重启")
        self._save()

    def _step(self, picture, serial):
        """The step and percent the screen shows: the serial log's step at
        the moment or a later one, with the bar of a percent the log names
        for that step. Returns (step, percent or None)."""
        at = 0
        for i, (name, line) in enumerate(STEP_LINES):
            if line and line in serial:
                at = i
        if "KAVI-AGENT RESULT: ok" in serial:
            at = len(STEP_LINES) - 1
        common = {"task": self.task, "name": self.name}
        for name, _ in STEP_LINES[at:]:
            want, rects = self.expected(picture, step=name, **common)
            for part in ("title", "task", "steps", "warning", "name"):
                if region_differs(picture, want, rects[part]) > 0:
                    break
            else:
                return name, self._bar(picture, rects, name, serial)
        raise AssertionError("the screen (%s) shows none of the steps from %s on; serial at the "
                             "moment ends with %r" % (picture.path, STEP_LINES[at][0], serial[-300:]))

    def _bar(self, picture, rects, step, serial):
        x, y, w, h = rects["bar"]
        row = y + h // 2
        fill = 0
        while fill < w and near(picture.pixel(x + fill, row), BLUE):
            fill += 1
        percents = []
        if step == "done":
            percents = [100]
        elif step in PROGRESS_WORD:
            pattern = r"%s +(\d+)%%" % PROGRESS_WORD[step]
            every = re.findall(pattern, self.serial_all)
            shown = re.findall(pattern, serial)
            # From the last percent at the moment on: the screen may be ahead.
            percents = [int(p) for p in every[max(0, len(shown) - 1):]]
        if not percents:
            check(fill == 0, "a bar is drawn before the step has a percent")
            return None
        best = min(percents, key=lambda p: abs(fill - w * p // 100))
        check(abs(fill - w * best // 100) <= 3,
              "the bar is filled %d of %d pixels; the serial log shows %s%% for this moment" %
              (fill, w, percents))
        return best

    def _save(self):
        """The moment of writing (else the end), for the README."""
        label, picture, _ = next((p for p in self.pictures if p[0] == "writing"), self.pictures[-1])
        out = os.path.join(ROOT, "build", "screenshots")
        os.makedirs(out, exist_ok=True)
        subprocess.run(["convert", picture.path, os.path.join(out, "next-boot-%s.png" % self.s.road.name)],
                       check=False)


def check(condition, message):
    if not condition:
        raise AssertionError(message)
