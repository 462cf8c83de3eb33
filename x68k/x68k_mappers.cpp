// The X68000 and PC-98 settlement and world mappers: every file comes from one floppy image.
#include "x68k_mappers.hpp"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "bitmap/colour_convert.hpp"
#include "settlement/settlement_mapper.hpp"
#include "world/world_mapper.hpp"
#include "x68k/fat12.hpp"
#include "x68k/x68k_tiles.hpp"

namespace {

const option_table settlement_tables[] = {common_options, mask_options, x68k_disk_options, settlement_options};
const option_table world_tables[] = {common_options, mask_options, x68k_disk_options, world_options};

const char* const settlement_usage[] = {
    "usage: %s [options]\n",
    "option:",
    "        -d|--disk|--britannia-disk DISK-IMG",
    "                                specify britannia disk",
    "                                read '%s' if not specified\n",
    "        -s|--shape SHAPE-BMP    read shape data from specified file",
    "        -m|--mask  MASK-BMP     read mask data from specified file",
    "        -M|--no-mask            not use mask data",
    "        -C|--castle             draw castle maps",
    "        -D|--dwelling           draw dwelling maps",
    "        -K|--keep               draw keep maps",
    "        -T|--towne              draw towne maps",
    "        -n|--no-npcs            draw not NPCs",
    "        -p|--no-change-pose     not change NPCs' shape",
    "        -h|--hour NUM           specify hour (0-23)",
    "           --overwrite          overwrite output files",
    "        -?|--help               print usage",
};

const char* const world_usage[] = {
    "usage: %s [options]\n",
    "option:",
    "        -d|--disk|--britannia-disk DISK-IMG",
    "                                specify britannia disk",
    "                                read '%s' if not specified\n",
    "        -s|--shape SHAPE-BMP    read shape data from specified file",
    "        -m|--mask  MASK-BMP     read mask data from specified file",
    "        -M|--no-mask            not use mask data",
    "        -b|--brit  BRITANNIA-BMP    write britannia map to specified file",
    "        -u|--under UNDERWORLD-BMP   write underworld map to specified file",
    "        -g|--gates              draw all moon gates (default locations)",
    "        -p|--phase NUM          draw moon gate of specified phase (1-8)",
    "        -i|--items              draw items in underworld",
    "           --overwrite          overwrite output files",
    "        -?|--help               print usage",
};

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
int read_image_data(const x68k_build& build, const char* image, const char* name, std::vector<uint8_t>& buffer)
{
    std::fill(buffer.begin(), buffer.end(), 0);
    return read_file_from_image(image, name, buffer.data(), static_cast<int>(buffer.size()), build.header_size);
}

} // namespace

int load_x68k_tile_source(const x68k_build& build, const char* image, const tile_source_settings& settings,
                          tile_sheet& sheet, tile_sheet& mask, rand15_state& random)
{
    if (!settings.use_bitmaps) {
        if (load_x68k_tiles(image, build.header_size, sheet, settings.no_mask ? nullptr : &mask, settings.type,
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
    const mapper_program program = {build.name, false, settlement_tables, settlement_usage, usage_arguments, false};
    settlement_settings settings;
    const char* image = build.default_image;
    argument_cursor cursor{argc, argv, 1};
    parsed_argument option;
    for (int status; (status = next_settlement_option(cursor, program, settings, option)) != 0;)
        if (status < 0 || apply_x68k_option(option, image) < 0) return 1;
    finish_settlement_settings(settings);

    rand15_state random;
    tile_sheet sheet, mask;
    if (load_x68k_tile_source(build, image, settings.common.tiles, sheet, mask, random) < 0) return 1;
    picture_rows pictures;
    bitmap_image level;
    if (make_picture_rows(pictures, sheet, &mask, true) < 0 || make_map_image(level, sheet, pictures, level_size) < 0)
        return 1;
    std::vector<uint8_t> map_data, npc_data;
    if (allocate_buffer(map_data, settlement_map_bytes) < 0 || allocate_buffer(npc_data, npc_data_bytes) < 0) return 1;
    output_file output;
    settlement_job job = make_settlement_job(settings, level, pictures, output);
    job.map_data = map_data.data();
    job.npc_data = npc_data.data();
    for (int group = 0; group < settlement_group_count; ++group) {
        if (!(settings.groups & (1u << group))) continue;
        const settlement_group& files = settlement_groups[group];
        if (read_image_data(build, image, files.map_file, map_data) < 0) {
            std::printf("error: read map data '%s/%s'\n", image, files.map_file);
            return 1;
        }
        if (read_image_data(build, image, files.npc_file, npc_data) < 0) {
            std::printf("error: read npc data '%s/%s'\n", image, files.npc_file);
            return 1;
        }
        job.group = group;
        if (draw_settlement_group(job) < 0) return 1;
    }
    return 0;
}

int run_x68k_world_mapper(const x68k_build& build, int argc, char** argv)
{
    const char* const usage_arguments[] = {build.default_image};
    const mapper_program program = {build.name, false, world_tables, world_usage, usage_arguments, false};
    world_settings settings;
    const char* image = build.default_image;
    argument_cursor cursor{argc, argv, 1};
    parsed_argument option;
    for (int status; (status = next_world_option(cursor, program, settings, option)) != 0;)
        if (status < 0 || apply_x68k_option(option, image) < 0) return 1;

    rand15_state random;
    tile_sheet sheet, mask;
    if (load_x68k_tile_source(build, image, settings.common.tiles, sheet, mask, random) < 0) return 1;
    picture_rows pictures;
    bitmap_image map_image;
    if (describe_map_image(map_image, sheet, world_size) < 0 || make_picture_rows(pictures, sheet, &mask, true) < 0)
        return 1;
    std::vector<uint8_t> map;
    if (allocate_buffer(map, world_map_bytes) < 0) return 1;
    output_file output;
    for (int index = 0; index < 2; ++index) {
        const char* file = world_maps[index].data_file;
        if (read_image_data(build, image, file, map) < 0) {
            std::printf("error: read map data '%s/%s'\n", image, file);
            return 1;
        }
        if (draw_and_save_world_map(index, settings, output, map_image, pictures, map.data(), nullptr) < 0) return 1;
    }
    return 0;
}
