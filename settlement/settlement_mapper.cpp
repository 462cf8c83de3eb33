// The settlement mappers' option handling.
#include "settlement_mapper.hpp"

#include <cstdio>

int next_settlement_option(argument_cursor& cursor, const mapper_program& program, settlement_settings& settings,
                           parsed_argument& out)
{
    for (;;) {
        const int status = next_mapper_option(cursor, program, settings.common, out);
        if (status <= 0) return status;
        switch (out.id) {
        case option_castle: settings.groups |= 1u << 0; break;
        case option_dwelling: settings.groups |= 1u << 1; break;
        case option_keep: settings.groups |= 1u << 2; break;
        case option_towne: settings.groups |= 1u << 3; break;
        case option_no_npcs: settings.view.no_npcs = true; break;
        case option_no_change_pose: settings.view.no_pose_change = true; break;
        case option_hour:
            if (parse_number_argument(out.argument, 0, 23, settings.view.hour) < 0) {
                std::printf("error: illegal hour value: %s\n", out.argument);
                return -1;
            }
            break;
        default: return 1;
        }
    }
}

void finish_settlement_settings(settlement_settings& settings)
{
    if (settings.groups == 0) settings.groups = (1u << settlement_group_count) - 1;
}

int parse_settlement_command_line(int argc, char** argv, const mapper_program& program, settlement_settings& settings)
{
    argument_cursor cursor{argc, argv, 1};
    parsed_argument option;
    const int status = next_settlement_option(cursor, program, settings, option);
    if (status > 0) std::printf("error: unknown option '%s'\n", option.text);  // in the table, but nobody's
    if (status != 0) return -1;
    finish_settlement_settings(settings);
    return 0;
}

int start_settlement_run(settlement_run& run, const settlement_settings& settings, const tile_sheet& sheet,
                         const tile_sheet* mask, size_t block_size, bool packed)
{
    if (make_picture_rows(run.pictures, sheet, mask, packed) < 0 ||
        make_map_image(run.image, sheet, run.pictures, level_size) < 0 ||
        allocate_buffer(run.map_data, settlement_map_bytes) < 0 ||
        allocate_buffer(run.npc_data, block_size * settlement_locations) < 0)
        return -1;
    settlement_job& job = run.job;
    job.map_data = run.map_data.data();
    job.npc_data = run.npc_data.data();
    job.block_size = block_size;
    job.image = &run.image;
    job.pictures = &run.pictures;
    job.output = &run.output;
    job.png = settings.common.png ? &run.png : nullptr;
    job.view = settings.view;
    job.overwrite = settings.common.overwrite;
    return 0;
}
