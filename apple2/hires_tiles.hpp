// The tile graphics of the Apple II edition: the file "SHAPES" on the program disk, hi-res
// screen bytes, decoded into a tile sheet of plain dots.
//
// "SHAPES" (16384 bytes): 512 tiles of 16 rows, each row a left byte (dots 0-6) and a right
// byte (dots 7-13). The byte of tile n, row r, side c (0 left, 1 right) lies at
//   8192 (n / 256) + 4096 c + 256 r + (n mod 256)
// A hi-res byte: bit 0 the leftmost of its seven dots, bit 6 the rightmost, bit 7 the
// palette bit, which shifts the dots right by half a dot.
//
// The sheet: tiles of 28 x 32 pixels, 4 bits, one byte per pixel, 16 across (448 x 1024).
// Row r of a tile goes to sheet row 2r of its picture; the odd rows stay 0 until the colour
// conversion doubles the even rows of a drawn image. A byte becomes 14 pixels: palette bit
// clear, each dot two pixels (0 or 1); set, the marker 255 ("same as the pixel to the
// left"), dots 0-5 two pixels each and dot 6 one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bitmap/tile_sheet.hpp"

constexpr int apple_tile_width = 28;
constexpr int apple_tile_height = 32;
constexpr size_t apple_shapes_bytes = 16384;
constexpr size_t apple_sheet_bytes = static_cast<size_t>(apple_tile_width) * sheet_columns * apple_tile_height * sheet_rows;
constexpr uint8_t hires_marker = 255;
constexpr int apple_palette_entries = 16;

// The 16 colours of the rendered images (blue, green, red, 0).
inline constexpr palette_entry apple2_palette[apple_palette_entries] = {
    {0, 0, 0, 0},       {52, 7, 157, 0},     {226, 29, 48, 0},    {231, 59, 178, 0},
    {61, 107, 0, 0},    {114, 114, 114, 0},  {237, 130, 37, 0},   {255, 143, 162, 0},
    {0, 85, 66, 0},     {0, 99, 191, 0},     {114, 114, 114, 0},  {167, 122, 255, 0},
    {0, 170, 50, 0},    {2, 200, 181, 0},    {176, 222, 72, 0},   {229, 229, 229, 0},
};

// Reads "SHAPES" from the program disk image `image_name` into `sheet`, with the water
// remake (unless no_remake_water) and the colourings of `type`. 0 or -1; on failure the
// sheet keeps what was placed in it for the caller to free.
int load_apple_tiles(const char* image_name, int order, tile_sheet& sheet, shape_type type, bool no_remake_water);
// The same from a disk made ready by the container layer.
struct apple2_disk;
int load_apple_tiles(const apple2_disk& disk, tile_sheet& sheet, shape_type type, bool no_remake_water);

// Decodes the 16384 bytes of "SHAPES" into the even rows of `sheet_pixels` (apple_sheet_bytes,
// laid out as above); the odd rows are not written.
void decode_apple_shapes(uint8_t* sheet_pixels, const uint8_t* shapes, shape_type type, bool no_remake_water);
