// holvik: the PC world mapper. Draws the surface map ("BRIT.DAT") and the Underworld
// ("UNDER.DAT") of a PC data directory into two BMP files.
#include <cstdio>
#include <vector>

#include "pc/pc_data.hpp"
#include "world/world_mapper.hpp"

namespace {

const option_table holvik_options[] = {common_options, pc_tile_file_options, world_options};

const char* const holvik_usage[] = {
    "usage: %s [options] [DATA-PATH]\n",
    "option:",
    "           --cga FILE           read CGA version shapes",
    "                                specify LZW decoded 'TILES.4' file",
    "           --ega FILE           read EGA version shapes",
    "                                specify LZW decoded 'TILES.16' file",
    "        -s|--shape SHAPE-BMP    read shape data from specified file",
    "        -b|--brit  BRITANNIA-BMP    write britannia map to specified file",
    "        -u|--under UNDERWORLD-BMP   write underworld map to specified file",
    "        -g|--gates              draw all moon gates (default locations)",
    "        -p|--phase NUM          draw moon gate of specified phase (1-8)",
    "        -i|--items              draw items in underworld",
    "           --overwrite          overwrite output files",
    "        -?|--help               print usage",
    "read map data from current directory if not specified",
};

const mapper_program holvik = {"holvik", true, holvik_options, holvik_usage, {}, true};

int run(int argc, char** argv)
{
    world_settings settings;
    if (parse_world_command_line(argc, argv, holvik, settings) < 0) return 1;
    rand15_state random;
    tile_sheet sheet;
    if (load_pc_tile_source(settings.common.tiles, sheet, random) < 0) return 1;
    picture_rows pictures;
    bitmap_image image;
    if (describe_map_image(image, sheet, world_size) < 0 || make_picture_rows(pictures, sheet, nullptr, true) < 0)
        return 1;
    std::vector<uint8_t> map;
    if (allocate_buffer(map, world_map_bytes) < 0) return 1;
    output_file output;
    for (int index = 0; index < 2; ++index) {
        const world_map_entry& entry = world_maps[index];
        if (read_data_file(settings.common.data_path, entry.data_file, map.data(), entry.pc_bytes) < 0) {
            std::printf("error: read map data '%s'\n", entry.data_file);
            return 1;
        }
        if (draw_and_save_world_map(index, settings, output, image, pictures, map.data(), entry.pc_chunk_table) < 0)
            return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return finish_console(run(argc, argv));
}
