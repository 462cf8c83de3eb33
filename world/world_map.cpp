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
                    unsigned phase_mask, bool items, png_writer* png)
{
    const uint32_t width = static_cast<uint32_t>(header.width);
    if (png ? start_png(out, *png, width, static_cast<uint32_t>(header.height), header.bit_count, palette) < 0
            : write_bitmap_start(out, header, palette) < 0)
        return -1;
    const size_t stride = static_cast<size_t>(bitmap_row_stride(width, header.bit_count));
    // A row before packing when the pictures are not packed; a PNG's packed row before it is
    // handed on.
    std::vector<uint8_t> unpacked;
    try {
        if (!pictures.packed)
            unpacked.resize(pictures.row_bytes * world_size);
        else if (png)
            unpacked.resize(stride);
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    const bool masked = !pictures.keep.empty();
    bool written = true;
    // A BMP file's rows go bottom-up, a PNG file's top-down.
    for (int i = 0; written && i < world_size; ++i) {
        const int y = png ? i : world_size - 1 - i;
        uint16_t cells[world_size];
        cells_of_row(y, map_data, chunk_table, cells);
        overlay overlays[12];
        size_t overlay_count = overlays_of_row(y, phase_mask, items, overlays);
        if (!masked) {
            for (size_t k = 0; k < overlay_count; ++k) cells[overlays[k].x] = overlays[k].picture;
            overlay_count = 0;
        }
        for (int32_t j = 0; j < pictures.tile_height; ++j) {
            const int32_t r = png ? j : pictures.tile_height - 1 - j;
            uint8_t* room = png ? unpacked.data() : reserve_output(out, stride);
            if (!room) {
                written = false;
                break;
            }
            uint8_t* row = pictures.packed ? room : unpacked.data();
            draw_cell_row(row, pictures, cells, world_size, r);
            for (size_t k = 0; k < overlay_count; ++k) draw_overlay_row(row, pictures, overlays[k].picture, overlays[k].x, r);
            if (png) {
                written = add_png_row(out, *png, row, pictures.packed) == 0;
            } else {
                if (!pictures.packed) store_pixel_row(room, row, width, header.bit_count, stride);
                commit_output(out, stride);
            }
        }
    }
    if (png) return written ? finish_png(out, *png) : -1;
    return finish_bitmap_rows(out, written);
}
