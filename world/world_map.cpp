// Drawing a world map row by row, with its overlays, into the output file.
#include "world_map.hpp"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

struct overlay {
    uint16_t x;
    uint16_t picture;
};

// The overlays of tile row y, in drawing order; a later match at the same cell wins.
size_t overlays_of_row(int y, unsigned phase_mask, bool items, overlay (&found)[12])
{
    size_t count = 0;
    auto add = [&](int x, unsigned picture) {
        for (size_t i = 0; i < count; ++i)
            if (found[i].x == x) {
                found[i].picture = static_cast<uint16_t>(picture);
                return;
            }
        found[count++] = {static_cast<uint16_t>(x), static_cast<uint16_t>(picture)};
    };
    if (phase_mask != 0)
        for (const moon_gate& gate : moon_gates)
            if (gate.y == y && (gate.phase_bit & phase_mask)) add(gate.x, moon_gate_tile);
    if (items)
        for (const underworld_item& item : underworld_items)
            if (item.y == y) add(item.x, item.tile);
    return count;
}

// The pictures of tile row y.
void cells_of_row(int y, const uint8_t* map_data, const int32_t* chunk_table, uint16_t (&cells)[world_size])
{
    if (!chunk_table) {
        const uint8_t* row = map_data + static_cast<size_t>(y) * world_size;
        for (int x = 0; x < world_size; ++x) cells[x] = row[x];
        return;
    }
    for (int cx = 0; cx < world_size / 16; ++cx) {
        const int32_t chunk = chunk_table[(y / 16) * 16 + cx];
        if (chunk < 0) {
            for (int x = 0; x < 16; ++x) cells[cx * 16 + x] = absent_area_tile;
            continue;
        }
        const uint8_t* row = map_data + static_cast<size_t>(chunk) * 256 + (y % 16) * 16;
        for (int x = 0; x < 16; ++x) cells[cx * 16 + x] = row[x];
    }
}

} // namespace

int write_world_map(output_file& out, const bitmap_header& header, const palette_entry* palette,
                    const picture_rows& pictures, const uint8_t* map_data, const int32_t* chunk_table,
                    unsigned phase_mask, bool items)
{
    if (write_bitmap_start(out, header, palette) < 0) return -1;
    const uint32_t width = static_cast<uint32_t>(header.width);
    const size_t stride = static_cast<size_t>(bitmap_row_stride(width, header.bit_count));
    std::vector<uint8_t> unpacked;  // a row before packing, when the pictures are not packed
    try {
        if (!pictures.packed) unpacked.resize(pictures.row_bytes * world_size);
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    const bool masked = !pictures.keep.empty();
    bool written = true;
    for (int y = world_size - 1; written && y >= 0; --y) {
        uint16_t cells[world_size];
        cells_of_row(y, map_data, chunk_table, cells);
        overlay overlays[12];
        size_t overlay_count = overlays_of_row(y, phase_mask, items, overlays);
        if (!masked) {
            for (size_t i = 0; i < overlay_count; ++i) cells[overlays[i].x] = overlays[i].picture;
            overlay_count = 0;
        }
        for (int32_t r = pictures.tile_height - 1; r >= 0; --r) {
            uint8_t* room = reserve_output(out, stride);
            if (!room) {
                written = false;
                break;
            }
            uint8_t* row = pictures.packed ? room : unpacked.data();
            draw_cell_row(row, pictures, cells, world_size, r);
            for (size_t i = 0; i < overlay_count; ++i) draw_overlay_row(row, pictures, overlays[i].picture, overlays[i].x, r);
            if (!pictures.packed) store_pixel_row(room, row, width, header.bit_count, stride);
            commit_output(out, stride);
        }
    }
    return finish_bitmap_rows(out, written);
}
