// The world map layouts, gates and items, and the world mappers' options.
#include "support/test_support.hpp"
#include "world/world_mapper.hpp"

namespace {

// A sheet of 1 x 1-pixel, 16-bit tiles whose pixel is the picture number, so a drawn map
// reads back as the picture drawn on each cell.
tile_sheet numbered_sheet()
{
    tile_sheet sheet;
    sheet.tile_width = sheet.tile_height = 1;
    sheet.bit_count = 16;
    sheet.bytes_per_pixel = 2;
    sheet.pixels.resize(2 * 512);
    for (int n = 0; n < 512; ++n) {
        sheet.pixels[2 * n] = static_cast<uint8_t>(n);
        sheet.pixels[2 * n + 1] = static_cast<uint8_t>(n >> 8);
    }
    return sheet;
}

struct drawn_map {
    std::vector<uint8_t> pixels;
    unsigned at(int x, int y) const { return pixels[2 * (y * 256 + x)] | pixels[2 * (y * 256 + x) + 1] << 8; }
};

// The map as written into a BMP file and read back.
drawn_map draw(const tile_sheet& sheet, const tile_sheet* mask, const std::vector<uint8_t>& data,
               const int32_t* chunk_table, unsigned phase_mask, bool items)
{
    picture_rows pictures;
    EXPECT_EQ(make_picture_rows(pictures, sheet, mask, true), 0);
    bitmap_image image;
    EXPECT_EQ(describe_map_image(image, sheet, world_size), 0);
    bitmap_header header;
    EXPECT_EQ(make_bitmap_header(header, image.width, image.height, image.bit_count), 0);
    std::FILE* file = std::tmpfile();
    output_file out;
    attach_output_stream(out, file);
    EXPECT_EQ(write_world_map(out, header, image.palette, pictures, data.data(), chunk_table, phase_mask, items), 0);
    std::rewind(file);
    drawn_map map;
    bitmap_header read_header;
    EXPECT_EQ(read_bitmap(file, read_header, nullptr, &map.pixels, false), 0);
    std::fclose(file);
    return map;
}

TEST(WorldMap, SurfaceChunkTable)
{
    int stored = 0;
    for (int32_t chunk : surface_chunk_table) stored += chunk >= 0;
    EXPECT_EQ(stored, 205);
    EXPECT_EQ(stored * 256, static_cast<int>(world_maps[0].pc_bytes));
    const std::pair<int, int> positions[] = {{0, -1}, {1, -1}, {2, 0}, {15, 12}, {14, -1}, {17, 13},
                                             {16, -1}, {31, -1}, {32, 27}, {119, -1}, {254, 203}, {255, 204}};
    for (auto [position, chunk] : positions) EXPECT_EQ(surface_chunk_table[position], chunk) << position;
    for (int position = 0; position < 256; ++position) EXPECT_EQ(underworld_chunk_table[position], position);
}

TEST(WorldMap, ChunksAbsentAreasAndRows)
{
    const tile_sheet sheet = numbered_sheet();
    std::vector<uint8_t> data(world_map_bytes);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i / 256 * 7 + i % 256);
    drawn_map map = draw(sheet, nullptr, data, surface_chunk_table.data(), 0, false);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) ASSERT_EQ(map.at(x, y), 1u) << x << "," << y;
    // Position 2 is stored chunk 0; position 255 is chunk 204.
    EXPECT_EQ(map.at(32, 0), data[0]);
    EXPECT_EQ(map.at(32 + 5, 3), data[3 * 16 + 5]);
    EXPECT_EQ(map.at(255, 255), data[204 * 256 + 255]);
    EXPECT_EQ(map.at(240, 241), data[204 * 256 + 16 + 0]);

    map = draw(sheet, nullptr, data, underworld_chunk_table.data(), 0, false);
    EXPECT_EQ(map.at(0, 0), data[0]);
    EXPECT_EQ(map.at(17, 1), data[256 + 16 + 1]);
    EXPECT_EQ(map.at(100, 200), data[(12 * 16 + 6) * 256 + 8 * 16 + 4]);

    map = draw(sheet, nullptr, data, nullptr, 0, false);  // row by row
    EXPECT_EQ(map.at(17, 1), data[256 + 17]);
    EXPECT_EQ(map.at(100, 200), data[200 * 256 + 100]);
}

TEST(WorldMap, GatesOfChosenPhasesAndItems)
{
    const tile_sheet sheet = numbered_sheet();
    const std::vector<uint8_t> data(world_map_bytes, 4);
    auto overlays = [&](unsigned phase_mask, bool items) {
        const drawn_map map = draw(sheet, nullptr, data, nullptr, phase_mask, items);
        std::vector<std::tuple<int, int, unsigned>> found;
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                if (map.at(x, y) != 4) found.emplace_back(x, y, map.at(x, y));
        return found;
    };
    using found = std::vector<std::tuple<int, int, unsigned>>;
    EXPECT_EQ(overlays(0, false), found{});
    EXPECT_EQ(overlays(0x02 | 0x10, false), (found{{166, 19, 220}, {96, 102, 220}}));
    EXPECT_EQ(overlays(0xFF, false).size(), 8u);
    EXPECT_EQ(overlays(0x80, false), (found{{187, 167, 220}}));
    EXPECT_EQ(overlays(0, true), (found{{130, 65, 436}, {192, 80, 436}, {176, 184, 436}, {105, 225, 439}}));

    // Through a mask the map tile shows wherever the overlay's mask pixel is set.
    tile_sheet mask;
    mask.pixels.assign(512, 0);
    mask.pixels[220] = 1;
    const drawn_map map = draw(sheet, &mask, data, nullptr, 0xFF, true);
    EXPECT_EQ(map.at(224, 133), 4u);
    EXPECT_EQ(map.at(105, 225), 439u);
}

struct world_parse {
    int status;
    world_settings settings;
    std::string console;
};

world_parse parse(std::vector<std::string> words)
{
    const option_table tables[] = {common_options, world_options};
    const char* const usage_line[] = {"usage: %s\n"};
    const usage_text usage[] = {usage_line};
    const mapper_program program = {"holvik", true, tables, usage, {}, true};
    std::vector<char*> argv{const_cast<char*>("holvik")};
    for (std::string& word : keep_words(std::move(words))) argv.push_back(word.data());
    world_parse result;
    result.console = console_of([&] {
        result.status = parse_world_command_line(static_cast<int>(argv.size()), argv.data(), program, result.settings);
    });
    return result;
}

TEST(WorldOptions, PhasesGatesItemsAndNames)
{
    world_parse p = parse({"-p", "2", "--phase", "0x5", "-i", "-b", "a.bmp", "--under", "-x.bmp", "data"});
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.settings.phase_mask, 0x12u);
    EXPECT_TRUE(p.settings.items);
    EXPECT_STREQ(p.settings.outputs[0], "a.bmp");
    EXPECT_STREQ(p.settings.outputs[1], "-x.bmp");
    EXPECT_STREQ(p.settings.common.data_path, "data");
    p = parse({"-p", "1", "-g", "-p", "3"});
    EXPECT_EQ(p.settings.phase_mask, 0xFFu);
    p = parse({});
    EXPECT_STREQ(p.settings.outputs[0], "zk.Britannia.bmp");
    EXPECT_STREQ(p.settings.outputs[1], "zk.Underworld.bmp");
    EXPECT_EQ(p.settings.phase_mask, 0u);
    for (const char* bad : {"0", "9", "3x", "-1", "", "4294967297"}) {
        p = parse({"-p", bad});
        EXPECT_EQ(p.status, -1);
        EXPECT_EQ(p.console, std::string("error: illegal phase value: ") + bad + "\n");
    }
    EXPECT_EQ(parse({"-p"}).console, "error: no phase value\n");
    EXPECT_EQ(parse({"-b"}).console, "error: no output name\n");
    EXPECT_EQ(parse({"-i", "-u"}).console, "error: no output name\n");
}

} // namespace
