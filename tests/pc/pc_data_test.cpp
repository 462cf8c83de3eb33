// PC data files and the decoding of the CGA and EGA tile files.
#include <filesystem>

#include "pc/pc_data.hpp"
#include "pc_test_support.hpp"

namespace {

constexpr size_t ega_tile = 128, cga_tile = 64;

// A tile file of `size` bytes of asymmetric content.
std::vector<uint8_t> noise_tiles(size_t size)
{
    std::vector<uint8_t> file(size);
    for (size_t i = 0; i < size; ++i) file[i] = uint8_t((i * 7 + i / 2048 * 13) % 251);
    return file;
}

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

TEST(PcTiles, CompressedFilesGiveTheDecodedFilesSheets)
{
    scratch_dir dir;
    for (bool cga : {false, true}) {
        const std::vector<uint8_t>& file = sample_tile_file(cga);
        for (shape_type type : {shape_type::normal, shape_type::dungeon, shape_type::mirror_room}) {
            for (bool no_remake : {false, true}) {
                SCOPED_TRACE(testing::Message() << cga << " " << int(type) << " " << no_remake);
                const loaded plain = load(dir, file, cga, type, no_remake);
                const loaded packed = load(dir, lzw_compressed(file, no_remake ? 700 : 0), cga, type, no_remake);
                ASSERT_EQ(plain.status, 0);
                ASSERT_EQ(packed.status, 0);
                EXPECT_EQ(packed.console, "");
                EXPECT_TRUE(packed.sheet.pixels == plain.sheet.pixels);
                EXPECT_EQ(packed.random.value, plain.random.value);
            }
        }
    }
    // A compressed file longer than the tiles it holds (noise grows under LZW) reads whole.
    std::vector<uint8_t> noise(65536);
    uint32_t state = 1;
    for (uint8_t& byte : noise) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        byte = static_cast<uint8_t>(state >> 24);
    }
    const std::vector<uint8_t> grown = lzw_compressed(noise);
    ASSERT_GT(grown.size(), 65536u);
    const loaded long_packed = load(dir, grown, false);
    ASSERT_EQ(long_packed.status, 0) << long_packed.console;
    EXPECT_TRUE(long_packed.sheet.pixels == load(dir, noise, false).sheet.pixels);

    // Decoded CGA tiles whose first bytes read "65536, reset" are read as they stand.
    std::vector<uint8_t> cga_look_alike = noise_tiles(32768);
    std::copy_n(grown.begin(), 6, cga_look_alike.begin());
    const loaded cga_read = load(dir, cga_look_alike, true);
    EXPECT_EQ(cga_read.status, 0) << cga_read.console;

    // EGA tiles given as CGA tiles are refused, compressed or not.
    const std::string cga_path = dir / "TILES.4";
    for (const std::vector<uint8_t>* ega_file : std::initializer_list<const std::vector<uint8_t>*>{&noise, &grown}) {
        const loaded refused = load(dir, *ega_file, true);
        EXPECT_EQ(refused.status, -1);
        EXPECT_EQ(refused.console, "error: '" + cga_path + "' holds EGA tiles (use --ega)\n");
    }
}

TEST(PcTiles, CompressedFileFailuresAndLookAlikes)
{
    scratch_dir dir;
    const std::string ega_path = dir / "TILES.16";
    const std::string read_failed = "error: read '" + ega_path + "'\n";
    // EGA tiles from a CGA-sized file fail as a short read, compressed or not.
    const std::vector<uint8_t>& cga = sample_tile_file(true);
    EXPECT_EQ(load(dir, cga, false).console, read_failed);
    const loaded packed_cga = load(dir, lzw_compressed(cga), false);
    EXPECT_EQ(packed_cga.status, -1);
    EXPECT_EQ(packed_cga.console, read_failed);

    // A compressed file that does not decode, alone and under the mappers' tile loading.
    std::vector<uint8_t> cut = lzw_compressed(sample_tile_file(false));
    cut.pop_back();
    const loaded broken = load(dir, cut, false);
    EXPECT_EQ(broken.status, -1);
    EXPECT_EQ(broken.console, "error: decode '" + ega_path + "'\n");
    tile_sheet sheet;
    rand15_state random;
    tile_source_settings settings;
    settings.tile_file = ega_path.c_str();
    EXPECT_EQ(console_of([&] { EXPECT_EQ(load_pc_tile_source(settings, sheet, random), -1); }),
              "error: decode '" + ega_path + "'\nerror: read shape data '" + ega_path + "'\n");

    // Files that only look compressed are read as they stand: a short one fails the EGA read.
    const std::vector<uint8_t> packed = lzw_compressed(sample_tile_file(false));
    auto changed = [&](size_t at, uint8_t value) {
        std::vector<uint8_t> file = packed;
        file[at] = value;
        return file;
    };
    for (const std::vector<uint8_t>& look_alike : {changed(0, 0xFF), changed(2, 2), changed(4, 1), changed(5, 0x02)}) {
        const loaded result = load(dir, look_alike, false);
        EXPECT_EQ(result.console, read_failed);
    }
    // A file as long as the length it states is a decoded file.
    std::vector<uint8_t> full = packed;
    full.resize(65536, 0);
    const loaded long_file = load(dir, full, false);
    EXPECT_EQ(long_file.status, 0);
    EXPECT_EQ(pixel(long_file.sheet, 0, 0, 0), 0);  // the header's first pixels: 0x00 0x00 0x01 0x00
    EXPECT_EQ(pixel(long_file.sheet, 0, 5, 0), 1);
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

TEST(DataFile, NamesInAnyLetterCase)
{
    scratch_dir dir;
    const std::string base = dir.path.string();
    const std::pair<const char*, uint8_t> files[] = {
        {"brit.dat", 1}, {"Under.Dat", 2}, {"castle.dat", 3}, {"Castle.dat", 4}, {"TOWNE.NPC", 5}, {"towne.npc", 6},
    };
    for (const auto& [name, value] : files) write_file(dir / name, std::vector<uint8_t>(100, value));
    std::vector<uint8_t> buffer(100);
    auto read = [&](const char* data_path, const char* name, size_t size) {
        std::fill(buffer.begin(), buffer.end(), 0);
        return console_of([&] { read_data_file(data_path, name, buffer.data(), size); });
    };
    const std::pair<const char*, uint8_t> found[] = {
        {"BRIT.DAT", 1}, {"brit.dat", 1}, {"UNDER.DAT", 2}, {"TOWNE.NPC", 5}, {"towne.npc", 6}, {"Towne.npc", 0},
    };
    for (const char* data_path : {base.c_str(), static_cast<const char*>(nullptr)}) {
        const std::filesystem::path cwd = std::filesystem::current_path();
        if (!data_path) std::filesystem::current_path(dir.path);
        const std::string prefix = data_path ? base + "/" : "";
        for (const auto& [name, value] : found) {
            const std::string console = read(data_path, name, 100);
            EXPECT_EQ(console, value ? "" : "error: open '" + prefix + name + "'\n") << name;
            EXPECT_EQ(buffer[99], value) << name;
        }
        EXPECT_EQ(read(data_path, "CASTLE.DAT", 100), "error: open '" + prefix + "CASTLE.DAT'\n");
        EXPECT_EQ(read(data_path, "KEEP.DAT", 100), "error: open '" + prefix + "KEEP.DAT'\n");
        EXPECT_EQ(read(data_path, "BRIT.DAT", 101), "error: read '" + prefix + "brit.dat' 101 byte\n");
        std::filesystem::current_path(cwd);
    }
}

} // namespace
