// The two world maps (the surface and the Underworld), 256 x 256 tiles of one byte each,
// with the moon gates and the Underworld items, and their drawing.
//
// The PC files store a map in chunks of 16 x 16 tiles (256 bytes, row by row); the map is
// 16 x 16 chunks, the chunk at chunk row cy, column cx having position cy * 16 + cx. A chunk
// table gives the stored chunk of each position (its offset is number * 256) or -1 for an
// area the file leaves out, which is drawn as tile 1; the Underworld file stores chunk n
// as chunk n. Maps stored without chunks (no chunk table) are row by row: tile (x, y) at
// y * 256 + x.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "bitmap/output.hpp"
#include "bitmap/png.hpp"
#include "bitmap/tile_sheet.hpp"

constexpr int world_size = 256;            // tiles across and down
constexpr size_t world_map_bytes = 65536;  // the map buffer
constexpr unsigned absent_area_tile = 1;
constexpr unsigned moon_gate_tile = 220;

// Stored ('#') and absent ('.') chunk positions of the surface map, chunk rows 0-15.
constexpr const char* surface_chunk_rows[16] = {
    "..############.#", ".##############.", "###############.", "################",
    "################", "################", "###########.####", "#######...##.###",
    ".######...##.###", "#######.#....##.", "#######.#..##...", "..######......##",
    ".##.####..##.###", ".##.####..##.###", ".###############", "...##.##########",
};

// Stored chunks are numbered consecutively in position order, skipping absent positions.
constexpr std::array<int32_t, 256> make_surface_chunk_table()
{
    std::array<int32_t, 256> table{};
    int32_t stored = 0;
    for (int position = 0; position < 256; ++position)
        table[position] = surface_chunk_rows[position / 16][position % 16] == '#' ? stored++ : -1;
    return table;
}

inline constexpr std::array<int32_t, 256> surface_chunk_table = make_surface_chunk_table();

constexpr std::array<int32_t, 256> make_identity_chunk_table()
{
    std::array<int32_t, 256> table{};
    for (int position = 0; position < 256; ++position) table[position] = position;
    return table;
}

inline constexpr std::array<int32_t, 256> underworld_chunk_table = make_identity_chunk_table();

struct world_map_entry {
    const char* data_file;
    size_t pc_bytes;                 // bytes read from the PC data file
    const int32_t* pc_chunk_table;   // the chunk layout of the PC file
    const char* default_output;
    const char* default_png_output;  // with --png
};

// In drawing order: the surface, then the Underworld.
inline constexpr world_map_entry world_maps[2] = {
    {"BRIT.DAT", 52480, surface_chunk_table.data(), "zk.Britannia.bmp", "zk.Britannia.png"},
    {"UNDER.DAT", 65536, underworld_chunk_table.data(), "zk.Underworld.bmp", "zk.Underworld.png"},
};

struct moon_gate {
    int x;
    int y;
    unsigned phase_bit;
};

// By phase 1 to 8.
inline constexpr moon_gate moon_gates[8] = {
    {224, 133, 0x01}, {96, 102, 0x02}, {38, 224, 0x04}, {50, 37, 0x08},
    {166, 19, 0x10},  {104, 194, 0x20}, {23, 126, 0x40}, {187, 167, 0x80},
};

struct underworld_item {
    int32_t x;
    int32_t y;
    uint16_t tile;
};

inline constexpr underworld_item underworld_items[4] = {
    {105, 225, 439}, {192, 80, 436}, {130, 65, 436}, {176, 184, 436},
};

// Writes a 256 x 256-tile map from `map_data` (65536 bytes, chunked through `chunk_table`,
// or row by row without one) as a BMP file with `header` and `palette` (or, with `png`, as a
// PNG file of the same pixels through that writer), drawn from
// `pictures` with the gates of `phase_mask` and, with `items`, the Underworld items.
// Overlays replace their tile, or are drawn over it through the pictures' mask when they
// have one. The BMP rows are drawn bottom-up straight into the output buffer, so no image of
// the whole map is ever held; the PNG rows top-down into the writer's scanlines, which the
// compressor needs whole. 0, or -1 after the writer's line.
int write_world_map(output_file& out, const bitmap_header& header, const palette_entry* palette,
                    const picture_rows& pictures, const uint8_t* map_data, const int32_t* chunk_table,
                    unsigned phase_mask, bool items, png_writer* png = nullptr);
