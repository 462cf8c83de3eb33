// The settlement mappers' command line. Each settlement mapper is a `mapper_program`
// record (its option tables and usage text) over this code; the edition's program reads
// the tiles and each group's data and hands them to `draw_settlement_group`.
#pragma once

#include "bitmap/command_line.hpp"
#include "settlement/settlement_render.hpp"

// The options of the settlement mappers beyond the common ones.
inline constexpr option_spec settlement_options[] = {
    {{"-C", "--castle"}, option_id::castle, nullptr},
    {{"-D", "--dwelling"}, option_id::dwelling, nullptr},
    {{"-K", "--keep"}, option_id::keep, nullptr},
    {{"-T", "--towne"}, option_id::towne, nullptr},
    {{"-n", "--no-npcs"}, option_id::no_npcs, nullptr},
    {{"-p", "--no-change-pose"}, option_id::no_change_pose, nullptr},
    {{"-h", "--hour"}, option_id::hour, "error: no phase value"},
};

struct settlement_settings {
    mapper_settings common;
    unsigned groups = 0;  // selection bits, 1 << group index; all four when none is chosen
    settlement_view view;
};

// Reads the command line into `settings`, selecting all groups when none was chosen.
// 0 to go on; -1 when the run ends with status 1 (usage printed, or an error line).
int parse_settlement_command_line(int argc, char** argv, const mapper_program& program, settlement_settings& settings);

// A job for the settings, the image and the sheets, without a group's data yet.
settlement_job make_settlement_job(const settlement_settings& settings, bitmap_image& image, const tile_sheet& sheet,
                                   const tile_sheet* mask);
