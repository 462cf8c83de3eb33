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

// Option ids. The options every mapper shares and the tile-source options are numbered
// here; each map kind and each edition numbers its own options from its own base, so a
// layer hands back what it does not know to the layer above.
using option_id = int;

enum common_option_id : option_id {
    option_positional = 0,  // an argument that does not begin with '-'
    option_help,
    option_overwrite,
    option_shape,
    option_mask,
    option_no_mask,
    option_cga,
    option_ega,
    option_shape_type_normal,
    option_shape_type_dungeon,
    option_shape_type_mirror_room,
    option_no_remake_water,
    option_png,
};

constexpr option_id settlement_option_base = 100;
constexpr option_id world_option_base = 200;
constexpr option_id edition_option_base = 300;

struct option_spec {
    const char* names[3];          // its spellings ("-s", "--shape"); unused ones null
    option_id id;
    const char* missing_argument;  // the line printed when its argument is missing; null: no argument
};

using option_table = std::span<const option_spec>;

// The options of every mapper: help, --overwrite, the shape bitmap, the shape types,
// --no-remake-water and --png.
inline constexpr option_spec common_options[] = {
    {{"-?", "--help"}, option_help, nullptr},
    {{"--overwrite"}, option_overwrite, nullptr},
    {{"-s", "--shape"}, option_shape, "error: no bitmap name"},
    {{"--shape-type-normal"}, option_shape_type_normal, nullptr},
    {{"--shape-type-dungeon"}, option_shape_type_dungeon, nullptr},
    {{"--shape-type-mirror-room"}, option_shape_type_mirror_room, nullptr},
    {{"--no-remake-water"}, option_no_remake_water, nullptr},
    {{"--png"}, option_png, nullptr},
};

// The mask bitmap options of the editions whose NPCs and overlays are drawn through a mask.
inline constexpr option_spec mask_options[] = {
    {{"-m", "--mask"}, option_mask, "error: no bitmap name"},
    {{"-M", "--no-mask"}, option_no_mask, nullptr},
};

struct argument_cursor {
    int argc = 0;
    char** argv = nullptr;
    int next = 1;
};

struct parsed_argument {
    option_id id = option_positional;
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

// A piece of a usage text: lines that several mappers show alike are kept once.
using usage_text = std::span<const char* const>;

// Prints a usage text made of `parts`. In a line that holds "%s" the next of `arguments`
// stands in its place and the line is printed as it stands (it carries its own line end);
// every other line is printed followed by a line end.
void print_usage(std::span<const usage_text> parts, std::span<const char* const> arguments);

// The usage lines every mapper shares.
inline constexpr const char* usage_with_data_path[] = {"usage: %s [options] [DATA-PATH]\n", "option:"};
inline constexpr const char* usage_without_data_path[] = {"usage: %s [options]\n", "option:"};
inline constexpr const char* shape_usage[] = {"        -s|--shape SHAPE-BMP    read shape data from specified file"};
inline constexpr const char* mask_usage[] = {
    "        -m|--mask  MASK-BMP     read mask data from specified file",
    "        -M|--no-mask            not use mask data",
};
inline constexpr const char* closing_usage[] = {
    "           --overwrite          overwrite output files",
    "        -?|--help               print usage",
};
// The lines of the options added since, after all the others but the data path's note.
inline constexpr const char* png_usage[] = {"           --png                write PNG files instead of BMP"};
inline constexpr const char* data_path_closing_usage[] = {"read map data from current directory if not specified"};

// Where the tiles come from, and how tiles from the game's data are adapted.
struct tile_source_settings {
    const char* tile_file = nullptr;    // decoded tile file of --cga / --ega
    bool cga = false;
    const char* shape_bitmap = "";      // -s; empty until one is named
    const char* mask_bitmap = nullptr;  // -m; none until one is named, cleared by -M
    bool use_bitmaps = false;           // -s (and -m) take the tiles from bitmaps
    bool no_mask = false;               // -M: no mask sheet from the game's data
    shape_type type = shape_type::normal;
    bool no_remake_water = false;
};

// A mapper's command line: its option tables and its usage text.
struct mapper_program {
    const char* name;                                  // usage name when argv[0] is missing, or always
    bool name_from_argv;                               // the usage text shows argv[0] as given
    std::span<const option_table> options;
    std::span<const usage_text> usage;                 // the first line takes the name
    std::span<const char* const> usage_arguments;      // for the usage text's later format lines
    bool data_path_allowed;                            // one positional argument is the data path
};

// The settings every mapper has.
struct mapper_settings {
    const char* data_path = nullptr;
    tile_source_settings tiles;
    bool overwrite = false;
    bool png = false;  // maps as PNG files instead of BMP
};

// Takes the next option that is not one every mapper shares, applying the shared ones (the
// positional argument, help, --overwrite, --png and the tile-source options) on the way and
// handing back the others. 1 with `out` filled, 0 at the end, -1 when the run ends (usage
// printed, or an error line).
int next_mapper_option(argument_cursor& cursor, const mapper_program& program, mapper_settings& settings,
                       parsed_argument& out);
