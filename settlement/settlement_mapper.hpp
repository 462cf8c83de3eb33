// The settlement mappers' command line. Each settlement mapper is a `mapper_program`
// record (its option tables and usage text) over this code; the edition's program reads
// the tiles and each group's data and hands them to `draw_settlement_group`.
#pragma once

#include <vector>

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

inline constexpr const char* settlement_usage[] = {
    "        -C|--castle             draw castle maps",
    "        -D|--dwelling           draw dwelling maps",
    "        -K|--keep               draw keep maps",
    "        -T|--towne              draw towne maps",
    "        -n|--no-npcs            draw not NPCs",
    "        -p|--no-change-pose     not change NPCs' shape",
    "        -h|--hour NUM           specify hour (0-23)",
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

// What a settlement mapper holds from its tiles to its last level: the pictures, the level
// image, one group's map and NPC data, the output file and the job that draws with them.
struct settlement_run {
    picture_rows pictures;
    bitmap_image image;
    std::vector<uint8_t> map_data;  // 16384 bytes
    std::vector<uint8_t> npc_data;  // 8 blocks
    output_file output;
    png_writer png;                 // kept from level to level when the levels are PNG files
    settlement_job job;             // points into the run, which therefore stays where it is made

    settlement_run() = default;
    settlement_run(const settlement_run&) = delete;
    settlement_run& operator=(const settlement_run&) = delete;
};

// Sets up a run for the settings and the tiles of `sheet` (through `mask` when it has
// pixels), with NPC blocks of `block_size` bytes; the pictures are packed unless the levels
// are rendered further before they are written. 0, or -1 after "error: memory exhausted!".
int start_settlement_run(settlement_run& run, const settlement_settings& settings, const tile_sheet& sheet,
                         const tile_sheet* mask, size_t block_size, bool packed);
