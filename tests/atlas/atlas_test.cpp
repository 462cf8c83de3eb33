// Map names and pyramid levels of the atlas.
#include <gtest/gtest.h>

#include "atlas/atlas.hpp"

TEST(atlas, map_names)
{
    struct row {
        const char* file;
        int result;
        map_kind kind;
        const char* location;
        const char* level;
        int level_order;
        int hour;
        bool png;
    };
    const row rows[] = {
        {"zk.Britannia.bmp", 0, map_kind::world, "Britannia", "", 0, -1, false},
        {"zk.Underworld.png", 0, map_kind::world, "Underworld", "", 0, -1, true},
        {"zk.Castle_Britannia.B1F.12.bmp", 0, map_kind::settlement, "Castle_Britannia", "B1F", -1, 12, false},
        {"zk.Serpent's_Hold.2F.23.PNG", 0, map_kind::settlement, "Serpent's_Hold", "2F", 1, 23, true},
        {"zk.Yew.4F.00.bmp", 0, map_kind::settlement, "Yew", "4F", 3, 0, false},
        {"zk.Yew.1F.bmp", 0, map_kind::settlement, "Yew", "1F", 0, -1, false},
    };
    for (const row& r : rows) {
        map_name name;
        ASSERT_EQ(parse_map_name(r.file, name), r.result) << r.file;
        EXPECT_EQ(name.kind, r.kind) << r.file;
        EXPECT_EQ(name.location, r.location) << r.file;
        EXPECT_EQ(name.level, r.level) << r.file;
        EXPECT_EQ(name.level_order, r.level_order) << r.file;
        EXPECT_EQ(name.hour, r.hour) << r.file;
        EXPECT_EQ(name.png, r.png) << r.file;
    }
    for (const char* file : {"trace.txt", "zk.Moon.bmp", "zk.Yew.1F.24.bmp", "zk.Yew.1F.7.bmp", "zk.Yew.5F.12.bmp",
                             "zk.Yew.unknown.12.bmp", "zk..1F.12.bmp", "ZK.Yew.1F.12.bmp", "zk.Yew.1F.12.bmp.bak",
                             "zk.Yew.1F.12.x.bmp", "zk.bmp", ".bmp", "zk.Britannia.gif"}) {
        map_name name;
        EXPECT_EQ(parse_map_name(file, name), -1) << file;
    }
}

// The viewer's levels: the top one has 2^top_level >= the longer side, the bottom one is the
// first that fits in one 256-pixel tile.
TEST(atlas, pyramid_levels)
{
    const uint32_t sizes[][4] = {{1, 1, 0, 0},       {256, 256, 8, 8},   {257, 1, 9, 8},     {512, 512, 9, 8},
                                 {896, 1024, 10, 8}, {4096, 4096, 12, 8}, {8192, 8192, 13, 8}, {8193, 3, 14, 8}};
    for (const auto& size : sizes) {
        const pyramid_shape shape = pyramid_shape_of(size[0], size[1]);
        EXPECT_EQ(shape.top_level, static_cast<int>(size[2])) << size[0] << "x" << size[1];
        EXPECT_EQ(shape.bottom_level, static_cast<int>(size[3])) << size[0] << "x" << size[1];
    }
}
