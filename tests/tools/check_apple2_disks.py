#!/usr/bin/python3
"""Checks the generator's Apple II disk images.

usage: check_apple2_disks.py MAKE_SAMPLE_DATA WORKDIR

The program disk is walked as a ProDOS volume from the on-disk layout: the
directory chain and subdirectories, seedling, sapling and tree files with
their holes, the volume bit map; its files are listed with their storage
types and sizes. SHAPES is rendered with the hi-res colour rules and
compared with the PC pictures. The settlement disks' raw tracks are read
back and compared with the PC settlement files.
"""

import os
import shutil
import subprocess
import sys

TRACKS, SECTORS, SECTOR = 35, 16, 256
TABLE = [0, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 15]
HOURS = [0, 1, 3, 5, 6, 7, 9, 11, 12, 13, 15, 17, 18, 19, 21, 23]
STORAGE = {0: "deleted", 1: "seedling", 2: "sapling", 3: "tree", 13: "directory"}

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def sector(image, track, position):
    at = track * SECTORS * SECTOR + TABLE[position] * SECTOR
    return image[at:at + SECTOR]


def block(image, b):
    return sector(image, b // 8, 2 * (b % 8)) + sector(image, b // 8, 2 * (b % 8) + 1)


def u16(data, at):
    return data[at] | data[at + 1] << 8


# ------------------------------------------------------------ ProDOS walk

class Volume:
    def __init__(self, image):
        self.image = image
        self.total = len(image) // 512
        self.used = {}  # block -> what uses it

    def take(self, b, what):
        check(0 <= b < self.total, "%s: block %d outside the volume" % (what, b))
        check(b not in self.used, "%s: block %d already used by %s" % (what, b, self.used.get(b)))
        self.used[b] = what
        return block(self.image, b)

    def read_file(self, name, storage, key, eof):
        """The file's bytes (holes as zeros) and its block count."""
        def index_entries(data):
            return [data[i] | data[256 + i] << 8 for i in range(256)]

        def sapling(key_block, size):
            out = bytearray()
            count = 1
            for b in index_entries(self.take(key_block, name + " index")):
                if len(out) >= size:
                    check(b == 0, "%s: index lists block %d past the end" % (name, b))
                    continue
                if b:
                    out += self.take(b, name)
                    count += 1
                else:
                    out += bytes(512)
            return bytes(out[:size]), count

        if storage == 1:
            check(eof <= 512, "%s: seedling of %d bytes" % (name, eof))
            return self.take(key, name)[:eof], 1
        if storage == 2:
            check(eof <= 131072, "%s: sapling of %d bytes" % (name, eof))
            return sapling(key, eof)
        out = bytearray()
        count = 1
        master = index_entries(self.take(key, name + " master index"))
        for k in range(128):
            part = min(131072, eof - len(out))
            if part <= 0:
                check(master[k] == 0, "%s: master index lists block past the end" % name)
                continue
            if master[k]:
                data, n = sapling(master[k], part)
                out += data
                count += n
            else:
                out += bytes(part)
        return bytes(out), count

    def directory(self, key, path, parent=None):
        """Walks a directory chain; returns {path: (storage, eof, blocks, data)}."""
        files = {}
        b, previous, first = key, 0, True
        active = 0
        header_count = None
        while b:
            data = self.take(b, path + " directory")
            check(u16(data, 0) == previous, "%s: block %d points back to %d" % (path, b, u16(data, 0)))
            for k in range(13):
                e = data[4 + 39 * k:4 + 39 * (k + 1)]
                storage, length = e[0] >> 4, e[0] & 15
                name = e[1:1 + length].decode("ascii")
                if first and k == 0:
                    check(storage == (15 if parent is None else 14), "%s: header storage type %X" % (path, storage))
                    check(e[31] == 39 and e[32] == 13, "%s: entry length and count" % path)
                    header_count = u16(e, 33)
                    if parent is None:
                        self.bit_map, self.total_blocks = u16(e, 35), u16(e, 37)
                        self.volume_name = name
                    else:
                        check((u16(e, 35), e[37]) == parent, "%s: parent %s, wanted %s" % (path, (u16(e, 35), e[37]), parent))
                    continue
                if e[0] == 0 and not any(e):
                    continue
                full = path + "/" + name
                eof = e[21] | e[22] << 8 | e[23] << 16
                key_pointer, blocks_used = u16(e, 17), u16(e, 19)
                if storage == 0:
                    files[full + " (deleted)"] = (0, eof, blocks_used, None)
                    continue
                active += 1
                check(u16(e, 37) == key, "%s: header pointer %d" % (full, u16(e, 37)))
                if storage == 13:
                    entry_number = 1 + k if b == key else None
                    sub = self.directory(key_pointer, full, (b, k + 1))
                    count = sum(1 for v in self.used.values() if v == full + " directory")
                    check(eof == 512 * count and blocks_used == count, "%s: eof %d, %d blocks" % (full, eof, blocks_used))
                    files[full] = (13, eof, blocks_used, None)
                    files.update(sub)
                    continue
                check(storage in (1, 2, 3), "%s: storage type %d" % (full, storage))
                content, count = self.read_file(full, storage, key_pointer, eof)
                check(count == blocks_used, "%s: %d blocks in use, the entry says %d" % (full, count, blocks_used))
                files[full] = (storage, eof, blocks_used, content)
            previous, b, first = b, u16(data, 2), False
        check(header_count == active, "%s: file count %s, %d active entries" % (path, header_count, active))
        return files


def walk_program_disk(image):
    v = Volume(image)
    v.take(0, "boot")
    v.take(1, "boot")
    files = v.directory(2, "")
    check(v.total_blocks == 280 == v.total, "total blocks %d" % v.total_blocks)
    bit_map = v.take(v.bit_map, "bit map")
    for b in range(v.total):
        free = bit_map[b // 8] >> (7 - b % 8) & 1
        check(free == (b not in v.used), "bit map: block %d %s, but %s" % (b, "free" if free else "used", v.used.get(b, "unused")))
    dir_blocks = sorted(b for b, what in v.used.items() if what == " directory")
    return files, dir_blocks, v.volume_name


# --------------------------------------------------------------- hi-res

P = [4, 8, 1, 2]
APPLE_RGB = [(0, 0, 0), (157, 7, 52), (48, 29, 226), (178, 59, 231), (0, 107, 61), (114, 114, 114), (37, 130, 237),
             (162, 143, 255), (66, 85, 0), (191, 99, 0), (114, 114, 114), (255, 122, 167), (50, 170, 0),
             (181, 200, 2), (72, 222, 176), (229, 229, 229)]
PC_RGB = [(0, 0, 0), (0, 0, 0xAA), (0, 0xAA, 0), (0, 0xAA, 0xAA), (0xAA, 0, 0), (0xAA, 0, 0xAA), (0xAA, 0x55, 0),
          (0xAA, 0xAA, 0xAA), (0x55, 0x55, 0x55), (0x55, 0x55, 0xFF), (0x55, 0xFF, 0x55), (0x55, 0xFF, 0xFF),
          (0xFF, 0x55, 0x55), (0xFF, 0x55, 0xFF), (0xFF, 0xFF, 0x55), (0xFF, 0xFF, 0xFF)]


def render_tile(shapes, n):
    """28 x 16 colours of tile n drawn alone, without blur."""
    rows = []
    for r in range(16):
        dots = []
        for c in range(2):
            b = shapes[8192 * (n // 256) + 4096 * c + 256 * r + n % 256]
            if b & 0x80:
                dots.append(None)  # same as the pixel to the left
                for d in range(7):
                    dots += [b >> d & 1] * (2 if d < 6 else 1)
            else:
                for d in range(7):
                    dots += [b >> d & 1] * 2
        for x in range(28):
            if dots[x] is None:
                dots[x] = dots[x - 1] if x else 0
        lit = lambda x: 0 <= x < 28 and dots[x]
        row = []
        for x in range(28):
            c = 0
            if lit(x):
                c = P[x % 4]
                if lit(x - 1):
                    c |= P[(x - 1) % 4]
                if lit(x + 1):
                    c |= P[(x + 1) % 4]
                if lit(x - 1) and lit(x + 1):
                    for j in (x - 2, x + 2):
                        if lit(j):
                            c |= P[j % 4]
            row.append(c)
        rows.append(row)
    return rows


def mean(colours):
    n = len(colours)
    return tuple(sum(c[k] for c in colours) / n for k in range(3))


def resemblance(shapes, tiles16):
    """Per tile, the distance between the mean rendered colour and the mean
    PC colour, over each half of the tile (left, right)."""
    distances = []
    for n in range(512):
        raw = tiles16[n * 128:(n + 1) * 128]
        pc = [(b >> 4) if k % 2 == 0 else (b & 15) for b in raw for k in range(2)]
        rendered = render_tile(shapes, n)
        worst = 0
        for half in range(2):
            a = mean([APPLE_RGB[rendered[r][x]] for r in range(16) for x in range(14 * half, 14 * half + 14)])
            p = mean([PC_RGB[pc[r * 16 + x]] for r in range(16) for x in range(8 * half, 8 * half + 8)])
            worst = max(worst, sum((a[k] - p[k]) ** 2 for k in range(3)) ** 0.5)
        distances.append(worst)
    return distances


# ----------------------------------------------------- settlement tracks

def read_settlement_disk(image):
    maps = bytearray(16384)
    for k in range(4):
        for p in range(16):
            s = sector(image, 31 + k, p)
            for j in range(256):
                maps[1024 * (4 * k + p // 4) + 512 * ((p % 4) // 2) + 16 * (p % 2) + 32 * (j // 16) + j % 16] = s[j]
    blocks = []
    for loc in range(8):
        kinds, sched = sector(image, 30, 2 * loc), sector(image, 30, 2 * loc + 1)
        npcs = []
        for i in range(32):
            npcs.append({
                "kind": kinds[i], "default": [kinds[32 * c + i] for c in range(1, 6)], "b544": kinds[224 + i],
                "slot": [sched[64 + 32 * e + i] >> 5 for e in range(3)],
                "x": [sched[64 + 32 * e + i] & 31 for e in range(3)],
                "y": [sched[160 + 32 * e + i] & 31 for e in range(3)],
                "level": [255 if sched[160 + 32 * e + i] >> 5 == 7 else sched[160 + 32 * e + i] >> 5 for e in range(3)],
                "hours": [HOURS[sched[i] >> 4], HOURS[sched[i] & 15], HOURS[sched[32 + i] >> 4], HOURS[sched[32 + i] & 15]],
            })
        blocks.append(npcs)
    return bytes(maps), blocks


def nearest_hours(h):
    best = min(abs(c - h) for c in HOURS)
    return {c for c in HOURS if abs(c - h) == best}


def compare_npcs(group, pc_npc, blocks):
    for loc in range(8):
        b = pc_npc[576 * loc:576 * (loc + 1)]
        for i in range(32):
            r, a = b[16 * i:16 * i + 16], blocks[loc][i]
            where = "%s location %d NPC %d" % (group, loc, i)
            kind = b[512 + i]
            check(a["kind"] == kind and a["b544"] == b[544 + i], where + ": kind or the bytes at 544")
            check(a["x"] == [v & 31 for v in r[3:6]] and a["y"] == [v & 31 for v in r[6:9]], where + ": positions")
            check(a["level"] == list(r[9:12]), where + ": levels %s, PC %s" % (a["level"], list(r[9:12])))
            check(a["slot"] == [v & 7 for v in r[0:3]], where + ": slot codes")
            for k in range(4):
                check(a["hours"][k] in nearest_hours(r[12 + k]), where + ": hour %d for %d" % (a["hours"][k], r[12 + k]))
            for w in (0, 2):
                check((r[12 + w] == r[13 + w]) == (a["hours"][w] == a["hours"][w + 1]),
                      where + ": window %d %s, PC %s" % (w // 2, a["hours"][w:w + 2], list(r[12 + w:14 + w])))
            if kind:
                check(a["default"][:4] == [kind, r[4] & 31, r[7] & 31, r[10]], where + ": default record %s" % a["default"])


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    out = os.path.join(sys.argv[2], "sample")
    shutil.rmtree(out, ignore_errors=True)
    subprocess.run([sys.argv[1], out], check=True, stdout=subprocess.DEVNULL)

    def read(*parts):
        with open(os.path.join(out, *parts), "rb") as f:
            return f.read()

    program = read("apple2", "zk-program.dsk")
    check(len(program) == TRACKS * SECTORS * SECTOR, "program disk: %d bytes" % len(program))
    files, dir_blocks, volume = walk_program_disk(program)
    print("volume /%s, directory blocks %s" % (volume, dir_blocks))
    for path, (storage, eof, blocks, _) in sorted(files.items()):
        print("  %-24s %-9s %7d bytes %4d blocks" % (path, STORAGE.get(storage, storage), eof, blocks))
    check(len(dir_blocks) >= 2, "the volume directory is one block")
    kinds = {s for s, _, _, _ in files.values()}
    check({0, 1, 2, 3, 13} <= kinds, "storage types on the volume: %s" % kinds)
    check(any(p.count("/") > 1 for p in files), "no file inside a subdirectory")
    check(any(s == 3 and eof > 131072 for s, eof, _, _ in files.values()), "no tree file over 128 KiB")
    shapes = files.get("/SHAPES")
    check(shapes is not None and shapes[0] == 2 and shapes[1] == 16384 and shapes[2] == 33,
          "SHAPES: %s" % (shapes[:3] if shapes else "missing",))
    if shapes:
        distances = resemblance(shapes[3], read("pc-decoded", "TILES.16"))
        close = sum(1 for d in distances if d < 90)
        print("SHAPES: %d of 512 tiles close to the PC pictures (mean colour per half within 90)" % close)
        check(close >= 380, "SHAPES resembles the PC pictures in only %d tiles" % close)
        check(max(distances[0:1]) < 1, "tile 0 is not black")
        # Deep water and water show blue (6) most, grass green (12).
        for n, want in ((1, 6), (2, 6), (5, 12)):
            counts = {}
            for row in render_tile(shapes[3], n):
                for c in row:
                    if c:
                        counts[c] = counts.get(c, 0) + 1
            top = max(counts, key=counts.get) if counts else None
            check(top == want, "tile %d shows colour %s most" % (n, top))

    for group in ("CASTLE", "DWELLING", "KEEP", "TOWNE"):
        image = read("apple2", "zk-%s.dsk" % group.lower())
        check(len(image) == TRACKS * SECTORS * SECTOR, "%s disk: %d bytes" % (group, len(image)))
        maps, blocks = read_settlement_disk(image)
        check(maps == read("pc", group + ".DAT"), "%s: map tracks differ from the PC file" % group)
        compare_npcs(group, read("pc", group + ".NPC"), blocks)

    for line in failures[:40]:
        print("FAIL " + line)
    if len(failures) > 40:
        print("... %d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
