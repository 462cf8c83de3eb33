// The world mappers' option handling and map output.
#include "world_mapper.hpp"

#include <cstdio>

int parse_world_command_line(int argc, char** argv, const mapper_program& program, world_settings& settings)
{
    argument_cursor cursor{argc, argv, 1};
    parsed_argument option;
    for (int status; (status = next_mapper_option(cursor, program, settings.common, option)) != 0;) {
        if (status < 0) return -1;
        switch (option.id) {
        case option_id::brit: settings.outputs[0] = option.argument; break;
        case option_id::under: settings.outputs[1] = option.argument; break;
        case option_id::gates: settings.phase_mask = 0xFF; break;
        case option_id::phase: {
            unsigned phase = 0;
            if (parse_number_argument(option.argument, 1, 8, phase) < 0) {
                std::printf("error: illegal phase value: %s\n", option.argument);
                return -1;
            }
            settings.phase_mask |= 1u << (phase - 1);
            break;
        }
        case option_id::items: settings.items = true; break;
        default: break;
        }
    }
    return 0;
}

int draw_and_save_world_map(int index, const world_settings& settings, bitmap_image& image, const tile_sheet& sheet,
                            const tile_sheet* mask, const uint8_t* map_data, const int32_t* chunk_table)
{
    const bool surface = index == 0;
    draw_world_map(image.pixels.data(), sheet, mask, map_data, chunk_table, surface ? settings.phase_mask : 0,
                   !surface && settings.items);
    const char* output = settings.outputs[index];
    if (save_bitmap_file(output, image, settings.common.overwrite) < 0) {
        std::printf("error: write bitmap file '%s'\n", output);
        return -1;
    }
    return 0;
}
