#!/usr/bin/python3
"""The generator's other forms of the X68000/PC-98 disk, read by MAME's floptool.

usage: check_x68k_formats.py MAKE_SAMPLE_DATA WORKDIR

Each image is converted back to a raw image with `floptool flopconvert` and compared byte
for byte with the .xdf it was made from; the folder's files are compared with what mcopy
reads off the .xdf. Exits 77 (skipped) when floptool or mtools is not installed.
"""

import os
import shutil
import subprocess
import sys

# (floptool's input format, file under OUTDIR)
IMAGES = [("d88", "x68k-formats/zk-britannia.d88"), ("dim", "x68k-formats/zk-britannia.dim"),
          ("pc98", "x68k-formats/ZK_Britania.hdm"), ("pc98_fdi", "x68k/ZK_Britania.fdi")]


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    if not shutil.which("floptool") or not shutil.which("mcopy"):
        print("floptool or mtools not installed: skipped")
        return 77
    work = sys.argv[2]
    out = os.path.join(work, "sample")
    shutil.rmtree(out, ignore_errors=True)
    subprocess.run([sys.argv[1], out], check=True, stdout=subprocess.DEVNULL)
    xdf = os.path.join(out, "x68k", "zk-britannia.xdf")
    with open(xdf, "rb") as f:
        source = f.read()
    failures = []
    for form, name in IMAGES:
        back = os.path.join(work, "back.xdf")
        if os.path.exists(back):
            os.remove(back)
        r = subprocess.run(["floptool", "flopconvert", form, "xdf", os.path.join(out, name), back],
                           capture_output=True, text=True)
        same = r.returncode == 0 and os.path.exists(back) and open(back, "rb").read() == source
        print("%-8s %-32s %s" % (form, name, "same bytes as the xdf" if same else "DIFFERS"))
        if not same:
            failures.append("%s read as %s: %s" % (name, form, (r.stdout + r.stderr).strip()[-300:]))
    folder = os.path.join(out, "x68k-formats", "folder")
    for name in sorted(os.listdir(folder)):
        copy = os.path.join(work, "mcopy.out")
        r = subprocess.run(["mcopy", "-n", "-i", xdf, "::" + name, copy], capture_output=True, text=True)
        if r.returncode != 0 or open(copy, "rb").read() != open(os.path.join(folder, name), "rb").read():
            failures.append("folder/%s differs from the disk's file" % name)
    print("folder: %d files" % len(os.listdir(folder)))
    for line in failures:
        print("FAIL " + line)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
