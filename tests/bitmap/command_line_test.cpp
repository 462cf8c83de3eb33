// The shared command-line conventions: the number rule, option matching and usage texts.
#include "bitmap/command_line.hpp"
#include "support/test_support.hpp"

namespace {

TEST(NumberRule, HoursAndPhases)
{
    struct number_case {
        const char* text;
        int hour;   // -1: refused
        int phase;  // -1: refused
    };
    const number_case cases[] = {
        {"0", 0, -1},      {"1", 1, 1},        {"8", 8, 8},          {"9", 9, -1},        {"23", 23, -1},
        {"24", -1, -1},    {"0x17", 23, -1},   {"0x3", 3, 3},        {"010", 8, 8},       {"+7", 7, 7},
        {" 5", 5, 5},      {"", -1, -1},       {"-1", -1, -1},       {"-0", -1, -1},      {" -3", -1, -1},
        {"12a", -1, -1},   {"3x", -1, -1},     {"08", -1, -1},       {"0x", -1, -1},      {"5 ", -1, -1},
        {"4294967297", -1, -1},               {"4294967319", -1, -1},                    {"18446744073709551616", -1, -1},
    };
    for (const number_case& c : cases) {
        unsigned value = 99;
        EXPECT_EQ(parse_number_argument(c.text, 0, 23, value), c.hour < 0 ? -1 : 0) << '"' << c.text << '"';
        if (c.hour >= 0) {
            EXPECT_EQ(value, static_cast<unsigned>(c.hour)) << c.text;
        }
        value = 99;
        EXPECT_EQ(parse_number_argument(c.text, 1, 8, value), c.phase < 0 ? -1 : 0) << '"' << c.text << '"';
        if (c.phase >= 0) {
            EXPECT_EQ(value, static_cast<unsigned>(c.phase)) << c.text;
        }
    }
}

constexpr option_id test_hour = edition_option_base + 1;
constexpr option_id test_items = edition_option_base + 2;
constexpr option_spec test_options[] = {
    {{"-h", "--hour"}, test_hour, "error: no phase value"},
    {{"-i", "--items"}, test_items, nullptr},
};
const option_table test_tables[] = {common_options, mask_options, test_options};
const char* const test_usage_lines[] = {"usage: %s [options] [DATA-PATH]\n", "option:", "    read '%s' here\n"};
const char* const test_usage_more[] = {"last", "100% sure"};
const usage_text test_usage[] = {test_usage_lines, {}, test_usage_more};
const char* const test_usage_arguments[] = {"zk-disk.img"};

struct parse_outcome {
    int status = 0;
    std::vector<option_id> ids;
    mapper_settings settings;
    std::string console;
};

parse_outcome parse(std::vector<std::string> words, bool data_path_allowed = true, const char* argv0 = "prog")
{
    const mapper_program program = {"fallback", true, test_tables, test_usage, test_usage_arguments, data_path_allowed};
    std::vector<char*> argv;
    if (argv0) argv.push_back(const_cast<char*>(argv0));
    for (std::string& word : keep_words(std::move(words))) argv.push_back(word.data());
    parse_outcome outcome;
    outcome.console = console_of([&] {
        argument_cursor cursor{static_cast<int>(argv.size()), argv.data(), 1};
        parsed_argument option;
        while ((outcome.status = next_mapper_option(cursor, program, outcome.settings, option)) > 0)
            outcome.ids.push_back(option.id);
    });
    return outcome;
}

TEST(Options, MatchedExactlyFromLeftToRight)
{
    parse_outcome o = parse({"-i", "--hour", "-i", "dir", "--items"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.ids, (std::vector<option_id>{test_items, test_hour, test_items}));
    EXPECT_STREQ(o.settings.data_path, "dir");

    EXPECT_EQ(parse({"-i", "-"}).console, "error: unknown option '-'\n");
    EXPECT_EQ(parse({"--item"}).console, "error: unknown option '--item'\n");
    EXPECT_EQ(parse({"-ih"}).console, "error: unknown option '-ih'\n");
    EXPECT_EQ(parse({"--hour=3"}).console, "error: unknown option '--hour=3'\n");
    o = parse({"-i", "-h"});
    EXPECT_EQ(o.status, -1);
    EXPECT_EQ(o.console, "error: no phase value\n");
    EXPECT_EQ(parse({"-s"}).console, "error: no bitmap name\n");
    EXPECT_EQ(parse({"a", "b", "c"}).console, "error: illegal parameter 'b'\n");
    EXPECT_EQ(parse({"a"}, false).console, "error: illegal parameter 'a'\n");
    // An error stops the walk before later arguments are looked at.
    EXPECT_EQ(parse({"--bad", "-s"}).console, "error: unknown option '--bad'\n");
}

TEST(Options, TileSourceAndSettings)
{
    parse_outcome o = parse({"-s", "a.bmp", "--shape-type-dungeon", "--no-remake-water", "--overwrite"});
    EXPECT_TRUE(o.settings.tiles.use_bitmaps);
    EXPECT_STREQ(o.settings.tiles.shape_bitmap, "a.bmp");
    EXPECT_EQ(o.settings.tiles.type, shape_type::dungeon);
    EXPECT_TRUE(o.settings.tiles.no_remake_water);
    EXPECT_TRUE(o.settings.overwrite);
    o = parse({"--shape-type-mirror-room", "--shape-type-normal", "--shape", "-x"});
    EXPECT_EQ(o.settings.tiles.type, shape_type::normal);
    EXPECT_STREQ(o.settings.tiles.shape_bitmap, "-x");  // an option argument is taken whatever it looks like

    // The mask bitmap: -m turns bitmaps on too, -M clears the name, a later -m reads again.
    o = parse({});
    EXPECT_FALSE(o.settings.tiles.use_bitmaps);
    EXPECT_STREQ(o.settings.tiles.shape_bitmap, "");  // never a null name
    EXPECT_EQ(o.settings.tiles.mask_bitmap, nullptr);
    o = parse({"-m", "m.bmp"});
    EXPECT_TRUE(o.settings.tiles.use_bitmaps);
    EXPECT_STREQ(o.settings.tiles.mask_bitmap, "m.bmp");
    EXPECT_STREQ(o.settings.tiles.shape_bitmap, "");
    o = parse({"--mask", "m.bmp", "--no-mask"});
    EXPECT_TRUE(o.settings.tiles.use_bitmaps);
    EXPECT_TRUE(o.settings.tiles.no_mask);
    EXPECT_EQ(o.settings.tiles.mask_bitmap, nullptr);
    o = parse({"-M", "-m", "n.bmp"});
    EXPECT_TRUE(o.settings.tiles.no_mask);
    EXPECT_STREQ(o.settings.tiles.mask_bitmap, "n.bmp");
    EXPECT_EQ(parse({"-m"}).console, "error: no bitmap name\n");
}

TEST(Usage, FormatLinesTakeTheNameAndArguments)
{
    const std::string expected =
        "usage: %s [options] [DATA-PATH]\noption:\n    read 'zk-disk.img' here\nlast\n100% sure\n";
    auto usage_for = [&](const char* name) {
        std::string text = expected;
        return text.replace(text.find("%s"), 2, name);
    };
    parse_outcome o = parse({"-i", "-?", "--bad"});
    EXPECT_EQ(o.status, -1);
    EXPECT_EQ(o.console, usage_for("prog"));
    EXPECT_EQ(parse({"--help"}, true, "/usr/bin/x").console, usage_for("/usr/bin/x"));
    EXPECT_EQ(parse({"--help"}, true, "").console, usage_for("fallback"));
    EXPECT_EQ(parse({"--bad", "--help"}).console, "error: unknown option '--bad'\n");
    EXPECT_STREQ(program_name(0, nullptr, "fallback"), "fallback");
}

} // namespace
