// Drawing a world map tile by tile, with its overlays.
#include "world_map.hpp"

namespace {

// The overlay picture at (x, y), or 0. Later matches win; positions do not repeat.
unsigned overlay_at(int x, int y, unsigned phase_mask, bool items)
{
    unsigned overlay = 0;
    if (phase_mask != 0)
        for (const moon_gate& gate : moon_gates)
            if (gate.x == x && gate.y == y && (gate.phase_bit & phase_mask)) overlay = moon_gate_tile;
    if (items)
        for (const underworld_item& item : underworld_items)
            if (item.x == x && item.y == y) overlay = item.tile;
    return overlay;
}

} // namespace

void draw_world_map(uint8_t* pixels, const tile_sheet& sheet, const tile_sheet* mask, const uint8_t* map_data,
                    const int32_t* chunk_table, unsigned phase_mask, bool items)
{
    const bool masked = mask && !mask->pixels.empty();
    for (int y = 0; y < world_size; ++y) {
        for (int x = 0; x < world_size; ++x) {
            unsigned tile;
            if (chunk_table) {
                const int32_t chunk = chunk_table[(y / 16) * 16 + x / 16];
                tile = chunk >= 0 ? map_data[static_cast<size_t>(chunk) * 256 + (y % 16) * 16 + (x % 16)]
                                  : absent_area_tile;
            } else {
                tile = map_data[static_cast<size_t>(y) * world_size + x];
            }
            const unsigned overlay = overlay_at(x, y, phase_mask, items);
            if (overlay == 0) {
                draw_tile(pixels, world_size, sheet, tile, x, y);
            } else if (masked) {
                draw_tile(pixels, world_size, sheet, tile, x, y);
                draw_tile_masked(pixels, world_size, sheet, *mask, overlay, x, y);
            } else {
                draw_tile(pixels, world_size, sheet, overlay, x, y);
            }
        }
    }
}
