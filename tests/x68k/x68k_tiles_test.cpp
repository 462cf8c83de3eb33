// The bit-plane tile loader on hand-made TILES.CH and NPC.CH files in mtools-made images.
#include <cstdlib>
#include <set>

#include "disk_images.hpp"
#include "x68k/x68k_tiles.hpp"

namespace {

constexpr size_t tiles_ch_bytes = 98304, npc_ch_bytes = 131072;

// A .CH file being made: `planes` planes of 128 bytes per tile.
struct ch_file {
    int planes;
    std::vector<uint8_t> bytes;
    explicit ch_file(int p) : planes(p), bytes(static_cast<size_t>(256 * p * 128), 0) {}
    void set(int tile, int plane, int x, int y)
    {
        bytes[static_cast<size_t>((tile * planes + plane) * 128 + y * 4 + x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
    void fill(int tile, int colour)
    {
        for (int k = 0; k < planes; ++k)
            if (colour >> k & 1) std::fill_n(bytes.begin() + (tile * planes + k) * 128, 128, 0xFF);
    }
};

uint8_t pixel(const tile_sheet& sheet, int tile, int x, int y)
{
    return sheet.pixels[static_cast<size_t>(((tile / 16) * 32 + y) * 512 + (tile % 16) * 32 + x)];
}

tile_sheet blank_sheet()
{
    tile_sheet sheet;
    sheet.pixels.assign(x68k_sheet_bytes, 0);
    return sheet;
}

struct loaded {
    int status = 1;
    std::string console, path;
    tile_sheet sheet, mask;
    disk_image disk;
};

loaded load_files(const scratch_dir& dir, const std::vector<disk_file>& files, shape_type type = shape_type::normal,
                  bool no_remake = false, int rows = 16, bool with_mask = true)
{
    loaded l;
    l.path = make_disk(dir, "tiles.img", 0, 0, files);
    rand15_state random;
    l.console = console_of([&] {
        l.status = load_x68k_tiles(l.disk, l.path.c_str(), 0, l.sheet, with_mask ? &l.mask : nullptr, type, no_remake, rows, random);
    });
    return l;
}

loaded load(const scratch_dir& dir, const ch_file& tiles, const ch_file& npc, shape_type type = shape_type::normal,
            bool no_remake = false, int rows = 16, bool with_mask = true)
{
    return load_files(dir, {{"TILES.CH", tiles.bytes}, {"NPC.CH", npc.bytes}}, type, no_remake, rows, with_mask);
}

TEST(X68kTiles, PlanesBitOrderAndTheRedGreenSwap)
{
    // One bit at a time: plane k adds 2^k, bit 7 of a line's first byte is the leftmost pixel.
    for (const int planes : {3, 4}) {
        for (int k = 0; k < planes; ++k) {
            for (int x = 0; x < 32; ++x) {
                const int y = (x * 7 + k) % 32;
                ch_file file(planes);
                file.set(17, k, x, y);
                tile_sheet sheet = blank_sheet();
                ASSERT_EQ(decode_plane_tiles(sheet, file.bytes, planes, planes == 3 ? 0 : 16, false), 0);
                const int tile = planes == 3 ? 17 : 256 + 17;
                ASSERT_EQ(pixel(sheet, tile, x, y), 1 << k) << planes << " planes, plane " << k << ", x " << x;
                ASSERT_EQ(std::count(sheet.pixels.begin(), sheet.pixels.end(), 0), static_cast<long>(x68k_sheet_bytes - 1));
            }
        }
    }
    // With the swap, planes 1 and 2 trade values in the flagged tiles below 256 only.
    std::set<int> flagged = {5, 76};
    for (int t = 30; t <= 38; ++t) flagged.insert(t);
    for (int t = 48; t <= 55; ++t) flagged.insert(t);
    ch_file tiles(3), npc(4);
    for (int t = 0; t < 256; ++t) {
        tiles.set(t, 1, 0, 0);
        tiles.set(t, 2, 1, 0);
        tiles.set(t, 0, 2, 0);
        npc.set(t, 1, 0, 0);
    }
    for (const bool swap : {false, true}) {
        tile_sheet sheet = blank_sheet();
        ASSERT_EQ(decode_plane_tiles(sheet, tiles.bytes, 3, 0, swap), 0);
        ASSERT_EQ(decode_plane_tiles(sheet, npc.bytes, 4, 16, swap), 0);
        for (int t = 0; t < 256; ++t) {
            const bool swapped = swap && flagged.count(t);
            EXPECT_EQ(pixel(sheet, t, 0, 0), swapped ? 4 : 2) << t;
            EXPECT_EQ(pixel(sheet, t, 1, 0), swapped ? 2 : 4) << t;
            EXPECT_EQ(pixel(sheet, t, 2, 0), 1) << t;
            EXPECT_EQ(pixel(sheet, 256 + t, 0, 0), 2) << t;
        }
    }
    tile_sheet sheet = blank_sheet();
    EXPECT_EQ(decode_plane_tiles(sheet, std::span(tiles.bytes).first(tiles.bytes.size() - 1), 3, 0, false), -1);
    EXPECT_EQ(decode_plane_tiles(sheet, npc.bytes, 4, 17, false), -1);
    EXPECT_EQ(std::count(sheet.pixels.begin(), sheet.pixels.end(), 0), static_cast<long>(x68k_sheet_bytes));
}

TEST(X68kTiles, WaterTrianglesAndStencils)
{
    REQUIRE_MTOOLS();
    scratch_dir dir;
    ch_file tiles(3), npc(4);
    tiles.fill(3, 5);  // water
    for (int k = 0; k < 4; ++k) {
        tiles.fill(52 + k, 2);
        tiles.fill(228 + k, 2);
    }
    tiles.fill(100, 1);  // stencil 116
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            if ((x * 3 + y * y) % 7 == 0) tiles.set(116, 2, x, y);
    // Water in the triangles 208-211 (upper left, upper right, lower right, lower left,
    // diagonals included).
    auto in_triangle = [](int corner, int x, int y) {
        return corner == 0 ? x + y <= 31 : corner == 1 ? y <= x : corner == 2 ? x + y >= 31 : y >= x;
    };
    const loaded remade = load(dir, tiles, npc);
    ASSERT_EQ(remade.status, 0);
    EXPECT_EQ(remade.console, "");
    const loaded kept = load(dir, tiles, npc, shape_type::normal, true);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            for (int k = 0; k < 4; ++k) {
                EXPECT_EQ(pixel(remade.sheet, 52 + k, x, y), in_triangle(k, x, y) ? 5 : 2);
                // Inverted: the opposite triangle, its diagonal included too.
                EXPECT_EQ(pixel(remade.sheet, 228 + k, x, y), in_triangle((k + 2) % 4, x, y) ? 5 : 2);
                EXPECT_EQ(pixel(kept.sheet, 52 + k, x, y), 2);
                EXPECT_EQ(pixel(kept.sheet, 228 + k, x, y), 2);
            }
            const bool stencil = (x * 3 + y * y) % 7 == 0;
            EXPECT_EQ(pixel(remade.sheet, 100, x, y), stencil ? 5 : 1);
            EXPECT_EQ(pixel(remade.sheet, 116, x, y), stencil ? 4 : 0);
            EXPECT_EQ(pixel(kept.sheet, 100, x, y), 1);
        }
    }
    EXPECT_EQ(pixel(remade.sheet, 52, 0, 31), 5);   // on the anti-diagonal
    EXPECT_EQ(pixel(remade.sheet, 230, 0, 31), 5);  // both 208 and its inverse hold it
    EXPECT_EQ(pixel(remade.sheet, 229, 5, 5), 5);   // 209 inverted is 211: the diagonal is water
    EXPECT_EQ(pixel(remade.sheet, 53, 5, 5), 5);
}

TEST(X68kTiles, DungeonAndMirrorRoomColours)
{
    REQUIRE_MTOOLS();
    scratch_dir dir;
    ch_file tiles(3), npc(4);
    for (int t = 0; t < 256; ++t) {
        tiles.fill(t, t == 5 ? 2 : 1);
        npc.fill(t, 9);
    }
    const loaded dungeon = load(dir, tiles, npc, shape_type::dungeon, true);
    EXPECT_EQ(pixel(dungeon.sheet, 5, 3, 3), 4);
    EXPECT_EQ(pixel(dungeon.sheet, 0, 3, 3), 1);
    EXPECT_EQ(pixel(dungeon.sheet, 261, 3, 3), 9);
    for (const int rows : {16, 19}) {
        const loaded mirror = load(dir, tiles, npc, shape_type::mirror_room, true, rows);
        ASSERT_EQ(mirror.status, 0);
        for (int t = 0; t < 488; ++t) {
            int expected = t < 256 ? 5 : 9;                  // 1 -> 5; 9 stays 9 beyond the rows
            if (t == 5) expected = 2;                         // 2 -> 4 (dungeon) -> 2
            if (t >= 157 && t <= 159) expected = 1;           // kept
            if (t >= 256 && t < 16 * rows) expected = 13;     // 9 -> 13
            ASSERT_EQ(pixel(mirror.sheet, t, 31, 31), expected) << t << ", " << rows << " rows";
            ASSERT_EQ(pixel(mirror.sheet, t, 0, 0), expected) << t << ", " << rows << " rows";
            ASSERT_EQ(pixel(mirror.mask, t, 0, 0), t < 256 ? 0 : 1) << t;
        }
    }
}

TEST(X68kTiles, RandomDotsAndTheMask)
{
    REQUIRE_MTOOLS();
    scratch_dir dir;
    ch_file tiles(3), npc(4);
    tiles.bytes = pattern_bytes(tiles.bytes.size(), 3);
    npc.bytes = pattern_bytes(npc.bytes.size(), 4);
    for (int t = 232; t < 236; ++t) npc.fill(t, 15);  // tiles 488-491, overwritten by the dots
    const loaded l = load(dir, tiles, npc);
    ASSERT_EQ(l.status, 0);
    // The dots replayed: the C standard's sample generator from state 1, one draw per pixel.
    uint32_t state = 1;
    int dots = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            state = state * 1103515245u + 12345u;
            const bool dot = ((state >> 16) & 0x7FFF) > 16382;
            dots += dot;
            for (int k = 0; k < 4; ++k) ASSERT_EQ(pixel(l.sheet, 488 + k, x, y), dot ? 4 - k : 0) << x << "," << y;
        }
    }
    EXPECT_GT(dots, 400);
    EXPECT_LT(dots, 624);
    // The mask: the fourth plane of NPC.CH, nothing in TILES.CH or the dot tiles.
    EXPECT_EQ(l.mask.tile_width, 32);
    EXPECT_EQ(l.mask.bit_count, 1);
    EXPECT_EQ(l.mask.palette, (std::vector<palette_entry>{{0, 0, 0, 0}, {255, 255, 255, 255}}));
    ASSERT_EQ(l.mask.pixels.size(), x68k_sheet_bytes);
    for (int t = 0; t < 512; ++t)
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const size_t byte = static_cast<size_t>(((t - 256) * 4 + 3) * 128 + y * 4 + x / 8);
                const bool fourth = t >= 256 && !(t >= 488 && t < 492) && (npc.bytes[byte] >> (7 - x % 8) & 1);
                ASSERT_EQ(pixel(l.mask, t, x, y), fourth ? 1 : 0) << t << " " << x << "," << y;
            }
    // Without a mask sheet the tiles are the same.
    const loaded unmasked = load(dir, tiles, npc, shape_type::normal, false, 16, false);
    EXPECT_EQ(unmasked.status, 0);
    EXPECT_TRUE(unmasked.sheet.pixels == l.sheet.pixels);
    EXPECT_EQ(unmasked.sheet.palette, std::vector<palette_entry>(std::begin(x68k_palette), std::end(x68k_palette)));
}

TEST(X68kTiles, ShortFilesAndFailureCascades)
{
    REQUIRE_MTOOLS();
    scratch_dir dir;
    ch_file tiles(3), npc(4);
    tiles.fill(0, 7);
    tiles.fill(1, 7);
    tiles.fill(2, 7);
    tiles.bytes.resize(800);  // two tiles and 8 lines of plane 0 of the third
    const loaded short_tiles = load(dir, tiles, npc);
    EXPECT_EQ(short_tiles.status, 0);
    EXPECT_EQ(short_tiles.console, "file size mismatch 'TILES.CH' 800 != 98304 ... ignored\n");
    EXPECT_EQ(pixel(short_tiles.sheet, 1, 31, 31), 7);
    EXPECT_EQ(pixel(short_tiles.sheet, 2, 31, 7), 1);
    EXPECT_EQ(pixel(short_tiles.sheet, 2, 0, 8), 0);

    const std::vector<uint8_t> full_tiles(tiles_ch_bytes), full_npc(npc_ch_bytes);
    const struct {
        std::vector<disk_file> files;
        std::string lines;  // with P for the image path
    } cases[] = {
        {{{"NPC.CH", full_npc}}, "can't find 'TILES.CH'\nerror: read disk image 'P/TILES.CH'\n"},
        {{{"TILES.CH", full_tiles}}, "can't find 'NPC.CH'\nerror: read disk image 'P/NPC.CH'\n"},
        {{{"TILES.CH", std::vector<uint8_t>(tiles_ch_bytes + 1)}, {"NPC.CH", full_npc}},
         "file size error 'TILES.CH' 98305 > 98304\nerror: read disk image 'P/TILES.CH'\n"},
        {{{"TILES.CH", full_tiles}, {"NPC.CH", std::vector<uint8_t>(npc_ch_bytes * 2)}},
         "file size error 'NPC.CH' 262144 > 131072\nerror: read disk image 'P/NPC.CH'\n"},
    };
    for (const auto& c : cases) {
        const loaded l = load_files(dir, c.files);
        std::string expected = c.lines;
        for (size_t at; (at = expected.find("'P")) != std::string::npos;) expected.replace(at + 1, 1, l.path);
        EXPECT_EQ(l.status, -1);
        EXPECT_EQ(l.console, expected);
    }
    rand15_state random;
    // A headerless image is read whatever header size the build has.
    for (const int header : {4096, -1}) {
        tile_sheet sheet, mask;
        disk_image disk;
        const std::string path = dir / "tiles.img";
        EXPECT_EQ(console_of([&] { EXPECT_EQ(load_x68k_tiles(disk, path.c_str(), header, sheet, &mask, shape_type::normal, false, 16, random), -1); }),
                  "file size error 'NPC.CH' 262144 > 131072\nerror: read disk image '" + path + "/NPC.CH'\n");
    }
    tile_sheet sheet;
    disk_image disk;
    const std::string missing = dir / "missing.xdf";
    EXPECT_EQ(console_of([&] { EXPECT_EQ(load_x68k_tiles(disk, missing.c_str(), 0, sheet, nullptr, shape_type::normal, false, 16, random), -1); }),
              "open error '" + missing + "'\nerror: read disk image '" + missing + "'\n");
}

// The Python model of the loader is the expectation: pseudo-random planes in an FDI-sized
// image with a header, under every shape type.
TEST(X68kTiles, AgreesWithThePythonModel)
{
    REQUIRE_MTOOLS();
    scratch_dir dir;
    std::vector<uint8_t> tiles = pattern_bytes(tiles_ch_bytes, 21), npc = pattern_bytes(npc_ch_bytes, 22);
    const std::vector<uint8_t> sparse = pattern_bytes(npc_ch_bytes, 23);
    for (size_t i = 0; i < npc.size(); ++i) npc[i] &= sparse[i];
    for (size_t i = 0; i < tiles.size(); ++i) tiles[i] &= sparse[i];
    tiles.resize(tiles_ch_bytes - 1000);  // the tail reads as zeros
    constexpr int header = 4096;
    const std::string path = make_disk(dir, "model.fdi", 2, header, {{"TILES.CH", tiles}, {"NPC.CH", npc}});
    const struct {
        shape_type type;
        bool no_remake;
        int rows;
    } runs[] = {{shape_type::normal, false, 16}, {shape_type::dungeon, true, 16}, {shape_type::mirror_room, false, 16},
                {shape_type::mirror_room, false, 19}};
    for (const auto& run : runs) {
        const std::string out = dir / "model.out";
        const std::string command = std::string("/usr/bin/python3 ") + ZK_X68K_MODEL + " '" + path + "' " +
                                    std::to_string(header) + " " + std::to_string(static_cast<int>(run.type)) + " " +
                                    (run.no_remake ? "1" : "0") + " " + std::to_string(run.rows) + " '" + out + "'";
        ASSERT_TRUE(run_quietly(command)) << command;
        const std::vector<uint8_t> model = read_file(out);
        ASSERT_EQ(model.size(), 2 * x68k_sheet_bytes + 64);
        tile_sheet sheet, mask;
        rand15_state random;
        disk_image disk;
        ASSERT_EQ(console_of([&] { load_x68k_tiles(disk, path.c_str(), header, sheet, &mask, run.type, run.no_remake, run.rows, random); }),
                  "file size mismatch 'TILES.CH' 97304 != 98304 ... ignored\n");
        EXPECT_TRUE(std::equal(sheet.pixels.begin(), sheet.pixels.end(), model.begin())) << command;
        for (size_t i = 0; i < 16; ++i) {
            const uint8_t* e = &model[x68k_sheet_bytes + 4 * i];
            EXPECT_EQ(sheet.palette[i], (palette_entry{e[0], e[1], e[2], e[3]})) << i;
        }
        EXPECT_TRUE(std::equal(mask.pixels.begin(), mask.pixels.end(), model.begin() + x68k_sheet_bytes + 64)) << command;
    }
}

} // namespace
