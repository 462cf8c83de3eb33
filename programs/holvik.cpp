// holvik: the PC world mapper. Draws the surface map ("BRIT.DAT") and the Underworld
// ("UNDER.DAT") of a PC data directory into two BMP files.
#include <cstdio>

#include "bitmap/output.hpp"
#include "pc/pc_data.hpp"
#include "world/world_mapper.hpp"

namespace {

const option_table holvik_options[] = {common_options, pc_tile_file_options, world_options};
const usage_text holvik_usage[] = {usage_with_data_path, pc_tile_file_usage, shape_usage,
                                   world_usage,          closing_usage,      png_usage, data_path_closing_usage};
const mapper_program holvik = {"holvik", true, holvik_options, holvik_usage, {}, true};

int run(int argc, char** argv)
{
    world_settings settings;
    if (parse_world_command_line(argc, argv, holvik, settings) < 0) return 1;
    rand15_state random;
    tile_sheet sheet;
    if (load_pc_tile_source(settings.common.tiles, sheet, random) < 0) return 1;
    world_run run;
    if (start_world_run(run, sheet, nullptr) < 0) return 1;
    for (int index = 0; index < 2; ++index) {
        const world_map_entry& entry = world_maps[index];
        if (read_data_file(settings.common.data_path, entry.data_file, run.map.data(), entry.pc_bytes) < 0) {
            std::printf("error: read map data '%s'\n", entry.data_file);
            return 1;
        }
        if (draw_and_save_world_map(index, settings, run, entry.pc_chunk_table) < 0) return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return finish_console(run(argc, argv));
}
