// Conversion of whole in-memory images between bit counts, by nearest palette colour where
// the target has a palette, and the reading of mask bitmaps.
//
// Pixels are in the in-memory layout of bitmap.hpp: top row first, rows unpadded, one byte
// per pixel for 1-, 4- and 8-bit images (a palette index), 16-bit little-endian 5:5:5 with
// blue in the low bits, 24-bit blue, green, red, 32-bit blue, green, red and a fourth byte.
//
// A mask sheet is a tile_sheet of bit count 1, one byte per pixel holding 0 or 1, with a
// black (0) and white (1) palette.
#pragma once

#include <cstdint>
#include <vector>

#include "bitmap.hpp"
#include "tile_sheet.hpp"

// The palette index nearest to (red, green, blue) by squared distance; an exact match returns
// at once, on equal distances the lowest index wins. 0 for an empty palette.
int nearest_palette_index(int red, int green, int blue, const palette_entry* palette, int count);

// Converts a width x height image from src_bit_count to dst_bit_count into *dst_pixels_out,
// which is given exactly the destination size (zero-filled first). A 1-bit side without a
// palette uses black and white; 4- and 8-bit sides need theirs. Paletted sources are read
// through the pixel's valid bits only (4-bit: AND 15; 1-bit: nonzero is 1).
// 0; -1 for absent pixels, a missing palette or an unsupported bit count; -2 after
// "error: memory exhaust!" (also for sizes that cannot be allocated).
int convert_bit_count(uint32_t width, uint32_t height, int src_bit_count, const palette_entry* src_palette,
                      const uint8_t* src_pixels, int dst_bit_count, const palette_entry* dst_palette,
                      std::vector<uint8_t>* dst_pixels_out);

// Reads a mask bitmap of exactly columns x rows tiles of tile_width x tile_height pixels into
// `mask_sheet` (bit count 1, black/white palette, pixels 0 or 1 by the nearer of black and
// white, ties 0). 0 or -1; what was placed in the sheet stays for the caller.
int read_mask_bitmap(const char* path, tile_sheet& mask_sheet, int tile_width, int tile_height, int columns,
                     int rows);
