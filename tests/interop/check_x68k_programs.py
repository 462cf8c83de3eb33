#!/usr/bin/env python3
"""Checks the X68000 and PC-98 mappers end to end against independent models.

The programs run on the sample floppy images; their BMP files are read with Pillow (and a
few spot-checked with ImageMagick) and compared pixel for pixel with maps drawn here:
- the tile and mask pictures by x68k_model (files read out of the images by mtools);
- the world maps row by row, with gates and items through the mask, or covering their
  cells with -M;
- the settlement levels and the console trace by settlement_model, at night and by day,
  through the mask, without a mask, with -n and -p, and with the shape types;
- shape and mask bitmaps written by Pillow and ImageMagick in several bit counts and tile
  sizes, read here by Pillow.
The settlement model is first checked against garvik's checked-in console at hour 12, and
calvik's trace on the X68000 image must equal garvik's on the PC files.

usage: check_x68k_programs.py CALVIK DUNVIK ESKVIK FELVIK GARVIK MAKE_SAMPLE_DATA
"""
import os
import subprocess
import sys
import tempfile
import time

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import settlement_model as sm  # noqa: E402
import x68k_model as xm  # noqa: E402

CALVIK, DUNVIK, ESKVIK, FELVIK, GARVIK, MAKE_SAMPLE_DATA = sys.argv[1:7]
CONVERT = "/usr/bin/convert"
GARVIK_HOUR_12 = os.path.join(HERE, "..", "programs", "garvik-hour-12.txt")

# program: (path, image file in the sample's x68k folder, header bytes, mirror-room tile rows)
BUILDS = {
    "calvik": (CALVIK, "zk-britannia.xdf", 0, 16),
    "dunvik": (DUNVIK, "ZK_Britania.fdi", 4096, 19),
    "eskvik": (ESKVIK, "zk-britannia.xdf", 0, 16),
    "felvik": (FELVIK, "ZK_Britania.fdi", 4096, 19),
}
GATES = [(224, 133), (96, 102), (38, 224), (50, 37), (166, 19), (104, 194), (23, 126), (187, 167)]
ITEMS = [(105, 225, 439), (192, 80, 436), (130, 65, 436), (176, 184, 436)]
X68K_RGB = [(red, green, blue) for blue, green, red, _ in xm.X68K_PALETTE]

failures = []
passed = 0
work = ""  # the scratch directory
images = {}  # image file name -> path


def check(condition, what):
    global passed
    passed += condition
    if not condition:
        failures.append(what)
        print("FAILED:", what)
    return condition


def run(program, args, cwd):
    result = subprocess.run([program] + args, cwd=cwd, capture_output=True, text=True, stdin=subprocess.DEVNULL)
    return result.returncode, result.stdout


def fresh_dir(name):
    path = os.path.join(work, name)
    os.mkdir(path)
    return path


def first_difference(got, want, width, bpp=1):
    for i in range(min(len(got), len(want))):
        if got[i] != want[i]:
            pixel = i // bpp
            return "first difference at pixel (%d, %d): %r != %r" % (pixel % width, pixel // width, got[i], want[i])
    return "lengths %d != %d" % (len(got), len(want))


# ---------------------------------------------------------------- data from the images

image_files = {}


def image_file(image, name):
    """A file of a sample image, read by mcopy."""
    key = (image, name)
    if key not in image_files:
        header = 4096 if image.endswith(".fdi") else 0
        image_files[key] = xm.read_image_file(images[image], header, name)
    return image_files[key]


sheets = {}


def game_pictures(image, shape_type=0, no_remake_water=False, mirror_rows=16):
    """The 512 pictures of the image's tiles, as rows of colour indexes."""
    key = (image, shape_type, no_remake_water, mirror_rows if shape_type == 2 else 0)
    if key not in sheets:
        sheets[key] = xm.x68k_sheet(image_file(image, "TILES.CH"), image_file(image, "NPC.CH"), shape_type,
                                    no_remake_water, mirror_rows)
    return sheets[key]


def game_mask(pictures):
    """1 where the fourth plane is set (colour 8 and above)."""
    return [[[1 if p >= 8 else 0 for p in row] for row in picture] for picture in pictures]


def check_x68k_file(path, width, height, what):
    """The file is a 4-bit palette image of that size with the X68000 palette; its indexes."""
    if not check(os.path.exists(path), what + ": written"):
        return None
    image = Image.open(path)
    check(image.size == (width, height) and image.mode == "P", what + ": %d x %d palette image" % (width, height))
    palette = image.getpalette()[:48]
    check([tuple(palette[i:i + 3]) for i in range(0, 48, 3)] == X68K_RGB, what + ": X68000 palette")
    check(open(path, "rb").read()[28] == 4, what + ": 4 bits per pixel")
    return image.tobytes()


def magick_agrees(path, box):
    """ImageMagick reads the same RGB pixels as Pillow in box (x, y, width, height)."""
    x, y, w, h = box
    magick = subprocess.run([CONVERT, path, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage", "-depth", "8", "rgb:-"],
                            capture_output=True).stdout
    return magick == Image.open(path).convert("RGB").crop((x, y, x + w, y + h)).tobytes()


# ---------------------------------------------------------------- world maps

def world_model(pictures, data, overlays, mask, pixel_bytes):
    """The map's pixels as bytes: 256 x 256 cells, row by row; overlays {(x, y): picture}
    through the mask when given. pixel_bytes(value) gives a pixel's bytes."""
    height, width = len(pictures[0]), len(pictures[0][0])
    rows = [[b"".join(pixel_bytes(v) for v in row) for row in picture] for picture in pictures]
    size = len(pixel_bytes(pictures[0][0][0]))
    line = 256 * width * size
    out = bytearray(b"".join(b"".join(rows[t][r] for t in data[y * 256:(y + 1) * 256])
                             for y in range(256) for r in range(height)))
    for (x, y), p in overlays.items():
        tile = data[y * 256 + x]
        for r in range(height):
            start = (y * height + r) * line + x * width * size
            if mask is None:
                out[start:start + width * size] = rows[p][r]
            else:
                out[start:start + width * size] = b"".join(
                    pixel_bytes(pictures[tile][r][c] if mask[p][r][c] else pictures[p][r][c]) for c in range(width))
    return bytes(out)


def gate_overlays(phases):
    return {GATES[p - 1]: 220 for p in phases}


def item_overlays():
    return {(x, y): tile for x, y, tile in ITEMS}


def index_bytes(value):
    return bytes((value,))


def world_runs():
    """The world mappers with the tiles of the images."""
    cases = [
        # program, arguments, sheet (shape type, no water remake), mask, surface gates, items
        ("eskvik", ["-g", "-i"], (0, False), True, range(1, 9), True),
        ("felvik", ["-p", "2", "-M", "-p", "0x5", "-b", "brit.bmp", "-u", "under.bmp"], (0, False), False, [2, 5], False),
        ("eskvik", ["--shape-type-dungeon", "-p", "7", "-i", "-M"], (1, False), False, [7], True),
        ("felvik", ["--shape-type-mirror-room", "-i", "-p", "010"], (2, False), True, [8], True),
        ("eskvik", ["--no-remake-water", "--shape-type-mirror-room"], (2, True), True, [], False),
    ]
    for number, (program, args, (shape_type, no_remake), masked, phases, items) in enumerate(cases):
        path, image, header, mirror_rows = BUILDS[program]
        what = "%s %s" % (program, " ".join(args))
        cwd = fresh_dir("world-%d" % number)
        status, output = run(path, ["-d", images[image]] + args, cwd)
        check(status == 0 and output == "", what + ": runs quietly: %d %r" % (status, output))
        pictures = game_pictures(image, shape_type, no_remake, mirror_rows)
        mask = game_mask(pictures) if masked else None
        outputs = ("brit.bmp", "under.bmp") if "-b" in args else ("zk.Britannia.bmp", "zk.Underworld.bmp")
        for name, data_file, overlays in ((outputs[0], "BRIT.DAT", gate_overlays(phases)),
                                          (outputs[1], "UNDER.DAT", item_overlays() if items else {})):
            got = check_x68k_file(os.path.join(cwd, name), 8192, 8192, what + ": " + name)
            if got is None:
                continue
            want = world_model(pictures, image_file(image, data_file), overlays, mask, index_bytes)
            check(got == want, "%s: %s pixels (%s)" % (what, name, first_difference(got, want, 8192)
                                                       if got != want else ""))
        if number == 0:
            # Around the gate of phase 1 and the item at (105, 225).
            check(magick_agrees(os.path.join(cwd, "zk.Britannia.bmp"), (223 * 32, 132 * 32, 96, 96)),
                  what + ": ImageMagick reads the gate's surroundings the same")
            check(magick_agrees(os.path.join(cwd, "zk.Underworld.bmp"), (104 * 32, 224 * 32, 96, 96)),
                  what + ": ImageMagick reads the item's surroundings the same")
        # Free the space of the two 32 MiB files.
        for name in outputs:
            if os.path.exists(os.path.join(cwd, name)):
                os.remove(os.path.join(cwd, name))


# ---------------------------------------------------------------- settlement levels

def group_data(image, group):
    return image_file(image, sm.GROUPS[group].map_file), image_file(image, sm.GROUPS[group].npc_file)


def settlement_run(program, args, hour, groups, sheet, masked, no_npcs, no_pose, checked, extra_cases=None):
    """Runs a settlement mapper; its console must equal the model's, it must write exactly
    the levels of the groups, and the levels of `checked` ({group: slots}) must hold the
    model's pixels. Returns the run directory and the console."""
    path, image, header, mirror_rows = BUILDS[program]
    what = "%s %s" % (program, " ".join(args))
    cwd = fresh_dir("settlement-%d" % len(os.listdir(work)))
    status, output = run(path, ["-d", images[image]] + args, cwd)
    check(status == 0, what + ": exit status %d" % status)
    shape_type, no_remake = sheet
    pictures = game_pictures(image, shape_type, no_remake, mirror_rows)
    mask = game_mask(pictures) if masked else None
    console = []
    names = []
    for group in groups:
        slots = checked.get(group, ())
        files, lines = sm.draw_group(pictures, group, *group_data(image, group), hour, no_npcs, no_pose, mask,
                                     slots=slots)
        console += lines
        names += [sm.level_file_name(group, slot, hour) for slot in range(16)]
        for name, rows in files:
            got = check_x68k_file(os.path.join(cwd, name), 1024, 1024, what + ": " + name)
            if got is None:
                continue
            want = b"".join(bytes(row) for row in rows)
            check(got == want, "%s: %s pixels (%s)" % (what, name, first_difference(got, want, 1024)
                                                       if got != want else ""))
    check(output == "".join(line + "\n" for line in console), what + ": console equals the model's")
    check(sorted(os.listdir(cwd)) == sorted(names), what + ": writes exactly the %d levels" % len(names))
    return cwd, output


def settlement_runs():
    every = range(16)
    # Night, through the mask: all townes, a sample of the others (with their trace levels).
    cwd, _ = settlement_run("calvik", ["-h", "20"], 20, range(4), (0, False), True, False, False,
                            {0: [0, 6, 15], 1: [3, 14], 2: [0, 13], 3: every})
    check(magick_agrees(os.path.join(cwd, "zk.Moonglow.1F.20.bmp"), (0, 0, 1024, 1024)),
          "ImageMagick reads a level the same as Pillow")
    # Day, through the mask, without the pose change; all keeps.
    settlement_run("dunvik", ["-K", "-p", "--hour", "9", "-D"], 9, [1, 2], (0, False), True, False, True,
                   {1: [0, 12, 14], 2: every})
    # Tiles only, at the last hour of the night; all castles.
    settlement_run("calvik", ["-n", "-C", "-h", "4"], 4, [0], (0, False), True, True, False, {0: every})
    # First hour of the day, no mask: pictures cover their cells.
    settlement_run("dunvik", ["-M", "-T", "-h", "0x5"], 5, [3], (0, False), False, False, False, {3: every})
    # Day, through the mask with the pose change; all castles and dwellings.
    settlement_run("calvik", ["-C", "-D"], 12, [0, 1], (0, False), True, False, False, {0: every, 1: every})
    # The shape types; the PC-98 build's mirror room also recolours NPC pictures 256-303.
    settlement_run("calvik", ["--shape-type-dungeon", "-T", "--no-remake-water", "-h", "23"], 23, [3], (1, True),
                   True, False, False, {3: [0, 1, 2, 3]})
    calvik_dir, _ = settlement_run("calvik", ["--shape-type-mirror-room", "-C"], 12, [0], (2, False), True, False,
                                   False, {0: [6, 15]})
    dunvik_dir, _ = settlement_run("dunvik", ["--shape-type-mirror-room", "-C"], 12, [0], (2, False), True, False,
                                   False, {0: [6, 15]})
    name = "zk.Blackthorn's_Palace.1F.12.bmp"
    check(open(os.path.join(calvik_dir, name), "rb").read() != open(os.path.join(dunvik_dir, name), "rb").read(),
          "the mirror room differs between the X68000 and PC-98 builds where NPC pictures 256-303 stand")


def traces():
    """The model reproduces garvik's console, and calvik's trace on the X68000 image is
    garvik's on the PC files."""
    pc = os.path.join(work, "pc")
    console = []
    for group in range(4):
        data = open(os.path.join(pc, sm.GROUPS[group].map_file), "rb").read()
        npcs = open(os.path.join(pc, sm.GROUPS[group].npc_file), "rb").read()
        console += sm.group_console(group, data, npcs, 12)
    golden = open(GARVIK_HOUR_12).read()
    check("".join(line + "\n" for line in console) == golden, "the settlement model gives garvik's console at hour 12")

    for hour in (12, 21):
        garvik_dir, calvik_dir = fresh_dir("garvik-%d" % hour), fresh_dir("calvik-%d" % hour)
        g_status, g_output = run(GARVIK, ["--ega", os.path.join(pc, "TILES.16"), "-h", str(hour), pc], garvik_dir)
        c_status, c_output = run(CALVIK, ["-d", images["zk-britannia.xdf"], "-M", "-h", str(hour)], calvik_dir)
        check(g_status == 0 and c_status == 0, "garvik and calvik run at hour %d" % hour)
        check(c_output == g_output and c_output.count("\n") > 64,
              "calvik's console on the X68000 image equals garvik's on the PC files at hour %d" % hour)
        check(sorted(os.listdir(garvik_dir)) == sorted(os.listdir(calvik_dir)), "the same file names at hour %d" % hour)


# ---------------------------------------------------------------- shape and mask bitmaps

def bitmap_pictures(path, columns=16, rows=32):
    """The pictures of a bitmap read by Pillow: RGB tuples, tile size width / 16 x height / 32."""
    image = Image.open(path).convert("RGB")
    width, height = image.size
    tw, th = width // columns, height // rows
    pixels = list(image.getdata())
    return [[pixels[((p // 16) * th + r) * width + (p % 16) * tw:((p // 16) * th + r) * width + (p % 16 + 1) * tw]
             for r in range(th)] for p in range(512)]


def mask_pictures(path):
    """1 where the colour is nearer white than black (a tie is black)."""
    return [[[1 if (255 - r) ** 2 + (255 - g) ** 2 + (255 - b) ** 2 < r * r + g * g + b * b else 0
              for r, g, b in row] for row in picture] for picture in bitmap_pictures(path)]


def rgb_bytes(rows):
    return b"".join(bytes(c for pixel in row for c in pixel) for row in rows)


def write_bitmaps():
    """Shape and mask bitmaps of several bit counts and tile sizes, with the bit count each
    must have."""
    made = []

    def shape_source(width, height, colours):
        image = Image.new("RGB", (width, height))
        image.putdata([colours[(x * 7 + y * 3 + (x * y) // 5) % len(colours)]
                       for y in range(height) for x in range(width)])
        return image

    def mask_source(width, height):
        # Red and black become 0, yellow and white 1, in a pattern that differs from tile to tile.
        colours = [(255, 0, 0), (255, 255, 0), (0, 0, 0), (255, 255, 255), (200, 200, 40)]
        image = Image.new("RGB", (width, height))
        image.putdata([colours[(x + 2 * y + x // 3) % 5] for y in range(height) for x in range(width)])
        return image

    sixteen = [(r, g, b) for r in (0, 255) for g in (0, 128) for b in (0, 90, 255)][:16]
    many = [((i * 37) % 256, (i * 91) % 256, (i * 53) % 256) for i in range(200)]

    def save(name, image, writer):
        path = os.path.join(work, name)
        if writer == "pillow":
            image.save(path)
        else:
            source = path + ".png"
            image.save(source)
            subprocess.run([CONVERT, source] + writer + ["BMP3:" + path], check=True)
        return path

    # 24-bit shape, 3 x 2 tiles; 24-bit mask with red, yellow and other colours.
    made.append((save("s24.bmp", shape_source(48, 64, many), "pillow"), 24,
                 save("m24.bmp", mask_source(48, 64), "pillow")))
    # 4-bit shape (ImageMagick), 4 x 2 tiles; 1-bit mask (Pillow).
    made.append((save("s4.bmp", shape_source(64, 64, sixteen), ["-type", "Palette", "-colors", "16", "-compress",
                                                               "None"]), 4,
                 save("m1.bmp", mask_source(64, 64).convert("1", dither=Image.NONE), "pillow")))
    # 4-bit shape with an odd tile width, 3 x 2 tiles; 8-bit mask.
    made.append((save("s4odd.bmp", shape_source(48, 64, sixteen), ["-type", "Palette", "-colors", "16", "-compress",
                                                                   "None"]), 4,
                 save("m8.bmp", mask_source(48, 64).convert("P"), "pillow")))
    # 1-bit shape of 8 x 1 tiles; 4-bit mask (ImageMagick).
    made.append((save("s1.bmp", shape_source(128, 32, [(0, 0, 0), (255, 255, 255)]).convert("1", dither=Image.NONE),
                      "pillow"), 1,
                 save("m4.bmp", mask_source(128, 32), ["-type", "Palette", "-colors", "16", "-compress", "None"])))
    # 8-bit shape of 5 x 3 tiles, no mask.
    made.append((save("s8.bmp", shape_source(80, 96, many).convert("P"), "pillow"), 8, None))
    # 32-bit shape of 1 x 1 tiles; 24-bit mask.
    made.append((save("s32.bmp", shape_source(16, 32, many).convert("RGBA"), "pillow"), 32,
                 save("m24small.bmp", mask_source(16, 32), "pillow")))
    # 1-bit shape of 3 x 2 tiles (rows not whole bytes); 1-bit mask.
    made.append((save("s1odd.bmp", shape_source(48, 64, [(0, 0, 0), (255, 255, 255)]).convert("1", dither=Image.NONE),
                      "pillow"), 1,
                 save("m1odd.bmp", mask_source(48, 64).convert("1", dither=Image.NONE), "pillow")))
    # 24-bit shape of 2 x 2 tiles; 1-bit mask (ImageMagick) whose palette has white first.
    inverted = save("m1inv.bmp", mask_source(32, 64), ["-negate", "-type", "Bilevel", "-negate", "-compress", "None"])
    check(open(inverted, "rb").read()[54:62] == bytes([255, 255, 255, 0, 0, 0, 0, 0]),
          "the ImageMagick mask has white as its first palette entry")
    made.append((save("s24small.bmp", shape_source(32, 64, many), "pillow"), 24, inverted))
    # 8-bit shape of 2 x 2 tiles with 3 rows below the 32 tile rows that are never drawn.
    made.append((save("s8tall.bmp", shape_source(32, 67, many).convert("P"), "pillow"), 8,
                 save("m8tall.bmp", mask_source(32, 64).convert("P"), "pillow")))
    return made


def bitmap_runs():
    world = "eskvik"
    for number, (shape, bit_count, mask_path) in enumerate(write_bitmaps()):
        what = os.path.basename(shape) + (" + " + os.path.basename(mask_path) if mask_path else "")
        check(open(shape, "rb").read()[28] == bit_count, what + ": the shape bitmap has %d bits" % bit_count)
        pictures = bitmap_pictures(shape)
        mask = mask_pictures(mask_path) if mask_path else None
        th, tw = len(pictures[0]), len(pictures[0][0])
        mask_args = ["-m", mask_path] if mask_path else []

        # World maps, with the shape type options that do nothing to bitmaps.
        program = world if number % 2 == 0 else "felvik"
        path, image, _, _ = BUILDS[program]
        cwd = fresh_dir("bitmap-world-%d" % number)
        args = mask_args + ["-s", shape, "-p", "4", "-i", "--shape-type-mirror-room", "--no-remake-water"]
        status, output = run(path, ["-d", images[image]] + args, cwd)
        check(status == 0 and output == "", "%s %s: runs quietly: %r" % (program, what, output))
        for name, data_file, overlays in (("zk.Britannia.bmp", "BRIT.DAT", gate_overlays([4])),
                                          ("zk.Underworld.bmp", "UNDER.DAT", item_overlays())):
            file = os.path.join(cwd, name)
            if not check(os.path.exists(file), "%s %s: %s written" % (program, what, name)):
                continue
            got_image = Image.open(file)
            check(got_image.size == (256 * tw, 256 * th), "%s %s: %s size" % (program, what, name))
            check(open(file, "rb").read()[28] == bit_count, "%s %s: %s bit count" % (program, what, name))
            got = got_image.convert("RGB").tobytes()
            want = world_model(pictures, image_file(image, data_file), overlays, mask, lambda v: bytes(v))
            check(got == want, "%s %s: %s pixels (%s)" % (program, what, name,
                                                          first_difference(got, want, 256 * tw, 3) if got != want else ""))

        # Settlement levels at night with the NPCs through the mask.
        program = "dunvik" if number % 2 == 0 else "calvik"
        path, image, _, _ = BUILDS[program]
        cwd = fresh_dir("bitmap-settlement-%d" % number)
        status, output = run(path, ["-d", images[image], "-s", shape, "-h", "22", "-C", "--shape-type-dungeon"]
                             + mask_args, cwd)
        check(status == 0, "%s %s: exit status %d" % (program, what, status))
        files, console = sm.draw_group(pictures, 0, *group_data(image, 0), 22, False, False, mask)
        check(output == "".join(line + "\n" for line in console), "%s %s: console" % (program, what))
        for name, rows in files:
            file = os.path.join(cwd, name)
            if not check(os.path.exists(file), "%s %s: %s written" % (program, what, name)):
                continue
            got = Image.open(file).convert("RGB").tobytes()
            want = rgb_bytes(rows)
            check(got == want, "%s %s: %s pixels (%s)" % (program, what, name,
                                                          first_difference(got, want, 32 * tw, 3) if got != want else ""))
        if number == 1:
            check(magick_agrees(os.path.join(cwd, "zk.Blackthorn's_Palace.1F.22.bmp"), (0, 0, 32 * tw, 32 * th)),
                  "ImageMagick reads a 4-bit level drawn from a shape bitmap the same")


def main():
    global work
    started = time.time()
    with tempfile.TemporaryDirectory() as directory:
        work = directory
        subprocess.run([MAKE_SAMPLE_DATA, work], check=True, capture_output=True)
        for name in ("zk-britannia.xdf", "ZK_Britania.fdi"):
            images[name] = os.path.join(work, "x68k", name)
        for part in (traces, settlement_runs, bitmap_runs, world_runs):
            begun = time.time()
            part()
            print("%s: %.1f s" % (part.__name__, time.time() - begun))
    print("%.1f s in all" % (time.time() - started))
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("all %d X68000 and PC-98 program checks passed" % passed)
    return 0


sys.exit(main())
