// The world mappers' option handling and map output.
#include "world_mapper.hpp"

#include <cstdio>

int next_world_option(argument_cursor& cursor, const mapper_program& program, world_settings& settings,
                      parsed_argument& out)
{
    for (;;) {
        const int status = next_mapper_option(cursor, program, settings.common, out);
        if (status <= 0) return status;
        switch (out.id) {
        case option_brit: settings.outputs[0] = out.argument; break;
        case option_under: settings.outputs[1] = out.argument; break;
        case option_gates: settings.phase_mask = 0xFF; break;
        case option_phase: {
            unsigned phase = 0;
            if (parse_number_argument(out.argument, 1, 8, phase) < 0) {
                std::printf("error: illegal phase value: %s\n", out.argument);
                return -1;
            }
            settings.phase_mask |= 1u << (phase - 1);
            break;
        }
        case option_items: settings.items = true; break;
        default: return 1;
        }
    }
}

int parse_world_command_line(int argc, char** argv, const mapper_program& program, world_settings& settings)
{
    argument_cursor cursor{argc, argv, 1};
    parsed_argument option;
    const int status = next_world_option(cursor, program, settings, option);
    if (status > 0) std::printf("error: unknown option '%s'\n", option.text);  // in the table, but nobody's
    return status == 0 ? 0 : -1;
}

int start_world_run(world_run& run, const tile_sheet& sheet, const tile_sheet* mask)
{
    if (describe_map_image(run.image, sheet, world_size) < 0 || make_picture_rows(run.pictures, sheet, mask, true) < 0)
        return -1;
    return allocate_buffer(run.map, world_map_bytes);
}

int draw_and_save_world_map(int index, const world_settings& settings, world_run& run, const int32_t* chunk_table)
{
    const bool surface = index == 0;
    const char* output = settings.outputs[index];
    if (settings.common.png && output == world_maps[index].default_output) output = world_maps[index].default_png_output;
    const bitmap_image& image = run.image;
    bitmap_header header;
    int status = -1;
    if (make_bitmap_header(header, image.width, image.height, image.bit_count) < 0) {
        std::printf("error: create bitmap header\n");
    } else if (open_output_file(run.output, output, settings.common.overwrite) == 0) {
        const int written = write_world_map(run.output, header, image.palette, run.pictures, run.map.data(), chunk_table,
                                            surface ? settings.phase_mask : 0, !surface && settings.items,
                                            settings.common.png ? &run.png : nullptr);
        status = finish_bitmap_file(run.output, output, written);
    }
    if (status < 0) std::printf("error: write bitmap file '%s'\n", output);
    return status;
}
