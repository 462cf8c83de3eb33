#!/usr/bin/python3
"""Checks the generator's X68000/PC-98 floppy images.

usage: check_x68k_image.py MAKE_SAMPLE_DATA WORKDIR

The FAT12 layout is walked here from the on-disk format, and every file is
copied out with mtools (mdir/mcopy) and compared with a model built from
the PC files: the settlement files as they are, the world maps unchunked,
the tile pictures scaled 2x into the 8 colours. Exits 77 (skipped) when the
model checks pass but mtools is not installed.
"""

import os
import shutil
import subprocess
import sys

SECTOR = 1024
FAT_SECTOR, FAT_SECTORS, ROOT_SECTOR, ROOT_ENTRIES, DATA_SECTOR, TOTAL = 1, 2, 5, 192, 11, 1232
CLUSTERS = TOTAL - DATA_SECTOR  # clusters 2 .. CLUSTERS + 1

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


# ------------------------------------------------------------------ model

PC_RGB = [(0, 0, 0), (0, 0, 0xAA), (0, 0xAA, 0), (0, 0xAA, 0xAA), (0xAA, 0, 0), (0xAA, 0, 0xAA), (0xAA, 0x55, 0),
          (0xAA, 0xAA, 0xAA), (0x55, 0x55, 0x55), (0x55, 0x55, 0xFF), (0x55, 0xFF, 0x55), (0x55, 0xFF, 0xFF),
          (0xFF, 0x55, 0x55), (0xFF, 0x55, 0xFF), (0xFF, 0xFF, 0x55), (0xFF, 0xFF, 0xFF)]
# Index bit 0 blue, bit 1 red, bit 2 green.
X68K_RGB = [(255 * ((i >> 1) & 1), 255 * ((i >> 2) & 1), 255 * (i & 1)) for i in range(8)]


def nearest(rgb):
    return min(range(8), key=lambda i: (sum((a - b) ** 2 for a, b in zip(rgb, X68K_RGB[i])), i))


def pc_pictures(tiles16):
    """512 pictures of 16 x 16 PC colours from the decoded EGA file."""
    pics = []
    for t in range(512):
        raw = tiles16[t * 128:(t + 1) * 128]
        pics.append([(b >> 4) if k % 2 == 0 else (b & 15) for b in raw for k in range(2)])
    return pics


def outside_black(pic):
    """Black pixels reachable from the border through black pixels."""
    seen = set()
    todo = [(x, y) for x in range(16) for y in range(16) if (x in (0, 15) or y in (0, 15)) and pic[y * 16 + x] == 0]
    seen.update(todo)
    while todo:
        x, y = todo.pop()
        for nx, ny in ((x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1)):
            if 0 <= nx < 16 and 0 <= ny < 16 and (nx, ny) not in seen and pic[ny * 16 + nx] == 0:
                seen.add((nx, ny))
                todo.append((nx, ny))
    return seen


def ch_pixels(data, planes):
    """The colour indexes of a .CH file, per tile 32 x 32."""
    tiles = []
    size = planes * 128
    for t in range(len(data) // size):
        tile = data[t * size:(t + 1) * size]
        pixels = []
        for y in range(32):
            for x in range(32):
                c = 0
                for k in range(planes):
                    if tile[k * 128 + y * 4 + x // 8] & (0x80 >> (x % 8)):
                        c |= 1 << k
                pixels.append(c)
        tiles.append(pixels)
    return tiles


def expected_ch(pics, first, transparent):
    colour = [nearest(rgb) for rgb in PC_RGB]
    out = []
    for pic in pics[first:first + 256]:
        back = outside_black(pic) if transparent else set()
        out.append([8 if (x // 2, y // 2) in back else colour[pic[(y // 2) * 16 + x // 2]]
                    for y in range(32) for x in range(32)])
    return out


SURFACE_ROWS = ["..############.#", ".##############.", "###############.", "################",
                "################", "################", "###########.####", "#######...##.###",
                ".######...##.###", "#######.#....##.", "#######.#..##...", "..######......##",
                ".##.####..##.###", ".##.####..##.###", ".###############", "...##.##########"]


def unchunk(data, surface):
    out = bytearray(65536)
    stored = 0
    for pos in range(256):
        cy, cx = divmod(pos, 16)
        present = SURFACE_ROWS[cy][cx] == "#" if surface else True
        for y in range(16):
            for x in range(16):
                out[(cy * 16 + y) * 256 + cx * 16 + x] = data[stored * 256 + y * 16 + x] if present else 1
        if present:
            stored += 1
    return bytes(out)


def expected_files(out):
    def read(*parts):
        with open(os.path.join(out, *parts), "rb") as f:
            return f.read()
    pics = pc_pictures(read("pc-decoded", "TILES.16"))
    files = {}
    for group in ("CASTLE", "DWELLING", "KEEP", "TOWNE"):
        files[group + ".DAT"] = read("pc", group + ".DAT")
        files[group + ".NPC"] = read("pc", group + ".NPC")
    files["BRIT.DAT"] = unchunk(read("pc", "BRIT.DAT"), True)
    files["UNDER.DAT"] = unchunk(read("pc", "UNDER.DAT"), False)
    files["TILES.CH"] = (3, expected_ch(pics, 0, False))
    files["NPC.CH"] = (4, expected_ch(pics, 256, True))
    return files


def compare(name, got, want):
    if isinstance(want, tuple):
        planes, tiles = want
        check(len(got) == 256 * planes * 128, "%s: %d bytes" % (name, len(got)))
        got_tiles = ch_pixels(got, planes)
        bad = [t for t in range(min(len(got_tiles), 256)) if got_tiles[t] != tiles[t]]
        check(not bad, "%s: tiles %s differ from the scaled PC pictures" % (name, bad[:8]))
    else:
        check(got == want, "%s: bytes differ from the model (%d, %d bytes)" % (name, len(got), len(want)))


# -------------------------------------------------------- the FAT12 walk

def walk_volume(image):
    """Directory entries and chains from the layout, with the layout checks."""
    fat_bytes = FAT_SECTORS * SECTOR
    fats = [image[(FAT_SECTOR + k * FAT_SECTORS) * SECTOR:][:fat_bytes] for k in range(2)]
    check(fats[0] == fats[1], "the two FAT copies differ")
    check(image[510:512] == b"\x55\xAA", "boot sector without its signature")
    check(int.from_bytes(image[11:13], "little") == SECTOR and int.from_bytes(image[19:21], "little") == TOTAL,
          "boot sector geometry")
    fat = fats[0]

    def link(c):
        v = int.from_bytes(fat[c // 2 * 3:c // 2 * 3 + 3], "little")
        return v & 0xFFF if c % 2 == 0 else v >> 12

    check(link(0) == 0xF00 | image[21] and link(1) == 0xFFF, "reserved FAT entries do not match the media byte")
    entries = []
    ended = False
    for i in range(ROOT_ENTRIES):
        e = image[ROOT_SECTOR * SECTOR + 32 * i:][:32]
        if e[0] == 0:
            check(e == bytes(32), "entry %d: first byte 0 but not all zero" % i)
            ended = True
            continue
        check(not ended, "entry %d is in use after the end of the directory" % i)
        entries.append((i, e))
    used = set()
    files = {}
    deleted = []
    for i, e in entries:
        attributes = e[11]
        if e[0] == 0xE5:
            deleted.append(i)
            continue
        if attributes & 0x08:
            continue
        name = e[0:8].decode().rstrip() + "." + e[8:11].decode().rstrip()
        first = int.from_bytes(e[26:28], "little")
        size = int.from_bytes(e[28:32], "little")
        chain = []
        c = first
        while 2 <= c <= CLUSTERS + 1 and len(chain) <= CLUSTERS:
            chain.append(c)
            c = link(c)
        check(c >= 0xFF8, "%s: chain ends with 0x%X" % (name, c))
        check(len(chain) == (size + SECTOR - 1) // SECTOR, "%s: %d clusters for %d bytes" % (name, len(chain), size))
        check(not used & set(chain), "%s shares clusters with another file" % name)
        used |= set(chain)
        data = b"".join(image[(DATA_SECTOR + c - 2) * SECTOR:][:SECTOR] for c in chain)[:size]
        files[name] = (i, chain, data)
    lost = [c for c in range(2, CLUSTERS + 2) if link(c) != 0 and c not in used]
    check(not lost, "clusters in use by no file: %s" % lost[:8])
    free = sum(1 for c in range(2, CLUSTERS + 2) if link(c) == 0)
    return files, deleted, free


def run_mtools(image_arg, names, workdir):
    listing = subprocess.run(["mdir", "-i", image_arg, "::"], capture_output=True, text=True)
    check(listing.returncode == 0, "mdir %s: %s" % (image_arg, listing.stderr.strip()))
    listed = {}
    for line in listing.stdout.splitlines():
        parts = line.split()
        if len(parts) >= 3 and parts[2].isdigit() and not line.startswith(" "):
            listed[parts[0] + ("." + parts[1] if parts[1] else "")] = int(parts[2])
    copied = {}
    for name in names:
        dest = os.path.join(workdir, "mcopy.out")
        if os.path.exists(dest):
            os.remove(dest)
        r = subprocess.run(["mcopy", "-n", "-i", image_arg, "::" + name, dest], capture_output=True, text=True)
        check(r.returncode == 0, "mcopy %s %s: %s" % (image_arg, name, r.stderr.strip()))
        if r.returncode == 0:
            with open(dest, "rb") as f:
                copied[name] = f.read()
    return listed, listing.stdout, copied


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    out = os.path.join(sys.argv[2], "sample")
    shutil.rmtree(out, ignore_errors=True)
    subprocess.run([sys.argv[1], out], check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(out, "x68k", "zk-britannia.xdf"), "rb") as f:
        xdf = f.read()
    with open(os.path.join(out, "x68k", "ZK_Britania.fdi"), "rb") as f:
        fdi = f.read()
    check(len(xdf) == TOTAL * SECTOR, "xdf is %d bytes" % len(xdf))
    check(len(fdi) == 4096 + TOTAL * SECTOR and fdi[4096:] == xdf, "fdi is not a 4096-byte header and the xdf")

    want = expected_files(out)
    files, deleted, free = walk_volume(xdf)
    check(sorted(files) == sorted(want), "files on the disk: %s" % sorted(files))
    for name, (_, _, data) in files.items():
        if name in want:
            compare("walked " + name, data, want[name])

    # What makes the volume worth reading: a fragmented chain, a file in
    # the last cluster, deleted entries before later files.
    fragmented = [n for n, (_, chain, _) in files.items()
                  if any(b != a + 1 for a, b in zip(chain, chain[1:]))]
    check(len(fragmented) >= 1, "no fragmented file")
    check(any(chain[-1] == CLUSTERS + 1 for _, chain, _ in files.values()), "no file in the last cluster")
    last_used = max(i for i, _, _ in files.values())
    check(deleted and min(deleted) < last_used, "no deleted entry before a later file")
    print("files %d, fragmented %s, deleted entries %s, free clusters %d" % (len(files), fragmented, deleted, free))

    if not shutil.which("mdir") or not shutil.which("mcopy"):
        for line in failures:
            print("FAIL " + line)
        print("mtools not installed: outside check skipped")
        return 1 if failures else 77
    for image_arg in (os.path.join(out, "x68k", "zk-britannia.xdf"), os.path.join(out, "x68k", "ZK_Britania.fdi") + "@@4096"):
        listed, text, copied = run_mtools(image_arg, sorted(want), sys.argv[2])
        check(listed == {n: len(d) for n, (_, _, d) in files.items()}, "mdir %s lists %s" % (image_arg, listed))
        check("%dbytesfree" % (free * SECTOR) in "".join(text.split()),
              "mdir %s: free space is not %d clusters" % (image_arg, free))
        for name, data in copied.items():
            compare("mcopy " + name, data, want[name])
    for line in failures:
        print("FAIL " + line)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
