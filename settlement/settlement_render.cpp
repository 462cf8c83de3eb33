// Settlement level drawing and the level files of a group.
#include "settlement_render.hpp"

#include <cstdio>
#include <new>

namespace {

constexpr unsigned night_water_tile = 3;    // tiles 72 and 73 at night
constexpr unsigned night_lamp_tile = 153;   // tile 68 below tile 135 at night

unsigned drawn_tile(const uint8_t* level, int x, int y, bool night)
{
    const unsigned tile = level[level_size * y + x];
    if (!night) return tile;
    if (tile == 72 || tile == 73) return night_water_tile;
    if (tile == 68 && y > 0 && level[level_size * (y - 1) + x] == 135) return night_lamp_tile;
    return tile;
}

} // namespace

void draw_settlement_level(bitmap_image& image, const picture_rows& pictures, const uint8_t* level,
                           const uint8_t* block, uint8_t level_code, const settlement_view& view)
{
    const bool night = is_night(view.hour);
    uint16_t cells[level_bytes];
    for (int y = 0; y < level_size; ++y)
        for (int x = 0; x < level_size; ++x)
            cells[level_size * y + x] = static_cast<uint16_t>(drawn_tile(level, x, y, night));

    // NPC pictures replace their cell's picture, or are drawn over it through the mask.
    struct overlay {
        uint8_t x;
        uint8_t y;
        uint16_t picture;
    };
    overlay overlays[level_bytes];
    size_t overlay_count = 0;
    if (!view.no_npcs) {
        npc_grid grid;
        place_npcs(level, block, level_code, view.hour, grid);
        for (int y = 0; y < level_size; ++y) {
            for (int x = 0; x < level_size; ++x) {
                const uint8_t kind = grid[level_size * y + x];
                if (kind == 0) continue;
                const auto picture =
                    static_cast<uint16_t>(view.no_pose_change ? 256u + kind : npc_picture(kind, level, x, y));
                if (pictures.keep.empty())
                    cells[level_size * y + x] = picture;
                else
                    overlays[overlay_count++] = {static_cast<uint8_t>(x), static_cast<uint8_t>(y), picture};
            }
        }
    }

    const size_t row_bytes = pictures.row_bytes * level_size;
    uint8_t* row = image.pixels.data();
    size_t next_overlay = 0;
    for (int y = 0; y < level_size; ++y) {
        const size_t first_overlay = next_overlay;
        while (next_overlay < overlay_count && overlays[next_overlay].y == y) ++next_overlay;
        for (int32_t r = 0; r < pictures.tile_height; ++r, row += row_bytes) {
            draw_cell_row(row, pictures, cells + level_size * y, level_size, r);
            for (size_t i = first_overlay; i < next_overlay; ++i)
                draw_overlay_row(row, pictures, overlays[i].picture, overlays[i].x, r);
        }
    }
}

void make_settlement_file_name(std::string& name, const char* location, const char* level, unsigned hour,
                               bool hour_in_names, bool png)
{
    name.assign("zk.").append(location).append(1, '.').append(level);
    if (hour_in_names) {
        const char digits[4] = {'.', static_cast<char>('0' + hour / 10 % 10), static_cast<char>('0' + hour % 10), 0};
        name.append(digits);
    }
    name.append(png ? ".png" : ".bmp");
}

void draw_settlement_slot(const settlement_job& job, int slot)
{
    const map_slot& where = map_slots[job.group][slot];
    std::printf("[%s]\n", settlement_groups[job.group].locations[where.location]);
    draw_settlement_level(*job.image, *job.pictures, level_view(job.map_data, slot),
                          block_view(job.npc_data, where.location, job.block_size), where.level, job.view);
}

int write_settlement_slot(const settlement_job& job, int slot, std::string& name)
{
    const map_slot& where = map_slots[job.group][slot];
    try {
        make_settlement_file_name(name, settlement_groups[job.group].locations[where.location], level_name(where.level),
                                  job.view.hour, job.hour_in_names, job.png != nullptr);
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    const int saved = job.png ? save_png_file(*job.output, *job.png, name.c_str(), *job.image, job.overwrite)
                              : save_bitmap_file(*job.output, name.c_str(), *job.image, job.overwrite);
    if (saved < 0) {
        std::printf("error: write bitmap file '%s'\n", name.c_str());
        return -1;
    }
    return 0;
}

int draw_settlement_group(const settlement_job& job)
{
    std::string name;
    for (int slot = 0; slot < settlement_slots; ++slot) {
        draw_settlement_slot(job, slot);
        if (write_settlement_slot(job, slot, name) < 0) return -1;
    }
    return 0;
}
