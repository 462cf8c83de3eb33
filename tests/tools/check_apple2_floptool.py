#!/usr/bin/python3
"""The generator's Apple II disk forms against MAME's floptool, and brevik on a
WOZ image that floptool wrote.

usage: check_apple2_floptool.py MAKE_SAMPLE_DATA BREVIK WORKDIR

floptool converts every NIB, WOZ and .po image back to a DOS-order image that
must equal the sample .dsk byte for byte. floptool reads only 3.5-inch 2MG
images, so a 5.25-inch 2MG is checked here: its header fields, and its data
equal to the .dsk (DOS order) or the .po. A 6384-byte NIB track must be the
6656-byte track without its closing sync bytes. Then floptool writes a WOZ of
the program and towne disks, and brevik's maps from those must equal its maps
from the .dsk images. Exits 77 (skipped) when floptool is not installed.
"""

import filecmp
import os
import shutil
import struct
import subprocess
import sys


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    generator, brevik, work = sys.argv[1:]
    if shutil.which("floptool") is None:
        print("floptool not installed")
        return 77
    shutil.rmtree(work, ignore_errors=True)
    subprocess.run([generator, work], check=True, stdout=subprocess.DEVNULL)
    dsk = os.path.join(work, "apple2")
    forms = os.path.join(work, "apple2-formats")
    failures = []

    def floptool_dsk(source, kind, target):
        result = subprocess.run(["floptool", "flopconvert", kind, "a2_16sect_dos", source, target],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        return result.returncode == 0 and os.path.isfile(target)

    for disk in ("zk-program", "zk-towne"):
        original = open(os.path.join(dsk, disk + ".dsk"), "rb").read()
        for form, kind in ((".nib", "a2_nib"), ("-woz1.woz", "woz"), ("-woz2.woz", "woz"), (".po", "a2_16sect_prodos")):
            back = os.path.join(work, disk + form + ".dsk")
            ok = floptool_dsk(os.path.join(forms, disk + form), kind, back) and open(back, "rb").read() == original
            print("%-22s floptool %-16s %s" % (disk + form, kind, "same" if ok else "DIFFERENT"))
            if not ok:
                failures.append(disk + form)
        block_order = open(os.path.join(forms, disk + ".po"), "rb").read()
        for form, fmt, data in (("-do.2mg", 0, original), ("-po.2mg", 1, block_order)):
            image = open(os.path.join(forms, disk + form), "rb").read()
            magic, header, fmt_found, offset, length = (image[:4], struct.unpack_from("<H", image, 8)[0],
                                                        struct.unpack_from("<I", image, 12)[0],
                                                        *struct.unpack_from("<II", image, 24))
            ok = (magic, header, fmt_found, offset, length) == (b"2IMG", 64, fmt, 64, len(data)) and \
                image[offset:offset + length] == data
            print("%-22s header and data     %s" % (disk + form, "same" if ok else "DIFFERENT"))
            if not ok:
                failures.append(disk + form)
        long_nib = open(os.path.join(forms, disk + ".nib"), "rb").read()
        short_nib = open(os.path.join(forms, disk + "-6384.nib"), "rb").read()
        ok = len(short_nib) == 35 * 6384 and all(
            long_nib[t * 6656:t * 6656 + 6384] == short_nib[t * 6384:(t + 1) * 6384] and
            set(long_nib[t * 6656 + 6384:(t + 1) * 6656]) == {0xFF} for t in range(35))
        print("%-22s tracks of .nib      %s" % (disk + "-6384.nib", "same" if ok else "DIFFERENT"))
        if not ok:
            failures.append(disk + "-6384.nib")

    # brevik on WOZ images that floptool wrote, against its maps from the .dsk images.
    runs = {}
    for label, suffix in (("dsk", ".dsk"), ("floptool", ".woz")):
        disks = []
        for number, disk in ((1, "zk-program"), (5, "zk-towne")):
            path = os.path.join(dsk, disk + ".dsk")
            if suffix == ".woz":
                woz = os.path.join(work, disk + "-floptool.woz")
                subprocess.run(["floptool", "flopconvert", "a2_16sect_dos", "woz", path, woz], check=True,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                path = woz
            disks += ["-d%d" % number, path]
        out = os.path.join(work, "maps-" + label)
        os.makedirs(out)
        status = subprocess.run([brevik] + disks + ["-T", "-h", "3"], cwd=out, stdout=subprocess.DEVNULL).returncode
        runs[label] = (status, sorted(os.listdir(out)), out)
    (status_a, names_a, out_a), (status_b, names_b, out_b) = runs["dsk"], runs["floptool"]
    ok = status_a == status_b == 0 and len(names_a) == 16 and names_a == names_b and all(
        filecmp.cmp(os.path.join(out_a, n), os.path.join(out_b, n), shallow=False) for n in names_a)
    print("brevik on floptool's WOZ images: %s" % ("same maps" if ok else "DIFFERENT"))
    if not ok:
        failures.append("brevik on floptool's WOZ images")

    for line in failures:
        print("FAIL " + line)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
