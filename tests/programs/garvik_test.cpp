// End-to-end runs of garvik on the sample data set.
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "pc/pc_data.hpp"
#include "program_support.hpp"
#include "settlement/settlement_render.hpp"

namespace {

std::string tiles16() { return sample_pc_dir() + "/TILES.16"; }

tile_sheet ega_sheet(shape_type type = shape_type::normal)
{
    tile_sheet sheet;
    rand15_state random;
    EXPECT_EQ(load_pc_tiles(tiles16().c_str(), sheet, type, false, true, false, random), 0);
    return sheet;
}

struct expected_group_files {
    std::map<std::string, std::vector<uint8_t>> pixels;  // by file name
    std::string console;                                  // location lines and trace
};

// The files and console lines of the given groups, drawn by the library.
expected_group_files expected_files(const tile_sheet& sheet, unsigned groups, const settlement_view& view)
{
    expected_group_files expected;
    std::vector<uint8_t> map(settlement_map_bytes), npcs(npc_data_bytes);
    std::string name;
    for (int group = 0; group < 4; ++group) {
        if (!(groups & (1u << group))) continue;
        EXPECT_EQ(read_data_file(sample_pc_dir().c_str(), settlement_groups[group].map_file, map.data(), map.size()), 0);
        EXPECT_EQ(read_data_file(sample_pc_dir().c_str(), settlement_groups[group].npc_file, npcs.data(), npcs.size()), 0);
        for (int slot = 0; slot < 16; ++slot) {
            const map_slot& where = map_slots[group][slot];
            const char* location = settlement_groups[group].locations[where.location];
            picture_rows pictures;
            EXPECT_EQ(make_picture_rows(pictures, sheet, nullptr, false), 0);
            bitmap_image image;
            EXPECT_EQ(make_map_image(image, sheet, pictures, level_size), 0);
            expected.console += "[" + std::string(location) + "]\n";
            expected.console += console_of([&] {
                draw_settlement_level(image, pictures, level_view(map.data(), slot),
                                      block_view(npcs.data(), where.location, 576), where.level, view);
            });
            make_settlement_file_name(name, location, level_name(where.level), view.hour, true);
            expected.pixels[name] = image.pixels;
        }
    }
    return expected;
}

std::vector<std::string> bmp_files_in(const scratch_dir& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path))
        if (entry.path().extension() == ".bmp") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void expect_files(const scratch_dir& dir, const expected_group_files& expected, uint32_t bit_count)
{
    std::vector<std::string> names;
    for (const auto& [name, pixels] : expected.pixels) names.push_back(name);
    EXPECT_EQ(bmp_files_in(dir), names);
    for (const auto& [name, pixels] : expected.pixels) {
        const bmp_file file = load_bmp(dir / name);
        EXPECT_EQ(file.status, 0) << name;
        EXPECT_EQ(file.header.bit_count, bit_count) << name;
        EXPECT_TRUE(file.pixels == pixels) << name;
    }
}

std::string golden(const std::string& name)
{
    std::ifstream in(std::string(ZK_TEST_DATA) + "/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Garvik, AllGroupsAtTheDefaultHour)
{
    scratch_dir out;
    const program_run run = run_program(garvik_program, {"--ega", tiles16(), sample_pc_dir()}, out.path.string());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, golden("garvik-hour-12.txt"));
    const expected_group_files expected = expected_files(ega_sheet(), 15, settlement_view{});
    EXPECT_EQ(run.output, expected.console);
    ASSERT_EQ(expected.pixels.size(), 64u);
    EXPECT_EQ(expected.pixels.count("zk.Castle_Britannia.B1F.12.bmp"), 1u);
    EXPECT_EQ(expected.pixels.count("zk.Serpent's_Hold.2F.12.bmp"), 1u);
    EXPECT_EQ(expected.pixels.count("zk.Sin'Vraal's_Hut.1F.12.bmp"), 1u);
    expect_files(out, expected, 4);
    const bmp_file first = load_bmp(out / "zk.Moonglow.1F.12.bmp");
    EXPECT_EQ(first.header.width, 512);
    EXPECT_EQ(first.header.height, 512);
    EXPECT_EQ(first.palette.size(), 16u);
}

TEST(Garvik, HoursGroupsAndFlags)
{
    struct run_case {
        std::vector<std::string> arguments;
        unsigned groups;
        settlement_view view;
    };
    const run_case cases[] = {
        {{"-T", "-h", "0"}, 8, {0, false, false}},
        {{"-h", "4", "--keep"}, 4, {4, false, false}},
        {{"-D", "-h", "5"}, 2, {5, false, false}},
        {{"-K", "--hour", "0x13"}, 4, {19, false, false}},
        {{"-h", "20", "-C"}, 1, {20, false, false}},
        {{"-h", "023", "-T", "-C"}, 9, {19, false, false}},
        {{"-T", "-h", "+7", "-n"}, 8, {7, true, false}},
        {{"--towne", "--no-change-pose", "-h", "23", "--dwelling"}, 10, {23, false, true}},
    };
    const tile_sheet sheet = ega_sheet();
    for (const run_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        scratch_dir out;
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"--ega", tiles16(), sample_pc_dir() + "/"});
        const program_run run = run_program(garvik_program, arguments, out.path.string());
        EXPECT_EQ(run.status, 0);
        const expected_group_files expected = expected_files(sheet, c.groups, c.view);
        EXPECT_EQ(run.output, expected.console);
        expect_files(out, expected, 4);
    }
}

TEST(Garvik, ShapeBitmapsAndShapeTypes)
{
    scratch_dir out;
    // A 24-bit shape bitmap of 3 x 2-pixel tiles.
    bitmap_image shape;
    shape.width = 48;
    shape.height = 64;
    shape.bit_count = 24;
    for (size_t i = 0; i < 48 * 64; ++i)
        shape.pixels.insert(shape.pixels.end(), {uint8_t(i * 5), uint8_t(i / 48 * 3), uint8_t(i % 48 * 5)});
    const std::string path = out / "shape.bmp";
    ASSERT_EQ(save_bitmap_file(path.c_str(), shape, true), 0);
    tile_sheet shape_sheet;
    ASSERT_EQ(read_shape_bitmap(path.c_str(), shape_sheet, 16, 32), 0);

    struct run_case {
        std::vector<std::string> arguments;
        tile_sheet sheet;
        uint32_t bit_count;
    };
    const run_case cases[] = {
        {{"--ega", tiles16(), "-s", path, "--shape-type-dungeon"}, shape_sheet, 24},
        {{"-s", path, "--ega", tiles16(), "--shape-type-mirror-room"}, ega_sheet(shape_type::mirror_room), 4},
    };
    for (const run_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        scratch_dir run_dir;
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"-K", sample_pc_dir()});
        const program_run run = run_program(garvik_program, arguments, run_dir.path.string());
        EXPECT_EQ(run.status, 0);
        const expected_group_files expected = expected_files(c.sheet, 4, settlement_view{});
        EXPECT_EQ(run.output, expected.console);
        expect_files(run_dir, expected, c.bit_count);
    }
}

TEST(Garvik, EveryFailureLine)
{
    scratch_dir out;
    const std::string data = sample_pc_dir();
    const std::string t = tiles16();
    std::filesystem::create_directory(out / "partial");
    for (const char* name : {"CASTLE.DAT", "CASTLE.NPC", "DWELLING.DAT", "DWELLING.NPC", "KEEP.DAT"})
        std::filesystem::copy_file(data + "/" + name, out / ("partial/" + std::string(name)));
    std::filesystem::create_directory(out / "short");
    write_file(out / "short/TOWNE.DAT", std::vector<uint8_t>(16384, 5));
    write_file(out / "short/TOWNE.NPC", std::vector<uint8_t>(4607, 0));
    write_file(out / "short/CASTLE.DAT", std::vector<uint8_t>(16383, 5));

    struct failure_case {
        std::vector<std::string> arguments;
        std::string console;
        size_t files_written = 0;
    };
    const failure_case cases[] = {
        {{}, "error: shape data file is not specified\n"},
        {{"-C", "-T"}, "error: shape data file is not specified\n"},
        {{"--ega", t, "dir1", "dir2"}, "error: illegal parameter 'dir2'\n"},
        {{"-CT"}, "error: unknown option '-CT'\n"},
        {{"-"}, "error: unknown option '-'\n"},
        {{"--cga"}, "error: no shape data file\n"},
        {{"--ega"}, "error: no shape data file\n"},
        {{"-s"}, "error: no bitmap name\n"},
        {{"-h"}, "error: no phase value\n"},
        {{"-h", "24"}, "error: illegal hour value: 24\n"},
        {{"-h", "12a"}, "error: illegal hour value: 12a\n"},
        {{"--hour", "-1"}, "error: illegal hour value: -1\n"},
        {{"--ega", "none.16"}, "error: open 'none.16'\nerror: read shape data 'none.16'\n"},
        {{"-s", "none.bmp"}, "error: open 'none.bmp'\nerror: read shape bitmap 'none.bmp'\n"},
        {{"--ega", t, "nodir"}, "error: open 'nodir/CASTLE.DAT'\nerror: read map data 'CASTLE.DAT'\n"},
        {{"--ega", t, "-C", "short"}, "error: read 'short/CASTLE.DAT' 16384 byte\nerror: read map data 'CASTLE.DAT'\n"},
        {{"--ega", t, "-T", "short"}, "error: read 'short/TOWNE.NPC' 4608 byte\nerror: read npc data 'TOWNE.NPC'\n"},
        // The dwellings are drawn and written before the keep's NPC file is missed.
        {{"--ega", t, "-K", "-D", "-n", "partial"},
         "[Fogsbane]\n[Fogsbane]\n[Fogsbane]\n[Stormcrow]\n[Stormcrow]\n[Stormcrow]\n[Grayhaven]\n[Grayhaven]\n"
         "[Grayhaven]\n[Waveguide]\n[Waveguide]\n[Waveguide]\n[Iolo's_Hut]\n[Sutek's_Hut]\n[Sin'Vraal's_Hut]\n"
         "[Grendel's_Hut]\nerror: open 'partial/KEEP.NPC'\nerror: read npc data 'KEEP.NPC'\n",
         16},
    };
    for (const failure_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        scratch_dir run_dir;
        std::filesystem::create_directory_symlink(out / "partial", run_dir / "partial");
        std::filesystem::create_directory_symlink(out / "short", run_dir / "short");
        const program_run run = run_program(garvik_program, c.arguments, run_dir.path.string());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.output, c.console);
        EXPECT_EQ(bmp_files_in(run_dir).size(), c.files_written);
    }
}

TEST(Garvik, RefusedOverwriteKeepsEarlierFiles)
{
    scratch_dir out;
    const std::vector<uint8_t> old_file = {'o', 'l', 'd'};
    write_file(out / "zk.Moonglow.2F.12.bmp", old_file);
    const program_run run =
        run_program(garvik_program, {"-T", "-n", "--ega", tiles16(), sample_pc_dir()}, out.path.string(), "n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "[Moonglow]\n[Moonglow]\n'zk.Moonglow.2F.12.bmp' already exists\noverwrite ? (Y or N): "
                          "error: write bitmap file 'zk.Moonglow.2F.12.bmp'\n");
    EXPECT_EQ(bmp_files_in(out), (std::vector<std::string>{"zk.Moonglow.1F.12.bmp", "zk.Moonglow.2F.12.bmp"}));
    EXPECT_TRUE(read_file(out / "zk.Moonglow.2F.12.bmp") == old_file);

    // A directory in place of an output file cannot be opened.
    std::filesystem::remove(out / "zk.Moonglow.2F.12.bmp");
    std::filesystem::create_directory(out / "zk.Moonglow.2F.12.bmp");
    const program_run blocked = run_program(garvik_program, {"-T", "-n", "--overwrite", "--ega", tiles16(),
                                                             sample_pc_dir()}, out.path.string());
    EXPECT_EQ(blocked.status, 1);
    EXPECT_EQ(blocked.output, "[Moonglow]\n[Moonglow]\nerror: open 'zk.Moonglow.2F.12.bmp'\n"
                              "error: write bitmap file 'zk.Moonglow.2F.12.bmp'\n");
}

TEST(Garvik, UsageAndCloseFailure)
{
    scratch_dir out;
    const program_run usage = run_program(garvik_program, {"-T", "-?", "--bad"}, out.path.string());
    EXPECT_EQ(usage.status, 1);
    const std::vector<std::string> lines = lines_of(usage.output);
    ASSERT_EQ(lines.size(), 18u);
    EXPECT_EQ(lines[0], "usage: " + garvik_program + " [options] [DATA-PATH]");
    EXPECT_EQ(lines[11], "        -n|--no-npcs            draw not NPCs");
    EXPECT_EQ(lines[16], "           --png                write PNG files instead of BMP");
    EXPECT_EQ(lines[17], "read map data from current directory if not specified");

    // A full disk that shows only when the file is closed: one small file through /dev/full.
    bitmap_image tiny;
    tiny.width = 16;
    tiny.height = 32;
    tiny.bit_count = 1;
    tiny.pixels.assign(16 * 32, 1);
    const std::string shape = out / "tiny.bmp";
    ASSERT_EQ(save_bitmap_file(shape.c_str(), tiny, true), 0);
    std::filesystem::create_symlink("/dev/full", out / "zk.Moonglow.1F.12.bmp");
    const program_run full =
        run_program(garvik_program, {"-T", "--overwrite", "-s", shape, sample_pc_dir()}, out.path.string());
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(lines_of(full.output).back(), "error: write bitmap file 'zk.Moonglow.1F.12.bmp'");
    EXPECT_NE(full.output.find("error: write bitmap 'zk.Moonglow.1F.12.bmp'\n"), std::string::npos);
    EXPECT_EQ(full.output.find("error: write_bitmap()"), std::string::npos);
}

} // namespace
