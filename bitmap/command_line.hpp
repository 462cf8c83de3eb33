// The command-line conventions that every mapper shares: exact option matching from left
// to right, options that consume the next word, the number rule, the settings that choose
// the tiles, and usage texts.
//
// A mapper describes its options as tables of `option_spec` rows (the options every mapper
// has, its edition's, its map kind's) and walks its arguments with `next_argument`,
// applying each option as it comes so that errors are reported in the order of the
// command line.
#pragma once

#include <cstdint>
#include <span>

#include "tile_sheet.hpp"

// Every option any mapper knows; each mapper's table names the ones it accepts.
enum class option_id {
    positional,  // an argument that does not begin with '-'
    help,
    cga,
    ega,
    shape,
    overwrite,
    shape_type_normal,
    shape_type_dungeon,
    shape_type_mirror_room,
    no_remake_water,
    // world mappers
    brit,
    under,
    gates,
    phase,
    items,
    // settlement mappers
    castle,
    dwelling,
    keep,
    towne,
    no_npcs,
    no_change_pose,
    hour,
};

struct option_spec {
    const char* names[3];          // its spellings ("-s", "--shape"); unused ones null
    option_id id;
    const char* missing_argument;  // the line printed when its argument is missing; null: no argument
};

using option_table = std::span<const option_spec>;

// The options of every mapper: help, --overwrite, the shape bitmap, the shape types and
// --no-remake-water.
inline constexpr option_spec common_options[] = {
    {{"-?", "--help"}, option_id::help, nullptr},
    {{"--overwrite"}, option_id::overwrite, nullptr},
    {{"-s", "--shape"}, option_id::shape, "error: no bitmap name"},
    {{"--shape-type-normal"}, option_id::shape_type_normal, nullptr},
    {{"--shape-type-dungeon"}, option_id::shape_type_dungeon, nullptr},
    {{"--shape-type-mirror-room"}, option_id::shape_type_mirror_room, nullptr},
    {{"--no-remake-water"}, option_id::no_remake_water, nullptr},
};

struct argument_cursor {
    int argc = 0;
    char** argv = nullptr;
    int next = 1;
};

struct parsed_argument {
    option_id id = option_id::positional;
    const char* text = nullptr;      // the argument as given
    const char* argument = nullptr;  // the word it consumed, if it takes one
};

// Takes the next argument: 1 with `out` filled, 0 at the end, -1 after printing the error
// line of an unknown option or a missing option argument.
int next_argument(argument_cursor& cursor, std::span<const option_table> tables, parsed_argument& out);

// The number rule of hours and phases: an unsigned number in C notation (decimal, 0x hex,
// leading-0 octal), consumed whole, not negative, within min..max. 0 with `value` set, or -1.
int parse_number_argument(const char* text, unsigned long min, unsigned long max, unsigned& value);

// The program name for usage texts: argv[0] as given, or `fallback` when it is missing or empty.
const char* program_name(int argc, char** argv, const char* fallback);

// Prints a usage text. A line that ends in a line end is a printf format taking the next
// of `arguments`; every other line is printed as it stands, followed by a line end.
void print_usage(std::span<const char* const> lines, std::span<const char* const> arguments);

// Where the tiles come from, and how tiles from the game's data are adapted.
struct tile_source_settings {
    const char* tile_file = nullptr;  // decoded tile file of --cga / --ega
    bool cga = false;
    const char* shape_bitmap = nullptr;
    bool use_shape_bitmap = false;
    shape_type type = shape_type::normal;
    bool no_remake_water = false;
};

// A mapper's command line: its option tables and its usage text.
struct mapper_program {
    const char* name;                                  // usage name when argv[0] is missing, or always
    bool name_from_argv;                               // the usage text shows argv[0] as given
    std::span<const option_table> options;
    std::span<const char* const> usage;                // the first line takes the name
    std::span<const char* const> usage_arguments;      // for the usage text's later format lines
    bool data_path_allowed;                            // one positional argument is the data path
};

// The settings every mapper has.
struct mapper_settings {
    const char* data_path = nullptr;
    tile_source_settings tiles;
    bool overwrite = false;
};

// Takes the next option that is not one every mapper shares, applying the shared ones (the
// positional argument, help, --overwrite and the tile options) on the way. 1 with `out`
// filled, 0 at the end, -1 when the run ends (usage printed, or an error line).
int next_mapper_option(argument_cursor& cursor, const mapper_program& program, mapper_settings& settings,
                       parsed_argument& out);
