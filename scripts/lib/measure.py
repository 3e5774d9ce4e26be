#!/usr/bin/env python3
"""measure.py OUT CMD ARGS...: runs CMD (its output passes through) and
writes to OUT "seconds S max_rss_mb M": the wall time and the largest
resident set of CMD and the descendants it waited for (getrusage). Exits
with CMD's status."""
import os
import subprocess
import sys
import time


def main():
    out, command = sys.argv[1], sys.argv[2:]
    begin = time.monotonic()
    child = subprocess.Popen(command)
    _, status, usage = os.wait4(child.pid, 0)
    seconds = time.monotonic() - begin
    with open(out, "w") as f:
        # ru_maxrss is in KiB on Linux.
        f.write(f"seconds {seconds:.3f} max_rss_mb {usage.ru_maxrss / 1024:.1f}\n")
    sys.exit(os.waitstatus_to_exitcode(status))


if __name__ == "__main__":
    main()
