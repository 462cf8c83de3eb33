// Sector orders, block access and the raw settlement tracks.
#include <cstring>

#include "apple2/disk_image.hpp"
#include "apple2/prodos.hpp"
#include "settlement/settlement_data.hpp"
#include "support/test_support.hpp"

namespace {

// The --po order's table as listed, position by position.
constexpr size_t po_sector[16] = {0, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 15};
// Hour of each 4-bit schedule code.
constexpr uint8_t hours[16] = {0, 1, 3, 5, 6, 7, 9, 11, 12, 13, 15, 17, 18, 19, 21, 23};

// File offset of position p of track t.
size_t sector_at(int order, size_t track, size_t p)
{
    return 4096 * track + 256 * (order == 1 ? p : po_sector[p]);
}

// Bytes that differ from their neighbours and from the same place in other sectors.
std::vector<uint8_t> pattern_image(size_t size)
{
    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>((i * 2654435761u) >> 11 ^ (i >> 8) * 7);
    return image;
}

prodos_volume volume_over(const std::vector<uint8_t>& image, int order)
{
    prodos_volume volume;
    volume.image = image;
    volume.sector_table = sector_table_of(order);
    return volume;
}

TEST(SectorOrder, TablesAndTheirInverse)
{
    for (size_t p = 0; p < 16; ++p) {
        EXPECT_EQ(sector_table_of(1)[p], p);
        EXPECT_EQ(sector_table_of(2)[p], po_sector[p]);
        EXPECT_EQ(sector_table_of(2)[sector_table_of(2)[p]], p);  // its own inverse
        EXPECT_EQ(sector_table_of(0)[p], po_sector[p]);           // any order but 1
        EXPECT_EQ(sector_table_of(3)[p], po_sector[p]);
    }
}

TEST(ReadBlock, OrderOneReadsWholeBlocksOrderTwoSplitsThem)
{
    const std::vector<uint8_t> image = pattern_image(4 * 4096);
    for (int order : {1, 2}) {
        const prodos_volume volume = volume_over(image, order);
        for (unsigned b = 0; b < 32; ++b) {
            uint8_t block[512];
            ASSERT_EQ(read_block(volume, static_cast<uint16_t>(b), block), 0);
            const size_t first = order == 1 ? 512 * b : sector_at(2, b / 8, 2 * (b % 8));
            const size_t second = order == 1 ? 512 * b + 256 : sector_at(2, b / 8, 2 * (b % 8) + 1);
            EXPECT_EQ(std::memcmp(block, image.data() + first, 256), 0) << order << " " << b;
            EXPECT_EQ(std::memcmp(block + 256, image.data() + second, 256), 0) << order << " " << b;
        }
    }
    // Block 2 under order 2: sectors 11 and 10 of track 0.
    uint8_t block[512];
    ASSERT_EQ(read_block(volume_over(image, 2), 2, block), 0);
    EXPECT_EQ(std::memcmp(block, image.data() + 2816, 256), 0);
    EXPECT_EQ(std::memcmp(block + 256, image.data() + 2560, 256), 0);
}

TEST(ReadBlock, HalfBeyondTheImage)
{
    struct half_case {
        int order;
        size_t image_size;
        uint16_t block;
        int status;
        bool first_copied;
        const char* console;
    };
    const half_case cases[] = {
        {1, 512 * 6, 5, 0, true, ""},                             // ends exactly with the block
        {1, 512 * 5 + 256, 5, -1, true, "illegal block no $0005\n"},  // second half missing
        {1, 512 * 5 + 255, 5, -1, false, "illegal block no $0005\n"},
        {2, 4096 - 256, 7, -1, true, "illegal block no $0007\n"},    // sectors 1 and 15
        {2, 4096, 7, 0, true, ""},
        {2, 4096, 8, -1, false, "illegal block no $0008\n"},
        {1, 4096, 0xABCD, -1, false, "illegal block no $ABCD\n"},
        {2, 4096, 0xFFFF, -1, false, "illegal block no $FFFF\n"},
    };
    for (const half_case& c : cases) {
        const std::vector<uint8_t> image = pattern_image(c.image_size);
        const prodos_volume volume = volume_over(image, c.order);
        std::vector<uint8_t> block(512, 0xEE);
        int status = 0;
        EXPECT_EQ(console_of([&] { status = read_block(volume, c.block, block.data()); }), c.console) << c.block;
        EXPECT_EQ(status, c.status);
        const size_t first = sector_at(c.order, c.block / 8, 2 * (c.block % 8));
        if (c.first_copied) {
            EXPECT_EQ(std::memcmp(block.data(), image.data() + first, 256), 0) << c.block;
        } else {
            EXPECT_EQ(block[0], 0xEE);
        }
        if (c.status < 0) {
            EXPECT_EQ(block[256], 0xEE);  // second half untouched
        }
    }
}

TEST(MapBlock, PointsIntoTheImage)
{
    const std::vector<uint8_t> image = pattern_image(4096 + 512);
    const prodos_volume volume = volume_over(image, 2);
    block_ref ref{0, image.data(), image.data()};
    int status = 1;
    EXPECT_EQ(console_of([&] { status = map_block(volume, ref); }), "");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ref.first, nullptr);
    EXPECT_EQ(ref.second, nullptr);

    ref.block = 3;
    EXPECT_EQ(map_block(volume, ref), 1);
    EXPECT_EQ(ref.first, volume.image.data() + 256 * 9);
    EXPECT_EQ(ref.second, volume.image.data() + 256 * 8);

    // Block 8 is track 1, sectors 0 and 14: only the first lies inside.
    ref.block = 8;
    EXPECT_EQ(console_of([&] { status = map_block(volume, ref); }), "illegal block no $0008\n");
    EXPECT_EQ(status, -1);
    EXPECT_EQ(ref.first, volume.image.data() + 4096);
    EXPECT_EQ(ref.second, nullptr);
}

class RawTracks : public testing::Test {
protected:
    scratch_dir dir;
    std::string write_image(const std::vector<uint8_t>& image, const std::string& name = "disk.dsk")
    {
        write_file(dir / name, image);
        return dir / name;
    }
};

TEST_F(RawTracks, MapDataIsFourQuartersPerLevel)
{
    const std::vector<uint8_t> image = pattern_image(35 * 4096);
    const std::string path = write_image(image);
    for (int order : {1, 2}) {
        std::vector<uint8_t> map(16384, 0xEE);
        int status = -1;
        EXPECT_EQ(console_of([&] { status = read_map_tracks(path.c_str(), map.data(), map.size(), order); }), "");
        ASSERT_EQ(status, 0);
        for (size_t level = 0; level < 16; ++level) {
            for (size_t quarter = 0; quarter < 4; ++quarter) {
                const size_t sector = sector_at(order, 31 + level / 4, 4 * (level % 4) + quarter);
                const size_t left = 16 * (quarter % 2), top = 16 * (quarter / 2);
                for (size_t r = 0; r < 16; ++r)
                    for (size_t c = 0; c < 16; ++c)
                        ASSERT_EQ(map[1024 * level + 32 * (top + r) + left + c], image[sector + 16 * r + c])
                            << order << " level " << level << " quarter " << quarter;
            }
        }
        // Tile (16, 0) of the first level is byte 0 of track 31, position 1.
        EXPECT_EQ(map[16], image[126976 + (order == 1 ? 256 : 14 * 256)]);
    }
}

TEST_F(RawTracks, ShortImagesAndMissingFiles)
{
    // One sector short: the map read needs the last sector of track 34 under both orders.
    const std::string path = write_image(pattern_image(35 * 4096 - 256));
    for (int order : {1, 2}) {
        std::vector<uint8_t> map(16384);
        int status = 0;
        EXPECT_EQ(console_of([&] { status = read_map_tracks(path.c_str(), map.data(), map.size(), order); }),
                  "error: read '" + path + "'\n");
        EXPECT_EQ(status, -1);
        std::vector<uint8_t> npcs(8 * 768);
        EXPECT_EQ(console_of([&] { status = read_npc_track(path.c_str(), npcs.data(), 8, order); }), "");
        EXPECT_EQ(status, 0);
    }
    // Track 30 cut after three sectors: location 1's schedule sector is missing.
    const std::string cut = write_image(pattern_image(30 * 4096 + 3 * 256), "cut.dsk");
    std::vector<uint8_t> npcs(8 * 768);
    int status = 0;
    EXPECT_EQ(console_of([&] { status = read_npc_track(cut.c_str(), npcs.data(), 8, 1); }), "error: read '" + cut + "'\n");
    EXPECT_EQ(status, -1);

    const std::string missing = dir / "missing.dsk";
    for (int order : {1, 2}) {
        EXPECT_EQ(console_of([&] { status = read_map_tracks(missing.c_str(), npcs.data(), 1024, order); }),
                  "error: open '" + missing + "'\n");
        EXPECT_EQ(status, -1);
        EXPECT_EQ(console_of([&] { status = read_npc_track(missing.c_str(), npcs.data(), 1, order); }),
                  "error: open '" + missing + "'\n");
        EXPECT_EQ(status, -1);
    }
}

TEST_F(RawTracks, CountsThatEndInsideALevelStayInTheBuffer)
{
    const std::vector<uint8_t> image = pattern_image(35 * 4096);
    const std::string path = write_image(image);
    std::vector<uint8_t> full(16384);
    ASSERT_EQ(read_map_tracks(path.c_str(), full.data(), full.size(), 2), 0);
    for (size_t count : {1u, 255u, 256u, 300u, 1000u, 1023u, 5000u}) {
        std::vector<uint8_t> map(count + 64, 0xEE);
        ASSERT_EQ(read_map_tracks(path.c_str(), map.data(), count, 2), 0) << count;
        for (size_t i = count; i < map.size(); ++i) ASSERT_EQ(map[i], 0xEE) << count << " " << i;
        // The first rows of the top left quarter come from the first sector.
        for (size_t i = 0; i < 16 && i < count; ++i) EXPECT_EQ(map[i], full[i]);
    }
}

TEST_F(RawTracks, NpcSectorsUnpackIntoBlocks)
{
    std::vector<uint8_t> image(35 * 4096, 0);
    for (int order : {1, 2}) {
        // Location L: kind sector s[j] = L + j, schedule sector as below.
        for (size_t location = 0; location < 9; ++location) {
            uint8_t* kinds = image.data() + sector_at(order, 30 + (2 * location) / 16, (2 * location) % 16);
            uint8_t* schedule = image.data() + sector_at(order, 30 + (2 * location + 1) / 16, (2 * location + 1) % 16);
            for (size_t j = 0; j < 256; ++j) kinds[j] = static_cast<uint8_t>(location * 16 + j);
            for (size_t i = 0; i < 32; ++i) {
                schedule[i] = static_cast<uint8_t>(((i % 16) << 4) | (15 - i % 16));  // every hour code
                schedule[32 + i] = static_cast<uint8_t>((location % 16) << 4 | 15);
                for (size_t e = 0; e < 3; ++e) {
                    schedule[64 + 32 * e + i] = static_cast<uint8_t>(((i + e) % 8) << 5 | ((i * 3 + e) % 32));
                    schedule[160 + 32 * e + i] = static_cast<uint8_t>(((i + 2 * e) % 8) << 5 | ((31 - i + e) % 32));
                }
            }
        }
        const std::string path = write_image(image, "npc" + std::to_string(order) + ".dsk");
        std::vector<uint8_t> npcs(9 * 768, 0xEE);
        ASSERT_EQ(read_npc_track(path.c_str(), npcs.data(), 9, order), 0);
        for (size_t location = 0; location < 9; ++location) {
            const uint8_t* block = npcs.data() + 768 * location;
            auto kind_byte = [&](size_t j) { return static_cast<uint8_t>(location * 16 + j); };
            for (size_t i = 0; i < 32; ++i) {
                EXPECT_EQ(block[512 + i], kind_byte(i));
                for (size_t f = 0; f < 5; ++f) EXPECT_EQ(block[576 + 5 * i + f], kind_byte(32 + 32 * f + i));
                EXPECT_EQ(block[736 + i], kind_byte(192 + i));
                EXPECT_EQ(block[544 + i], kind_byte(224 + i));
                const uint8_t* record = block + 16 * i;
                for (size_t e = 0; e < 3; ++e) {
                    const size_t level = (i + 2 * e) % 8;
                    EXPECT_EQ(record[e], (i + e) % 8) << location << " " << i << " " << e;
                    EXPECT_EQ(record[3 + e], (i * 3 + e) % 32);
                    EXPECT_EQ(record[6 + e], (31 - i + e) % 32);
                    EXPECT_EQ(record[9 + e], level == 7 ? 255 : level);  // 7 is the basement
                }
                EXPECT_EQ(record[12], hours[i % 16]);
                EXPECT_EQ(record[13], hours[15 - i % 16]);
                EXPECT_EQ(record[14], hours[location % 16]);
                EXPECT_EQ(record[15], 23);
            }
        }
        // Hour codes 0 and 15, and a level code of 7, by hand.
        EXPECT_EQ(npcs[12], 0);
        EXPECT_EQ(npcs[13], 23);
        EXPECT_EQ(npcs[16 * 5 + 9 + 1], 255);  // NPC 5, entry 1: (5 + 2) % 8 = 7
    }
}

} // namespace
