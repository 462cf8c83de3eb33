// Settlement tables, schedules, placement with its trace, the pose change, level drawing,
// file names and the settlement mappers' options.
#include <set>

#include "settlement/settlement_mapper.hpp"
#include "support/test_support.hpp"

namespace {

constexpr uint8_t floor_tile = 68, wall_tile = 80;

struct level_data {
    std::vector<uint8_t> tiles = std::vector<uint8_t>(1024, floor_tile);
    void set(int x, int y, uint8_t tile) { tiles[32 * y + x] = tile; }
};

// NPC i of a block at one place for all three entries, both windows empty (entry 1).
void put_npc(std::vector<uint8_t>& block, int i, uint8_t kind, uint8_t x, uint8_t y, uint8_t level = 0)
{
    uint8_t* r = &block[16 * i];
    for (int e = 0; e < 3; ++e) {
        r[e] = static_cast<uint8_t>(e + 1);
        r[3 + e] = x;
        r[6 + e] = y;
        r[9 + e] = level;
    }
    r[12] = r[13] = r[14] = r[15] = 0;
    block[512 + i] = kind;
}

void set_windows(std::vector<uint8_t>& block, int i, uint8_t s0, uint8_t e0, uint8_t s1, uint8_t e1)
{
    block[16 * i + 12] = s0;
    block[16 * i + 13] = e0;
    block[16 * i + 14] = s1;
    block[16 * i + 15] = e1;
}

TEST(SettlementTables, SlotsLevelsAndNames)
{
    std::set<std::pair<int, int>> seen;
    for (int g = 0; g < 4; ++g)
        for (const map_slot& slot : map_slots[g]) seen.insert({g, slot.location});
    EXPECT_EQ(seen.size(), 32u);
    EXPECT_STREQ(level_name(255), "B1F");
    EXPECT_STREQ(level_name(0), "1F");
    EXPECT_STREQ(level_name(3), "4F");
    EXPECT_STREQ(level_name(4), "unknown");
    EXPECT_STREQ(level_name(254), "unknown");
    EXPECT_STREQ(settlement_groups[1].locations[6], "Sin'Vraal's_Hut");
    EXPECT_EQ(map_slots[3][6].location, 3);
    EXPECT_EQ(map_slots[3][6].level, 255);
    EXPECT_EQ(map_slots[2][15].level, 1);
}

TEST(Schedules, WindowsWrapAndWindowZeroWins)
{
    npc_record record{};
    auto entry_at = [&](unsigned hour) { return choose_entry(record, hour); };
    record.window0_start = 22;
    record.window0_end = 6;
    for (unsigned hour : {22u, 23u, 0u, 5u}) EXPECT_EQ(entry_at(hour), 0) << hour;
    for (unsigned hour : {6u, 12u, 21u}) EXPECT_EQ(entry_at(hour), 1) << hour;
    record.window1_start = 4;
    record.window1_end = 9;
    EXPECT_EQ(entry_at(5), 0);
    EXPECT_EQ(entry_at(6), 2);
    EXPECT_EQ(entry_at(9), 1);
    record.window0_start = record.window0_end = 8;  // empty
    record.window1_start = 23;
    record.window1_end = 1;
    EXPECT_EQ(entry_at(8), 1);
    EXPECT_EQ(entry_at(23), 2);
    EXPECT_EQ(entry_at(0), 2);
    EXPECT_EQ(entry_at(1), 1);
    record.window1_start = record.window1_end = 8;
    for (unsigned hour = 0; hour < 24; ++hour) EXPECT_EQ(entry_at(hour), 1);
}

TEST(Placement, TraceConflictsMovesAndEdges)
{
    level_data level;
    std::vector<uint8_t> block(576, 0);
    put_npc(block, 2, 0x02, 20, 20);
    put_npc(block, 3, 0x5C, 10, 12);  // entry 0 on a wall
    set_windows(block, 3, 8, 17, 0, 0);
    level.set(10, 12, wall_tile);
    put_npc(block, 4, 0x41, 5, 5);
    put_npc(block, 5, 0x42, 5, 5);    // same cell as 4
    put_npc(block, 6, 0x43, 4, 5);    // blocks 5's first neighbour
    put_npc(block, 7, 0x01, 20, 20);  // entry 2 onto 2's cell
    set_windows(block, 7, 0, 1, 10, 14);
    put_npc(block, 9, 0x05, 0, 0);    // walled-in corner
    level.set(0, 0, wall_tile);
    level.set(1, 0, wall_tile);
    level.set(0, 1, wall_tile);
    level.set(1, 1, wall_tile);
    put_npc(block, 10, 0x06, 40, 5);  // off the level
    put_npc(block, 11, 28, 7, 7);     // never placed
    put_npc(block, 12, 0, 8, 8);      // no NPC
    put_npc(block, 13, 0x07, 9, 9, 1);    // another floor
    put_npc(block, 14, 0x07, 9, 9, 255);  // the basement
    put_npc(block, 15, 0x10, 25, 10);  // first neighbour 171, a later one 68
    level.set(25, 10, wall_tile);
    for (auto [x, y] : {std::pair{26, 10}, {25, 9}, {24, 9}, {26, 9}, {24, 11}, {26, 11}}) level.set(x, y, wall_tile);
    level.set(24, 10, 171);
    put_npc(block, 16, 0x11, 28, 20);  // first neighbour 172, no 68 after it
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) level.set(28 + dx, 20 + dy, wall_tile);
    level.set(27, 20, 172);
    put_npc(block, 17, 0x44, 5, 5);  // moves after 5, which took (6, 5)

    npc_grid grid;
    const std::string trace = console_of([&] { place_npcs(level.tiles.data(), block.data(), 0, 12, grid); });
    EXPECT_EQ(trace,
              "(0A,0C,00) = 5C(01) 08-17 ... can't locate here\n"
              "(05,05,00) = 42(02) ... multi NPCs at same location\n"
              "(14,14,00) = 01(03) 10-14 ... multi NPCs at same location\n"
              "(00,00,00) = 05(02) ... can't locate here\n"
              "[0A] 06 (28, 05) ... can't locate\n"
              "(19,0A,00) = 10(02) ... can't locate here\n"
              "(1C,14,00) = 11(02) ... can't locate here\n"
              "(05,05,00) = 44(02) ... multi NPCs at same location\n"
              "[03] 5C (0A, 0C) -> (09, 0C)\n"
              "[05] 42 (05, 05) -> (06, 05)\n"
              "[07] 01 (14, 14) -> (13, 14)\n"
              "[09] 05 (00, 00) ... can't locate\n"
              "[0F] 10 (19, 0A) -> (19, 0B)\n"
              "[10] 11 (1C, 14) -> (1B, 14)\n"
              "[11] 44 (05, 05) -> (05, 04)\n");
    std::vector<std::pair<int, int>> occupied;
    for (int c = 0; c < 1024; ++c)
        if (grid[c]) occupied.emplace_back(c % 32 + 100 * (c / 32), grid[c]);  // x + 100 y
    EXPECT_EQ(occupied, (std::vector<std::pair<int, int>>{{405, 0x44}, {504, 0x43}, {505, 0x41}, {506, 0x42},
                                                         {1125, 0x10}, {1209, 0x5C}, {2019, 0x01}, {2020, 0x02},
                                                         {2027, 0x11}}));

    // On the basement level only the NPCs with level code 255 stand.
    put_npc(block, 18, 0x07, 9, 9, 255);
    const std::string basement = console_of([&] { place_npcs(level.tiles.data(), block.data(), 255, 12, grid); });
    EXPECT_EQ(basement, "(09,09,FF) = 07(02) ... multi NPCs at same location\n[12] 07 (09, 09) -> (08, 09)\n");
}

TEST(Placement, KindsStandOnTheirTileClasses)
{
    EXPECT_TRUE(may_stand_on(32, 1));    // sea kinds on water
    EXPECT_FALSE(may_stand_on(32, 68));
    EXPECT_TRUE(may_stand_on(148, 52));  // both on shore tiles
    EXPECT_TRUE(may_stand_on(148, 4));
    EXPECT_TRUE(may_stand_on(184, 87));
    EXPECT_FALSE(may_stand_on(1, 87));
    EXPECT_FALSE(may_stand_on(18, 68));  // kinds of class 0 stand nowhere
    EXPECT_TRUE(may_stand_on(255, 221));
    EXPECT_FALSE(may_stand_on(255, 222));
}

TEST(PoseChange, EveryRowOfTheTable)
{
    struct pose_case {
        uint8_t kind, tile;
        int y;
        uint8_t neighbour;  // the tile above (144) or below (146) the NPC
        unsigned picture;
    };
    const pose_case cases[] = {
        {64, 128, 5, 0, 130},   {104, 129, 5, 0, 131},  {64, 132, 5, 0, 352},   {67, 132, 5, 0, 355},
        {65, 133, 5, 0, 357},   {64, 144, 5, 155, 312}, {66, 144, 5, 156, 314}, {64, 144, 5, 154, 304},
        {64, 144, 0, 155, 304}, {64, 145, 5, 0, 305},   {64, 146, 5, 154, 308}, {67, 146, 5, 156, 311},
        {64, 146, 31, 154, 306}, {92, 146, 5, 0, 348},  {95, 146, 31, 0, 351},  {91, 146, 5, 0, 306},
        {64, 147, 5, 0, 307},   {127, 171, 5, 0, 282},  {64, 200, 5, 0, 279},   {64, 201, 5, 0, 280},
        {64, 68, 5, 0, 320},    {96, 128, 5, 0, 352},   {63, 132, 5, 0, 319},   {184, 87, 5, 0, 56},
        {187, 87, 5, 0, 56},    {188, 87, 5, 0, 444},   {184, 68, 5, 0, 440},   {64, 87, 5, 0, 320},
    };
    for (const pose_case& c : cases) {
        level_data level;
        const int x = 7;
        level.set(x, c.y, c.tile);
        if (c.tile == 144 && c.y > 0) level.set(x, c.y - 1, c.neighbour);
        if (c.tile == 146 && c.y < 31) level.set(x, c.y + 1, c.neighbour);
        if (c.tile == 146 && c.y == 31) level.set(x, 0, c.neighbour);  // no wrap to the top row
        EXPECT_EQ(npc_picture(c.kind, level.tiles.data(), x, c.y), c.picture)
            << "kind " << int(c.kind) << " tile " << int(c.tile) << " y " << c.y;
    }
}

// 1 x 1-pixel, 16-bit tiles whose pixel is the picture number.
tile_sheet numbered_sheet()
{
    tile_sheet sheet;
    sheet.tile_width = sheet.tile_height = 1;
    sheet.bit_count = 16;
    sheet.bytes_per_pixel = 2;
    for (int n = 0; n < 512; ++n) {
        sheet.pixels.push_back(static_cast<uint8_t>(n));
        sheet.pixels.push_back(static_cast<uint8_t>(n >> 8));
    }
    return sheet;
}

TEST(LevelDrawing, NightSubstitutionsAndNpcPictures)
{
    const tile_sheet sheet = numbered_sheet();
    level_data level;
    level.set(1, 1, 72);
    level.set(2, 1, 73);
    level.set(3, 0, 68);
    level.set(3, 1, 135);  // (3, 2) is 68 below 135
    level.set(4, 1, 136);
    level.set(6, 6, 132);
    level.set(8, 8, 72);
    std::vector<uint8_t> block(576, 0);
    put_npc(block, 0, 64, 6, 6);
    put_npc(block, 1, 64, 8, 8);
    picture_rows pictures;
    ASSERT_EQ(make_picture_rows(pictures, sheet, nullptr, true), 0);
    bitmap_image image;
    ASSERT_EQ(make_map_image(image, sheet, pictures, level_size), 0);
    const std::vector<uint8_t>& pixels = image.pixels;
    auto at = [&](int x, int y) { return pixels[2 * (32 * y + x)] | pixels[2 * (32 * y + x) + 1] << 8; };
    for (unsigned hour : {0u, 4u, 5u, 12u, 19u, 20u, 23u}) {
        SCOPED_TRACE(hour);
        const bool night = hour <= 4 || hour >= 20;
        EXPECT_EQ(console_of([&] {
                      draw_settlement_level(image, pictures, level.tiles.data(), block.data(), 0,
                                            settlement_view{hour, false, false});
                  }),
                  "");
        EXPECT_EQ(at(1, 1), night ? 3 : 72);
        EXPECT_EQ(at(2, 1), night ? 3 : 73);
        EXPECT_EQ(at(3, 2), night ? 153 : 68);
        EXPECT_EQ(at(3, 0), 68);
        EXPECT_EQ(at(4, 2), 68);
        EXPECT_EQ(at(6, 6), 352);  // pose change on tile 132
        EXPECT_EQ(at(8, 8), 320);  // decided by the stored tile 72
    }
    draw_settlement_level(image, pictures, level.tiles.data(), block.data(), 0,
                          settlement_view{12, false, true});
    EXPECT_EQ(at(6, 6), 320);
    draw_settlement_level(image, pictures, level.tiles.data(), block.data(), 0,
                          settlement_view{12, true, false});
    EXPECT_EQ(at(6, 6), 132);
    EXPECT_EQ(at(8, 8), 72);

    // Through a mask the tile shows where the NPC picture's mask pixel is set.
    tile_sheet mask;
    mask.pixels.assign(512, 0);
    mask.pixels[352] = 1;
    ASSERT_EQ(make_picture_rows(pictures, sheet, &mask, true), 0);
    draw_settlement_level(image, pictures, level.tiles.data(), block.data(), 0,
                          settlement_view{12, false, false});
    EXPECT_EQ(at(6, 6), 132);
    EXPECT_EQ(at(8, 8), 320);
}

TEST(LevelFiles, Names)
{
    std::string name;
    make_settlement_file_name(name, "Castle_Britannia", "B1F", 12, true);
    EXPECT_EQ(name, "zk.Castle_Britannia.B1F.12.bmp");
    make_settlement_file_name(name, "Yew", "1F", 7, true);
    EXPECT_EQ(name, "zk.Yew.1F.07.bmp");
    make_settlement_file_name(name, "Serpent's_Hold", "2F", 23, true);
    EXPECT_EQ(name, "zk.Serpent's_Hold.2F.23.bmp");
    make_settlement_file_name(name, "Moonglow", "1F", 0, true);
    EXPECT_EQ(name, "zk.Moonglow.1F.00.bmp");
    make_settlement_file_name(name, "Moonglow", "1F", 9, false);
    EXPECT_EQ(name, "zk.Moonglow.1F.bmp");
}

struct settlement_parse {
    int status;
    settlement_settings settings;
    std::string console;
};

settlement_parse parse(std::vector<std::string> words)
{
    const option_table tables[] = {common_options, settlement_options};
    const char* const usage_line[] = {"usage: %s\n"};
    const usage_text usage[] = {usage_line};
    const mapper_program program = {"garvik", true, tables, usage, {}, true};
    std::vector<char*> argv{const_cast<char*>("garvik")};
    for (std::string& word : keep_words(std::move(words))) argv.push_back(word.data());
    settlement_parse result;
    result.console = console_of([&] {
        result.status =
            parse_settlement_command_line(static_cast<int>(argv.size()), argv.data(), program, result.settings);
    });
    return result;
}

TEST(SettlementOptions, HoursGroupsAndFlags)
{
    settlement_parse p = parse({});
    EXPECT_EQ(p.settings.groups, 15u);
    EXPECT_EQ(p.settings.view.hour, 12u);
    p = parse({"-T", "--castle", "-T", "-n", "--no-change-pose", "-h", "0x17"});
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.settings.groups, 9u);
    EXPECT_TRUE(p.settings.view.no_npcs);
    EXPECT_TRUE(p.settings.view.no_pose_change);
    EXPECT_EQ(p.settings.view.hour, 23u);
    EXPECT_EQ(parse({"-h", "010"}).settings.view.hour, 8u);
    EXPECT_EQ(parse({"--hour", "+7", "-h", "0"}).settings.view.hour, 0u);
    EXPECT_EQ(parse({"-D", "-K"}).settings.groups, 6u);
    for (const char* bad : {"", "-1", "-0", "24", "12a", "08", "4294967319", "18446744073709551616"}) {
        p = parse({"-h", bad});
        EXPECT_EQ(p.status, -1);
        EXPECT_EQ(p.console, std::string("error: illegal hour value: ") + bad + "\n");
    }
    EXPECT_EQ(parse({"-C", "-h"}).console, "error: no phase value\n");
}

} // namespace
