// Tile sheets: the pictures of one tile set in one image 16 tiles wide, with the tile
// attributes the edition loaders use, shape bitmaps, and the drawing of tiles into maps.
//
// Picture n lies at tile column n mod 16 and tile row n / 16; its pixel (px, py) is sheet
// pixel (x, y) = ((n mod 16) * tile_width + px, (n / 16) * tile_height + py), at byte
// (y * 16 * tile_width + x) * bytes_per_pixel. A set has 512 pictures (32 tile rows): map
// bytes address pictures 0-255, NPC pictures and overlays lie above.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bitmap.hpp"

constexpr int sheet_columns = 16;   // tiles per sheet row
constexpr int sheet_rows = 32;      // tile rows of a full set
constexpr int sheet_pictures = sheet_columns * sheet_rows;

struct tile_sheet {
    int32_t tile_width = 0;
    int32_t tile_height = 0;
    int32_t columns = 0;  // as given to the bitmap readers; edition loaders leave 0
    int32_t rows = 0;     // likewise
    int32_t bit_count = 0;
    int32_t bytes_per_pixel = 0;
    std::vector<uint8_t> pixels;          // top row first, no row padding
    std::vector<palette_entry> palette;   // 1-, 4-, 8-bit sheets only
};

// How tiles from the game's data are recoloured. No effect on shape bitmaps.
enum class shape_type { normal = 0, dungeon = 1, mirror_room = 2 };

// Attributes of tiles 0-255: flag 0x01 marks the tiles the dungeon colouring recolours,
// flag 0x02 says that the value holds a water stencil (bits 0-7 the stencil tile, bit 15
// set for an inverted stencil).
struct tile_attribute_table {
    uint8_t flags[256];
    uint32_t values[256];
};

constexpr uint8_t tile_flag_recoloured = 0x01;
constexpr uint8_t tile_flag_water_stencil = 0x02;
constexpr uint32_t stencil_inverted = 0x8000;

constexpr tile_attribute_table make_tile_attribute_table(bool recolour_tile_77)
{
    tile_attribute_table table{};
    auto recolour = [&](int first, int last) {
        for (int t = first; t <= last; ++t) table.flags[t] |= tile_flag_recoloured;
    };
    recolour(5, 5);
    recolour(30, 38);
    recolour(48, 55);
    recolour(76, 76);
    if (recolour_tile_77) recolour(77, 77);
    auto stencil = [&](int tile, uint32_t value) {
        table.flags[tile] |= tile_flag_water_stencil;
        table.values[tile] = value;
    };
    for (int k = 0; k < 4; ++k) {
        stencil(52 + k, 208 + k);
        stencil(228 + k, (208 + k) | stencil_inverted);
    }
    for (int t = 96; t <= 111; ++t) stencil(t, t + 16);
    return table;
}

// The table of every program but the Apple II settlement mapper, and that mapper's, which
// also recolours tile 77.
inline constexpr tile_attribute_table standard_tile_attributes = make_tile_attribute_table(false);
inline constexpr tile_attribute_table apple2_settlement_tile_attributes = make_tile_attribute_table(true);

// 1 when tile tile_row * 16 + tile_column is recoloured; tile rows above 15 give 0.
int is_recoloured_tile(const tile_attribute_table& table, int tile_row, int tile_column);
// 0 without a stencil (or for tile rows above 15), else the stencil tile, negated when inverted.
int water_stencil_of(const tile_attribute_table& table, int tile_row, int tile_column);

// Reads a shape bitmap of `columns` x `rows` tiles into `sheet`. 0 or -1.
int read_shape_bitmap(const char* path, tile_sheet& sheet, int columns, int rows);

// Sets up `image` for maps of grid x grid tiles of `sheet`: size, the sheet's bit count and
// palette (shared), pixels zeroed. Prints "error: memory exhausted!" and returns -1 when
// the image cannot be described by a BMP file or allocated.
int make_map_image(bitmap_image& image, const tile_sheet& sheet, uint32_t grid);

// Copies picture `picture` (0-511) of `sheet` into cell (x, y) of the map pixels `map`,
// a buffer `grid` tiles wide with the sheet's tile size and bytes per pixel.
void draw_tile(uint8_t* map, size_t grid, const tile_sheet& sheet, unsigned picture, unsigned x, unsigned y);
// The same through a mask sheet (one byte per pixel, same layout, the tile sheet's tile
// size): where the mask byte of the picture is nonzero, the map pixel stays.
void draw_tile_masked(uint8_t* map, size_t grid, const tile_sheet& sheet, const tile_sheet& mask,
                      unsigned picture, unsigned x, unsigned y);
