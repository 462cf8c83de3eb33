#!/usr/bin/env python3
"""brevik end to end, against independent models.

usage: check_brevik.py BREVIK MAKE_SAMPLE_DATA

Makes the sample disk images, runs the real brevik on them and compares every pixel of the
BMP files it writes with what the models say: SHAPES is found and read by a small ProDOS
reader of this script, decoded into hi-res dots by apple2_model.py; the map and NPC tracks
of the settlement disks are decoded here from their raw layout; the levels are drawn from
those dots (NPCs placed by settlement_model.py) and rendered by apple2_model.py in 16
colours, 16 blurred colours or 24 bits. The console of each run is compared too. The same
disks converted to the other sector order give the same files with --do; mismatched orders
fail or draw the scrambled data that the wrong table reads. Exit status 0 when everything
agrees.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import apple2_model as hires  # noqa: E402
import settlement_model as settlement  # noqa: E402

DISKS = ["zk-program.dsk", "zk-castle.dsk", "zk-dwelling.dsk", "zk-keep.dsk", "zk-towne.dsk"]

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
    return ok


# ---------------------------------------------------------------------------------------
# Disk images: sector orders, ProDOS, raw tracks

ORDERS = {1: list(range(16)), 2: [0, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 15]}


def sector(image, order, track, position):
    at = 4096 * track + 256 * ORDERS[order][position]
    return image[at:at + 256]


def block(image, order, b):
    return sector(image, order, b // 8, 2 * (b % 8)) + sector(image, order, b // 8, 2 * (b % 8) + 1)


def u16(data, at):
    return data[at] | data[at + 1] << 8


def convert_order(image, source, target):
    """The image with every sector moved from its place under `source` to its place under `target`."""
    out = bytearray(len(image))
    for track in range(len(image) // 4096):
        for p in range(16):
            to = 4096 * track + 256 * ORDERS[target][p]
            out[to:to + 256] = sector(image, source, track, p)
    return bytes(out)


def find_shapes(image, order):
    """(storage type, key pointer, eof) of SHAPES in the volume directory, or None."""
    b, seen = 2, set()
    first = True
    while b and b not in seen and 512 * (b + 1) <= len(image):
        seen.add(b)
        data = block(image, order, b)
        for k in range(1 if first else 0, 13):
            e = data[4 + 39 * k:4 + 39 * (k + 1)]
            if e[0] >> 4 in (1, 2, 3, 13) and e[1:1 + (e[0] & 15)] == b"SHAPES":
                return e[0] >> 4, u16(e, 17), e[21] | e[22] << 8 | e[23] << 16
        b, first = u16(data, 2), False
    return None


def read_prodos_file(image, order, storage, key, eof):
    def index(b):
        data = block(image, order, b)
        return [data[i] | data[256 + i] << 8 for i in range(256)]

    def data_block(b):
        return block(image, order, b) if b else bytes(512)

    def sapling(b):
        return b"".join(data_block(n) for n in index(b)) if b else bytes(131072)

    if storage == 1:
        out = data_block(key)
    elif storage == 2:
        out = sapling(key)
    else:
        out = b"".join(sapling(n) for n in index(key)[:128])
    return out[:eof]


def read_map_tracks(image, order):
    maps = bytearray(16384)
    for k in range(4):
        for p in range(16):
            s = sector(image, order, 31 + k, p)
            for j in range(256):
                maps[1024 * (4 * k + p // 4) + 512 * ((p % 4) // 2) + 16 * (p % 2) + 32 * (j // 16) + j % 16] = s[j]
    return bytes(maps)


HOURS = [0, 1, 3, 5, 6, 7, 9, 11, 12, 13, 15, 17, 18, 19, 21, 23]


def read_npc_track(image, order):
    """Eight 768-byte NPC blocks."""
    data = bytearray(8 * 768)
    for loc in range(8):
        kinds, sched = sector(image, order, 30, 2 * loc), sector(image, order, 30, 2 * loc + 1)
        b = 768 * loc
        for i in range(32):
            data[b + 512 + i] = kinds[i]
            for f in range(5):
                data[b + 576 + 5 * i + f] = kinds[32 * (f + 1) + i]
            data[b + 736 + i] = kinds[192 + i]
            data[b + 544 + i] = kinds[224 + i]
            r = b + 16 * i
            for e in range(3):
                sx, ly = sched[64 + 32 * e + i], sched[160 + 32 * e + i]
                data[r + e] = sx >> 5
                data[r + 3 + e] = sx & 31
                data[r + 6 + e] = ly & 31
                data[r + 9 + e] = 255 if ly >> 5 == 7 else ly >> 5
            w0, w1 = sched[i], sched[32 + i]
            data[r + 12:r + 16] = bytes([HOURS[w0 >> 4], HOURS[w0 & 15], HOURS[w1 >> 4], HOURS[w1 & 15]])
    return data


def default_placement(npcs):
    """Every NPC at its default record, at every hour."""
    out = bytearray(npcs)
    for loc in range(8):
        b = 768 * loc
        for i in range(32):
            kind, x, y, level, hour = npcs[b + 576 + 5 * i:b + 581 + 5 * i]
            out[b + 512 + i] = kind
            r = b + 16 * i
            out[r + 3:r + 6] = bytes([x] * 3)
            out[r + 6:r + 9] = bytes([y] * 3)
            out[r + 9:r + 12] = bytes([level] * 3)
            out[r + 12:r + 16] = bytes([hour] * 4)
    return out


# ---------------------------------------------------------------------------------------
# Drawing and rendering

WIDTH, HEIGHT = 896, 1024  # 32 x 32 tiles of 28 x 32 pixels


def tile_pictures(level, hour):
    """The picture drawn for each cell without NPCs."""
    return [settlement.drawn_tile(level, i % 32, i // 32, hour) for i in range(1024)]


def level_pictures(level, npc_block, level_code, hour, npcs, pose):
    """(picture per cell, console trace) of one level."""
    pictures = tile_pictures(level, hour)
    if not npcs:
        return pictures, ""
    grid, lines = settlement.place_npcs(level, npc_block, level_code, hour)
    for i, kind in enumerate(grid):
        if kind:
            pictures[i] = settlement.npc_picture(kind, level, i % 32, i // 32) if pose else 256 + kind
    return pictures, "".join(line + "\n" for line in lines)


def dot_rows(sheet, pictures):
    """The even dot rows of a level (the odd rows are never looked at by the renderings)."""
    rows = []
    for y in range(32):
        cells = pictures[32 * y:32 * y + 32]
        for r in range(0, 32, 2):
            starts = [((p // 16) * 32 + r) * 448 + (p % 16) * 28 for p in cells]
            rows.append(b"".join(sheet[at:at + 28] for at in starts))
    return rows


rendered_cells = {}
CELL = 28


def render_cell(strip, blur):
    """The rendered pixels of the middle cell of a strip of three cells."""
    key = (blur, strip)
    if key not in rendered_cells:
        width = len(strip)
        if blur < 2:
            pixels = bytes(hires.colour(strip + bytes(width), width, 2, False, blur == 1)[CELL:2 * CELL])
        else:
            console, pixels = hires.retouch(strip + bytes(width), width, 2, True, 0)
            check(console == [], "retouch console %s" % console)
            pixels = b"".join(bytes(rgb) for rgb in pixels[CELL:2 * CELL])
        rendered_cells[key] = pixels
    return rendered_cells[key]


def render_row(row, blur):
    """A row pair rendered cell by cell, each cell between its two neighbours. A pixel's colour
    depends on the dots within 8 columns of it (2 for the pattern, 6 more for the saturation
    walk), and marker columns and colour phases repeat every 28 columns; so the middle cell of
    a three-cell strip comes out as in the whole row. The row ends are unlit without join-ends
    (blur 0, 1) and wrap around with it (blur 2)."""
    edge = row[-CELL:] if blur == 2 else bytes(CELL)
    padded = edge + row + (row[:CELL] if blur == 2 else bytes(CELL))
    return b"".join(render_cell(padded[x:x + 3 * CELL], blur) for x in range(0, len(row), CELL))


def render_whole_row(row, blur):
    """The same row pair rendered by the model in one piece."""
    if blur < 2:
        return bytes(hires.colour(row + bytes(WIDTH), WIDTH, 2, False, blur == 1)[:WIDTH])
    return b"".join(bytes(rgb) for rgb in hires.retouch(row + bytes(WIDTH), WIDTH, 2, True, 0)[1][:WIDTH])


def render(rows, blur):
    """The pixel bytes of a level: palette indices for blur 0 and 1, RGB for blur 2."""
    out = []
    for row in rows:
        pixels = render_row(row, blur)
        out += [pixels, pixels]
    return b"".join(out)


def shape_bitmap_image(shape, pictures):
    """A level drawn from a shape bitmap of 16 x 32 tiles (RGB bytes of a PIL image)."""
    sw, sh = shape.size
    tw, th = sw // 16, sh // 32
    src = shape.tobytes()
    out = []
    for y in range(32):
        for r in range(th):
            starts = [3 * (sw * ((p // 16) * th + r) + (p % 16) * tw) for p in pictures[32 * y:32 * y + 32]]
            out += [src[at:at + 3 * tw] for at in starts]
    return b"".join(out)


# ---------------------------------------------------------------------------------------
# Runs

class Data:
    """What the models read from a set of disks."""

    def __init__(self, disks, order):
        self.images = [open(d, "rb").read() for d in disks]
        self.order = order
        self.sheets = {}

    def shapes(self):
        found = find_shapes(self.images[0], self.order)
        check(found is not None and found[2] == 16384, "SHAPES on the program disk: %s" % (found,))
        return read_prodos_file(self.images[0], self.order, *found)

    def sheet(self, shape_type=0, no_remake=0):
        key = (shape_type, no_remake)
        if key not in self.sheets:
            self.sheets[key] = hires.decode_shapes(self.shapes(), shape_type, no_remake)
        return self.sheets[key]

    def group(self, g):
        image = self.images[g + 1]
        return read_map_tracks(image, self.order), read_npc_track(image, self.order)


def run_brevik(brevik, arguments, where):
    shutil.rmtree(where, ignore_errors=True)
    os.makedirs(where)
    run = subprocess.run([brevik] + arguments, cwd=where, capture_output=True, text=True, stdin=subprocess.DEVNULL)
    check(run.stderr == "", "%s: standard error %r" % (arguments, run.stderr))
    return run


def expected_levels(data, groups, hour, npcs=True, pose=True, default=False):
    """[(file name, group, slot, pictures)] and the console, as the models draw them."""
    levels, console = [], ""
    draw_hour = 9 if default else hour
    for g in groups:
        maps, npc_data = data.group(g)
        if default:
            npc_data = default_placement(npc_data)
        for s, (loc, level_code) in enumerate(settlement.SLOTS[g]):
            pictures, trace = level_pictures(maps[1024 * s:1024 * (s + 1)],
                                             settlement.location_block(npc_data, loc, 768), level_code, draw_hour,
                                             npcs, pose)
            console += "[%s]\n%s" % (settlement.GROUPS[g].locations[loc], trace)
            levels.append((settlement.level_file_name(g, s, hour, not default), g, s, pictures))
    return levels, console


def first_difference(got, want, width, bpp):
    i = next(k for k in range(min(len(got), len(want))) if got[k] != want[k]) if got[:len(want)] != want else len(want)
    return "first difference at pixel (%d, %d)" % (i // bpp % width, i // bpp // width)


def compare_image(path, want, mode, size):
    what = os.path.basename(path)
    with Image.open(path) as image:
        if not check(image.format == "BMP" and image.mode == mode and image.size == size,
                     "%s: %s %s %s, wanted %s %s" % (what, image.format, image.mode, image.size, mode, size)):
            return
        if mode == "P":
            palette = image.getpalette()[:48]
            check([tuple(palette[i:i + 3]) for i in range(0, 48, 3)] == hires.PALETTE, what + ": palette")
        got = image.tobytes()
    check(got == want, "%s: pixels differ from the model, %s" % (what, first_difference(got, want, size[0], 3 if mode == "RGB" else 1)))


def check_run(brevik, name, arguments, data, groups, hour, where, blur=0, shape_type=0, no_remake=0, shape=None):
    """Runs brevik and compares its console and every pixel of its files with the models. The
    NPC options are taken from the arguments."""
    npcs = "-n" not in arguments and "--no-npcs" not in arguments
    pose = "-p" not in arguments and "--no-change-pose" not in arguments
    default = "--default" in arguments
    started = time.time()
    run = run_brevik(brevik, arguments, where)
    levels, console = expected_levels(data, groups, hour, npcs, pose, default)
    check(run.returncode == 0, "%s: status %d\n%s" % (name, run.returncode, run.stdout[-500:]))
    check(run.stdout == console, "%s: console differs:\n%s" % (name, diff_lines(run.stdout, console)))
    written = sorted(f for f in os.listdir(where) if f.endswith(".bmp"))
    check(written == sorted(n for n, _, _, _ in levels), "%s: files %s" % (name, written[:4]))
    compared = 0
    for file_name, g, s, pictures in levels:
        path = os.path.join(where, file_name)
        if not os.path.exists(path):
            continue
        if shape is not None:
            size = (shape.size[0] // 16 * 32, shape.size[1] // 32 * 32)
            compare_image(path, shape_bitmap_image(shape, pictures), "RGB", size)
            compared += 1
            continue
        mode = "RGB" if blur == 2 else "P"
        want = render(dot_rows(data.sheet(shape_type, no_remake), pictures), blur)
        compare_image(path, want, mode, (WIDTH, HEIGHT))
        compared += 1
    trace = len(console.splitlines()) - len(levels)
    print("%-48s %2d files, %2d compared pixel by pixel, %3d trace lines, %.1f s" %
          (name, len(written), compared, trace, time.time() - started))
    return run


def diff_lines(got, want):
    g, w = got.splitlines(), want.splitlines()
    for i in range(max(len(g), len(w))):
        a = g[i] if i < len(g) else "<none>"
        b = w[i] if i < len(w) else "<none>"
        if a != b:
            return "line %d: got %r, wanted %r" % (i + 1, a, b)
    return "(same lines)"


def same_files(first, second, what):
    a = sorted(f for f in os.listdir(first) if f.endswith(".bmp"))
    b = sorted(f for f in os.listdir(second) if f.endswith(".bmp"))
    if not check(a == b and a, "%s: files %s and %s" % (what, a[:3], b[:3])):
        return
    for f in a:
        with open(os.path.join(first, f), "rb") as x, open(os.path.join(second, f), "rb") as y:
            check(x.read() == y.read(), "%s: %s differs" % (what, f))


def magick_pixels(path):
    """The RGB bytes of a BMP as ImageMagick decodes it, or None without ImageMagick."""
    tool = shutil.which("convert")
    if not tool:
        return None
    run = subprocess.run([tool, path, "-depth", "8", "rgb:-"], capture_output=True)
    check(run.returncode == 0, "convert %s: %s" % (path, run.stderr[:200]))
    return run.stdout


def spot_check_with_imagemagick(path):
    """ImageMagick's decoding of the file equals Pillow's, colour for colour."""
    got = magick_pixels(path)
    if got is None:
        print("ImageMagick not found: spot check skipped")
        return
    with Image.open(path) as image:
        want = image.convert("RGB").tobytes()
    check(got == want, "%s: ImageMagick and Pillow decode different pixels" % os.path.basename(path))


def levels_where(data, g, differs):
    """The (group, slot) pairs of group g for which differs(level bytes) holds."""
    maps, _ = data.group(g)
    return {(g, s) for s in range(16) if differs(maps[1024 * s:1024 * (s + 1)])}


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    brevik, make_sample_data = sys.argv[1:]
    started = time.time()
    with tempfile.TemporaryDirectory() as work:
        subprocess.run([make_sample_data, work], check=True, stdout=subprocess.DEVNULL)
        po = [os.path.join(work, "apple2", d) for d in DISKS]
        do_dir = os.path.join(work, "order1")
        os.makedirs(do_dir)
        do = [os.path.join(do_dir, d) for d in DISKS]
        for src, dst in zip(po, do):
            with open(src, "rb") as f, open(dst, "wb") as g:
                g.write(convert_order(f.read(), 2, 1))
        disks = []
        for i, d in enumerate(po):
            disks += ["-d%d" % (i + 1), d]
        data = Data(po, 2)
        out = lambda name: os.path.join(work, "runs", name)  # noqa: E731

        # Which levels show the night substitutions, the water remake and the recoloured tiles.
        def night_differs(level):
            return tile_pictures(level, 0) != tile_pictures(level, 12)
        nights = levels_where(data, 3, night_differs)
        check(len(nights) >= 2, "towne: only %d levels with night tiles" % len(nights))
        night_list = sorted(nights)

        # The cell-by-cell rendering against the model's rendering of whole rows.
        maps, _ = data.group(3)
        rows = dot_rows(data.sheet(), tile_pictures(maps[1024 * night_list[0][1]:1024 * night_list[0][1] + 1024], 0))
        for blur in (0, 1, 2):
            for row in rows[::97]:
                check(render_row(row, blur) == render_whole_row(row, blur), "blur %d: cells differ from rows" % blur)

        # The three renderings, at night and by day, without NPCs.
        check_run(brevik, "towne, hour 0, 16 colours", disks + ["-T", "-n", "-h", "0"], data, [3], 0, out("t0"))
        check_run(brevik, "towne, hour 19, 16 colours", disks + ["-T", "-n", "-h", "19"], data, [3], 19, out("t19"))
        check_run(brevik, "towne, hour 20, blurred", disks + ["-T", "-n", "-h", "20", "-B"], data, [3], 20,
                  out("t20b"), blur=1)
        check_run(brevik, "towne, hour 5, blurred", disks + ["--towne", "--no-npcs", "-h", "5", "--blur"], data,
                  [3], 5, out("t5b"), blur=1)
        check_run(brevik, "towne, hour 4, 24 bits", disks + ["-T", "-n", "-h", "4", "-B", "-B"],
                  data, [3], 4, out("t4bb"), blur=2)
        check_run(brevik, "towne, hour 12, 24 bits",
                  disks + ["-T", "-n", "-B", "--blur", "-B"], data, [3], 12, out("t12bb"), blur=2,
)
        spot_check_with_imagemagick(os.path.join(out("t0"), "zk.Britain.1F.00.bmp"))
        spot_check_with_imagemagick(os.path.join(out("t4bb"), "zk.Britain.1F.04.bmp"))

        # NPCs with their trace, with and without the pose change.
        check_run(brevik, "towne, hour 7, NPCs", disks + ["-T", "-h", "7"], data, [3], 7, out("t7"))
        check_run(brevik, "castle, hour 22, NPCs, blurred", disks + ["-C", "-h", "22", "-B"], data, [0], 22,
                  out("c22"), blur=1)
        check_run(brevik, "keep, hour 12, NPCs without pose change", disks + ["-K", "-p"], data, [2], 12,
                  out("k12p"))
        # Default placement: hour 9 whatever -h says, names without the hour.
        check_run(brevik, "dwelling, default placement", disks + ["-D", "--default", "-h", "5"], data, [1], 5,
                  out("d-default"))

        # Shape types and the water remake reach the output.
        for g in (1, 2):
            maps, _ = data.group(g)
            levels = [tile_pictures(maps[1024 * s:1024 * (s + 1)], 12) for s in range(16)]
            for variant in ((1, 0), (2, 0), (0, 1)):
                changed = sum(1 for level in levels
                              if dot_rows(data.sheet(*variant), level) != dot_rows(data.sheet(), level))
                check(changed > 0, "group %d: shape type and remake %s change no level" % (g, variant))
        check_run(brevik, "dwelling, dungeon", disks + ["-D", "-n", "--shape-type-dungeon"], data, [1], 12,
                  out("d-dungeon"), shape_type=1)
        check_run(brevik, "dwelling, mirror room, blurred",
                  disks + ["-D", "-n", "--shape-type-dungeon", "--shape-type-mirror-room", "-B"], data, [1], 12,
                  out("d-mirror"), blur=1, shape_type=2)
        check_run(brevik, "dwelling, no water remake", disks + ["-D", "-n", "--no-remake-water"], data, [1], 12,
                  out("d-nowater"), no_remake=1)
        check_run(brevik, "keep, mirror room, no water remake, NPCs",
                  disks + ["-K", "--no-remake-water", "--shape-type-mirror-room", "-h", "3"], data, [2], 3,
                  out("k-mirror"), shape_type=2, no_remake=1)
        check_run(brevik, "keep, normal after dungeon", disks + ["-K", "-n", "--shape-type-dungeon",
                                                                 "--shape-type-normal"], data, [2], 12, out("k-normal"))

        # Shape bitmaps: all groups, the blur count ignored, the program disk never read.
        shape = Image.new("RGB", (48, 64))
        shape.putdata([((i % 48) * 5, (i // 48) * 4, (i * 7) % 256) for i in range(48 * 64)])
        shape_path = os.path.join(work, "shape.bmp")
        shape.save(shape_path)
        no_program = ["-d1", os.path.join(work, "missing.dsk")] + disks[2:]
        check_run(brevik, "all groups from a shape bitmap, -B -B", no_program + ["-s", shape_path, "-B", "-B",
                                                                                "-h", "21"],
                  data, [0, 1, 2, 3], 21, out("shape"), shape=shape)

        # The other sector order: the same files with --do, also when --po came first.
        do_disks = []
        for i, d in enumerate(do):
            do_disks += ["--disk%d" % (i + 1), d]
        for name, arguments in (("t0", ["-T", "-n", "-h", "0"]), ("t7", ["-T", "-h", "7"]),
                                ("t4bb", ["-T", "-n", "-h", "4", "-B", "-B"])):
            run = run_brevik(brevik, do_disks + ["--po", "--do"] + arguments, out(name + "-do"))
            check(run.returncode == 0, "--do %s: status %d" % (arguments, run.returncode))
            same_files(out(name), out(name + "-do"), "--do " + " ".join(arguments))
        check_run(brevik, "order 1 disks with --do, keep, NPCs", do_disks + ["--do", "-K", "-h", "18"],
                  Data(do, 1), [2], 18, out("k18-do"))

        # Mismatched orders. The program disk read with the wrong table has no SHAPES.
        for order, images, flag in ((1, po, "--do"), (2, do, "--po")):
            with open(images[0], "rb") as f:
                check(find_shapes(f.read(), order) is None, "SHAPES found with the wrong table")
            run = run_brevik(brevik, ["-d1", images[0], "-T", flag], out("wrong-program"))
            check(run.returncode == 1 and run.stdout == "error: can't find file '%s/SHAPES'\n"
                  "error: read shape '%s'\n" % (images[0], images[0]),
                  "%s on a program disk of the other order: %d %r" % (flag, run.returncode, run.stdout))
        # The settlement disks read with the wrong table: the scrambled data that the table gives.
        for order, images, flag in ((1, po, "--do"), (2, do, "--po")):
            wrong = Data(images, order)
            right = data.group(3)
            check(wrong.group(3) != right, "the wrong table reads the same data")
            check_run(brevik, "towne from a shape bitmap with " + flag + " on the other order",
                      ["-s", shape_path, "-T", flag, "-h", "13", "-d5", images[4]], wrong, [3], 13,
                      out("wrong" + flag), shape=shape)
        # Default records are copied whole, so they can place NPCs off the map: NPCs 30 and 31
        # of Moonglow (kind sector: position 0 of track 30, columns of 32 bytes).
        with open(po[4], "rb") as f:
            towne = bytearray(f.read())
        kinds = 4096 * 30 + 256 * ORDERS[2][0]
        for i, record in ((30, (0x2A, 3, 200, 0, 0)), (31, (0x41, 40, 5, 0, 0))):
            for column, value in enumerate(record):
                towne[kinds + 32 * (column + 1) + i] = value
        off_map = os.path.join(work, "off-map.dsk")
        with open(off_map, "wb") as f:
            f.write(towne)
        run = check_run(brevik, "towne, default positions off the map", disks + ["-T", "--default", "-d5", off_map],
                        Data(po[:4] + [off_map], 2), [3], 12, out("off-map"))
        check("[1E] 2A (03, C8) ... can't locate\n[1F] 41 (28, 05) ... can't locate\n" in run.stdout,
              "the NPCs off the map are not reported")

    for failure in failures[:40]:
        print("FAIL " + failure)
    if len(failures) > 40:
        print("... %d failures" % len(failures))
    print("%d failures, %.1f s" % (len(failures), time.time() - started))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
