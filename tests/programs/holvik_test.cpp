// End-to-end runs of holvik on the sample data set.
#include <filesystem>

#include "pc/pc_data.hpp"
#include "program_support.hpp"
#include "world/world_map.hpp"

namespace {

std::string tiles16() { return sample_pc_dir() + "/TILES.16"; }
std::string tiles4() { return sample_pc_dir() + "/TILES.4"; }

// What a map should hold: drawn by the library from the sample data with `sheet`.
std::vector<uint8_t> expected_map(const tile_sheet& sheet, int index, unsigned phase_mask, bool items)
{
    std::vector<uint8_t> data(world_map_bytes);
    const world_map_entry& entry = world_maps[index];
    EXPECT_EQ(read_data_file(sample_pc_dir().c_str(), entry.data_file, data.data(), entry.pc_bytes), 0);
    picture_rows pictures;
    EXPECT_EQ(make_picture_rows(pictures, sheet, nullptr, true), 0);
    bitmap_image image;
    EXPECT_EQ(describe_map_image(image, sheet, world_size), 0);
    bitmap_header header;
    EXPECT_EQ(make_bitmap_header(header, image.width, image.height, image.bit_count), 0);
    std::FILE* file = std::tmpfile();
    output_file out;
    attach_output_stream(out, file);
    EXPECT_EQ(write_world_map(out, header, image.palette, pictures, data.data(), entry.pc_chunk_table, phase_mask, items),
              0);
    std::rewind(file);
    std::vector<uint8_t> pixels;
    EXPECT_EQ(read_bitmap(file, header, nullptr, &pixels, false), 0);
    std::fclose(file);
    return pixels;
}

tile_sheet pc_sheet(bool cga, shape_type type = shape_type::normal, bool no_remake = false)
{
    tile_sheet sheet;
    rand15_state random;
    EXPECT_EQ(load_pc_tiles((cga ? tiles4() : tiles16()).c_str(), sheet, type, cga, true, no_remake, random), 0);
    return sheet;
}

// A shape bitmap of 2 x 3-pixel tiles with the given bit count, asymmetric content.
std::string make_shape_bitmap(const scratch_dir& dir, uint32_t bit_count)
{
    bitmap_image image;
    image.width = 32;
    image.height = 96;
    image.bit_count = bit_count;
    image.pixels.resize(bytes_per_pixel_of(bit_count) * 32 * 96);
    const uint8_t value_mask = bit_count == 1 ? 1 : bit_count == 4 ? 15 : 255;
    for (size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = static_cast<uint8_t>((i * 37 + i / 5) & value_mask);
    std::vector<palette_entry> palette(palette_entries_of(bit_count));
    for (size_t i = 0; i < palette.size(); ++i) palette[i] = {uint8_t(i), uint8_t(i * 2), uint8_t(255 - i), 0};
    image.palette = palette.empty() ? nullptr : palette.data();
    const std::string path = dir / ("shape" + std::to_string(bit_count) + ".bmp");
    EXPECT_EQ(save_bitmap_file(path.c_str(), image, true), 0);
    return path;
}

TEST(Holvik, OptionsReachTheDrawnMaps)
{
    scratch_dir out;
    const std::string shape24 = make_shape_bitmap(out, 24);
    struct run_case {
        std::vector<std::string> arguments;
        tile_sheet sheet;
        unsigned phase_mask;
        bool items;
    };
    tile_sheet shape_sheet;
    ASSERT_EQ(read_shape_bitmap(shape24.c_str(), shape_sheet, 16, 32), 0);
    const std::string data = sample_pc_dir();
    const run_case cases[] = {
        {{"--ega", tiles16(), data}, pc_sheet(false), 0, false},
        {{data + "/", "--cga", tiles4()}, pc_sheet(true), 0, false},
        {{"--ega", tiles16(), "--shape-type-dungeon", data}, pc_sheet(false, shape_type::dungeon), 0, false},
        {{"--shape-type-dungeon", "--shape-type-mirror-room", "--ega", tiles16(), data},
         pc_sheet(false, shape_type::mirror_room), 0, false},
        {{"--cga", tiles4(), "--shape-type-mirror-room", "--no-remake-water", data},
         pc_sheet(true, shape_type::mirror_room, true), 0, false},
        {{"--ega", tiles16(), "-p", "2", "--phase", "0x5", "-i", data}, pc_sheet(false), 0x12, true},
        {{"--ega", tiles16(), "-g", "--items", data}, pc_sheet(false), 0xFF, true},
        {{"-s", shape24, "--ega", tiles16(), data}, pc_sheet(false), 0, false},
        {{"--cga", tiles4(), "-s", shape24, "--shape-type-dungeon", "--no-remake-water", "-g", data}, shape_sheet, 0xFF,
         false},
    };
    for (const run_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        std::filesystem::remove(out / "zk.Britannia.bmp");
        std::filesystem::remove(out / "zk.Underworld.bmp");
        const program_run run = run_program(holvik_program, c.arguments, out.path.string());
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.output, "");
        const bmp_file surface = load_bmp(out / "zk.Britannia.bmp");
        const bmp_file under = load_bmp(out / "zk.Underworld.bmp");
        ASSERT_EQ(surface.status, 0);
        ASSERT_EQ(under.status, 0);
        EXPECT_EQ(surface.header.width, 256 * c.sheet.tile_width);
        EXPECT_EQ(surface.header.height, 256 * c.sheet.tile_height);
        EXPECT_EQ(surface.header.bit_count, c.sheet.bit_count);
        EXPECT_TRUE(surface.pixels == expected_map(c.sheet, 0, c.phase_mask, false));
        EXPECT_TRUE(under.pixels == expected_map(c.sheet, 1, 0, c.items));
    }
}

TEST(Holvik, GatesAndItemsChangeOnlyTheirCells)
{
    scratch_dir out;
    const std::string data = sample_pc_dir();
    for (const char* set : {"plain", "gates"}) {
        std::vector<std::string> arguments = {"--ega", tiles16(), "-b", std::string(set) + ".b.bmp", "-u",
                                              std::string(set) + ".u.bmp", data};
        if (std::string(set) == "gates") arguments.insert(arguments.end(), {"-p", "2", "-p", "5", "-i"});
        ASSERT_EQ(run_program(holvik_program, arguments, out.path.string()).status, 0);
    }
    auto differing = [&](const char* map) {
        const bmp_file plain = load_bmp(out / (std::string("plain.") + map + ".bmp"));
        const bmp_file gates = load_bmp(out / (std::string("gates.") + map + ".bmp"));
        std::vector<std::pair<int, int>> cells;
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                if (cell_bytes(plain, 256, 16, 16, x, y) != cell_bytes(gates, 256, 16, 16, x, y)) cells.emplace_back(x, y);
        return cells;
    };
    EXPECT_EQ(differing("b"), (std::vector<std::pair<int, int>>{{166, 19}, {96, 102}}));
    EXPECT_EQ(differing("u"), (std::vector<std::pair<int, int>>{{130, 65}, {192, 80}, {176, 184}, {105, 225}}));
}

TEST(Holvik, ShapeBitmapsOfEveryBitCount)
{
    scratch_dir out;
    for (uint32_t bit_count : {1u, 4u, 8u, 16u, 24u, 32u}) {
        SCOPED_TRACE(bit_count);
        const std::string shape = make_shape_bitmap(out, bit_count);
        tile_sheet sheet;
        ASSERT_EQ(read_shape_bitmap(shape.c_str(), sheet, 16, 32), 0);
        const program_run run =
            run_program(holvik_program, {"--overwrite", "-s", shape, "-g", "-i", sample_pc_dir()}, out.path.string());
        EXPECT_EQ(run.status, 0);
        const bmp_file surface = load_bmp(out / "zk.Britannia.bmp");
        const bmp_file under = load_bmp(out / "zk.Underworld.bmp");
        EXPECT_EQ(surface.header.width, 512);
        EXPECT_EQ(surface.header.height, 768);
        EXPECT_EQ(surface.header.bit_count, bit_count);
        EXPECT_EQ(surface.palette.size(), palette_entries_of(bit_count));
        EXPECT_TRUE(surface.palette == std::vector<palette_entry>(sheet.palette.begin(), sheet.palette.end()) ||
                    bit_count > 8);
        EXPECT_TRUE(surface.pixels == expected_map(sheet, 0, 0xFF, false));
        EXPECT_TRUE(under.pixels == expected_map(sheet, 1, 0, true));
    }
}

TEST(Holvik, CurrentDirectoryAndUsage)
{
    scratch_dir work;
    for (const char* name : {"BRIT.DAT", "UNDER.DAT"})
        std::filesystem::copy_file(sample_pc_dir() + "/" + name, work / name);
    EXPECT_EQ(run_program(holvik_program, {"--ega", tiles16()}, work.path.string()).status, 0);
    scratch_dir other;
    EXPECT_EQ(run_program(holvik_program, {"--ega", tiles16(), sample_pc_dir()}, other.path.string()).status, 0);
    EXPECT_TRUE(read_file(work / "zk.Britannia.bmp") == read_file(other / "zk.Britannia.bmp"));
    EXPECT_TRUE(read_file(work / "zk.Underworld.bmp") == read_file(other / "zk.Underworld.bmp"));

    const program_run usage = run_program(holvik_program, {"-i", "--help", "-x"}, work.path.string());
    EXPECT_EQ(usage.status, 1);
    const std::vector<std::string> lines = lines_of(usage.output);
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines[0], "usage: " + holvik_program + " [options] [DATA-PATH]");
    EXPECT_EQ(lines[7], "        -b|--brit  BRITANNIA-BMP    write britannia map to specified file");
    EXPECT_EQ(lines[14], "           --png                write PNG files instead of BMP");
    EXPECT_EQ(lines[15], "read map data from current directory if not specified");
    EXPECT_EQ(run_program(holvik_program, {"-?"}, work.path.string()).output, usage.output);
}

TEST(Holvik, EveryFailureLine)
{
    scratch_dir out;
    const std::string data = sample_pc_dir();
    std::filesystem::create_directory(out / "partial");
    std::filesystem::copy_file(data + "/BRIT.DAT", out / "partial/BRIT.DAT");
    std::filesystem::create_directory(out / "short");
    write_file(out / "short/BRIT.DAT", std::vector<uint8_t>(52479, 1));
    // A 1-bit shape bitmap of 256 x 256-pixel tiles: its maps would need 4 GiB each.
    bitmap_image huge;
    huge.width = 4096;
    huge.height = 8192;
    huge.bit_count = 1;
    huge.pixels.assign(4096 * 8192, 0);
    ASSERT_EQ(save_bitmap_file((out / "huge.bmp").c_str(), huge, true), 0);
    const std::string t = tiles16();

    struct failure_case {
        std::vector<std::string> arguments;
        std::string console;
    };
    const failure_case cases[] = {
        {{}, "error: shape data file is not specified\n"},
        {{"-i", "-"}, "error: unknown option '-'\n"},
        {{"--ega", t, "dir1", "dir2"}, "error: illegal parameter 'dir2'\n"},
        {{"--cga"}, "error: no shape data file\n"},
        {{"-s", "x", "--ega"}, "error: no shape data file\n"},
        {{"--shape"}, "error: no bitmap name\n"},
        {{"-b", "x.bmp", "-u"}, "error: no output name\n"},
        {{"--brit"}, "error: no output name\n"},
        {{"-p"}, "error: no phase value\n"},
        {{"-p", "3x", "-p"}, "error: illegal phase value: 3x\n"},
        {{"--ega", "none.16"}, "error: open 'none.16'\nerror: read shape data 'none.16'\n"},
        {{"-s", "none.bmp"}, "error: open 'none.bmp'\nerror: read shape bitmap 'none.bmp'\n"},
        {{"-s", t}, "error: read_bitmap() - can't read bitmap header\nerror: read '" + t + "'\nerror: read shape bitmap '" +
                        t + "'\n"},
        {{"-s", "huge.bmp", data}, "error: memory exhausted!\n"},
        {{"--ega", t, "nodir"}, "error: open 'nodir/BRIT.DAT'\nerror: read map data 'BRIT.DAT'\n"},
        {{"--ega", t, "short/"}, "error: read 'short//BRIT.DAT' 52480 byte\nerror: read map data 'BRIT.DAT'\n"},
        {{"--ega", t, "partial", "-b", "p.bmp"}, "error: open 'partial/UNDER.DAT'\nerror: read map data 'UNDER.DAT'\n"},
        {{"--ega", t, data, "-b", "nodir/b.bmp"}, "error: open 'nodir/b.bmp'\nerror: write bitmap file 'nodir/b.bmp'\n"},
        {{"--ega", t, data, "-u", "/dev/full", "--overwrite"},
         "error: write_bitmap() - can't write bitmap data\nerror: write bitmap '/dev/full'\n"
         "error: write bitmap file '/dev/full'\n"},
    };
    for (const failure_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const program_run run = run_program(holvik_program, c.arguments, out.path.string());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.output, c.console);
    }
    EXPECT_TRUE(std::filesystem::exists(out / "p.bmp"));  // written before UNDER.DAT was missed
}

TEST(Holvik, OverwriteQuestion)
{
    scratch_dir out;
    const std::vector<std::string> arguments = {"--ega", tiles16(), sample_pc_dir()};
    const std::vector<uint8_t> old_file = {'o', 'l', 'd'};
    const std::string asked = "'zk.Britannia.bmp' already exists\noverwrite ? (Y or N): ";
    struct answer_case {
        std::string input;
        int status;
        std::string console;
    };
    const answer_case cases[] = {
        {"N\n", 1, asked + "error: write bitmap file 'zk.Britannia.bmp'\n"},
        {"", 1, asked + "\nerror: write bitmap file 'zk.Britannia.bmp'\n"},
        {"x\n\nq n", 1, asked + "error: write bitmap file 'zk.Britannia.bmp'\n"},
        {"Y", 0, asked},
        {"abc\ny\n", 0, asked},
    };
    for (const answer_case& c : cases) {
        SCOPED_TRACE(c.input);
        write_file(out / "zk.Britannia.bmp", old_file);
        std::filesystem::remove(out / "zk.Underworld.bmp");
        const program_run run = run_program(holvik_program, arguments, out.path.string(), c.input);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.output, c.console);
        EXPECT_EQ(read_file(out / "zk.Britannia.bmp") == old_file, c.status != 0);
        // A refusal for the surface ends the run before the Underworld is read.
        EXPECT_EQ(std::filesystem::exists(out / "zk.Underworld.bmp"), c.status == 0);
    }
    // Both files exist now: --overwrite never asks.
    const program_run quiet = run_program(holvik_program, {"--overwrite", "--ega", tiles16(), sample_pc_dir()},
                                          out.path.string());
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.output, "");
    const program_run both = run_program(holvik_program, arguments, out.path.string(), "yY");
    EXPECT_EQ(both.output, asked + "'zk.Underworld.bmp' already exists\noverwrite ? (Y or N): ");
}

} // namespace
