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
#include <span>
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

// Sets up `sheet` as an edition loader fills it: 512 tiles of tile_width x tile_height
// pixels, one byte a pixel, all zero, with `palette`; columns and rows left 0. 0, or -1
// after "error: memory exhausted!".
int make_edition_sheet(tile_sheet& sheet, int tile_width, int tile_height, int bit_count,
                       std::span<const palette_entry> palette);

// Reads a shape bitmap of `columns` x `rows` tiles into `sheet`. 0 or -1.
int read_shape_bitmap(const char* path, tile_sheet& sheet, int columns, int rows);

// The pictures of a sheet in the form maps are drawn in: row r of picture p is `row_bytes`
// bytes at (p * tile_height + r) * row_bytes. Packed rows are already in a BMP file's stored
// form (1 and 4 bits packed into bytes, most significant bits first), so a row of cells
// composed of them is a stored row; this needs whole bytes per picture row (8-pixel 1-bit
// multiples, even 4-bit widths; always for 8 bits and more). Otherwise the rows are in the
// in-memory form and map rows are packed when written.
struct picture_rows {
    int32_t tile_width = 0;
    int32_t tile_height = 0;
    uint32_t bit_count = 0;
    bool packed = false;
    size_t row_bytes = 0;
    std::vector<uint8_t> rows;
    // The mask sheet in the same form, its bits set where the map's pixel stays under the
    // picture; empty without a mask.
    std::vector<uint8_t> keep;
    // 1 for a pixel row that is zero in every picture (the Apple II sheets leave every other
    // row empty): such a row of cells is cleared, not copied.
    std::vector<uint8_t> blank_rows;
};

// Builds the pictures of `sheet`, with `mask` (a mask sheet with pixels) when given, packed
// when `packed_when_possible` and the tile width allows it. 0, or -1 after
// "error: memory exhausted!".
int make_picture_rows(picture_rows& pictures, const tile_sheet& sheet, const tile_sheet* mask,
                      bool packed_when_possible);

// Draws pixel row r of `count` map cells into `dst`: cell x shows picture cells[x].
void draw_cell_row(uint8_t* dst, const picture_rows& pictures, const uint16_t* cells, size_t count, int32_t r);
// Draws pixel row r of `picture` over cell x of the row at `dst`: through the mask when
// there is one (the map pixel stays where the mask is set), else covering the cell.
void draw_overlay_row(uint8_t* dst, const picture_rows& pictures, unsigned picture, size_t x, int32_t r);

// Describes `image` as a map of grid x grid tiles of `sheet`: size, the sheet's bit count and
// palette (shared). Prints "error: memory exhausted!" and returns -1 when a BMP file cannot
// describe it.
int describe_map_image(bitmap_image& image, const tile_sheet& sheet, uint32_t grid);
// Describes it and allocates its pixels, zeroed, in the form of `pictures`. 0 or -1.
int make_map_image(bitmap_image& image, const tile_sheet& sheet, const picture_rows& pictures, uint32_t grid);
