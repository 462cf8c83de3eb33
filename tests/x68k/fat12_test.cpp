// The FAT12 reader on images that mtools made, intact and damaged.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#include "disk_images.hpp"
#include "x68k/disk_container.hpp"

namespace {

constexpr int expected_clusters[] = {1221, 713, 634};  // (total - first data sector) / sectors per cluster
constexpr int cluster_bytes = 1024;                      // in all three formats

struct read_result {
    int status = 0;
    std::string console;
    std::vector<uint8_t> buffer;
};

// read_file_from_image into a buffer of `size` bytes prefilled with 0xAA.
read_result read_from(const std::string& image, const std::string& name, int size, int header_size)
{
    read_result r;
    r.buffer.assign(static_cast<size_t>(size), 0xAA);
    r.console = console_of(
        [&] {
            disk_image disk;
            r.status = read_file_from_image(disk, image.c_str(), name.c_str(), r.buffer.data(), size, header_size);
        });
    return r;
}

std::vector<uint8_t> bytes_of(const std::string& s) { return {s.begin(), s.end()}; }

TEST(Fat12, GeometryTableMatchesMformatImages)
{
    REQUIRE_MTOOLS();
    scratch_dir dir;
    for (int g = 0; g < 3; ++g) {
        for (int header : {0, 4096}) {
            SCOPED_TRACE(testing::Message() << "geometry " << g << " header " << header);
            const fat_geometry& row = fat_geometries[g];
            const std::string path = make_disk(dir, "blank.img", g, header, {});
            const std::vector<uint8_t> bytes = read_file(path);
            ASSERT_EQ(bytes.size(), row.image_bytes + static_cast<size_t>(header));
            const disk_layout l = layout_of(bytes, header);
            EXPECT_EQ(l.bytes_per_sector, row.bytes_per_sector);
            EXPECT_EQ(l.sectors_per_cluster, row.sectors_per_cluster);
            EXPECT_EQ(l.fat_start, row.fat_start);
            EXPECT_EQ(l.fat_sectors, row.fat_sectors);
            EXPECT_EQ(l.root_start, row.root_start);
            EXPECT_EQ(static_cast<uint32_t>(l.root_entries), row.root_entries);
            EXPECT_EQ(static_cast<uint32_t>(l.root_entries * 32 / l.bytes_per_sector), row.root_sectors);
            EXPECT_EQ(l.first_data_sector, row.first_data_sector);
            EXPECT_EQ(l.total_sectors, row.total_sectors);
            EXPECT_EQ(l.heads, row.heads);
            EXPECT_EQ(l.sectors_per_track, row.sectors_per_track);
            EXPECT_EQ(static_cast<uint32_t>(l.total_sectors / (l.heads * l.sectors_per_track)), row.cylinders);

            fat_image image;
            ASSERT_EQ(open_fat_image(image, path.c_str(), header), 0);
            const int n = expected_clusters[g];
            EXPECT_EQ(image.cluster_count, n);
            EXPECT_EQ(image.image_size, bytes.size());
            EXPECT_EQ(image.cluster_links.size(), static_cast<size_t>((n + 3) / 2 * 2));
            // Addressing at the edges: the last cluster takes the last sectors of the disk.
            EXPECT_EQ(sector_offset(image, 0), header);
            EXPECT_EQ(sector_offset(image, l.total_sectors - 1), header + (l.total_sectors - 1) * l.bytes_per_sector);
            EXPECT_EQ(sector_offset(image, l.total_sectors), -1);
            EXPECT_EQ(sector_offset(image, -1), -1);
            EXPECT_EQ(cluster_to_sector(image, 1), -1);
            EXPECT_EQ(cluster_to_sector(image, 2), l.first_data_sector);
            EXPECT_EQ(cluster_to_sector(image, n + 1), l.total_sectors - l.sectors_per_cluster);
            EXPECT_EQ(cluster_to_sector(image, n + 2), -1);
            EXPECT_EQ(next_cluster(image, 0), fat_entry(bytes, header, 0));  // the media byte entry
            EXPECT_EQ(next_cluster(image, n + 1), 0);
            EXPECT_EQ(next_cluster(image, n + 2), -1);
            EXPECT_EQ(next_cluster(image, -1), -1);
            close_fat_image(image);
            EXPECT_TRUE(image.image_data.empty() && image.cluster_links.empty() && image.cluster_count == 0);
        }
    }
}

TEST(Fat12, ReadsFragmentedAndLastClusterFilesByteExactly)
{
    REQUIRE_MTOOLS();
    scratch_dir dir;
    for (int g = 0; g < 3; ++g) {
        for (int header : {0, 4096}) {
            SCOPED_TRACE(testing::Message() << "geometry " << g << " header " << header);
            std::vector<disk_file> files = {
                {"SMALL.TXT", pattern_bytes(100, 1)},          {"ONE.BIN", pattern_bytes(cluster_bytes, 2)},
                {"TWO.BIN", pattern_bytes(cluster_bytes + 1, 3)}, {"A.DAT", pattern_bytes(3 * cluster_bytes - 5, 4)},
                {"B.DAT", pattern_bytes(2 * cluster_bytes, 5)},  {"C.DAT", pattern_bytes(2 * cluster_bytes, 6)},
            };
            const std::string path = make_disk(dir, "files.img", g, header, files);
            // D fills the hole that B leaves and goes on behind C; FILL takes all that is left.
            ASSERT_TRUE(delete_file(path, header, "B.DAT"));
            files.erase(files.begin() + 4);
            files.push_back({"D.DAT", pattern_bytes(5 * cluster_bytes + 7, 7)});
            ASSERT_TRUE(add_file(dir, path, header, files.back().first, files.back().second));
            std::vector<uint8_t> bytes = read_file(path);
            const int n = expected_clusters[g];
            int free_clusters = 0;
            for (int c = 2; c <= n + 1; ++c) free_clusters += fat_entry(bytes, header, c) == 0;
            files.push_back({"FILL.DAT", pattern_bytes(static_cast<size_t>(free_clusters) * cluster_bytes, 8)});
            ASSERT_TRUE(add_file(dir, path, header, files.back().first, files.back().second));
            bytes = read_file(path);

            const std::vector<int> d = chain_of(bytes, header, first_cluster_of(bytes, header, "D       DAT"));
            ASSERT_EQ(d.size(), 6u);
            EXPECT_NE(d[2], d[1] + 1) << "D.DAT is expected to be fragmented";
            EXPECT_EQ(chain_of(bytes, header, first_cluster_of(bytes, header, "FILL    DAT")).back(), n + 1);

            fat_image image;
            ASSERT_EQ(open_fat_image(image, path.c_str(), header), 0);
            for (const auto& [name, content] : files) {
                std::vector<uint8_t> buffer(content.size());
                int status = -1;
                const std::string console = console_of([&, &name = name] {
                    status = read_image_file(image, name.c_str(), buffer.data(), static_cast<int>(buffer.size()), false);
                });
                EXPECT_EQ(status, 0) << name;
                EXPECT_EQ(console, "") << name;
                EXPECT_TRUE(buffer == content) << name;
            }
            const read_result lower = read_from(path, "d.dat", static_cast<int>(files[5].second.size()), header);
            EXPECT_EQ(lower.status, 0);
            EXPECT_TRUE(lower.buffer == files[5].second);
        }
    }
}

TEST(Fat12, DirectoryNames)
{
    const struct {
        const char* name;
        const char* dir_name;  // nullptr: illegal
    } cases[] = {
        {"TILES.CH", "TILES   CH "}, {"ABCDEFGH.TXT", "ABCDEFGHTXT"}, {"X.Y.Z", "X       Y.Z"},
        {"", "           "},         {"tiles.ch", "tiles   ch "},   {"\xE5" "AB.C", "\x05" "AB     C  "},
        {"A/B", "A/B        "},      {".CH", "        CH "},     {"ABCDEFGH.", "ABCDEFGH   "},
        {"ABCDEFGHI", nullptr},      {"ABCDEFGHI.TXT", nullptr}, {"A.ABCD", nullptr},
        {"ABCDEFGH.TXT.", nullptr},
    };
    for (const auto& c : cases) {
        uint8_t dir_name[12];
        std::memset(dir_name, '?', sizeof dir_name);
        const int status = make_dir_name(c.name, dir_name);
        EXPECT_EQ(status, c.dir_name ? 0 : -1) << c.name;
        if (c.dir_name) {
            EXPECT_EQ(std::string(reinterpret_cast<char*>(dir_name), 12), std::string(c.dir_name, 12)) << c.name;
        }
    }
}

// A 640 KB image with a 4096-byte header: FIVE.DAT (5 clusters), SHORT.DAT (10 bytes), EMPTY.DAT.
struct damage_fixture {
    scratch_dir dir;
    std::string path;
    std::vector<uint8_t> original;
    std::vector<int> five;  // the chain of FIVE.DAT
    long five_entry = 0;
    static constexpr int header = 4096;

    damage_fixture()
    {
        path = make_disk(dir, "damage.img", 2, header,
                         {{"FIVE.DAT", pattern_bytes(5 * cluster_bytes, 9)}, {"SHORT.DAT", bytes_of("0123456789")},
                          {"EMPTY.DAT", {}}});
        original = read_file(path);
        five_entry = dir_entry_offset(original, header, "FIVE    DAT");
        five = chain_of(original, header, first_cluster_of(original, header, "FIVE    DAT"));
    }
    read_result read_damaged(const std::function<void(std::vector<uint8_t>&)>& damage, const std::string& name,
                             int size)
    {
        std::vector<uint8_t> bytes = original;
        damage(bytes);
        write_file(path, bytes);
        return read_from(path, name, size, header);
    }
};

TEST(Fat12, DamagedChainsAndEntriesFailWithTheirLines)
{
    REQUIRE_MTOOLS();
    damage_fixture f;
    ASSERT_EQ(f.five.size(), 5u);
    const int n = expected_clusters[2];
    const std::string file_line = "error: read disk image '" + f.path + "/FIVE.DAT'\n";
    auto link = [&](int index, int value) {
        return [&f, index, value](std::vector<uint8_t>& b) { set_fat_entry(b, f.header, f.five[static_cast<size_t>(index)], value); };
    };
    auto hex = [](int v) { char s[16]; std::snprintf(s, sizeof s, "0x%X", v); return std::string(s); };
    const struct {
        std::function<void(std::vector<uint8_t>&)> damage;
        std::string line;
    } cases[] = {
        {link(2, 0xFFF), "illegal cluster 0xFFF\n"},  // the chain ends two clusters early
        {link(2, 0xFF0), "illegal cluster 0xFF0\n"},
        {link(3, 0xFF7), "illegal cluster 0xFF7\n"},
        {link(0, 0), "illegal cluster 0x0\n"},
        {link(0, 1), "illegal cluster 0x1\n"},
        {link(1, n + 2), "can't get sector from cluster " + hex(n + 2) + "\n"},
        {link(1, 0xFEF), "can't get sector from cluster 0xFEF\n"},
        {link(3, f.five[1]), "illegal cluster " + hex(f.five[1]) + "\n"},  // a cycle
        {link(2, f.five[2]), "illegal cluster " + hex(f.five[2]) + "\n"},  // a cluster linked to itself
        {[&](std::vector<uint8_t>& b) { b[static_cast<size_t>(f.five_entry) + 26] = b[static_cast<size_t>(f.five_entry) + 27] = 0; },
         "illegal cluster 0x0\n"},
        {[&](std::vector<uint8_t>& b) { std::memset(&b[static_cast<size_t>(f.five_entry) + 28], 0xFF, 4); },
         "file size error 'FIVE.DAT' 4294967295 > 5120\n"},
    };
    for (const auto& c : cases) {
        const read_result r = f.read_damaged(c.damage, "FIVE.DAT", 5 * cluster_bytes);
        EXPECT_EQ(r.status, -1) << c.line;
        EXPECT_EQ(r.console, c.line + file_line);
    }
    // The same image intact, then refused for its names and sizes.
    const auto intact = [](std::vector<uint8_t>&) {};
    EXPECT_EQ(f.read_damaged(intact, "FIVE.DAT", 5 * cluster_bytes).status, 0);
    EXPECT_EQ(f.read_damaged(intact, "FIVE.DAT", 5 * cluster_bytes - 1).console,
              "file size error 'FIVE.DAT' 5120 > 5119\n" + file_line);
    for (const std::string name : {"NONE.DAT", "FIVE", "FIVE.DA"})
        EXPECT_EQ(f.read_damaged(intact, name, 16).console,
                  "can't find '" + name + "'\nerror: read disk image '" + f.path + "/" + name + "'\n");
    for (const std::string name : {"ABCDEFGHI.DAT", "FIVE.DATA", "FIVEFIVEF"})
        EXPECT_EQ(f.read_damaged(intact, name, 16).console,
                  "illegal filename '" + name + "'\nerror: read disk image '" + f.path + "/" + name + "'\n");
}

TEST(Fat12, ShortAndEmptyFilesLeaveTheRestOfTheBuffer)
{
    REQUIRE_MTOOLS();
    damage_fixture f;
    const read_result short_file = read_from(f.path, "SHORT.DAT", 64, f.header);
    EXPECT_EQ(short_file.status, 0);
    EXPECT_EQ(short_file.console, "file size mismatch 'SHORT.DAT' 10 != 64 ... ignored\n");
    EXPECT_EQ(std::string(short_file.buffer.begin(), short_file.buffer.begin() + 10), "0123456789");
    EXPECT_EQ(std::count(short_file.buffer.begin(), short_file.buffer.end(), 0xAA), 54);
    const read_result empty = read_from(f.path, "EMPTY.DAT", 64, f.header);
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.console, "file size mismatch 'EMPTY.DAT' 0 != 64 ... ignored\n");
    EXPECT_EQ(std::count(empty.buffer.begin(), empty.buffer.end(), 0xAA), 64);
    EXPECT_EQ(read_from(f.path, "EMPTY.DAT", 0, f.header).console, "");
}

TEST(Fat12, NameMatchingAndTheRootScan)
{
    REQUIRE_MTOOLS();
    damage_fixture f;
    fat_image image;
    auto find = [&](const std::vector<uint8_t>& bytes, const char* name, bool ignore_case) {
        image.image_data = bytes;
        uint8_t dir_name[12];
        EXPECT_EQ(make_dir_name(name, dir_name), 0);
        return find_dir_entry(image, dir_name, ignore_case) != nullptr;
    };
    ASSERT_EQ(open_fat_image(image, f.path.c_str(), f.header), 0);
    EXPECT_TRUE(find(f.original, "short.dat", true));
    EXPECT_TRUE(find(f.original, "Short.Dat", true));
    EXPECT_FALSE(find(f.original, "short.dat", false));
    EXPECT_TRUE(find(f.original, "SHORT.DAT", false));

    std::vector<uint8_t> bytes = f.original;
    const size_t entry = static_cast<size_t>(dir_entry_offset(bytes, f.header, "SHORT   DAT"));
    std::memcpy(&bytes[entry], "X       Y.Z", 11);
    EXPECT_TRUE(find(bytes, "X.Y.Z", false));
    EXPECT_TRUE(find(bytes, "x.y.z", true));
    bytes[entry] = 0xC1;  // only ASCII letters fold: 0xC1 and 0xE1 stay different
    EXPECT_FALSE(find(bytes, "\xE1.Y.Z", true));
    bytes[entry] = 0xE5;  // a deleted entry is never found, even by a name beginning 0xE5
    EXPECT_FALSE(find(bytes, "\xE5.Y.Z", true));
    bytes[entry] = 0x05;  // a real first byte 0xE5 is stored as 0x05
    EXPECT_TRUE(find(bytes, "\xE5.Y.Z", true));

    // Every one of the 112 root entries is examined, past empty ones, and not one more.
    const size_t root = static_cast<size_t>(f.header + 5 * 512);
    for (const size_t index : {111, 112}) {
        bytes = f.original;
        std::memcpy(&bytes[root + 32 * index], &bytes[entry], 32);
        std::memset(&bytes[entry], 0, 32);
        EXPECT_EQ(find(bytes, "SHORT.DAT", true), index == 111) << index;
    }
}

TEST(Fat12, ImagesRefusedAtOpenAndWhatIsNeverRead)
{
    REQUIRE_MTOOLS();
    damage_fixture f;
    const std::string base = f.dir / "other.img";
    auto open_console = [&](const std::vector<uint8_t>* bytes, int header) {
        if (bytes) write_file(base, *bytes);
        return read_from(base, "SHORT.DAT", 10, header);
    };
    const std::string unsupported = "unsupported image '" + base + "'\nerror: '" + base +
                                    "' is not a disk image this program reads (XDF, HDM, FDI, D88, DIM, or a folder of "
                                    "the disk's files)\nerror: read disk image '" + base + "'\n";
    const size_t size = f.original.size();
    for (const size_t length : {size_t{0}, size_t{1}, size - 1, size + 1, size - 4096 + 1}) {
        std::vector<uint8_t> bytes = f.original;
        bytes.resize(length, 0);
        const read_result r = open_console(&bytes, f.header);
        EXPECT_EQ(r.status, -1);
        EXPECT_EQ(r.console, unsupported) << length;
    }
    EXPECT_EQ(open_console(&f.original, 0).console, unsupported);    // an FDI image read as XDF
    EXPECT_EQ(open_console(&f.original, -4096).console, unsupported);
    EXPECT_EQ(open_console(&f.original, 4095).console, unsupported);
    std::filesystem::remove(base);
    EXPECT_EQ(open_console(nullptr, f.header).console,
              "open error '" + base + "'\nerror: read disk image '" + base + "'\n");

    // Header and boot sector are skipped unread: garbage in both changes nothing.
    std::vector<uint8_t> bytes = f.original;
    std::fill_n(bytes.begin(), f.header + 512, 0x5A);
    const read_result r = open_console(&bytes, f.header);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.console, "");
    EXPECT_EQ(std::string(r.buffer.begin(), r.buffer.end()), "0123456789");

    fat_image image;
    image.header_size = 7;
    EXPECT_EQ(console_of([&] { EXPECT_EQ(open_fat_image(image, base.c_str(), 0), -1); }), "unsupported image '" + base + "'\n");
    EXPECT_TRUE(image.header_size == 0 && image.image_data.empty() && image.image_size == 0);
}

// Bytes of the FAT copies and the root directory flipped, many times over: every read ends
// with 0 or -1 and prints only the reader's own lines.
TEST(Fat12, CorruptionLoop)
{
    REQUIRE_MTOOLS();
    scratch_dir dir;
    const std::string path = make_disk(dir, "loop.img", 1, 0,
                                       {{"A.DAT", pattern_bytes(3000, 1)}, {"B.DAT", pattern_bytes(9000, 2)},
                                        {"C.DAT", pattern_bytes(100, 3)}, {"D.DAT", pattern_bytes(40000, 4)}});
    fat_image image;
    ASSERT_EQ(open_fat_image(image, path.c_str(), 0), 0);
    const std::vector<uint8_t> original = image.image_data;
    const size_t first = 512, end = 14 * 512;  // FAT copies and root directory
    const char* const known[] = {"file size mismatch '", "file size error '", "illegal cluster 0x",
                                 "can't get sector from cluster 0x", "can't find '", "illegal filename '"};
    uint32_t state = 12345;
    auto next = [&state](uint32_t range) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % range;
    };
    std::vector<uint8_t> buffer(10000);
    for (int round = 0; round < 3000; ++round) {
        image.image_data = original;
        for (uint32_t k = 1 + next(8); k > 0; --k)
            image.image_data[first + next(static_cast<uint32_t>(end - first))] = static_cast<uint8_t>(next(256));
        ASSERT_EQ(load_fat(image), 0);
        for (const char* name : {"A.DAT", "B.DAT", "C.DAT", "D.DAT"}) {
            int status = 1;
            const std::string console = console_of(
                [&] { status = read_image_file(image, name, buffer.data(), static_cast<int>(buffer.size()), true); });
            ASSERT_TRUE(status == 0 || status == -1);
            for (const std::string& line : lines_of(console))
                EXPECT_TRUE(std::any_of(std::begin(known), std::end(known),
                                        [&](const char* p) { return line.rfind(p, 0) == 0; }))
                    << line;
        }
    }
}

} // namespace
