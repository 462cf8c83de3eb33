// The world mappers' command line and the drawing and writing of one world map file.
// Each world mapper is a `mapper_program` record (its option tables and usage text) over
// this code; the edition's program reads the tiles and the map data.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "bitmap/command_line.hpp"
#include "world/world_map.hpp"

enum world_option_id : option_id {
    option_brit = world_option_base,
    option_under,
    option_gates,
    option_phase,
    option_items,
};

// The options of the world mappers beyond the common ones.
inline constexpr option_spec world_options[] = {
    {{"-b", "--brit"}, option_brit, "error: no output name"},
    {{"-u", "--under"}, option_under, "error: no output name"},
    {{"-g", "--gates"}, option_gates, nullptr},
    {{"-p", "--phase"}, option_phase, "error: no phase value"},
    {{"-i", "--items"}, option_items, nullptr},
};

inline constexpr const char* world_usage[] = {
    "        -b|--brit  BRITANNIA-BMP    write britannia map to specified file",
    "        -u|--under UNDERWORLD-BMP   write underworld map to specified file",
    "        -g|--gates              draw all moon gates (default locations)",
    "        -p|--phase NUM          draw moon gate of specified phase (1-8)",
    "        -i|--items              draw items in underworld",
};

struct world_settings {
    mapper_settings common;
    const char* outputs[2] = {world_maps[0].default_output, world_maps[1].default_output};
    unsigned phase_mask = 0;  // bit p - 1: the gate of phase p
    bool items = false;
};

// Takes the next option that neither the shared code nor the world layer applies, applying
// theirs on the way. 1 with `out` filled, 0 at the end, -1 when the run ends with status 1.
int next_world_option(argument_cursor& cursor, const mapper_program& program, world_settings& settings,
                      parsed_argument& out);
// Reads the whole command line of a mapper without options of its own into `settings`.
// 0 to go on; -1 when the run ends with status 1 (usage printed, or an error line).
int parse_world_command_line(int argc, char** argv, const mapper_program& program, world_settings& settings);

// What a world mapper holds from its tiles to its last map: the pictures, the maps' size and
// colours (no pixels: the rows go straight to the file), the map data and the output file.
struct world_run {
    picture_rows pictures;
    bitmap_image image;
    std::vector<uint8_t> map;  // 65536 bytes
    output_file output;
    png_writer png;  // with --png
};

// Sets up a run for the tiles of `sheet`, through `mask` when it has pixels. 0, or -1 after
// "error: memory exhausted!".
int start_world_run(world_run& run, const tile_sheet& sheet, const tile_sheet* mask);

// Draws world map `index` (0 surface, 1 Underworld) from the run's map data (chunked through
// `chunk_table`, or row by row without one) with the overlays the settings give it, and
// writes it under its output name. 0, or -1 after the error lines.
int draw_and_save_world_map(int index, const world_settings& settings, world_run& run, const int32_t* chunk_table);
