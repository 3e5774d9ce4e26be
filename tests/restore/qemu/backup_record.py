"""The backup's own record in the backup-then-restore scenario: after the
backup, "Ghost.sum" on C: names exactly the SYS.GHO the agent left on D:,
and the backup does not hold the record itself. The restore is bound to the
recorded size and MD5 as "还原系统" binds it. On the BIOS road a SYS.GHO
replaced after the takeover is refused first: C: keeps every file and byte
but the task's bookkeeping, and the log gives the reason; the real backup
put back, the next start restores it."""
import hashlib
import re

import disks


def recorded_binding(t, s, c_part, d_part):
    """The record's one backup as "size:md5", checked against SYS.GHO (kept
    as sys-gho.wim in the scenario's folder)."""
    record = disks.read_file(c_part, "/Ghost.sum")
    t.check(record is not None, "no Ghost.sum on C: after the backup")
    m = re.fullmatch(rb"KAVI-BACKUP 1\r\nimage size=(\d+) md5=([0-9a-f]{32})\r\n", record)
    t.check(m, "Ghost.sum is not one backup's record: %r" % record)
    backup = disks.read_file(d_part, "/DURozazo/SYS.GHO")
    t.check(int(m.group(1)) == len(backup) and m.group(2).decode() == hashlib.md5(backup).hexdigest(),
            "Ghost.sum does not name the SYS.GHO on D:")
    wim = s.path("sys-gho.wim")
    open(wim, "wb").write(backup)
    t.check("/Ghost.sum" not in disks.listing(wim, s.dir), "the backup holds the record")
    return "%s:%s" % (m.group(1).decode(), m.group(2).decode())


def refuse_swapped_backup(t, s, disk, c_part, d_part):
    """Boots the armed restore with another valid WIM as SYS.GHO; puts the
    backup back afterwards."""
    road = s.road
    backup = s.path("sys-gho.wim")
    other = t.image_wim(s, t.new_windows(), name="other")
    disks.put_file(d_part, other, "/DURozazo/SYS.GHO")
    disk.write_back(road.D, d_part)
    before = disks.listing(c_part, s.dir, "c-before-swap")
    road.boot(s, disk, "failed image-changed")
    c_after = disk.extract(road.C, s.path("c-after-swap.part"))
    bookkeeping = ["/Ghost.ba_", "/Ghost.map", "/Boot/BCD_B", "/Boot/BCD"]
    t.same(disks.without(before, bookkeeping, times_of=["/", "/Boot"]),
           disks.without(disks.listing(c_after, s.dir, "c-after-swap"), bookkeeping,
                         times_of=["/", "/Boot"]), "C: changed")
    t.check_boot_config_put_back(c_after, road)
    d_after = disk.extract(road.D, s.path("d-after-swap.part"))
    entry = t.log_entry(d_after)
    t.check("result: failed image-changed: the image changed after it was checked" in entry,
            "the log does not give the reason:\n" + entry)
    disks.put_file(d_after, backup, "/DURozazo/SYS.GHO")
    disk.write_back(road.D, d_after)
    return c_after
