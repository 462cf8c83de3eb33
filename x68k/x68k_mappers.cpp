// The X68000 and PC-98 settlement and world mappers: every file comes from one floppy image.
#include "x68k_mappers.hpp"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "bitmap/colour_convert.hpp"
#include "settlement/settlement_mapper.hpp"
#include "world/world_mapper.hpp"
#include "x68k/disk_container.hpp"
#include "x68k/x68k_tiles.hpp"

namespace {

const option_table settlement_tables[] = {common_options, mask_options, x68k_disk_options, settlement_options};
const option_table world_tables[] = {common_options, mask_options, x68k_disk_options, world_options};

const usage_text settlement_usage_parts[] = {usage_without_data_path, x68k_disk_usage, shape_usage,
                                             mask_usage,              settlement_usage, closing_usage, png_usage,
                                             settlement_output_usage, output_usage};
const usage_text world_usage_parts[] = {usage_without_data_path, x68k_disk_usage, shape_usage, mask_usage,
                                        world_usage,             closing_usage, png_usage,   output_usage};

// Applies the edition's own option handed back by the shared walks. 0, or -1 for an option
// that is in the tables but nobody applies.
int apply_x68k_option(const parsed_argument& option, const char*& image)
{
    if (option.id != option_disk) {
        std::printf("error: unknown option '%s'\n", option.text);
        return -1;
    }
    image = option.argument;
    return 0;
}

// Reads a file of the image into `buffer`, zeroed first so that a short file's tail reads
// as zeros and never as the data of an earlier file.
// The disk is opened at the first file and kept open for the others.
int read_image_data(const x68k_build& build, disk_image& disk, const char* image, const char* name,
                    std::vector<uint8_t>& buffer)
{
    std::fill(buffer.begin(), buffer.end(), 0);
    return read_file_from_image(disk, image, name, buffer.data(), static_cast<int>(buffer.size()), build.header_size);
}

} // namespace

int load_x68k_tile_source(const x68k_build& build, disk_image& disk, const char* image,
                          const tile_source_settings& settings, tile_sheet& sheet, tile_sheet& mask, rand15_state& random)
{
    if (!settings.use_bitmaps) {
        if (load_x68k_tiles(disk, image, build.header_size, sheet, settings.no_mask ? nullptr : &mask, settings.type,
                            settings.no_remake_water, build.mirror_rows, random) < 0) {
            std::printf("error: read shape '%s'\n", image);
            return -1;
        }
        return 0;
    }
    if (read_shape_bitmap(settings.shape_bitmap, sheet, sheet_columns, sheet_rows) < 0) {
        std::printf("error: read shape bitmap '%s'\n", settings.shape_bitmap);
        return -1;
    }
    if (settings.mask_bitmap &&
        read_mask_bitmap(settings.mask_bitmap, mask, sheet.tile_width, sheet.tile_height, sheet_columns, sheet_rows) < 0) {
        std::printf("error: read mask bitmap '%s'\n", settings.mask_bitmap);
        return -1;
    }
    return 0;
}

int run_x68k_settlement_mapper(const x68k_build& build, int argc, char** argv)
{
    const char* const usage_arguments[] = {build.default_image};
    const mapper_program program = {build.name, false, settlement_tables, settlement_usage_parts, usage_arguments, false};
    settlement_settings settings;
    const char* image = build.default_image;
    argument_cursor cursor{argc, argv, 1};
    parsed_argument option;
    for (int status; (status = next_settlement_option(cursor, program, settings, option)) != 0;) {
        if (status < 0) return command_line_exit_status(status);
        if (apply_x68k_option(option, image) < 0) return 1;
    }
    finish_settlement_settings(settings);

    rand15_state random;
    tile_sheet sheet, mask;
    disk_image disk;  // read once, for the tiles and the data files
    if (load_x68k_tile_source(build, disk, image, settings.common.tiles, sheet, mask, random) < 0) return 1;
    settlement_run run;
    if (start_settlement_run(run, settings, sheet, &mask, npc_block_bytes, true) < 0) return 1;
    for (int group = 0; group < settlement_group_count; ++group) {
        if (!(settings.groups & (1u << group))) continue;
        const settlement_group& files = settlement_groups[group];
        if (read_image_data(build, disk, image, files.map_file, run.map_data) < 0) {
            std::printf("error: read map data '%s/%s'\n", image, files.map_file);
            return 1;
        }
        if (read_image_data(build, disk, image, files.npc_file, run.npc_data) < 0) {
            std::printf("error: read npc data '%s/%s'\n", image, files.npc_file);
            return 1;
        }
        run.job.group = group;
        if (draw_settlement_group(run.job) < 0) return 1;
    }
    return 0;
}

int run_x68k_world_mapper(const x68k_build& build, int argc, char** argv)
{
    const char* const usage_arguments[] = {build.default_image};
    const mapper_program program = {build.name, false, world_tables, world_usage_parts, usage_arguments, false};
    world_settings settings;
    const char* image = build.default_image;
    argument_cursor cursor{argc, argv, 1};
    parsed_argument option;
    for (int status; (status = next_world_option(cursor, program, settings, option)) != 0;) {
        if (status < 0) return command_line_exit_status(status);
        if (apply_x68k_option(option, image) < 0) return 1;
    }

    rand15_state random;
    tile_sheet sheet, mask;
    disk_image disk;  // read once, for the tiles and the data files
    if (load_x68k_tile_source(build, disk, image, settings.common.tiles, sheet, mask, random) < 0) return 1;
    world_run run;
    if (start_world_run(run, sheet, &mask) < 0) return 1;
    for (int index = 0; index < 2; ++index) {
        const char* file = world_maps[index].data_file;
        if (read_image_data(build, disk, image, file, run.map) < 0) {
            std::printf("error: read map data '%s/%s'\n", image, file);
            return 1;
        }
        if (draw_and_save_world_map(index, settings, run, nullptr) < 0) return 1;
    }
    return 0;
}
