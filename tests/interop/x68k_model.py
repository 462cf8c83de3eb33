"""A small model of the X68000/PC-98 tile graphics, for end-to-end checks.

Written from the description of the formats, independently of the C++ loader:
- read_image_file(image_path, header_size, name): a file of a FAT12 floppy image, read
  by mtools (mcopy), the outside tool;
- x68k_sheet(tiles_ch, npc_ch, shape_type, no_remake_water, mirror_rows): the 512
  pictures of 32 x 32 colour indexes (rows of lists), with the random dots, the water
  remake and the mirror-room colours;
- x68k_mask(...): the same arguments, the 512 mask pictures (0 or 1);
- X68K_PALETTE: the 16 palette entries as (blue, green, red, reserved).

Run as a program it writes, for the loader's tests, the sheet in its 512 x 1024 layout,
the palette (64 bytes) and the mask in the same layout to one file:
    x68k_model.py IMAGE HEADER-SIZE SHAPE-TYPE NO-REMAKE-WATER MIRROR-ROWS OUTPUT
Standard library only (Pillow is not needed).
"""

import subprocess
import sys

SIZE = 32  # pixels across and down a picture

# Colour index bits: 1 blue, 2 red, 4 green; 8 only sets the reserved byte.
X68K_PALETTE = [
    (255 if i & 1 else 0, 255 if i & 4 else 0, 255 if i & 2 else 0, 255 if i & 8 else 0)
    for i in range(16)
]

MIRROR_ROOM = [0, 5, 4, 4, 2, 1, 2, 7, 8, 13, 12, 12, 10, 9, 10, 15]
RECOLOURED = {5, 76} | set(range(30, 39)) | set(range(48, 56))
KEPT_IN_MIRROR_ROOM = {157, 158, 159}
DOT_TILES = (488, 489, 490, 491)
DOT_COLOURS = (4, 3, 2, 1)
WATER = 3


def water_stencil(tile):
    """The stencil of a tile, negative when inverted; 0 for none."""
    if 52 <= tile <= 55:
        return 208 + tile - 52
    if 96 <= tile <= 111:
        return tile + 16
    if 228 <= tile <= 231:
        return -(208 + tile - 228)
    return 0


def read_image_file(image_path, header_size, name):
    """The bytes of root-directory file `name`, read by mcopy."""
    image = f"{image_path}@@{header_size}" if header_size else image_path
    return subprocess.run(["mcopy", "-n", "-i", image, "::" + name, "-"],
                          check=True, capture_output=True).stdout


def decode(data, planes, file_size, first_tile, swap):
    """256 pictures of a .CH file; a short file is padded with zeros."""
    data = bytes(data) + bytes(max(0, file_size - len(data)))
    pictures = []
    for n in range(256):
        tile = first_tile + n
        picture = [[0] * SIZE for _ in range(SIZE)]
        for plane in range(planes):
            value = 1 << plane
            if swap and tile in RECOLOURED and value in (2, 4):
                value = 6 - value
            base = (n * planes + plane) * 128
            for y in range(SIZE):
                for x in range(SIZE):
                    if data[base + y * 4 + x // 8] & (0x80 >> (x % 8)):
                        picture[y][x] |= value
        pictures.append(picture)
    return pictures


def rand15_draws(count):
    """The C standard's sample rand(), never seeded."""
    state = 1
    for _ in range(count):
        state = (state * 1103515245 + 12345) % 2**32
        yield (state >> 16) & 0x7FFF


def in_triangle(stencil, x, y):
    return {208: x + y <= 31, 209: y <= x, 210: x + y >= 31, 211: y >= x}[stencil]


def x68k_sheet(tiles_ch, npc_ch, shape_type=0, no_remake_water=False, mirror_rows=16):
    swap = shape_type != 0
    pictures = decode(tiles_ch, 3, 98304, 0, swap) + decode(npc_ch, 4, 131072, 256, swap)

    draws = rand15_draws(SIZE * SIZE)
    for y in range(SIZE):
        for x in range(SIZE):
            dot = next(draws) > 16382
            for tile, colour in zip(DOT_TILES, DOT_COLOURS):
                pictures[tile][y][x] = colour if dot else 0

    if not no_remake_water:
        water = pictures[WATER]
        for tile in range(512):
            v = water_stencil(tile)
            if v == 0:
                continue
            for y in range(SIZE):
                for x in range(SIZE):
                    if abs(v) in (208, 209, 210, 211):
                        corner = abs(v) if v > 0 else {208: 210, 209: 211, 210: 208, 211: 209}[-v]
                        wet = in_triangle(corner, x, y)
                    elif v > 0:
                        wet = pictures[v][y][x] != 0
                    else:
                        wet = pictures[-v][y][x] == 0
                    if wet:
                        pictures[tile][y][x] = water[y][x]

    if shape_type == 2:
        for tile in range(16 * mirror_rows):
            if tile not in KEPT_IN_MIRROR_ROOM:
                pictures[tile] = [[MIRROR_ROOM[p] for p in row] for row in pictures[tile]]
    return pictures


def x68k_mask(tiles_ch, npc_ch, shape_type=0, no_remake_water=False, mirror_rows=16):
    """1 where the colour is nearer white than black in the mask's source palette
    (indexes 8-15 white, 0-7 black), i.e. where the fourth plane is set."""
    sheet = x68k_sheet(tiles_ch, npc_ch, shape_type, no_remake_water, mirror_rows)
    return [[[1 if p >= 8 else 0 for p in row] for row in picture] for picture in sheet]


def sheet_bytes(pictures):
    """Pictures in the sheet layout: 16 across, 32 rows of pictures, top row first."""
    out = bytearray()
    for tile_row in range(32):
        for y in range(SIZE):
            for column in range(16):
                out += bytes(pictures[tile_row * 16 + column][y])
    return bytes(out)


def main(argv):
    image, header, shape_type, no_remake, rows, output = argv
    header, shape_type, rows = int(header), int(shape_type), int(rows)
    tiles_ch = read_image_file(image, header, "TILES.CH")
    npc_ch = read_image_file(image, header, "NPC.CH")
    args = (tiles_ch, npc_ch, shape_type, no_remake == "1", rows)
    with open(output, "wb") as f:
        f.write(sheet_bytes(x68k_sheet(*args)))
        f.write(bytes(b for entry in X68K_PALETTE for b in entry))
        f.write(sheet_bytes(x68k_mask(*args)))


if __name__ == "__main__":
    main(sys.argv[1:])
