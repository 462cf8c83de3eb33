// The PC edition: data files in a data directory, and the tile files "TILES.4" (CGA, 2 bits
// per pixel) and "TILES.16" (EGA, 4 bits per pixel), compressed as the game ships them or
// already decoded.
//
// A decoded tile file holds tiles 0-511 one after another, each 16 rows of 4 (CGA) or 8
// (EGA) bytes, leftmost pixel in the most significant bits of a byte. Only the first 32768
// (CGA) or 65536 (EGA) bytes are used. A compressed file (see lzw_decode.hpp) is recognised
// by its header and decoded first; its decoded bytes are then used as a decoded file's. The
// sheet made from it is 16 x 16-pixel tiles, 4 bits, one byte per pixel, with the 16-colour
// PC palette; CGA values 0-3 are expanded to palette indexes 0, 3, 5, 7.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "bitmap/command_line.hpp"
#include "bitmap/random.hpp"
#include "bitmap/tile_sheet.hpp"

// Opens `name` for binary reading: from the current directory without a data path, else as
// data_path + '/' + name (the separator is always added). When no file has the exact name,
// the one entry of that directory whose name matches ignoring ASCII case is opened instead;
// two or more such entries count as none. 0 with `stream` open, or null when there is no
// such file, and `path` the file tried; -1 after "error: memory exhausted!".
int open_data_file(const char* data_path, const char* name, std::string& path, std::FILE*& stream);

// Reads exactly `size` bytes of `name` into `buffer`: from the current directory without a
// data path, else from data_path + '/' + name (the separator is always added). When no file
// has the exact name, the one entry of that directory whose name matches ignoring ASCII case
// is read instead; two or more such entries count as none. 0 or -1.
int read_data_file(const char* data_path, const char* name, uint8_t* buffer, size_t size);

// For each bits_per_pixel-wide field of `byte` from bit 0 up: all its bits set in the result
// when the field is 0, clear otherwise.
uint8_t zero_pixel_mask(uint8_t byte, int bits_per_pixel);

// Decodes a tile file, compressed or not, into `sheet` with the water remake (unless
// no_water_remake), the random-dot tiles 488-491 (drawing from `random`), the shape type's
// recolouring and the CGA expansion. 0 or -1; buffers placed in the sheet belong to the
// caller. A compressed file that cannot be decoded prints "error: decode '%s'".
int load_pc_tiles(const char* path, tile_sheet& sheet, shape_type type, bool cga, bool random_dots,
                  bool no_water_remake, rand15_state& random);

// The tile loading of both PC mappers: the shape bitmap, or the decoded tile file with
// random dots on. Prints the mapper's line on failure; 0 or -1.
int load_pc_tile_source(const tile_source_settings& settings, tile_sheet& sheet, rand15_state& random);

inline constexpr const char* pc_tile_file_usage[] = {
    "           --cga FILE           read CGA version shapes",
    "                                specify LZW decoded 'TILES.4' file",
    "           --ega FILE           read EGA version shapes",
    "                                specify LZW decoded 'TILES.16' file",
};

// The options that name a tile file.
inline constexpr option_spec pc_tile_file_options[] = {
    {{"--cga"}, option_cga, "error: no shape data file"},
    {{"--ega"}, option_ega, "error: no shape data file"},
};
