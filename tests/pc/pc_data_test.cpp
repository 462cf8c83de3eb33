// PC data files and the decoding of the CGA and EGA tile files.
#include "pc/pc_data.hpp"
#include "support/test_support.hpp"

namespace {

constexpr size_t ega_tile = 128, cga_tile = 64;

// Pixel (x, y) of tile n in a 16 x 16-pixel PC sheet.
uint8_t pixel(const tile_sheet& sheet, int n, int x, int y)
{
    return sheet.pixels[static_cast<size_t>((n / 16) * 16 + y) * 256 + (n % 16) * 16 + x];
}

struct loaded {
    int status;
    std::string console;
    tile_sheet sheet;
    rand15_state random;
};

loaded load(const scratch_dir& dir, const std::vector<uint8_t>& file, bool cga, shape_type type = shape_type::normal,
            bool no_remake = false)
{
    const std::string path = dir / (cga ? "TILES.4" : "TILES.16");
    write_file(path, file);
    loaded result;
    result.console = console_of(
        [&] { result.status = load_pc_tiles(path.c_str(), result.sheet, type, cga, true, no_remake, result.random); });
    return result;
}

TEST(ZeroPixelMask, SetsTheBitsOfZeroFields)
{
    EXPECT_EQ(zero_pixel_mask(0x00, 4), 0xFF);
    EXPECT_EQ(zero_pixel_mask(0x2F, 4), 0x00);
    EXPECT_EQ(zero_pixel_mask(0x20, 4), 0x0F);
    EXPECT_EQ(zero_pixel_mask(0x1B, 2), 0xC0);  // fields 11 10 01 00 from bit 0
    EXPECT_EQ(zero_pixel_mask(0x44, 2), 0x33);
}

TEST(PcTiles, EgaDecodingAndRecolouring)
{
    scratch_dir dir;
    std::vector<uint8_t> file(65536, 0);
    file[0] = 0x2F;                 // tile 0, first two pixels
    file[5 * ega_tile] = 0x2F;      // tile 5 is recoloured in dungeons
    file[320 * ega_tile] = 0x12;    // tile 320 lies beyond the mirror-room range
    file[7 * ega_tile + 127] = 0xAB;  // last byte of tile 7
    loaded normal = load(dir, file, false);
    ASSERT_EQ(normal.status, 0);
    EXPECT_EQ(normal.sheet.tile_width, 16);
    EXPECT_EQ(normal.sheet.bit_count, 4);
    EXPECT_EQ(normal.sheet.pixels.size(), 131072u);
    ASSERT_EQ(normal.sheet.palette.size(), 16u);
    EXPECT_EQ(normal.sheet.palette[6].red, 0xAA);
    EXPECT_EQ(normal.sheet.palette[6].green, 0x55);
    EXPECT_EQ(normal.sheet.palette[6].blue, 0x00);
    EXPECT_EQ(normal.sheet.palette[9].blue, 0xFF);
    EXPECT_EQ(pixel(normal.sheet, 0, 0, 0), 2);
    EXPECT_EQ(pixel(normal.sheet, 0, 1, 0), 15);
    EXPECT_EQ(pixel(normal.sheet, 7, 14, 15), 0xA);
    EXPECT_EQ(pixel(normal.sheet, 7, 15, 15), 0xB);

    loaded dungeon = load(dir, file, false, shape_type::dungeon);
    EXPECT_EQ(pixel(dungeon.sheet, 5, 0, 0), 4);
    EXPECT_EQ(pixel(dungeon.sheet, 5, 1, 0), 15);
    EXPECT_EQ(pixel(dungeon.sheet, 0, 0, 0), 2);

    // Mirror room: flagged tiles through both maps, every tile below 320 through the mirror map.
    loaded mirror = load(dir, file, false, shape_type::mirror_room);
    EXPECT_EQ(pixel(mirror.sheet, 5, 0, 0), 2);    // 2 -> 4 -> 2
    EXPECT_EQ(pixel(mirror.sheet, 0, 0, 0), 4);    // 2 -> 4
    EXPECT_EQ(pixel(mirror.sheet, 7, 14, 15), 12);  // 10 -> 12
    EXPECT_EQ(pixel(mirror.sheet, 320, 0, 0), 1);   // untouched
    EXPECT_EQ(pixel(mirror.sheet, 320, 1, 0), 2);
}

TEST(PcTiles, CgaDecodingAndExpansion)
{
    scratch_dir dir;
    std::vector<uint8_t> file(32768, 0);
    file[0] = 0x40 | 0x0B;          // tile 0: pixels 1, 0, 2, 3
    file[5 * cga_tile] = 0x40;      // tile 5: pixel 1
    loaded normal = load(dir, file, true);
    ASSERT_EQ(normal.status, 0);
    EXPECT_EQ(pixel(normal.sheet, 0, 0, 0), 3);
    EXPECT_EQ(pixel(normal.sheet, 0, 1, 0), 0);
    EXPECT_EQ(pixel(normal.sheet, 0, 2, 0), 5);
    EXPECT_EQ(pixel(normal.sheet, 0, 3, 0), 7);
    loaded mirror = load(dir, file, true, shape_type::mirror_room);
    EXPECT_EQ(pixel(mirror.sheet, 0, 0, 0), 5);    // 1 -> 2 -> 5
    EXPECT_EQ(pixel(mirror.sheet, 5, 0, 0), 3);    // 1 -> 2 (dungeon) -> 1 (mirror) -> 3
    loaded dungeon = load(dir, file, true, shape_type::dungeon);
    EXPECT_EQ(pixel(dungeon.sheet, 5, 0, 0), 5);   // 1 -> 2 -> 5
    EXPECT_EQ(pixel(dungeon.sheet, 0, 0, 0), 3);
}

TEST(PcTiles, WaterRemakeThroughStencils)
{
    scratch_dir dir;
    std::vector<uint8_t> file(65536, 0);
    auto fill = [&](int tile, uint8_t value) { std::fill_n(file.begin() + tile * ega_tile, ega_tile, value); };
    fill(3, 0x99);    // water
    fill(52, 0x11);   // stencil 208
    fill(98, 0x55);   // stencil 114
    fill(230, 0x22);  // stencil 210, inverted
    fill(60, 0x66);   // no stencil
    file[208 * ega_tile] = 0xF0;  // left pixel of row 0 is water
    file[210 * ega_tile] = 0xF0;
    std::fill_n(file.begin() + 114 * ega_tile, ega_tile, 0x0F);  // right pixel of every pair is water
    loaded remade = load(dir, file, false);
    EXPECT_EQ(pixel(remade.sheet, 52, 0, 0), 9);
    EXPECT_EQ(pixel(remade.sheet, 52, 1, 0), 1);
    EXPECT_EQ(pixel(remade.sheet, 52, 0, 1), 1);
    EXPECT_EQ(pixel(remade.sheet, 230, 0, 0), 2);  // inverted: water where the stencil is 0
    EXPECT_EQ(pixel(remade.sheet, 230, 1, 0), 9);
    EXPECT_EQ(pixel(remade.sheet, 230, 5, 7), 9);
    EXPECT_EQ(pixel(remade.sheet, 98, 4, 9), 5);
    EXPECT_EQ(pixel(remade.sheet, 98, 5, 9), 9);
    EXPECT_EQ(pixel(remade.sheet, 60, 0, 0), 6);
    EXPECT_EQ(pixel(remade.sheet, 208, 0, 0), 15);  // the stencil tile itself stays

    loaded kept = load(dir, file, false, shape_type::normal, true);
    for (int tile : {52, 98, 230})
        for (int x = 0; x < 16; ++x) EXPECT_EQ(pixel(kept.sheet, tile, x, 0), file[tile * ega_tile] >> 4) << tile;
}

TEST(PcTiles, RandomDotsShareOnePatternAndRepeat)
{
    scratch_dir dir;
    loaded ega = load(dir, std::vector<uint8_t>(65536, 0xFF), false);
    // The first draw of a fresh generator is 16838: a dot.
    EXPECT_EQ(pixel(ega.sheet, 488, 0, 0), 10);
    EXPECT_EQ(pixel(ega.sheet, 489, 0, 0), 13);
    EXPECT_EQ(pixel(ega.sheet, 490, 0, 0), 12);
    EXPECT_EQ(pixel(ega.sheet, 491, 0, 0), 9);
    rand15_state replay;
    int dots = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const bool dot = next_rand15(replay) > 16382;
            dots += dot;
            EXPECT_EQ(pixel(ega.sheet, 488, x, y), dot ? 10 : 0);
            EXPECT_EQ(pixel(ega.sheet, 491, x, y), dot ? 9 : 0);
        }
    }
    EXPECT_GT(dots, 64);
    EXPECT_LT(dots, 192);
    EXPECT_EQ(ega.random.value, replay.value);  // 256 draws, no more
    loaded cga = load(dir, std::vector<uint8_t>(32768, 0xFF), true);
    EXPECT_EQ(pixel(cga.sheet, 488, 0, 0), 3);  // CGA colour 1, expanded
    EXPECT_EQ(pixel(cga.sheet, 489, 0, 0), 5);
}

TEST(PcTiles, FileLengthsAndMessages)
{
    scratch_dir dir;
    EXPECT_EQ(load(dir, std::vector<uint8_t>(70000, 0), false).status, 0);
    loaded short_ega = load(dir, std::vector<uint8_t>(65535, 0), false);
    EXPECT_EQ(short_ega.status, -1);
    EXPECT_EQ(short_ega.console, "error: read '" + (dir / "TILES.16") + "'\n");
    EXPECT_EQ(load(dir, std::vector<uint8_t>(32767, 0), true).status, -1);
    EXPECT_EQ(load(dir, std::vector<uint8_t>(32768, 0), true).status, 0);

    tile_sheet sheet;
    rand15_state random;
    tile_source_settings settings;
    EXPECT_EQ(console_of([&] { EXPECT_EQ(load_pc_tile_source(settings, sheet, random), -1); }),
              "error: shape data file is not specified\n");
    settings.tile_file = "no-such-tiles";
    EXPECT_EQ(console_of([&] { load_pc_tile_source(settings, sheet, random); }),
              "error: open 'no-such-tiles'\nerror: read shape data 'no-such-tiles'\n");
    settings.shape_bitmap = "no-such.bmp";
    settings.use_bitmaps = true;
    EXPECT_EQ(console_of([&] { load_pc_tile_source(settings, sheet, random); }),
              "error: open 'no-such.bmp'\nerror: read shape bitmap 'no-such.bmp'\n");
}

TEST(DataFile, PathJoinAndShortReads)
{
    scratch_dir dir;
    write_file(dir / "BRIT.DAT", std::vector<uint8_t>(100, 7));
    std::vector<uint8_t> buffer(200, 0);
    const std::string base = dir.path.string();
    EXPECT_EQ(read_data_file(base.c_str(), "BRIT.DAT", buffer.data(), 100), 0);
    EXPECT_EQ(buffer[99], 7);
    EXPECT_EQ(buffer[100], 0);
    EXPECT_EQ(read_data_file((base + "/").c_str(), "BRIT.DAT", buffer.data(), 50), 0);  // "dir//BRIT.DAT"
    EXPECT_EQ(read_data_file(nullptr, (base + "/BRIT.DAT").c_str(), buffer.data(), 10), 0);
    EXPECT_EQ(console_of([&] { EXPECT_EQ(read_data_file(base.c_str(), "BRIT.DAT", buffer.data(), 101), -1); }),
              "error: read '" + base + "/BRIT.DAT' 101 byte\n");
    EXPECT_EQ(console_of([&] { read_data_file("nodir", "BRIT.DAT", buffer.data(), 1); }),
              "error: open 'nodir/BRIT.DAT'\n");
    EXPECT_EQ(console_of([&] { read_data_file("nodir/", "UNDER.DAT", buffer.data(), 1); }),
              "error: open 'nodir//UNDER.DAT'\n");
}

} // namespace
