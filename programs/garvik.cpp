// garvik: the PC settlement mapper. Draws every level of the chosen settlement groups of a
// PC data directory at a chosen hour into one BMP file per level.
#include <cstdio>
#include <vector>

#include "pc/pc_data.hpp"
#include "settlement/settlement_mapper.hpp"

namespace {

const option_table garvik_options[] = {common_options, pc_tile_file_options, settlement_options};

const char* const garvik_usage[] = {
    "usage: %s [options] [DATA-PATH]\n",
    "option:",
    "           --cga FILE           read CGA version shapes",
    "                                specify LZW decoded 'TILES.4' file",
    "           --ega FILE           read EGA version shapes",
    "                                specify LZW decoded 'TILES.16' file",
    "        -s|--shape SHAPE-BMP    read shape data from specified file",
    "        -C|--castle             draw castle maps",
    "        -D|--dwelling           draw dwelling maps",
    "        -K|--keep               draw keep maps",
    "        -T|--towne              draw towne maps",
    "        -n|--no-npcs            draw not NPCs",
    "        -p|--no-change-pose     not change NPCs' shape",
    "        -h|--hour NUM           specify hour (0-23)",
    "           --overwrite          overwrite output files",
    "        -?|--help               print usage",
    "read map data from current directory if not specified",
};

const mapper_program garvik = {"garvik", true, garvik_options, garvik_usage, {}, true};

int run(int argc, char** argv)
{
    settlement_settings settings;
    if (parse_settlement_command_line(argc, argv, garvik, settings) < 0) return 1;
    rand15_state random;
    tile_sheet sheet;
    if (load_pc_tile_source(settings.common.tiles, sheet, random) < 0) return 1;
    picture_rows pictures;
    bitmap_image image;
    if (make_picture_rows(pictures, sheet, nullptr, true) < 0 || make_map_image(image, sheet, pictures, level_size) < 0)
        return 1;
    std::vector<uint8_t> map_data, npc_data;
    if (allocate_buffer(map_data, settlement_map_bytes) < 0 || allocate_buffer(npc_data, npc_data_bytes) < 0) return 1;
    output_file output;
    settlement_job job = make_settlement_job(settings, image, pictures, output);
    job.map_data = map_data.data();
    job.npc_data = npc_data.data();
    for (int group = 0; group < settlement_group_count; ++group) {
        if (!(settings.groups & (1u << group))) continue;
        const settlement_group& files = settlement_groups[group];
        if (read_data_file(settings.common.data_path, files.map_file, map_data.data(), map_data.size()) < 0) {
            std::printf("error: read map data '%s'\n", files.map_file);
            return 1;
        }
        if (read_data_file(settings.common.data_path, files.npc_file, npc_data.data(), npc_data.size()) < 0) {
            std::printf("error: read npc data '%s'\n", files.npc_file);
            return 1;
        }
        job.group = group;
        if (draw_settlement_group(job) < 0) return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return finish_console(run(argc, argv));
}
