// The settlement mappers' option handling.
#include "settlement_mapper.hpp"

#include <cstdio>

int parse_settlement_command_line(int argc, char** argv, const mapper_program& program, settlement_settings& settings)
{
    argument_cursor cursor{argc, argv, 1};
    parsed_argument option;
    for (int status; (status = next_mapper_option(cursor, program, settings.common, option)) != 0;) {
        if (status < 0) return -1;
        switch (option.id) {
        case option_id::castle: settings.groups |= 1u << 0; break;
        case option_id::dwelling: settings.groups |= 1u << 1; break;
        case option_id::keep: settings.groups |= 1u << 2; break;
        case option_id::towne: settings.groups |= 1u << 3; break;
        case option_id::no_npcs: settings.view.no_npcs = true; break;
        case option_id::no_change_pose: settings.view.no_pose_change = true; break;
        case option_id::hour:
            if (parse_number_argument(option.argument, 0, 23, settings.view.hour) < 0) {
                std::printf("error: illegal hour value: %s\n", option.argument);
                return -1;
            }
            break;
        default: break;
        }
    }
    if (settings.groups == 0) settings.groups = (1u << settlement_group_count) - 1;
    return 0;
}

settlement_job make_settlement_job(const settlement_settings& settings, bitmap_image& image, const tile_sheet& sheet,
                                   const tile_sheet* mask)
{
    settlement_job job;
    job.image = &image;
    job.sheet = &sheet;
    job.mask = mask;
    job.view = settings.view;
    job.overwrite = settings.common.overwrite;
    return job;
}
