// garvik: the PC settlement mapper. Draws every level of the chosen settlement groups of a
// PC data directory at a chosen hour into one BMP file per level.
#include <cstdio>

#include "bitmap/output.hpp"
#include "pc/pc_data.hpp"
#include "settlement/settlement_mapper.hpp"

namespace {

const option_table garvik_options[] = {common_options, pc_tile_file_options, settlement_options};
const usage_text garvik_usage[] = {usage_with_data_path, pc_tile_file_usage, shape_usage,
                                   settlement_usage,     closing_usage,      png_usage, data_path_closing_usage};
const mapper_program garvik = {"garvik", true, garvik_options, garvik_usage, {}, true};

int run(int argc, char** argv)
{
    settlement_settings settings;
    if (parse_settlement_command_line(argc, argv, garvik, settings) < 0) return 1;
    rand15_state random;
    tile_sheet sheet;
    if (load_pc_tile_source(settings.common.tiles, sheet, random) < 0) return 1;
    settlement_run run;
    if (start_settlement_run(run, settings, sheet, nullptr, npc_block_bytes, true) < 0) return 1;
    for (int group = 0; group < settlement_group_count; ++group) {
        if (!(settings.groups & (1u << group))) continue;
        const settlement_group& files = settlement_groups[group];
        if (read_data_file(settings.common.data_path, files.map_file, run.map_data.data(), run.map_data.size()) < 0) {
            std::printf("error: read map data '%s'\n", files.map_file);
            return 1;
        }
        if (read_data_file(settings.common.data_path, files.npc_file, run.npc_data.data(), run.npc_data.size()) < 0) {
            std::printf("error: read npc data '%s'\n", files.npc_file);
            return 1;
        }
        run.job.group = group;
        if (draw_settlement_group(run.job) < 0) return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return finish_console(run(argc, argv));
}
