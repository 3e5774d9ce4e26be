"""The next-boot screen as the machine shows it: QEMU's monitor takes the
screen (screendump) while the agent writes the image and once more when the
machine asks to restart (held paused by -action shutdown=pause). Each
picture is compared with the agent's own drawing (kavi-screen-render) of the
states the serial log tells, in the order the agent draws them: the title,
the task, its steps, the name, the percent, speed and time left; and the
bar's filled width is measured against the percent.

The harness cannot choose the moment it stops the machine, so the checks
take the screen as it is: one of the states from the serial log's position
at the pause on (the agent draws a percent before it writes its line, a step
just after its line), or one being drawn over the state before it (rows of
each; the framebuffer has no second page to swap)."""
import os
import re
import socket
import subprocess
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
# The agent's serial lines that start a step or tell its progress.
STEP_LINE = re.compile(r"(Looking for the task|Verifying the image file|Formatting |"
                       r"Writing the image to )|(verifying|writing) +(\d+)%(?: +([\d.]+) MB/s)?"
                       r"(?: +(\d+):(\d+) left)?")
STEP_OF = {"Looking for the task": "find", "Verifying the image file": "verify",
           "Formatting ": "format", "Writing the image to ": "write"}
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


def row_matches(a, b, y, x=0, w=None, old=None):
    """Whether row Y of picture A is B's (or, pixel by pixel, B's or OLD's)."""
    w = a.width - x if w is None else w
    start = (y * a.width + x) * 3
    ra, rb = a.rgb[start:start + w * 3], b.rgb[start:start + w * 3]
    if ra == rb:
        return True
    ro = old.rgb[start:start + w * 3] if old else rb
    for i in range(0, w * 3, 3):
        if all(max(abs(ra[i + k] - r[i + k]) for k in range(3)) > TOLERANCE for r in (rb, ro)):
            return False
    return True


def region_differs(a, b, rect):
    """Whether a row of RECT differs by more than the tolerance."""
    x, y, w, h = rect
    return any(not row_matches(a, b, row, x, w) for row in range(y, y + h))


def drawn_states(serial, task, name):
    """The screen states the agent draws, in order, as far as SERIAL tells."""
    states = [{}, {"task": task, "name": name, "step": "find"}]
    for m in STEP_LINE.finditer(serial):
        base = {"task": task, "name": name, "step": STEP_OF.get(m.group(1), states[-1].get("step"))}
        if m.group(1):
            states.append(base)
            continue
        state = dict(base, percent=int(m.group(3)))
        if m.group(4):
            state["rate"] = m.group(4)
        if m.group(5):
            state["left"] = int(m.group(5)) * 60 + int(m.group(6))
        states.append(state)
    if "KAVI-AGENT RESULT: ok" in serial:
        states.append({"task": task, "name": name, "step": "bootfiles"})
        states.append({"task": task, "name": name, "step": "done", "percent": 100})
    return states


def near(colour, want):
    return max(abs(c - w) for c, w in zip(colour, want)) <= TOLERANCE


class ScreenWatch:
    """Runs one boot with QEMU's monitor on a socket and takes the screen."""

    def __init__(self, scenario, render, task, name):
        self.s, self.render, self.task, self.name = scenario, render, task, name
        self.renders = {}
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
                if not mid_taken and re.search(r"writing +[2-9]\d%", text):
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
        key = (picture.width, picture.height, tuple(sorted(state.items())))
        if key not in self.renders:
            path = self.s.path("expected-%d.ppm" % len(self.renders))
            args = [self.render, str(picture.width), str(picture.height), path]
            args += ["%s=%s" % kv for kv in sorted(state.items())]
            out = subprocess.run(args, stdout=subprocess.PIPE, check=True).stdout.decode()
            rects = {}
            for line in out.splitlines():
                part, *numbers = line.split()
                rects[part] = tuple(int(n) for n in numbers)
            self.renders[key] = (Picture(path), rects)
        return self.renders[key]

    def check(self, serial_all):
        """Checks every picture taken; SERIAL_ALL is the boot's whole serial log."""
        check(self.pictures and self.pictures[-1][0] == "end",
              "the screen was not taken when the machine restarted")
        every = drawn_states(serial_all, self.task, self.name)
        for label, picture, serial in self.pictures:
            check(picture.width >= 1024 and picture.height >= 768,
                  "the %s screen is %dx%d, not graphics of 1024x768 or more" %
                  (label, picture.width, picture.height))
            state, fill = self._match(picture, every, len(drawn_states(serial, self.task, self.name)))
            print("  %s: %s screen %dx%d shows step %s, bar %s" % (
                self.s.name, label, picture.width, picture.height, state.get("step"),
                "%d px for %s%%" % (fill, state["percent"]) if "percent" in state else "none"),
                flush=True)
            if label == "end":
                check(state.get("step") == "done", "the last screen does not say 完成，即将重启")
        self._save()

    def _match(self, picture, every, known):
        """The state PICTURE shows (whole, or drawn over the one before),
        from the serial position of the moment on; and the bar's blue width,
        which must be the percent's share of the bar within 3 pixels."""
        for i in range(max(0, known - 2), len(every)):
            new, rects = self.expected(picture, **every[i])
            old = self.expected(picture, **every[i - 1])[0] if i > 0 else None
            if not all(row_matches(picture, new, y, old=old) for y in range(picture.height)):
                continue
            fill = self._fill(picture, rects["bar"])
            shares = [rects["bar"][2] * s.get("percent", 0) // 100 for s in (every[i], every[i - 1])
                      if "percent" in s]
            if "percent" in every[i]:
                check(min(shares) - 3 <= fill <= max(shares) + 3,
                      "the bar is filled %d of %d pixels; the serial log shows %d%% (%s)" %
                      (fill, rects["bar"][2], every[i]["percent"], picture.path))
            return every[i], fill
        raise AssertionError("the screen (%s) is none of the states the serial log tells from "
                             "%s on" % (picture.path, every[max(0, known - 2)]))

    @staticmethod
    def _fill(picture, bar):
        x, y, w, h = bar
        fill = 0
        while fill < w and near(picture.pixel(x + fill, y + h // 2), BLUE):
            fill += 1
        return fill

    def check_failure(self, code):
        """The last screen gives the failure's reason, as the agent words it."""
        check(self.pictures and self.pictures[-1][0] == "end",
              "the screen was not taken when the machine restarted")
        picture = self.pictures[-1][1]
        # The countdown's last second.
        want, _ = self.expected(picture, task=self.task, failed=code, restart=1)
        check(not region_differs(picture, want, (0, 0, picture.width, picture.height)),
              "the failure screen is not as drawn for %s, 1 second before the restart (%s)" %
              (code, picture.path))
        print("  %s: end screen %dx%d gives the reason for %s" %
              (self.s.name, picture.width, picture.height, code), flush=True)

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
