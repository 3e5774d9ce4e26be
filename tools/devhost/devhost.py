#!/usr/bin/env python3
"""The development service host: a small HTTP/1.1 server on 127.0.0.1 that
plays the program's service host for development, tests and scripts/run.

It serves files from STATE/files ("/kavi/xitong.txt", the version files,
images, installers), answers the statistics script "/kavi/kavitj.php" and
appends every statistics request, exactly as received, to STATE/stats.log.

Faults are injected per path, from --fault PATH:key=value,... on the command
line or from STATE/rules.json ({"PATH": {key: value}}), which is re-read on
every request so a running test can change it. Keys:
  status       answer with this status (and "body", default empty)
  body         answer with this text instead of the file
  encoding     how "body" becomes bytes (default utf-8; e.g. cp936)
  repeat       send "body" this many times over (large answers)
  close_after  close the connection after this many body bytes
  delay        seconds to wait before answering
  rate         bytes per second per connection
  ignore_range answer a Range request with 200 and the whole body
  file         serve this path (under STATE/files) instead of the asked one
  endless      send "body" (default "x") over and over, without a length,
               until the client goes away
  stall_after  after this many body bytes, send nothing more (the
               connection stays open until the client gives up)
  redirect     answer 302 with this Location (a path is taken on this host)

Every request's path goes to STATE/requests.log, one line each, so a test
can count what a client asked for.

Commands:
  serve [--port N] [--state DIR] [--demo] [--fault ...] [--ready-file F]
      Runs until SIGTERM/SIGINT. Port 0 picks a free port; the chosen URL is
      printed as "devhost: listening on http://127.0.0.1:PORT".
  run --state DIR [--fault ...] -- CMD ARGS...
      Starts a fresh instance on a free port, runs CMD with KAVI_DEVHOST_URL
      (http://127.0.0.1:PORT), KAVI_DEVHOST_DIR (the state folder) and
      KAVI_DEVHOST_WINDIR (the same folder as Wine's Z: path) in its
      environment, stops the host and exits with CMD's status. The tests use
      this, so every test executable talks to an instance of its own. It
      serves the demo catalogue with small images (64 KiB and a little).
      A second listener serves the same files over TLS with a certificate
      of its own that no client trusts, named in KAVI_DEVHOST_UNTRUSTED_URL
      (https://127.0.0.1:PORT; absent when openssl is not there to make
      the certificate).
  checkcode FILE
      Prints the MD5 text and a check code of FILE.

--demo prepares the demo catalogue: three real WIM files of a little over
100 MB each (captured with wimlib-imagex from generated trees of
incompressible data), which the default build writes, and after them three
deterministic Ghost-named images of about the same size, which only a build
carrying the DOS floppy can take; generated on first use into
STATE/files/images (kept for later runs, never committed), and the catalogue
text in code page 936 with their names, sizes, MD5 texts and check codes. The
WIM rows come first, so the rows the system list preselects by memory (0 for
32-bit, 1 for 64-bit) are images the default build writes.
"""
import argparse
import base64
import hashlib
import http.server
import json
import os
import random
import re
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

PROGRAM_VERSION = "7.8.12"
STATS_PATH = "/kavi/kavitj.php"
DEFAULT_TOKEN = "KVT-0001"
REPO_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEFAULT_STATE = os.path.join(REPO_ROOT, "build", "devhost")

MIB = 1024 * 1024
# name, file name, info text, size in bytes, seed. Random bytes under Ghost
# names: the program downloads and verifies them, and only a build carrying
# the DOS floppy would take one over, so the demo catalogue lists them last.
DEMO_IMAGES = [
    ("Windows 7 旗舰版 32位（演示镜像）", "WIN7_32.GHO",
     "演示用GHO镜像：Windows 7 SP1 旗舰版 32位，需要带Ghost启动文件的版本", 105 * MIB + 777, 1),
    ("Windows 7 旗舰版 64位（演示镜像）", "WIN7_64.GHO",
     "演示用GHO镜像：Windows 7 SP1 旗舰版 64位，需要带Ghost启动文件的版本", 110 * MIB + 12345,
     2),
    ("Windows 10 专业版 64位（演示镜像）", "WIN10_64.GHO",
     "演示用GHO镜像：Windows 10 专业版 64位，需要带Ghost启动文件的版本", 120 * MIB + 1, 3),
]
GENERATOR_VERSION = 1
# name, file name, info text, bytes of file data in the captured tree, seed.
# Real WIM files, which the restore environment loads; stored uncompressed,
# so the file is a little larger than its data and generation stays fast.
# Position 0 is the 32-bit and position 1 the 64-bit Windows 7 image, the
# rows the system list preselects by memory.
DEMO_WIM_IMAGES = [
    ("Windows 7 旗舰版 32位 WIM（演示镜像）", "WIN7_32.WIM",
     "演示用WIM镜像：Windows 7 SP1 旗舰版 32位，适合 3G 以下内存，由还原环境写入", 101 * MIB, 13),
    ("Windows 7 旗舰版 64位 WIM（演示镜像）", "WIN7_64.WIM",
     "演示用WIM镜像：Windows 7 SP1 旗舰版 64位，适合 4G 以上内存，由还原环境写入", 102 * MIB, 12),
    ("Windows 10 专业版 64位 WIM（演示镜像）", "WIN10_64.WIM",
     "演示用WIM镜像：Windows 10 专业版 64位，由还原环境写入", 104 * MIB, 11),
]
WIM_GENERATOR_VERSION = 1


# ---------------------------------------------------------------- check code

def check_block(md5_hex, seed):
    """The 272-byte check block for an MD5 text: a 256-byte table whose first
    32 bytes are positions p0..p31 into it, the i-th MD5 digit stored at p(i),
    followed by the MD5 of the table. Deterministic for a seed."""
    digits = md5_hex.lower().encode("ascii")
    if len(digits) != 32 or not re.fullmatch(rb"[0-9a-f]{32}", digits):
        raise ValueError("MD5 text must be 32 hexadecimal digits")
    rng = random.Random(seed)
    table = bytearray(rng.randbytes(256))
    positions = rng.sample(range(32, 256), 32)
    table[0:32] = bytes(positions)
    for i, p in enumerate(positions):
        table[p] = digits[i]
    return bytes(table) + hashlib.md5(table).digest()


def check_code(md5_hex, seed):
    return base64.b64encode(check_block(md5_hex, seed)).decode("ascii")


def file_md5(path):
    h = hashlib.md5()
    with open(path, "rb") as f:
        while chunk := f.read(4 * MIB):
            h.update(chunk)
    return h.hexdigest()


# ---------------------------------------------------------------- demo data

def generate_image(path, size, seed):
    """Writes `size` deterministic bytes and returns their MD5 text."""
    h = hashlib.md5()
    tmp = path + ".part"
    with open(tmp, "wb") as f:
        written, block = 0, 0
        while written < size:
            n = min(4 * MIB, size - written)
            data = random.Random(seed * 1000003 + block).randbytes(n)
            f.write(data)
            h.update(data)
            written += n
            block += 1
    os.replace(tmp, path)
    return h.hexdigest()


def generate_wim(path, data_size, seed):
    """Captures a generated tree holding `data_size` bytes of incompressible
    file data into a WIM at `path`; returns the file's MD5 text."""
    tree = path + ".tree"
    tmp = path + ".part"
    shutil.rmtree(tree, ignore_errors=True)
    system32 = os.path.join(tree, "Windows", "System32")
    os.makedirs(system32)
    os.makedirs(os.path.join(tree, "Users", "Public", "桌面"))
    with open(os.path.join(tree, "Windows", "win.ini"), "wb") as f:
        f.write(b"; for 16-bit app support\r\n[fonts]\r\n[extensions]\r\n")
    with open(os.path.join(tree, "Users", "Public", "桌面", "说明.txt"), "wb") as f:
        f.write("Kavi 演示镜像\r\n".encode("utf-8"))
    written, block = 0, 0
    while written < data_size:
        n = min(8 * MIB, data_size - written)
        with open(os.path.join(system32, f"demo{block:03d}.dll"), "wb") as f:
            f.write(random.Random(seed * 1000003 + block).randbytes(n))
        written += n
        block += 1
    try:
        subprocess.run(["wimlib-imagex", "capture", tree, tmp, "Kavi demo", "--compress=none"],
                       check=True, stdout=subprocess.DEVNULL)
    finally:
        shutil.rmtree(tree, ignore_errors=True)
    os.replace(tmp, path)
    return file_md5(path)


def size_text(size):
    return f"{size / MIB:.0f}MB"


def prepare_demo(state, base_url, images=DEMO_IMAGES, log=print, wim_images=()):
    """Generates missing images (kept between runs) and writes the catalogue
    and version files for `base_url`. `images` are raw deterministic files,
    `wim_images` WIM files captured with wimlib-imagex; the catalogue lists
    the WIM files first."""
    files = os.path.join(state, "files")
    image_dir = os.path.join(files, "images")
    os.makedirs(image_dir, exist_ok=True)
    manifest_path = os.path.join(state, "demo.json")
    try:
        with open(manifest_path, encoding="utf-8") as f:
            manifest = json.load(f)
    except (OSError, ValueError):
        manifest = {}
    records = []
    kinds = [(image, "wim") for image in wim_images] + [(image, "raw") for image in images]
    for (name, file_name, info, size, seed), kind in kinds:
        path = os.path.join(image_dir, file_name)
        version = GENERATOR_VERSION if kind == "raw" else WIM_GENERATOR_VERSION
        known = manifest.get(file_name, {})
        if not (known.get("version") == version and known.get("kind", "raw") == kind
                and known.get("size") == size and known.get("seed") == seed
                and os.path.exists(path)
                and os.path.getsize(path) == known.get("file_size", size)):
            how = " in a WIM" if kind == "wim" else ""
            log(f"devhost: generating {file_name} ({size} bytes{how})")
            if kind == "raw":
                md5 = generate_image(path, size, seed)
            else:
                md5 = generate_wim(path, size, seed)
            known = {"version": version, "kind": kind, "size": size, "seed": seed, "md5": md5,
                     "file_size": os.path.getsize(path)}
            manifest[file_name] = known
            with open(manifest_path, "w", encoding="utf-8") as f:
                json.dump(manifest, f, indent=1)
        md5 = known["md5"]
        fields = [name, f"{base_url}/images/{file_name}", file_name, info,
                  size_text(known.get("file_size", size)), md5, check_code(md5, seed)]
        records.append("<line>" + "|".join(fields) + "|</line>")
    kavi = os.path.join(files, "kavi")
    os.makedirs(kavi, exist_ok=True)
    catalogue = "Kavi 系统镜像列表（开发服务）\r\n" + "\r\n".join(records) + "\r\n"
    write_file(os.path.join(kavi, "xitong.txt"), catalogue.encode("cp936"))
    write_file(os.path.join(kavi, "banben.txt"), (PROGRAM_VERSION + "\r\n").encode("ascii"))
    write_file(os.path.join(kavi, "anzhuangbao.txt"),
               f"{base_url}/files/sysupdate.exe".encode("ascii"))
    write_file(os.path.join(kavi, "feedback.html"),
               "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Kavi 意见反馈"
               "</title></head><body><h1>意见反馈（开发服务）</h1></body></html>\n"
               .encode("utf-8"))


def write_file(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


# ---------------------------------------------------------------- rules

RULE_KEYS = {"status": int, "body": str, "encoding": str, "repeat": int, "close_after": int,
             "delay": float, "rate": float, "ignore_range": bool, "content_type": str,
             "file": str, "endless": bool, "stall_after": int, "redirect": str}


def parse_fault(text):
    """PATH:key=value,key=value -> (path, rule)."""
    path, sep, spec = text.partition(":")
    if not sep or not path.startswith("/"):
        raise argparse.ArgumentTypeError(f"bad fault {text!r}: want PATH:key=value,...")
    rule = {}
    for item in filter(None, spec.split(",")):
        key, sep, value = item.partition("=")
        if key not in RULE_KEYS or not sep:
            raise argparse.ArgumentTypeError(f"bad fault item {item!r}")
        kind = RULE_KEYS[key]
        rule[key] = value.lower() in ("1", "true", "yes") if kind is bool else kind(value)
    return path, rule


# ---------------------------------------------------------------- server

class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, port, state, faults=None):
        self.state = state
        self.root = os.path.realpath(os.path.join(state, "files"))
        self.faults = dict(faults or {})
        self.log_lock = threading.Lock()
        os.makedirs(self.root, exist_ok=True)
        super().__init__(("127.0.0.1", port), Handler)

    scheme = "http"

    @property
    def url(self):
        return f"{self.scheme}://127.0.0.1:{self.server_port}"

    def rule_for(self, path):
        rule = dict(self.faults.get(path, {}))
        try:
            with open(os.path.join(self.state, "rules.json"), encoding="utf-8") as f:
                rules = json.load(f)
            rule.update(rules.get(path, {}))
        except FileNotFoundError:
            pass
        except (OSError, ValueError) as e:
            print(f"devhost: rules.json unreadable: {e}", file=sys.stderr)
        return rule

    def log_request(self, path):
        with self.log_lock, open(os.path.join(self.state, "requests.log"), "ab") as f:
            f.write(path.encode("utf-8", "backslashreplace") + b"\n")

    def log_stats(self, target):
        with self.log_lock, open(os.path.join(self.state, "stats.log"), "ab") as f:
            f.write(target.encode("latin-1", "backslashreplace") + b"\n")

    def file_for(self, path):
        full = os.path.realpath(os.path.join(self.root, path.lstrip("/")))
        if full != self.root and not full.startswith(self.root + os.sep):
            return None
        return full if os.path.isfile(full) else None


RANGE_RE = re.compile(r"bytes=(\d*)-(\d*)$")


def parse_range(header, size):
    """One byte range -> (start, end inclusive); None to send the whole body;
    'unsatisfiable' for a range past the end."""
    m = RANGE_RE.match(header.strip()) if header else None
    if not m or (not m.group(1) and not m.group(2)):
        return None
    if not m.group(1):
        n = int(m.group(2))
        if n == 0:
            return "unsatisfiable"
        return max(0, size - n), size - 1
    start = int(m.group(1))
    end = int(m.group(2)) if m.group(2) else size - 1
    if start >= size:
        return "unsatisfiable"
    if end < start:
        return None
    return start, min(end, size - 1)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "kavi-devhost/1"
    timeout = 60  # idle keep-alive connections end after a minute

    def log_message(self, fmt, *args):
        pass

    def do_GET(self):
        self.answer(head=False)

    def do_HEAD(self):
        self.answer(head=True)

    def answer(self, head):
        target = self.path
        path = urllib.parse.unquote(target.split("?", 1)[0])
        rule = self.server.rule_for(path)
        self.server.log_request(path)
        if path == STATS_PATH:
            self.server.log_stats(target)
        if rule.get("delay"):
            time.sleep(rule["delay"])
        if rule.get("endless"):
            return self.send_endless(rule, head)
        if rule.get("redirect"):
            location = rule["redirect"]
            if location.startswith("/"):
                location = self.server.url + location
            self.send_response(302)
            self.send_header("Location", location)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if "status" in rule or "body" in rule:
            body = rule.get("body", "").encode(rule.get("encoding", "utf-8"))
            body *= rule.get("repeat", 1)
            return self.send_bytes(rule.get("status", 200), body, rule, head,
                                   rule.get("content_type", "text/plain"))
        if path == STATS_PATH:
            query = urllib.parse.parse_qs(target.partition("?")[2])
            body = DEFAULT_TOKEN if query.get("t") == ["1"] else "ok"
            return self.send_bytes(200, body.encode("ascii"), rule, head, "text/plain")
        full = self.server.file_for(rule.get("file", path))
        if full is None:
            return self.send_bytes(404, b"404 Not Found\r\n", rule, head, "text/plain")
        self.send_file(full, rule, head)

    def send_bytes(self, status, body, rule, head, content_type):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if not head:
            self.write_body(lambda off, n: body[off:off + n], 0, len(body), rule)

    def send_endless(self, rule, head):
        """A 200 answer that never ends: no length, the connection closes
        only when the client stops reading."""
        piece = (rule.get("body") or "x").encode(rule.get("encoding", "utf-8"))
        block = piece * max(1, 65536 // len(piece))
        self.send_response(200)
        self.send_header("Content-Type", rule.get("content_type", "text/plain"))
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        if head:
            return
        try:
            while True:
                self.wfile.write(block)
        except OSError:
            pass

    def send_file(self, full, rule, head):
        with open(full, "rb") as f:
            size = os.fstat(f.fileno()).st_size
            span = None if rule.get("ignore_range") else parse_range(
                self.headers.get("Range"), size)
            if span == "unsatisfiable":
                self.send_response(416)
                self.send_header("Content-Range", f"bytes */{size}")
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            start, end = span or (0, size - 1)
            length = end - start + 1 if size else 0
            self.send_response(206 if span else 200)
            self.send_header("Content-Type", "text/plain" if full.endswith(".txt")
                             else "application/octet-stream")
            self.send_header("Accept-Ranges", "bytes")
            self.send_header("Content-Length", str(length))
            if span:
                self.send_header("Content-Range", f"bytes {start}-{end}/{size}")
            self.end_headers()
            if head or length == 0:
                return
            if not rule.get("close_after") and not rule.get("rate") and "stall_after" not in rule:
                self.sendfile(f, start, length)
            else:
                self.write_body(lambda off, n: os.pread(f.fileno(), n, off), start, length, rule)

    def sendfile(self, f, offset, length):
        # socket.sendfile copies in the kernel (os.sendfile) and copes with the
        # socket's timeout; this keeps loopback downloads at memory speed.
        self.wfile.flush()
        sent = self.connection.sendfile(f, offset, length)
        if sent != length:
            raise ConnectionError("file ended early")

    def write_body(self, read, offset, length, rule):
        """Writes with the rule's rate limit, stall and early close."""
        limit = rule.get("close_after")
        stall = rule.get("stall_after")
        if stall is not None:
            limit = stall if limit is None else min(limit, stall)
        rate = rule.get("rate")
        chunk = 256 * 1024
        if rate:
            chunk = max(1, min(chunk, int(rate / 20)))
        started = time.monotonic()
        sent = 0
        while sent < length:
            n = min(chunk, length - sent)
            if limit is not None:
                n = min(n, limit - sent)
                if n <= 0:
                    break
            self.wfile.write(read(offset + sent, n))
            sent += n
            if rate:
                ahead = sent / rate - (time.monotonic() - started)
                if ahead > 0:
                    time.sleep(ahead)
        if stall is not None and sent < length:
            self.wfile.flush()
            self.stall()
        if limit is not None and sent < length:
            self.close_connection = True
            self.wfile.flush()
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def stall(self):
        """Waits, sending nothing, until the client closes the connection."""
        self.connection.settimeout(None)
        try:
            while self.connection.recv(4096):
                pass
        except OSError:
            pass


# ---------------------------------------------------------------- commands

def start(port, state, faults):
    server = Server(port, state, faults)
    thread = threading.Thread(target=server.serve_forever, args=(0.05,), daemon=True)
    thread.start()
    return server


def start_untrusted(state, faults):
    """The same files over TLS, with a self-signed certificate made on first
    use: what a client sees from a server it must refuse. None without
    openssl."""
    key, cert = (os.path.join(state, name) for name in ("untrusted.key", "untrusted.pem"))
    if not os.path.exists(cert):
        try:
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes",
                            "-keyout", key, "-out", cert, "-days", "3650",
                            "-subj", "/CN=127.0.0.1"], check=True, capture_output=True)
        except (OSError, subprocess.CalledProcessError):
            return None
    server = Server(0, state, faults)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    server.scheme = "https"
    threading.Thread(target=server.serve_forever, args=(0.05,), daemon=True).start()
    return server


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def fresh_state(state):
    """Empties the state folder's test files without touching anything else."""
    os.makedirs(state, exist_ok=True)
    for name in ("rules.json", "stats.log", "requests.log"):
        try:
            os.remove(os.path.join(state, name))
        except FileNotFoundError:
            pass
    files = os.path.join(state, "files")
    for top, dirs, names in os.walk(files, topdown=False):
        for n in names:
            os.remove(os.path.join(top, n))
        for d in dirs:
            os.rmdir(os.path.join(top, d))


def cmd_serve(args):
    state = os.path.abspath(args.state)
    os.makedirs(state, exist_ok=True)
    server = Server(args.port, state, dict(args.fault))
    if args.demo:
        prepare_demo(state, args.public_url or server.url, wim_images=DEMO_WIM_IMAGES)
    stop = threading.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: stop.set())
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    print(f"devhost: listening on {server.url}", flush=True)
    if args.ready_file:
        write_file(args.ready_file, server.url.encode("ascii"))
    stop.wait()
    server.shutdown()
    server.server_close()
    return 0


def cmd_run(args):
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        print("devhost run: no command given", file=sys.stderr)
        return 2
    state = os.path.abspath(args.state)
    fresh_state(state)
    server = start(0, state, dict(args.fault))
    small = [(name, file_name, info, 64 * 1024 + seed, seed)
             for name, file_name, info, _, seed in DEMO_IMAGES]
    prepare_demo(state, server.url, small, log=lambda _: None)
    env = dict(os.environ, KAVI_DEVHOST_URL=server.url, KAVI_DEVHOST_DIR=state,
               KAVI_DEVHOST_WINDIR=windows_path(state))
    untrusted = start_untrusted(state, dict(args.fault))
    if untrusted:
        env["KAVI_DEVHOST_UNTRUSTED_URL"] = untrusted.url
    try:
        return subprocess.call(command, env=env)
    finally:
        for s in filter(None, (server, untrusted)):
            s.shutdown()
            s.server_close()


def cmd_checkcode(args):
    md5 = file_md5(args.file)
    print(md5)
    print(check_code(md5, args.seed))
    return 0


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = parser.add_subparsers(dest="cmd", required=True)
    serve = sub.add_parser("serve")
    serve.add_argument("--port", type=int, default=18080)
    serve.add_argument("--state", default=DEFAULT_STATE)
    serve.add_argument("--demo", action="store_true")
    serve.add_argument("--public-url", help="base URL written into the catalogue")
    serve.add_argument("--ready-file", help="written with the URL once listening")
    serve.add_argument("--fault", type=parse_fault, action="append", default=[])
    run = sub.add_parser("run")
    run.add_argument("--state", required=True)
    run.add_argument("--fault", type=parse_fault, action="append", default=[])
    run.add_argument("command", nargs=argparse.REMAINDER)
    check = sub.add_parser("checkcode")
    check.add_argument("file")
    check.add_argument("--seed", type=int, default=0)
    args = parser.parse_args(argv)
    return {"serve": cmd_serve, "run": cmd_run, "checkcode": cmd_checkcode}[args.cmd](args)


if __name__ == "__main__":
    sys.exit(main())
