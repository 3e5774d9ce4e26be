"""A system partition BitLocker made unreadable after the takeover (the UEFI
road, where the environment starts from the EFI system partition whatever C:
is): C: carries the encrypted volume's signature "-FVE-FS-" at byte 3 of its
boot sector, so the task Windows left on it cannot be seen. The agent tells
why on its screen and in the work folder's log on D: (where Windows reads
it, C: being unreadable there too), disarms the next boot, and not one byte
of C: changes."""
import hashlib

import disks
import screen
from disks import rb

CODE = "target-encrypted"


def partition_hash(path):
    return hashlib.sha256(open(path, "rb").read()).hexdigest()


def scenario_refuse_bitlocker(t, s):
    road = s.road
    image = b"MSWIM\0\0\0" + rb(17, 4096)  # never opened: the task is not found
    disk, _, d = t.single_disk(s, "restore", "D:\\DURozazo\\Download\\win.wim",
                               {"DURozazo/Download/win.wim": image})
    c = disk.extract(road.C, s.path("c-encrypted.part"))
    with open(c, "r+b") as f:
        f.seek(3)
        f.write(b"-FVE-FS-")
    disk.write_back(road.C, c)
    c_before = partition_hash(disk.extract(road.C, s.path("c-before.part")))
    d_before = disks.listing(d, s.dir, "d-before")
    if s.ctx.args.screen_render:
        s.screen = screen.ScreenWatch(s, s.ctx.args.screen_render, None, None)
    road.boot(s, disk, "failed " + CODE)
    t.check("found: BitLocker-encrypted /dev/" in s.serial,
            "the serial log does not name the encrypted partition")
    t.check(partition_hash(disk.extract(road.C, s.path("c-after.part"))) == c_before,
            "C: changed")
    d_after = disk.extract(road.D, s.path("d-after.part"))
    log = ["/DURozazo/restore.log"]
    t.same(disks.without(d_before, log, times_of=["/", "/DURozazo"]),
           disks.without(disks.listing(d_after, s.dir, "d-after"), log, times_of=["/", "/DURozazo"]),
           "D: changed beyond the log")
    entry = t.log_entry(d_after)
    t.check("found: BitLocker-encrypted" in entry and "result: failed " + CODE in entry,
            "the log does not give the reason:\n" + entry)
    if s.ctx.args.screen_render:
        # No task was read, so the screen names none: only the reason and
        # the countdown's last second.
        picture = s.screen.pictures[-1][1]
        want, _ = s.screen.expected(picture, failed=CODE, restart=1)
        t.check(s.screen.pictures[-1][0] == "end" and not screen.region_differs(
            picture, want, (0, 0, picture.width, picture.height)),
            "the end screen is not the refusal as drawn for %s (%s)" % (CODE, picture.path))


# name: (function taking the test module and the scenario, bus in the test
# command, further buses)
SCENARIOS = {
    "refuse_bitlocker": (scenario_refuse_bitlocker, "sata", []),
}
