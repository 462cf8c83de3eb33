// The tile and NPC graphics of the X68000 and PC-98 editions: the bit-plane files TILES.CH
// (map tiles 0-255) and NPC.CH (NPC shapes and overlays, pictures 256-511) read out of the
// floppy image, and the mask sheet made from them.
//
// A .CH file is an array of 32 x 32-pixel tiles in tile-number order, no header:
//
//   file      planes  bytes per tile  tiles  file size  sheet tile rows
//   TILES.CH  3       384             256    98304      0-15
//   NPC.CH    4       512             256    131072     16-31
//
// Within a tile, plane 0 comes first, then plane 1 and so on, 128 bytes each; a plane is 32
// lines of 4 bytes, top line first, bit 7 of a line's first byte the leftmost pixel. Plane k
// adds 2^k to a pixel's colour index (bit 0 blue, bit 1 red, bit 2 green, bit 3 the fourth
// plane, which only NPC shapes use and which makes the mask).
//
// The sheet made here: 32 x 32-pixel tiles, 16 across and 32 tile rows down (512 x 1024
// pixels), bit count 4, one byte per pixel, x68k_palette. The mask sheet has the same layout,
// bit count 1, one byte per pixel: 1 exactly where the colour index is 8 or more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "bitmap/random.hpp"
#include "bitmap/tile_sheet.hpp"
#include "x68k/disk_container.hpp"

constexpr int x68k_tile_size = 32;          // pixels across and down
constexpr size_t x68k_sheet_bytes = static_cast<size_t>(x68k_tile_size) * sheet_columns * x68k_tile_size * sheet_rows;

// The two files, read in this order.
struct ch_file {
    const char* name;
    int planes;
    int first_tile_row;
    int bytes;
};
inline constexpr ch_file ch_files[] = {
    {"TILES.CH", 3, 0, 98304},
    {"NPC.CH", 4, 16, 131072},
};

// Blue, green, red, reserved; 8-15 repeat 0-7 with the reserved byte 255.
inline constexpr palette_entry x68k_palette[16] = {
    {0, 0, 0, 0},       {255, 0, 0, 0},     {0, 0, 255, 0},     {255, 0, 255, 0},
    {0, 255, 0, 0},     {255, 255, 0, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
    {0, 0, 0, 255},     {255, 0, 0, 255},   {0, 0, 255, 255},   {255, 0, 255, 255},
    {0, 255, 0, 255},   {255, 255, 0, 255}, {0, 255, 255, 255}, {255, 255, 255, 255},
};

// The mirror-room colour translation, indexed by the old colour index.
inline constexpr uint8_t mirror_room_colours[16] = {0, 5, 4, 4, 2, 1, 2, 7, 8, 13, 12, 12, 10, 9, 10, 15};

// ORs the 256 tiles of a .CH file with `planes` planes into sheet tile rows first_tile_row ..
// first_tile_row + 15. With `swap`, planes 1 and 2 trade values in the tiles with the
// recolour flag (only tiles below 256 have it). -1, touching nothing, when the file is
// shorter than 256 tiles, the rows do not fit or the sheet is not a 512 x 1024 pixel area.
int decode_plane_tiles(tile_sheet& sheet, std::span<const uint8_t> file, int planes, int first_tile_row, bool swap);

// Overwrites tiles 488-491 with one dot pattern drawn from `random` (one draw per pixel, rows
// top down, a dot where the draw is above 16382) in colours 4, 3, 2 and 1. -1 for a sheet of
// the wrong size.
int make_random_dot_tiles(tile_sheet& sheet, rand15_state& random);

// Puts the water of tile 3 into every tile with a water stencil: stencils 208-211 are fixed
// triangles (an inverted stencil takes the opposite triangle, diagonal included), the others
// tiles of the sheet (plain: water where the stencil pixel is not 0; inverted: where it is 0).
// -1 for a sheet of the wrong size.
int redraw_water_tiles(tile_sheet& sheet);

// Passes the first `rows` sheet tile rows (16 or 19) through mirror_room_colours, except
// tiles 157-159. -1 for a sheet of the wrong size.
int recolour_mirror_room(tile_sheet& sheet, int rows);

// Builds `sheet` (and `mask` unless it is null) from TILES.CH and NPC.CH of the image at
// `image_path` (any form open_disk_image reads): decoding, random dots, the water remake unless no_remake_water, the mirror-room
// colours over `mirror_rows` tile rows for that shape type, then the mask. The image is opened
// into `disk` unless it is open already, and left open for the caller's other files. 0 or -1
// after the reader's lines and "error: memory exhausted!", "error: read disk image '%s'",
// "error: read disk image '%s/%s'" or "error: convert bit count". Buffers placed in the
// sheets belong to the caller.
int load_x68k_tiles(disk_image& disk, const char* image_path, int header_size, tile_sheet& sheet, tile_sheet* mask,
                    shape_type type, bool no_remake_water, int mirror_rows, rand15_state& random);
