#!/usr/bin/python3
"""The generator's output tree: every file present with its size, and the
same bytes on a second run.

usage: check_output_tree.py MAKE_SAMPLE_DATA WORKDIR
"""

import filecmp
import os
import shutil
import subprocess
import sys
import time

SETTLEMENT = {g + ext: size for g in ("CASTLE", "DWELLING", "KEEP", "TOWNE") for ext, size in ((".DAT", 16384), (".NPC", 4608))}
EXPECTED = {
    "pc": dict(SETTLEMENT, **{"BRIT.DAT": 52480, "UNDER.DAT": 65536, "TILES.16": None, "TILES.4": None}),
    "pc-decoded": {"TILES.16": 65536, "TILES.4": 32768},
    "x68k": {"zk-britannia.xdf": 1261568, "ZK_Britania.fdi": 1261568 + 4096},
    "x68k-formats": {"zk-britannia.d88": 1281968, "zk-britannia.dim": 1261824, "ZK_Britania.hdm": 1261568, "folder": None},
    "apple2": {name: 143360 for name in ("zk-program.dsk", "zk-castle.dsk", "zk-dwelling.dsk", "zk-keep.dsk", "zk-towne.dsk")},
    "apple2-formats": {disk + ext: size for disk in ("zk-program", "zk-towne") for ext, size in (
        (".po", 143360), ("-do.2mg", 143424), ("-po.2mg", 143424), (".nib", 232960), ("-6384.nib", 223440),
        ("-woz1.woz", 233216), ("-woz2.woz", 234496))},
}


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    failures = []
    runs = []
    for k in range(2):
        out = os.path.join(sys.argv[2], "run%d" % k)
        shutil.rmtree(out, ignore_errors=True)
        start = time.monotonic()
        subprocess.run([sys.argv[1], out], check=True, stdout=subprocess.DEVNULL)
        print("run %d: %.3f s" % (k, time.monotonic() - start))
        runs.append(out)
    top = sorted(os.listdir(runs[0]))
    if top != sorted(EXPECTED):
        failures.append("folders %s" % top)
    for folder, files in EXPECTED.items():
        path = os.path.join(runs[0], folder)
        present = sorted(os.listdir(path)) if os.path.isdir(path) else []
        if present != sorted(files):
            failures.append("%s holds %s" % (folder, present))
        for name, size in files.items():
            a, b = os.path.join(path, name), os.path.join(runs[1], folder, name)
            if not os.path.isfile(a):
                continue
            actual = os.path.getsize(a)
            print("  %-28s %8d" % (folder + "/" + name, actual))
            if size is not None and actual != size:
                failures.append("%s/%s: %d bytes, not %d" % (folder, name, actual, size))
            if not os.path.isfile(b) or not filecmp.cmp(a, b, shallow=False):
                failures.append("%s/%s differs between two runs" % (folder, name))
    for line in failures:
        print("FAIL " + line)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
