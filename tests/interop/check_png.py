#!/usr/bin/env python3
"""Checks --png against the BMP files of the same run in independent decoders.

Every program runs twice on the sample data, once writing BMP and once --png files, with the
game's tiles and with shape bitmaps of 1, 4, 8, 16, 24 and 32 bits written here. Each PNG
file must decode in Pillow to the BMP's pixels (indexed files: the same bit depth, palette
and indices), and ImageMagick's `identify -verbose` must read it without a complaint.

usage: check_png.py GARVIK HOLVIK BREVIK CALVIK DUNVIK ESKVIK FELVIK MAKE_SAMPLE_DATA
"""
import os
import random
import struct
import subprocess
import sys
import tempfile

from PIL import Image

PROGRAMS = dict(zip(["garvik", "holvik", "brevik", "calvik", "dunvik", "eskvik", "felvik"], sys.argv[1:8]))
MAKE_SAMPLE_DATA = sys.argv[8]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def write_shape_bitmap(path, bits, tile_width, tile_height, rng):
    """A V3 BMP of 16 x 32 tiles of random pixels; unused bits of 16- and 32-bit pixels set."""
    width, height = 16 * tile_width, 32 * tile_height
    stride = (width * bits + 31) // 32 * 4
    palette = b"".join(bytes([rng.randrange(256), rng.randrange(256), rng.randrange(256), 0])
                       for _ in range(2 ** bits)) if bits <= 8 else b""
    data = bytearray()
    for _ in range(height):
        row = bytearray()
        if bits <= 8:
            values = [rng.randrange(2 ** bits) for _ in range(width)]
            per_byte = 8 // bits
            for i in range(0, width, per_byte):
                byte = 0
                for k, value in enumerate(values[i:i + per_byte]):
                    byte |= value << (8 - bits * (k + 1))
                row.append(byte)
        else:
            row += bytes(rng.randrange(256) for _ in range(width * bits // 8))
        data += row + bytes(stride - len(row))
    offset = 54 + len(palette)
    header = b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset)
    header += struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(data), 0, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(header + palette + data)


def run(program, args, cwd, stdin=subprocess.DEVNULL):
    result = subprocess.run([PROGRAMS[program]] + args, cwd=cwd, capture_output=True, text=True,
                            stdin=stdin)
    return result.returncode, result.stdout


def compare(bmp_path, png_path, what):
    bmp, png = Image.open(bmp_path), Image.open(png_path)
    bmp_bits = struct.unpack("<H", open(bmp_path, "rb").read(30)[28:])[0]
    depth_and_type = tuple(open(png_path, "rb").read(26)[24:])
    check(depth_and_type == ((bmp_bits, 3) if bmp_bits <= 8 else (8, 2)), what + ": PNG type of %d bits" % bmp_bits)
    check(bmp_bits > 8 or (png.mode == "P" and png.getpalette() == bmp.getpalette()), what + ": the same palette")
    check(png.size == bmp.size and png.tobytes() == bmp.tobytes(), what + ": the same pixels")


def main():
    rng = random.Random(15)
    with tempfile.TemporaryDirectory() as work:
        data = os.path.join(work, "data")
        subprocess.run([MAKE_SAMPLE_DATA, data], check=True, capture_output=True)
        pc, x68k, apple2 = (os.path.join(data, name) for name in ("pc", "x68k", "apple2"))
        disks = sum((["-d%d" % n, os.path.join(apple2, "zk-%s.dsk" % disk)]
                     for n, disk in enumerate(["program", "castle", "dwelling", "keep", "towne"], 1)), [])
        # program: the arguments that choose the map data
        maps = {
            "garvik": ["-T", pc], "holvik": ["-g", "-i", pc], "brevik": ["-K"] + disks,
            "calvik": ["-D", "-d", os.path.join(x68k, "zk-britannia.xdf")],
            "dunvik": ["-C", "-d", os.path.join(x68k, "ZK_Britania.fdi")],
            "eskvik": ["-g", "-d", os.path.join(x68k, "zk-britannia.xdf")],
            "felvik": ["-i", "-d", os.path.join(x68k, "ZK_Britania.fdi")],
        }
        runs = [("garvik", ["--ega", os.path.join(pc, "TILES.16")]), ("holvik", ["--cga", os.path.join(pc, "TILES.4")]),
                ("brevik", []), ("brevik", ["-B", "-B"]), ("calvik", []), ("felvik", [])]
        for bits in (1, 4, 8, 16, 24, 32):
            shape = os.path.join(work, "shape%d.bmp" % bits)
            write_shape_bitmap(shape, bits, 3, 2, rng)
            runs += [(program, ["-s", shape]) for program in PROGRAMS]

        for number, (program, tiles) in enumerate(runs):
            what = "%s %s" % (program, " ".join(os.path.basename(arg) for arg in tiles))
            bmp_dir, png_dir = (os.path.join(work, "%d-%s" % (number, kind)) for kind in ("bmp", "png"))
            os.mkdir(bmp_dir), os.mkdir(png_dir)
            bmp_status, _ = run(program, tiles + maps[program], bmp_dir)
            png_status, _ = run(program, tiles + maps[program] + ["--png"], png_dir)
            bmp_names = sorted(name[:-4] for name in os.listdir(bmp_dir))
            png_names = sorted(name[:-4] for name in os.listdir(png_dir) if name.endswith(".png"))
            check(bmp_status == png_status == 0 and bmp_names == png_names and bmp_names,
                  what + ": the same maps, named .png")
            for name in png_names:
                compare(os.path.join(bmp_dir, name + ".bmp"), os.path.join(png_dir, name + ".png"), what + ": " + name)
            if png_names:
                result = subprocess.run(["identify", "-verbose", os.path.join(png_dir, png_names[0] + ".png")],
                                        capture_output=True, text=True)
                check(result.returncode == 0 and not result.stderr, what + ": identify " + result.stderr.strip())

        # An existing PNG file is asked about, and kept when the answer is no (the last run was felvik's).
        before = open(os.path.join(png_dir, "zk.Britannia.png"), "rb").read()
        status, output = run(program, tiles + ["-g", "-d", os.path.join(x68k, "ZK_Britania.fdi"), "--png"], png_dir)
        check(status == 1 and "'zk.Britannia.png' already exists\n" in output and
              open(os.path.join(png_dir, "zk.Britannia.png"), "rb").read() == before, "the overwrite question")
    print("%d failures" % len(failures))
    return 1 if failures else 0


sys.exit(main())
