// Settlement level drawing and the level files of a group.
#include "settlement_render.hpp"

#include <cstdio>
#include <new>

#include "bitmap/command_line.hpp"

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

void prepare_level_cells(level_cells& drawing, const picture_rows& pictures, const uint8_t* level, const uint8_t* block,
                         uint8_t level_code, const settlement_view& view)
{
    const bool night = is_night(view.hour);
    for (int y = 0; y < level_size; ++y)
        for (int x = 0; x < level_size; ++x)
            drawing.cells[level_size * y + x] = static_cast<uint16_t>(drawn_tile(level, x, y, night));

    // NPC pictures replace their cell's picture, or are drawn over it through the mask.
    npc_grid grid{};
    if (!view.no_npcs) place_npcs(level, block, level_code, view.hour, grid);
    size_t count = 0;
    for (int y = 0; y < level_size; ++y) {
        drawing.first_overlay[y] = static_cast<uint16_t>(count);
        if (view.no_npcs) continue;
        for (int x = 0; x < level_size; ++x) {
            const uint8_t kind = grid[level_size * y + x];
            if (kind == 0) continue;
            const auto picture = static_cast<uint16_t>(view.no_pose_change ? 256u + kind : npc_picture(kind, level, x, y));
            if (pictures.keep.empty())
                drawing.cells[level_size * y + x] = picture;
            else
                drawing.overlays[count++] = {static_cast<uint8_t>(x), picture};
        }
    }
    drawing.first_overlay[level_size] = static_cast<uint16_t>(count);
}

void draw_level_tile_row(uint8_t* dst, const level_cells& drawing, const picture_rows& pictures, int y)
{
    const size_t row_bytes = pictures.row_bytes * level_size;
    const uint16_t* cells = drawing.cells + level_size * y;
    for (int32_t r = 0; r < pictures.tile_height; ++r, dst += row_bytes) {
        draw_cell_row(dst, pictures, cells, level_size, r);
        for (size_t i = drawing.first_overlay[y]; i < drawing.first_overlay[y + 1]; ++i)
            draw_overlay_row(dst, pictures, drawing.overlays[i].picture, drawing.overlays[i].x, r);
    }
}

void draw_settlement_level(bitmap_image& image, const picture_rows& pictures, const uint8_t* level,
                           const uint8_t* block, uint8_t level_code, const settlement_view& view)
{
    level_cells drawing;
    prepare_level_cells(drawing, pictures, level, block, level_code, view);
    draw_level_cells(image, drawing, pictures);
}

void draw_level_cells(bitmap_image& image, const level_cells& drawing, const picture_rows& pictures)
{
    const size_t band_bytes = pictures.row_bytes * level_size * static_cast<size_t>(pictures.tile_height);
    for (int y = 0; y < level_size; ++y)
        draw_level_tile_row(image.pixels.data() + band_bytes * static_cast<size_t>(y), drawing, pictures, y);
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

void prepare_settlement_slot_cells(const settlement_job& job, int slot, level_cells& drawing)
{
    const map_slot& where = map_slots[job.group][slot];
    std::printf("[%s]\n", settlement_groups[job.group].locations[where.location]);
    prepare_level_cells(drawing, *job.pictures, level_view(job.map_data, slot),
                        block_view(job.npc_data, where.location, job.block_size), where.level, job.view);
}

void draw_settlement_slot(const settlement_job& job, int slot)
{
    level_cells drawing;
    prepare_settlement_slot_cells(job, slot, drawing);
    draw_level_cells(*job.image, drawing, *job.pictures);
}

int prepare_settlement_slot(const settlement_job& job, int slot, std::string& name)
{
    const map_slot& where = map_slots[job.group][slot];
    if (!(job.locations[job.group] & (1u << where.location))) return 0;
    try {
        make_settlement_file_name(name, settlement_groups[job.group].locations[where.location], level_name(where.level),
                                  job.view.hour, job.hour_in_names, job.png != nullptr);
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    if (prefix_output_directory(name, job.output_dir) < 0) return -1;
    return skip_existing_output(job.skip_existing, name.c_str()) ? 0 : 1;
}

int write_settlement_slot(const settlement_job& job, const std::string& name)
{
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
        const int wanted = prepare_settlement_slot(job, slot, name);
        if (wanted < 0) return -1;
        if (wanted == 0) continue;
        draw_settlement_slot(job, slot);
        if (write_settlement_slot(job, name) < 0) return -1;
    }
    return 0;
}
