#!/usr/bin/env python3
"""Checks the mappers against independent BMP tools.

- Maps written by holvik and garvik open in Pillow and in ImageMagick, which agree on every
  pixel, and equal maps drawn here from the sample data by a small model of the file
  layouts (decoded tiles with the water remake, chunked world maps, settlement levels).
- Shape bitmaps written by Pillow and ImageMagick are read correctly.
- BMP variants the mappers do not support are refused with their lines.

usage: check_interop.py HOLVIK GARVIK MAKE_SAMPLE_DATA
"""
import os
import subprocess
import sys
import tempfile

from PIL import Image

HOLVIK, GARVIK, MAKE_SAMPLE_DATA = sys.argv[1:4]
CONVERT = "/usr/bin/convert"

PC_PALETTE = [
    (0x00, 0x00, 0x00), (0x00, 0x00, 0xAA), (0x00, 0xAA, 0x00), (0x00, 0xAA, 0xAA),
    (0xAA, 0x00, 0x00), (0xAA, 0x00, 0xAA), (0xAA, 0x55, 0x00), (0xAA, 0xAA, 0xAA),
    (0x55, 0x55, 0x55), (0x55, 0x55, 0xFF), (0x55, 0xFF, 0x55), (0x55, 0xFF, 0xFF),
    (0xFF, 0x55, 0x55), (0xFF, 0x55, 0xFF), (0xFF, 0xFF, 0x55), (0xFF, 0xFF, 0xFF),
]
SURFACE_ROWS = [
    "..############.#", ".##############.", "###############.", "################",
    "################", "################", "###########.####", "#######...##.###",
    ".######...##.###", "#######.#....##.", "#######.#..##...", "..######......##",
    ".##.####..##.###", ".##.####..##.###", ".###############", "...##.##########",
]
GATES = [(224, 133), (96, 102), (38, 224), (50, 37), (166, 19), (104, 194), (23, 126), (187, 167)]
ITEMS = [(105, 225, 439), (192, 80, 436), (130, 65, 436), (176, 184, 436)]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def run(program, args, cwd):
    result = subprocess.run([program] + args, cwd=cwd, capture_output=True, text=True, stdin=subprocess.DEVNULL)
    return result.returncode, result.stdout


def ega_tiles(path):
    """Pictures 0-511 of a decoded EGA tile file as 256-byte lists, with the water remake."""
    raw = open(path, "rb").read()[:65536]
    tiles = []
    for n in range(512):
        stencil, inverted = 0, False
        if 52 <= n <= 55:
            stencil = n + 156
        elif 96 <= n <= 111:
            stencil = n + 16
        elif 228 <= n <= 231:
            stencil, inverted = n - 20, True
        pixels = []
        for i in range(128):
            byte = raw[n * 128 + i]
            if stencil:
                water, shape = raw[3 * 128 + i], raw[stencil * 128 + i]
                for shift in (4, 0):
                    hole = (shape >> shift) & 15
                    own_pixel, water_pixel = (byte >> shift) & 15, (water >> shift) & 15
                    pixels.append(water_pixel if (hole != 0) != inverted else own_pixel)
            else:
                pixels += [byte >> 4, byte & 15]
        tiles.append(pixels)
    return tiles


def model_world(tiles, data, chunked_surface, phase_gates, items):
    """Palette indexes of a 4096 x 4096 world map drawn from 16 x 16 tiles."""
    table = []
    stored = 0
    for position in range(256):
        if not chunked_surface:
            table.append(position)
        elif SURFACE_ROWS[position // 16][position % 16] == "#":
            table.append(stored)
            stored += 1
        else:
            table.append(-1)
    overlay = {}
    for x, y in phase_gates:
        overlay[(x, y)] = 220
    if items:
        for x, y, tile in ITEMS:
            overlay[(x, y)] = tile
    out = bytearray(4096 * 4096)
    for y in range(256):
        for x in range(256):
            chunk = table[(y // 16) * 16 + x // 16]
            tile = data[chunk * 256 + (y % 16) * 16 + x % 16] if chunk >= 0 else 1
            picture = tiles[overlay.get((x, y), tile)]
            for r in range(16):
                start = (y * 16 + r) * 4096 + x * 16
                out[start:start + 16] = bytes(picture[r * 16:r * 16 + 16])
    return bytes(out)


def rgb_of(path):
    return Image.open(path).convert("RGB").tobytes()


def decoders_agree(path):
    """Pillow and ImageMagick give the same RGB pixels for the file."""
    magick = subprocess.run([CONVERT, path, "-depth", "8", "rgb:-"], capture_output=True).stdout
    return magick == rgb_of(path)


def world_maps(work, data):
    tiles = ega_tiles(os.path.join(data, "..", "pc-decoded", "TILES.16"))  # the compressed file is what holvik gets
    status, output = run(HOLVIK, ["--ega", os.path.join(data, "TILES.16"), "-p", "1", "-p", "8", "-i", data], work)
    check(status == 0 and output == "", "holvik runs on the sample data")
    brit = open(os.path.join(data, "BRIT.DAT"), "rb").read()
    under = open(os.path.join(data, "UNDER.DAT"), "rb").read()
    for name, model in (("zk.Britannia.bmp", model_world(tiles, brit, True, [GATES[0], GATES[7]], False)),
                        ("zk.Underworld.bmp", model_world(tiles, under, False, [], True))):
        path = os.path.join(work, name)
        image = Image.open(path)
        check(image.size == (4096, 4096) and image.mode == "P", name + " is a 4096 x 4096 palette image")
        palette = image.getpalette()[:48]
        check([tuple(palette[i:i + 3]) for i in range(0, 48, 3)] == PC_PALETTE, name + " has the PC palette")
        check(image.tobytes() == model, name + " holds the map drawn from the data files")
        check(decoders_agree(path), name + " reads the same in ImageMagick")


def settlement_maps(work, data):
    tiles = ega_tiles(os.path.join(data, "..", "pc-decoded", "TILES.16"))
    status, output = run(GARVIK, ["--ega", os.path.join(data, "TILES.16"), "-T", "-n", "-h", "20", data], work)
    check(status == 0, "garvik runs on the sample data")
    levels = open(os.path.join(data, "TOWNE.DAT"), "rb").read()
    towne_slots = [("Moonglow", "1F"), ("Moonglow", "2F"), ("Britain", "1F"), ("Britain", "2F"), ("Jhelom", "1F"),
                   ("Jhelom", "2F"), ("Yew", "B1F"), ("Yew", "1F"), ("Minoc", "1F"), ("Minoc", "2F"),
                   ("Trinsic", "1F"), ("Trinsic", "2F"), ("Skara_Brae", "1F"), ("Skara_Brae", "2F"),
                   ("New_Magincia", "1F"), ("New_Magincia", "2F")]
    check(output == "".join("[%s]\n" % location for location, _ in towne_slots), "garvik prints the location lines")
    for slot, (location, level) in enumerate(towne_slots):
        name = "zk.%s.%s.20.bmp" % (location, level)
        level_bytes = levels[slot * 1024:(slot + 1) * 1024]
        model = bytearray(512 * 512)
        for y in range(32):
            for x in range(32):
                tile = level_bytes[y * 32 + x]
                if tile in (72, 73):  # night
                    tile = 3
                elif tile == 68 and y > 0 and level_bytes[(y - 1) * 32 + x] == 135:
                    tile = 153
                for r in range(16):
                    start = (y * 16 + r) * 512 + x * 16
                    model[start:start + 16] = bytes(tiles[tile][r * 16:r * 16 + 16])
        path = os.path.join(work, name)
        check(os.path.exists(path) and Image.open(path).tobytes() == bytes(model), name + " holds the level at night")
    check(decoders_agree(os.path.join(work, "zk.Yew.B1F.20.bmp")), "a level reads the same in ImageMagick")


def independent_shape_bitmaps(work, data):
    """Shape bitmaps of 2 x 2-pixel tiles written by Pillow and ImageMagick."""
    base = Image.new("RGB", (32, 64))
    base.putdata([((x * 37 + y) % 256, (y * 11) % 256, (x * y) % 256) for y in range(64) for x in range(32)])
    writers = {
        "pil-1": lambda p: base.convert("1").save(p),
        "pil-8-grey": lambda p: base.convert("L").save(p),
        "pil-8": lambda p: base.convert("P").save(p),
        "pil-24": lambda p: base.save(p),
        "pil-32": lambda p: base.convert("RGBA").save(p),
        "magick-1": lambda p: subprocess.run([CONVERT, source, "-type", "Bilevel", "-compress", "None", "BMP3:" + p]),
        "magick-4": lambda p: subprocess.run([CONVERT, source, "-type", "Palette", "-colors", "16", "-compress", "None",
                                              "BMP3:" + p]),
        "magick-8": lambda p: subprocess.run([CONVERT, source, "-type", "Palette", "-compress", "None", "BMP3:" + p]),
        "magick-24": lambda p: subprocess.run([CONVERT, source, "-compress", "None", "BMP3:" + p]),
    }
    source = os.path.join(work, "source.png")
    base.save(source)
    brit = open(os.path.join(data, "BRIT.DAT"), "rb").read()
    table = [p for p in range(256) if SURFACE_ROWS[p // 16][p % 16] == "#"]
    for name, write in writers.items():
        shape = os.path.join(work, name + ".bmp")
        write(shape)
        shape_rgb = rgb_of(shape)
        status, output = run(HOLVIK, ["--overwrite", "-s", shape, "-b", name + ".out.bmp", "-g", data], work)
        check(status == 0 and output == "", name + ": holvik reads the shape bitmap")
        if status != 0:
            continue
        out_rgb = rgb_of(os.path.join(work, name + ".out.bmp"))
        check(Image.open(os.path.join(work, name + ".out.bmp")).size == (512, 512), name + ": output size")
        # Sampled cells hold the RGB pixels of their tile in the shape bitmap.
        for (x, y) in [(0, 0), (31, 2), (96, 102), (224, 133), (200, 150), (255, 255)]:
            position = (y // 16) * 16 + x // 16
            tile = brit[table.index(position) * 256 + (y % 16) * 16 + x % 16] if position in table else 1
            if (x, y) in GATES:
                tile = 220
            for r in range(2):
                got = out_rgb[((y * 2 + r) * 512 + x * 2) * 3:((y * 2 + r) * 512 + x * 2 + 2) * 3]
                want_start = (((tile // 16) * 2 + r) * 32 + (tile % 16) * 2) * 3
                check(got == shape_rgb[want_start:want_start + 6], "%s: cell (%d, %d) row %d" % (name, x, y, r))


def refused_variants(work, data):
    source = os.path.join(work, "source.png")
    cases = [
        ("bitfields.bmp", ["-define", "bmp:subtype=RGB555", "BMP3:"], "error: check_bitmap_header() - not support compression"),
        ("v5.bmp", ["BMP:"],
         "error: check_bitmap_header() - not supported header type - support only Windows V3"),
        ("os2.bmp", ["BMP2:"],
         "error: check_bitmap_header() - not supported header type - support only Windows V3"),
        ("rle.bmp", ["-type", "Palette", "-compress", "RLE", "BMP3:"], "error: check_bitmap_header() - not support compression"),
    ]
    for name, options, line in cases:
        path = os.path.join(work, name)
        subprocess.run([CONVERT, source] + options[:-1] + [options[-1] + path], check=True)
        status, output = run(HOLVIK, ["-s", path, data], work)
        expected = "%s\nerror: read_bitmap() - can't read bitmap header\nerror: read '%s'\nerror: read shape bitmap '%s'\n" % (
            line, path, path)
        check(status == 1 and output == expected, name + " is refused: " + repr(output))


def main():
    with tempfile.TemporaryDirectory() as work:
        subprocess.run([MAKE_SAMPLE_DATA, work], check=True, capture_output=True)
        data = os.path.join(work, "pc")
        world_maps(work, data)
        settlement_maps(work, data)
        independent_shape_bitmaps(work, data)
        refused_variants(work, data)
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("all interoperability checks passed")
    return 0


sys.exit(main())
