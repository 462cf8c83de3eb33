#!/usr/bin/env python3
"""A separate model of the Apple II tile graphics, and its comparison with the library.

The model decodes the hi-res bytes of a SHAPES file into a sheet of dots and renders dot
images in 16 colours (with and without blur) and as a 24-bit colour-television picture.
Run with the path of apple2_render_tool: it writes test inputs, has the tool render them
through the library in one batch, reads the tool's BMP files with Pillow and compares
them, pixel by pixel, with the model. Exit status 0 when everything agrees.
"""

import math
import os
import random
import subprocess
import sys
import tempfile

from PIL import Image

# ---------------------------------------------------------------------------------------
# Tile decoding

SHEET_WIDTH = 16 * 28
SHEET_HEIGHT = 32 * 32
RECOLOURED = {5, 76, 77} | set(range(30, 39)) | set(range(48, 56))


def stencil_of(tile):
    """Water stencil tile, negative when inverted, 0 for none."""
    if 52 <= tile <= 55:
        return tile - 52 + 208
    if 96 <= tile <= 111:
        return tile + 16
    if 228 <= tile <= 231:
        return -(tile - 228 + 208)
    return 0


def shape_byte(shapes, tile, row, side):
    return shapes[8192 * (tile // 256) + 4096 * side + 256 * row + tile % 256]


def byte_pixels(b):
    if b & 0x80:
        pixels = [255]
        for dot in range(6):
            pixels += [(b >> dot) & 1] * 2
        return pixels + [(b >> 6) & 1]
    pixels = []
    for dot in range(7):
        pixels += [(b >> dot) & 1] * 2
    return pixels


def decode_shapes(shapes, shape_type, no_remake):
    """shape_type 0 normal, 1 dungeon, 2 mirror room."""
    sheet = bytearray(SHEET_WIDTH * SHEET_HEIGHT)
    for tile in range(512):
        stencil = 0 if no_remake else stencil_of(tile)
        for row in range(16):
            carry = 0
            for side in (0, 1):
                b = shape_byte(shapes, tile, row, side)
                if stencil:
                    s = shape_byte(shapes, abs(stencil), row, side)
                    w = shape_byte(shapes, 3, row, side)
                    if stencil > 0:
                        b = (w & s) | (b & ~s & 0xFF)
                    else:
                        b = (w & ~s & 0xFF) | (b & s)
                if shape_type != 0:
                    if tile in RECOLOURED:
                        b |= 0x80
                    if shape_type == 2 and tile < 320:
                        if tile == 220:
                            if side == 0:
                                carry = (b >> 6) & 1
                                b = ((b * 2) | 129) % 256
                            else:
                                b = ((b * 2) | 128 | carry) % 256
                        else:
                            b ^= 0x80
                y = (tile // 16) * 32 + 2 * row
                x = (tile % 16) * 28 + 14 * side
                sheet[y * SHEET_WIDTH + x:y * SHEET_WIDTH + x + 14] = bytes(byte_pixels(b))
    return bytes(sheet)


# ---------------------------------------------------------------------------------------
# Rendering

P = (4, 8, 1, 2)
M = (1, 2, 4, 8)
NONE = -99.9
LUMA = [bin(n).count("1") / 4 for n in range(16)]
HUES = [NONE, 45, 315, 0, 225, NONE, 270, 315, 135, 90, NONE, 45, 180, 135, 225, NONE]
PALETTE = [(0, 0, 0), (157, 7, 52), (48, 29, 226), (178, 59, 231), (0, 107, 61), (114, 114, 114),
           (37, 130, 237), (162, 143, 255), (66, 85, 0), (191, 99, 0), (114, 114, 114),
           (255, 122, 167), (50, 170, 0), (181, 200, 2), (72, 222, 176), (229, 229, 229)]
WARNING = "WARNING: too narrow width ... set join_ends to 0"


def resolve_markers(row, join):
    width = len(row)
    for x in range(0, width, 14):
        if row[x] == 255:
            row[x] = row[x - 1] if x > 0 else (row[width - 1] if join else 0)


def lit(row, j, join):
    if 0 <= j < len(row):
        return row[j] != 0
    return join and row[j % len(row)] != 0


def colour(dots, width, height, join, blur):
    pixels = list(dots)
    for y in range(0, height - 1, 2):
        row = pixels[y * width:(y + 1) * width]
        resolve_markers(row, join)
        out = []
        for x in range(width):
            def on(k):
                return lit(row, x + k, join)

            def bit(k):
                return P[(x + k) % 4]

            c = 0
            if blur:
                for k in (-1, 0, 1):
                    if on(k):
                        c |= bit(k)
                if c:
                    for k in (-2, 2):
                        if on(k):
                            c |= bit(k)
            elif on(0):
                c = bit(0)
                for k in (-1, 1):
                    if on(k):
                        c |= bit(k)
                if on(-1) and on(1):
                    for k in (-2, 2):
                        if on(k):
                            c |= bit(k)
            out.append(c)
        pixels[y * width:(y + 1) * width] = out
        pixels[(y + 1) * width:(y + 2) * width] = out
    return pixels


def average_hue(a, b):
    ha, hb = HUES[a], HUES[b]
    if ha < -1:
        return hb
    if hb < -1:
        return ha
    v = (ha + hb) / 2
    if ha - hb < -180 or ha - hb > 180:
        v += 180
    while v >= 360:
        v -= 360
    return v


def channel(value):
    return min(max(int(value), 0), 255)


def retouch(dots, width, height, join, phase):
    """Returns (console lines, list of (r, g, b) per pixel)."""
    console = []
    if join and width < 10:
        console.append(WARNING)
        join = False
    margin = 0 if join else 10
    out = [(0, 0, 0)] * (width * height)
    for y in range(0, height, 2):
        row = list(dots[y * width:(y + 1) * width])
        resolve_markers(row, join)
        Y = [0.0] * (width + 2 * margin)
        H = [0.0] * (width + 2 * margin)
        S = [0.0] * (width + 2 * margin)
        for x in range(width):
            p = (phase + x) % 4
            a = b = 0
            for k in range(-2, 2):
                if lit(row, x + k, join):
                    a |= M[(p + k + 2) % 4]
            for k in range(-1, 3):
                if lit(row, x + k, join):
                    b |= M[(p + k + 2) % 4]
            Y[margin + x] = (LUMA[a] + LUMA[b]) / 2
            H[margin + x] = average_hue(a, b)

        def hue_at(i):
            return H[i % width] if join else H[margin + i]

        for x in range(width):
            own = H[margin + x]
            if own < -1:
                H[margin + x] = 0.0
                S[margin + x] = 0.0
                continue
            n = 0
            for k in range(1, 7):
                if hue_at(x - k) != own:
                    break
                n += 1
            for k in range(1, 7):
                if hue_at(x + k) != own:
                    break
                n += 1
            S[margin + x] = (n + 6) / 18
        for x in range(width):
            i = margin + x
            if Y[i] == 0:
                continue
            if row[x] == 0:
                Y[i] = Y[i] * S[i]
            S[i] = S[i] * 0.7
            H[i] = H[i] + 10
            if H[i] > 360:
                H[i] -= 360
            ii = 0.595716 * S[i] * math.sin(H[i] * math.pi / 180)
            qq = 0.522591 * S[i] * math.cos(H[i] * math.pi / 180)
            out[y * width + x] = (channel((Y[i] + 0.9563 * ii + 0.621 * qq) * 255),
                                  channel((Y[i] - 0.2721 * ii - 0.6474 * qq) * 255),
                                  channel((Y[i] - 1.107 * ii + 1.7046 * qq) * 255))
        if y + 1 < height:
            out[(y + 1) * width:(y + 2) * width] = out[y * width:(y + 1) * width]
    return console, out


# ---------------------------------------------------------------------------------------
# Comparison with the library

def random_dots(rng, width, height):
    dots = []
    for y in range(height):
        for x in range(width):
            r = rng.randrange(16)
            d = 0 if r < 7 else 1 if r < 13 else 2 if r == 13 else 255
            if x % 14 == 0 and rng.randrange(3) == 0:
                d = 255
            dots.append(d)
    return bytes(dots)


def main(tool):
    rng = random.Random(2024)
    failures = []
    with tempfile.TemporaryDirectory() as work:
        jobs = []
        expected = {}

        shapes = bytes(rng.randrange(256) for _ in range(16384))
        with open(os.path.join(work, "SHAPES"), "wb") as f:
            f.write(shapes)
        for shape_type in (0, 1, 2):
            for no_remake in (0, 1):
                out = os.path.join(work, f"sheet-{shape_type}-{no_remake}.raw")
                jobs.append(f"decode {work}/SHAPES {shape_type} {no_remake} {out}")
                expected[out] = ("sheet", decode_shapes(shapes, shape_type, no_remake))

        n = 0
        for width in (1, 2, 3, 5, 7, 9, 10, 11, 13, 14, 15, 16, 27, 28, 29, 43, 56):
            for height in (1, 2, 3, 4):
                for join in (0, 1):
                    n += 1
                    dots = random_dots(rng, width, height)
                    src = os.path.join(work, f"dots{n}.raw")
                    with open(src, "wb") as f:
                        f.write(dots)
                    for blur in (0, 1):
                        out = os.path.join(work, f"colour{n}-{blur}.bmp")
                        jobs.append(f"colour {src} {width} {height} {join} {blur} {out}")
                        # A 4-bit file keeps the low four bits of what an odd last row still holds.
                        pixels = [c & 15 for c in colour(dots, width, height, join, blur)]
                        expected[out] = ("colour", [], pixels)
                    for phase in (0, 1, 2, 3, 5, -1):
                        out = os.path.join(work, f"retouch{n}-{phase}.bmp")
                        jobs.append(f"retouch {src} {width} {height} {join} {phase} {out}")
                        console, pixels = retouch(dots, width, height, join, phase)
                        expected[out] = ("retouch", console, pixels)

        # Rows wider than the pieces the library colours a row in.
        # (packed as they are coloured, and, of an odd height, not)
        for width in (1035, 1036, 1037, 1038, 2073, 2074):
            for join, height in ((0, 2), (1, 2), (1, 3)):
                n += 1
                dots = random_dots(rng, width, height)
                src = os.path.join(work, f"dots{n}.raw")
                with open(src, "wb") as f:
                    f.write(dots)
                for blur in (0, 1):
                    out = os.path.join(work, f"colour{n}-{blur}.bmp")
                    jobs.append(f"colour {src} {width} {height} {join} {blur} {out}")
                    expected[out] = ("colour", [], [c & 15 for c in colour(dots, width, height, join, blur)])

        job_file = os.path.join(work, "jobs.txt")
        with open(job_file, "w") as f:
            f.write("\n".join(jobs) + "\n")
        run = subprocess.run([tool, "batch", job_file], capture_output=True, text=True)
        if run.returncode != 0:
            print(f"render tool failed ({run.returncode}):\n{run.stdout}{run.stderr}")
            return 1
        consoles = {}
        current = None
        for line in run.stdout.splitlines():
            if line.startswith("== "):
                current = line[3:]
                consoles[current] = []
            else:
                consoles[current].append(line)

        for out, want in expected.items():
            kind = want[0]
            if kind == "sheet":
                with open(out, "rb") as f:
                    got = f.read()
                if got != want[1]:
                    first = next(i for i in range(len(got)) if got[i] != want[1][i])
                    failures.append(f"{out}: pixel {first % SHEET_WIDTH},{first // SHEET_WIDTH} "
                                    f"{got[first]} != {want[1][first]}")
                continue
            if consoles.get(out) != want[1]:
                failures.append(f"{out}: console {consoles.get(out)} != {want[1]}")
            with Image.open(out) as image:
                if kind == "colour":
                    if image.mode != "P":
                        failures.append(f"{out}: mode {image.mode}")
                        continue
                    palette = image.getpalette()[:48]
                    if [tuple(palette[i:i + 3]) for i in range(0, 48, 3)] != PALETTE:
                        failures.append(f"{out}: palette differs")
                else:
                    if image.mode != "RGB":
                        failures.append(f"{out}: mode {image.mode}")
                        continue
                got = list(image.getdata())
            if got != want[2]:
                first = next(i for i in range(len(got)) if got[i] != want[2][i])
                failures.append(f"{out}: pixel {first} {got[first]} != {want[2][first]}")

    for failure in failures:
        print(failure)
    print(f"{len(expected)} renderings compared, {len(failures)} differ")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        print(f"usage: {sys.argv[0]} APPLE2-RENDER-TOOL")
        sys.exit(1)
    sys.exit(main(sys.argv[1]))
