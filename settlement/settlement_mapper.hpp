// The settlement mappers' command line. Each settlement mapper is a `mapper_program`
// record (its option tables and usage text) over this code; the edition's program reads
// the tiles and each group's data and hands them to `draw_settlement_group`.
#pragma once

#include "bitmap/command_line.hpp"
#include "settlement/settlement_render.hpp"

enum settlement_option_id : option_id {
    option_castle = settlement_option_base,
    option_dwelling,
    option_keep,
    option_towne,
    option_no_npcs,
    option_no_change_pose,
    option_hour,
};

// The options of the settlement mappers beyond the common ones.
inline constexpr option_spec settlement_options[] = {
    {{"-C", "--castle"}, option_castle, nullptr},
    {{"-D", "--dwelling"}, option_dwelling, nullptr},
    {{"-K", "--keep"}, option_keep, nullptr},
    {{"-T", "--towne"}, option_towne, nullptr},
    {{"-n", "--no-npcs"}, option_no_npcs, nullptr},
    {{"-p", "--no-change-pose"}, option_no_change_pose, nullptr},
    {{"-h", "--hour"}, option_hour, "error: no phase value"},
};

struct settlement_settings {
    mapper_settings common;
    unsigned groups = 0;  // selection bits, 1 << group index; all four when none is chosen
    settlement_view view;
};

// Takes the next option that neither the shared code nor the settlement layer applies,
// applying theirs on the way. 1 with `out` filled, 0 at the end, -1 when the run ends with
// status 1 (usage printed, or an error line).
int next_settlement_option(argument_cursor& cursor, const mapper_program& program, settlement_settings& settings,
                           parsed_argument& out);
// Selects all four groups when none was chosen.
void finish_settlement_settings(settlement_settings& settings);
// Reads the whole command line of a mapper without options of its own into `settings`,
// selecting all groups when none was chosen. 0 to go on; -1 when the run ends with status 1.
int parse_settlement_command_line(int argc, char** argv, const mapper_program& program, settlement_settings& settings);

// A job for the settings, the image, the pictures and the output file, without a group's
// data yet.
settlement_job make_settlement_job(const settlement_settings& settings, bitmap_image& image,
                                   const picture_rows& pictures, output_file& output);
