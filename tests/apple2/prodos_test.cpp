// The ProDOS reader on volumes built by the tests, sound and damaged.
#include <cstring>
#include <random>
#include <stdexcept>

#include "apple2/hires_tiles.hpp"
#include "apple2/prodos.hpp"
#include "prodos_builder.hpp"
#include "support/test_support.hpp"

namespace {

std::vector<uint8_t> bytes_of(size_t size, unsigned seed)
{
    std::vector<uint8_t> data(size);
    std::mt19937 random(seed);
    for (uint8_t& b : data) b = static_cast<uint8_t>(random() >> 24 | 1);  // never 0: holes stand out
    return data;
}

// Zeros in the file blocks that are stored as holes.
std::vector<uint8_t> with_holes(std::vector<uint8_t> data, const std::set<size_t>& holes)
{
    for (size_t k : holes)
        for (size_t i = 512 * k; i < 512 * (k + 1) && i < data.size(); ++i) data[i] = 0;
    return data;
}

struct file_case {
    std::string path;
    std::vector<uint8_t> data;
    unsigned key;
};

// Volume "V": a two-block volume directory with look-alike names, a deleted entry, every
// storage type with holes, a subdirectory with a subdirectory, and a file in the first
// entry of the second directory block.
struct fixture {
    test_volume volume = new_volume("V", 400);
    std::vector<file_case> files;
    unsigned sub_block = 0;
    unsigned inner_block = 0;

    void add(unsigned dir, int index, unsigned storage, const std::string& name, const std::string& path,
             std::vector<uint8_t> data, const std::set<size_t>& holes = {})
    {
        data = with_holes(std::move(data), holes);
        const unsigned key = put_file_data(volume, storage, data, holes);
        put_entry(volume, dir, index, storage, name, key, static_cast<uint32_t>(data.size()));
        files.push_back({path, std::move(data), key});
    }

    const std::vector<uint8_t>& data_of(const std::string& path) const
    {
        for (const file_case& file : files)
            if (file.path == path) return file.data;
        throw std::invalid_argument(path);
    }

    fixture()
    {
        link_dir_block(volume, 2, 0, 3);
        link_dir_block(volume, 3, 2, 0);
        put_entry(volume, 2, 1, 0, "SHAPES", 0x1234, 16384);  // deleted
        add(2, 2, 1, "shapes", "shapes", bytes_of(100, 1));
        add(2, 3, 1, "SHAPE", "SHAPE", bytes_of(100, 2));
        add(2, 4, 1, "SHAPESX", "SHAPESX", bytes_of(100, 3));
        add(2, 5, 2, "SHAPES", "SHAPES", bytes_of(16384, 4));
        add(2, 6, 1, "SEED", "SEED", bytes_of(300, 5));
        add(2, 7, 2, "SAP", "SAP", bytes_of(5 * 512 - 100, 6), {1});
        // Span 1 of the tree is a hole in the master index, block 3 a hole in an index.
        std::set<size_t> tree_holes = {3};
        for (size_t k = 256; k < 512; ++k) tree_holes.insert(k);
        add(2, 8, 3, "TREE", "TREE", bytes_of(2 * 131072 + 1000, 7), tree_holes);
        sub_block = new_subdirectory(volume, "SUB", 2, 9);
        put_entry(volume, 2, 9, 13, "SUB", sub_block, 512);
        add(sub_block, 1, 1, "FILE", "SUB/FILE", bytes_of(40, 8));
        inner_block = new_subdirectory(volume, "INNER", sub_block, 2);
        put_entry(volume, sub_block, 2, 13, "INNER", inner_block, 512);
        add(inner_block, 12, 2, "DEEPFILE", "/V/SUB/INNER/DEEPFILE", bytes_of(700, 9));
        add(3, 0, 1, "LATE", "LATE", bytes_of(512, 10));
    }
};

class Prodos : public testing::Test {
protected:
    scratch_dir dir;
    prodos_volume volume;
    std::string console;
    int status = 0;

    std::string image_path(const test_volume& v, int order, const std::string& name = "disk.po")
    {
        const std::string path = dir / name;
        write_file(path, disk_image(v, order));
        return path;
    }
    void open(const std::string& path, int order)
    {
        console = console_of([&] { status = open_volume(volume, path.c_str(), order); });
    }
    void open(const test_volume& v, int order = 2) { open(image_path(v, order), order); }
    // Reads `path` into a buffer of `size` bytes followed by a guard, filled with 0xEE.
    std::vector<uint8_t> read(const char* path, size_t size)
    {
        std::vector<uint8_t> buffer(size + 16, 0xEE);
        console = console_of([&] { status = read_file(volume, path, buffer.data(), size); });
        for (size_t i = size; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xEE) << path << " wrote past " << size;
        buffer.resize(size);
        return buffer;
    }
    void TearDown() override { close_volume(volume); }
};

TEST_F(Prodos, ReadsEveryStorageTypeInBothOrders)
{
    const fixture f;
    for (int order : {1, 2}) {
        open(f.volume, order);
        ASSERT_EQ(status, 0) << console;
        EXPECT_EQ(console, "");
        for (const file_case& file : f.files) {
            EXPECT_EQ(read(file.path.c_str(), file.data.size()), file.data) << file.path;
            EXPECT_EQ(status, 0) << file.path;
            EXPECT_EQ(console, "") << file.path;
        }
        // The bit map block is copied; the header decoded.
        for (int i = 0; i < 512; ++i) ASSERT_EQ(volume.bit_map[i], static_cast<uint8_t>(0xA0 ^ i));
        const dir_entry& header = volume.directory->entries[0];
        EXPECT_EQ(header.storage_type, 15);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(header.name), header.name_length), "V");
        ASSERT_NE(header_of(header), nullptr);
        const auto& owner = std::get<volume_header_fields>(header_of(header)->owner);
        EXPECT_EQ(owner.bit_map_pointer, test_bit_map_block);
        EXPECT_EQ(owner.total_blocks, 400);
        EXPECT_EQ(header_of(header)->entry_length, 39);
        EXPECT_EQ(header_of(header)->entries_per_block, 13);
        // The chain of two blocks.
        const dir_block* first = volume.directory.get();
        ASSERT_NE(first->next, nullptr);
        EXPECT_EQ(first->next_block, 3);
        EXPECT_EQ(first->next->previous_block, 2);
        EXPECT_EQ(first->next->next, nullptr);
        EXPECT_EQ(first->next->entries.size(), 13u);
    }
}

TEST_F(Prodos, DecodesEntryFields)
{
    fixture f;
    uint8_t* raw = block_at(f.volume, 2) + 4 + 39 * 6;  // SEED
    raw[16] = 0x66;
    raw[19] = 0x02;
    raw[20] = 0x01;
    // Creation 1986-12-08 14:35 (d0 = month low bits and day, d1 = year and month bit 3).
    raw[24] = (4 << 5) | 8;
    raw[25] = (86 << 1) | 1;
    raw[26] = 35;
    raw[27] = 14;
    raw[28] = 0x05;
    raw[29] = 0x07;
    raw[31] = 0x00;
    raw[32] = 0x20;
    raw[33] = (1 << 5) | 31;  // modified 2003-01-31 23:59
    raw[34] = 3 << 1;
    raw[35] = 59 | 0xC0;      // bits above the minute are not part of it
    raw[36] = 23 | 0xE0;
    raw[37] = 0x02;
    raw[38] = 0x00;
    open(f.volume);
    ASSERT_EQ(status, 0);
    const dir_entry* seed = find_file(volume, "SEED");
    ASSERT_NE(seed, nullptr);
    const file_fields& file = *file_of(*seed);
    EXPECT_EQ(file.file_type, 0x66);
    EXPECT_EQ(file.blocks_used, 0x0102);
    EXPECT_EQ(file.eof, 300u);
    EXPECT_EQ(seed->created.year, 86u);
    EXPECT_EQ(seed->created.month, 12u);
    EXPECT_EQ(seed->created.day, 8u);
    EXPECT_EQ(seed->created.hour, 14u);
    EXPECT_EQ(seed->created.minute, 35u);
    EXPECT_EQ(seed->version, 5);
    EXPECT_EQ(seed->min_version, 7);
    EXPECT_EQ(seed->access, 0xE3);
    EXPECT_EQ(file.aux_type, 0x2000);
    EXPECT_EQ(file.modified.year, 3u);
    EXPECT_EQ(file.modified.month, 1u);
    EXPECT_EQ(file.modified.day, 31u);
    EXPECT_EQ(file.modified.hour, 23u);
    EXPECT_EQ(file.modified.minute, 59u);
    EXPECT_EQ(file.header_pointer, 2);
    // The subdirectory's header names its parent.
    const dir_entry* sub = find_entry(volume.directory.get(), "SUB");
    ASSERT_NE(sub, nullptr);
    ASSERT_NE(subdirectory_of(*sub), nullptr);
    const dir_entry& sub_header = subdirectory_of(*sub)->entries[0];
    EXPECT_EQ(sub_header.storage_type, 14);
    const auto& parent = std::get<subdirectory_header_fields>(header_of(sub_header)->owner);
    EXPECT_EQ(parent.parent_pointer, 2);
    EXPECT_EQ(parent.parent_entry_number, 9);
    EXPECT_EQ(parent.parent_entry_length, 39);
    EXPECT_EQ(header_of(sub_header)->reserved[0], 0x75);
}

TEST_F(Prodos, PathsAndNames)
{
    fixture f;
    put_entry(f.volume, 3, 1, 0, "GONE", 20, 100);  // deleted, nothing else of the name
    open(f.volume);
    ASSERT_EQ(status, 0);
    const dir_entry* shapes = find_file(volume, "SHAPES");
    ASSERT_NE(shapes, nullptr);
    EXPECT_EQ(shapes->storage_type, 2);
    EXPECT_EQ(file_of(*shapes)->eof, 16384u);

    struct path_case {
        const char* path;
        const char* found;  // name of the entry found, or null
        const char* console;
    };
    const path_case cases[] = {
        {"SHAPES", "SHAPES", ""},
        {"/V/SHAPES", "SHAPES", ""},
        {"//V//SHAPES/", "SHAPES", ""},
        {"shapes", "shapes", ""},
        {"SHAPE", "SHAPE", ""},
        {"SHAPESX", "SHAPESX", ""},
        {"LATE", "LATE", ""},
        {"SUB/FILE", "FILE", ""},
        {"/V/SUB/INNER/DEEPFILE", "DEEPFILE", ""},
        {"/W/SHAPES", nullptr, "can't find volume name 'W'\n"},
        {"/VV/SHAPES", nullptr, "can't find volume name 'VV'\n"},
        {"/v/SHAPES", nullptr, "can't find volume name 'v'\n"},
        {"/", nullptr, "file name error '/'\n"},
        {"//", nullptr, "file name error '//'\n"},
        {"", nullptr, "file name error ''\n"},
        {"/V", nullptr, "file name error '/V'\n"},
        {"/V/", nullptr, "file name error '/V/'\n"},
        {"SUB", nullptr, "strage type mismatch 'SUB' $D\n"},
        {"/V/SUB/INNER", nullptr, "strage type mismatch '/V/SUB/INNER' $D\n"},
        {"V/SHAPES", nullptr, ""},
        {"Shapes", nullptr, ""},
        {"GONE", nullptr, ""},
        {"NOPE", nullptr, ""},
        {"SUB/NOPE", nullptr, ""},
        {"SUB/FILE/X", nullptr, ""},
        {"SHAPES/X", nullptr, ""},
        {"SHAPESXY", nullptr, ""},
    };
    for (const path_case& c : cases) {
        const dir_entry* entry = nullptr;
        EXPECT_EQ(console_of([&] { entry = find_file(volume, c.path); }), c.console) << c.path;
        if (!c.found) {
            EXPECT_EQ(entry, nullptr) << c.path;
            continue;
        }
        ASSERT_NE(entry, nullptr) << c.path;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry->name), entry->name_length), c.found);
    }
    EXPECT_EQ(find_file(volume, "/V/SHAPES"), shapes);
    EXPECT_EQ(find_entry(volume.directory.get(), "SUB")->storage_type, 13);
    EXPECT_EQ(find_entry(volume.directory.get(), "V"), nullptr);  // the header is no entry

    read("NOPE", 10);
    EXPECT_EQ(console, "can't find file 'NOPE'\n");
    EXPECT_EQ(status, -1);
    read("SUB", 10);
    EXPECT_EQ(console, "strage type mismatch 'SUB' $D\ncan't find file 'SUB'\n");
    EXPECT_EQ(status, -1);
}

TEST_F(Prodos, SizesHolesAndShortFiles)
{
    fixture f;
    // A seedling that claims more than one block, a sapling beyond one index block, a
    // sapling and a tree without a key block.
    put_entry(f.volume, 3, 2, 1, "BIGSEED", put_file_data(f.volume, 1, bytes_of(512, 11)), 700);
    put_entry(f.volume, 3, 3, 2, "HUGESAP", put_file_data(f.volume, 2, bytes_of(1024, 12)), 131072 + 10);
    put_entry(f.volume, 3, 4, 2, "NOKEY", 0, 1000);
    put_entry(f.volume, 3, 5, 3, "NOMASTER", 0, 1000);
    open(f.volume);
    ASSERT_EQ(status, 0) << console;
    const std::vector<uint8_t>& seed = f.data_of("SEED");  // 300 bytes

    std::vector<uint8_t> got = read("SEED", 400);  // the file is shorter
    EXPECT_EQ(console, "file size mismatch 'SEED' size=$12C != $190\n");
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(std::equal(seed.begin(), seed.end(), got.begin()));
    for (size_t i = 300; i < 400; ++i) ASSERT_EQ(got[i], 0xEE);

    got = read("SEED", 200);  // the file is longer
    EXPECT_EQ(console, "file size mismatch 'SEED' size=$12C != $C8\n");
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), seed.begin()));

    read("BIGSEED", 600);
    EXPECT_EQ(console, "file size mismatch 'BIGSEED' size=$2BC != $258\ncan't get file data 'BIGSEED' (seeding file)\n");
    EXPECT_EQ(status, -1);
    read("BIGSEED", 512);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(console_of([&] { status = read_file(volume, "SEED", nullptr, 0); }),
              "file size mismatch 'SEED' size=$12C != $0\n");  // nothing to write, nowhere
    EXPECT_EQ(status, 0);

    read("HUGESAP", 131072 + 10);
    EXPECT_EQ(console, "can't get file data 'HUGESAP' (sapling file)\n");
    EXPECT_EQ(status, -1);

    got = read("NOKEY", 1000);
    EXPECT_EQ(console, "");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(got, std::vector<uint8_t>(1000, 0));
    read("NOMASTER", 1000);
    EXPECT_EQ(console, "can't get file data 'NOMASTER' (tree file)\n");
    EXPECT_EQ(status, -1);

    // Every length of the tree up to its end, across the holes: exactly that many bytes.
    const std::vector<uint8_t>& tree = f.data_of("TREE");
    for (size_t size : {size_t{1}, size_t{511}, size_t{512}, size_t{1537}, size_t{1600}, size_t{131072},
                        size_t{131073}, size_t{262144}, tree.size() - 1}) {
        got = read("TREE", size);
        EXPECT_EQ(status, 0) << size;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), tree.begin())) << size;
    }
    EXPECT_EQ(std::count(tree.begin() + 1536, tree.begin() + 2048, 0), 512);  // the hole in span 0
}

TEST_F(Prodos, MasterIndexUsesOnly128Entries)
{
    test_volume v = new_volume("M", 64);
    const std::vector<uint8_t> data = bytes_of(3000, 13);
    const unsigned master = put_file_data(v, 3, data);
    for (unsigned i : {128u, 200u, 255u}) {  // block $FFFF, far beyond the image
        block_at(v, master)[i] = 0xFF;
        block_at(v, master)[256 + i] = 0xFF;
    }
    put_entry(v, 2, 1, 3, "WIDE", master, 3000);
    open(v, 1);
    EXPECT_EQ(console, "");
    EXPECT_EQ(read("WIDE", 3000), data);
    EXPECT_EQ(status, 0);
}

TEST_F(Prodos, UnreadableVolumeDirectory)
{
    // Two blocks: block 2 lies beyond the image in both orders.
    const std::string path = dir / "short.po";
    write_file(path, bytes_of(1024, 14));
    for (int order : {1, 2}) {
        open(path, order);
        EXPECT_EQ(console, "illegal block no $0002\ncan't get dir block $0002\ncan't get dir block $0002\n"
                           "can't get catalog '" + path + "'\n");
        EXPECT_EQ(status, -1);
        EXPECT_EQ(volume.directory, nullptr);

        tile_sheet sheet;
        EXPECT_EQ(console_of([&] { status = load_apple_tiles(path.c_str(), order, sheet, shape_type::normal, false); }),
                  "illegal block no $0002\ncan't get dir block $0002\ncan't get dir block $0002\n"
                  "can't get catalog '" + path + "'\nerror: read disk image '" + path + "'\n");
        EXPECT_EQ(status, -1);
        EXPECT_EQ(sheet.pixels.size(), 458752u);  // left for the caller to free
        EXPECT_EQ(sheet.palette.size(), 16u);
    }
    const std::string empty = dir / "empty.po";
    write_file(empty, {});
    open(empty, 2);
    EXPECT_EQ(console, "read error '" + empty + "'\n");
    EXPECT_EQ(status, -1);
    const std::string missing = dir / "missing.po";
    open(missing, 2);
    EXPECT_EQ(console, "open error '" + missing + "'\n");
    EXPECT_EQ(status, -1);
}

TEST_F(Prodos, CyclicVolumeDirectoryFailsTheOpen)
{
    struct chain_case {
        unsigned next_of_2, next_of_3;
        const char* console;
    };
    const chain_case cases[] = {
        {2, 0, "can't get dir block $0002\n"},   // block 2 names itself
        {3, 2, "can't get dir block $0002\n"},   // 2 -> 3 -> 2
        {3, 3, "can't get dir block $0003\n"},   // 2 -> 3 -> 3
    };
    for (const chain_case& c : cases) {
        fixture f;
        link_dir_block(f.volume, 2, 0, c.next_of_2);
        link_dir_block(f.volume, 3, 2, c.next_of_3);
        const std::string path = image_path(f.volume, 2);
        open(path, 2);
        EXPECT_EQ(console, std::string(c.console) + "can't get dir block $0002\ncan't get catalog '" + path + "'\n");
        EXPECT_EQ(status, -1);
    }
}

TEST_F(Prodos, DamagedSubdirectoriesStayAbsent)
{
    fixture f;
    put_entry(f.volume, 3, 1, 13, "BACK", 2, 512);  // leads back to the volume directory
    const unsigned loop = new_subdirectory(f.volume, "LOOP", 3, 2);
    link_dir_block(f.volume, loop, 0, loop);         // a chain that names itself
    put_entry(f.volume, 3, 2, 13, "LOOP", loop, 512);
    put_entry(f.volume, f.sub_block, 3, 13, "SELF", f.sub_block, 512);  // SUB inside SUB
    put_entry(f.volume, 3, 3, 13, "FARDIR", 0x3000, 512);               // beyond the image
    open(f.volume);
    ASSERT_EQ(status, 0);
    char loop_block[8];
    std::snprintf(loop_block, sizeof loop_block, "$%04X", loop);
    char sub_block[8];
    std::snprintf(sub_block, sizeof sub_block, "$%04X", f.sub_block);
    EXPECT_EQ(console, std::string("can't get dir block ") + sub_block + "\ncan't get dir block " + sub_block + "\n" +
                           "can't get dir block $0002\ncan't get dir block $0002\n" +
                           "can't get dir block " + loop_block + "\ncan't get dir block " + loop_block + "\n" +
                           "illegal block no $3000\ncan't get dir block $3000\ncan't get dir block $3000\n");
    for (const char* name : {"BACK", "LOOP", "FARDIR"}) {
        const dir_entry* entry = find_entry(volume.directory.get(), name);
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_EQ(subdirectory_of(*entry), nullptr) << name;
    }
    EXPECT_EQ(find_file(volume, "BACK/SHAPES"), nullptr);
    // SUB itself was read; only its entry SELF is absent.
    const dir_entry* sub = find_entry(volume.directory.get(), "SUB");
    ASSERT_NE(subdirectory_of(*sub), nullptr);
    EXPECT_EQ(subdirectory_of(*find_entry(subdirectory_of(*sub), "SELF")), nullptr);
    for (const file_case& file : f.files) {
        EXPECT_EQ(read(file.path.c_str(), file.data.size()), file.data) << file.path;
        EXPECT_EQ(status, 0);
    }
}

TEST_F(Prodos, DirectoriesNestDeeperThan64AreRefused)
{
    test_volume v = new_volume("DEEP", 160);
    std::vector<unsigned> blocks = {2};
    std::string path;
    for (int depth = 1; depth <= 66; ++depth) {
        const std::string name = "D" + std::to_string(depth);
        const unsigned block = new_subdirectory(v, name, blocks.back(), 1);
        put_entry(v, blocks.back(), 1, 13, name, block, 512);
        put_entry(v, block, 2, 1, "F", put_file_data(v, 1, bytes_of(10, static_cast<unsigned>(depth))), 10);
        blocks.push_back(block);
    }
    open(v, 1);
    ASSERT_EQ(status, 0);
    char refused[64];
    std::snprintf(refused, sizeof refused, "can't get dir block $%04X\ncan't get dir block $%04X\n", blocks[65], blocks[65]);
    EXPECT_EQ(console, refused);
    for (int depth = 1; depth <= 64; ++depth) path += "D" + std::to_string(depth) + "/";
    EXPECT_NE(find_file(volume, (path + "F").c_str()), nullptr);
    EXPECT_EQ(find_file(volume, (path + "D65/F").c_str()), nullptr);
}

TEST_F(Prodos, BlocksBeyondTheImage)
{
    fixture f;
    put_entry(f.volume, 3, 1, 1, "FAR", 0x500, 100);
    put_entry(f.volume, 3, 2, 2, "FARIDX", 0x600, 1000);
    const unsigned index = put_file_data(f.volume, 2, bytes_of(1024, 15));
    set_u16(block_at(f.volume, index) + 1, 0);
    block_at(f.volume, index)[1] = 0x00;
    block_at(f.volume, index)[257] = 0x07;  // data block 1 is $0700
    put_entry(f.volume, 3, 3, 2, "FARDATA", index, 1024);
    put_entry(f.volume, 3, 4, 3, "FARTREE", 0x800, 1000);
    const unsigned master = put_file_data(f.volume, 3, bytes_of(1024, 16));
    block_at(f.volume, master)[1] = 0x00;
    block_at(f.volume, master)[257] = 0x09;  // index block 1 is $0900
    put_entry(f.volume, 3, 5, 3, "FARINDEX", master, 1024);
    open(f.volume);
    EXPECT_EQ(status, 0);
    char expected[512];
    std::snprintf(expected, sizeof expected,
                  "illegal block no $0500\ncan't get data pointer $0500 'FAR'\n"
                  "illegal block no $0600\ncan't get index block $0600\ncan't get index block $0600 'FARIDX'\n"
                  "illegal block no $0700\ncan't get index block $%04X 'FARDATA'\n"
                  "illegal block no $0800\ncan't get index block $0800\ncan't get master index block $0800 'FARTREE'\n"
                  "illegal block no $0900\ncan't get index block $0900\ncan't get master index block $%04X 'FARINDEX'\n",
                  index, master);
    EXPECT_EQ(console, expected);

    const std::pair<const char*, const char*> failing[] = {
        {"FAR", "seeding"}, {"FARIDX", "sapling"}, {"FARDATA", "sapling"}, {"FARTREE", "tree"}};
    for (const auto& [name, kind] : failing) {
        const dir_entry* entry = find_file(volume, name);
        ASSERT_NE(entry, nullptr);
        read(name, file_of(*entry)->eof);
        EXPECT_EQ(console, std::string("can't get file data '") + name + "' (" + kind + " file)\n");
        EXPECT_EQ(status, -1) << name;
    }
    // The readable part of a damaged file still reads; the rest of the volume is intact.
    read("FARDATA", 512);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(read("SHAPES", 16384), f.data_of("SHAPES"));
}

TEST_F(Prodos, IndexBlocksAreBoundedByTheImage)
{
    // 24 blocks; 24 tree entries each naming one master index block whose 128 entries all
    // name one index block: far more index reads than the image has blocks.
    test_volume v = new_volume("X", 24);
    link_dir_block(v, 2, 0, 3);
    const unsigned data = 20, index = 21, master = 22;
    block_at(v, index)[0] = static_cast<uint8_t>(data);
    for (int i = 0; i < 128; ++i) block_at(v, master)[i] = static_cast<uint8_t>(index);
    for (int k = 1; k < 13; ++k) put_entry(v, 2, k, 3, "T" + std::to_string(k), master, 512);
    for (int k = 0; k < 12; ++k) put_entry(v, 3, k, 3, "U" + std::to_string(k), master, 512);
    put_entry(v, 3, 12, 1, "SEED", data, 512);
    open(v, 1);
    EXPECT_EQ(status, 0);
    const std::vector<std::string> lines = lines_of(console);
    ASSERT_EQ(lines.size(), 48u);  // two lines per tree entry
    EXPECT_EQ(lines[0], "can't get index block $0015");
    EXPECT_EQ(lines[1], "can't get master index block $0016 'T1'");
    EXPECT_EQ(lines[2], "can't get index block $0016");
    read("SEED", 512);
    EXPECT_EQ(status, 0);
    read("T1", 512);  // its first index block was read before the image's blocks were used up
    EXPECT_EQ(status, 0);
    read("T2", 512);
    EXPECT_EQ(console, "can't get file data 'T2' (tree file)\n");
    EXPECT_EQ(status, -1);
}

TEST_F(Prodos, ShapesFileProblems)
{
    struct shapes_case {
        unsigned storage;
        const char* name;
        uint32_t eof;
        bool data_beyond;
        const char* console;  // after the image name is filled in
    };
    const shapes_case cases[] = {
        {2, "SHAPES", 16383, false, "error: shape data size 16383\n"},
        {2, "SHAPES", 16385, false, "error: shape data size 16385\n"},
        {1, "SHAPES", 100, false, "error: shape data size 100\n"},
        {2, "SHAPEZ", 16384, false, "error: can't find file '%s/SHAPES'\n"},
        {2, "SHAPES", 16384, true,
         "can't get file data 'SHAPES' (sapling file)\nerror: can't get file '%s/SHAPES'\n"},
    };
    for (const shapes_case& c : cases) {
        test_volume v = new_volume("V", 48);
        const unsigned key = put_file_data(v, c.storage, bytes_of(16384, 17));
        if (c.data_beyond) block_at(v, key)[256 + 31] = 0x40;  // last data block at $40xx
        put_entry(v, 2, 1, c.storage, c.name, key, c.eof);
        const std::string path = image_path(v, 2);
        tile_sheet sheet;
        const std::string out = console_of([&] { status = load_apple_tiles(path.c_str(), 2, sheet, shape_type::normal, false); });
        std::string expected = c.console;
        if (const size_t at = expected.find("%s"); at != std::string::npos) expected.replace(at, 2, path);
        EXPECT_EQ(out.substr(out.find(c.data_beyond ? "can't get file" : "error")), expected) << out;
        EXPECT_EQ(status, -1);
    }
}

TEST_F(Prodos, LoadsTheTilesFromShapes)
{
    // Tile 0 row 0: 0x7F, 0xFF; tile 5 (recoloured) row 1 left 0x01; tile 52 (water) row 0
    // left 0x70 with water 0xD5 and stencil 0x8F.
    std::vector<uint8_t> shapes(16384, 0);
    shapes[0] = 0x7F;
    shapes[4096] = 0xFF;
    shapes[256 + 5] = 0x01;
    shapes[52] = 0x70;
    shapes[3] = 0xD5;
    shapes[208] = 0x8F;
    test_volume v = new_volume("GAME", 48);
    put_entry(v, 2, 7, 2, "SHAPES", put_file_data(v, 2, shapes), 16384);
    // Row y of picture n, left or right half, in the 448-pixel-wide sheet.
    auto half = [](const tile_sheet& sheet, int n, int y, int side) {
        const auto start = sheet.pixels.begin() + ((n / 16) * 32 + y) * 448 + (n % 16) * 28 + 14 * side;
        return std::vector<uint8_t>(start, start + 14);
    };
    const std::vector<uint8_t> lit(14, 1), lone_dot = {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const palette_entry palette[16] = {{0, 0, 0, 0},      {52, 7, 157, 0},    {226, 29, 48, 0},   {231, 59, 178, 0},
                                       {61, 107, 0, 0},   {114, 114, 114, 0}, {237, 130, 37, 0},  {255, 143, 162, 0},
                                       {0, 85, 66, 0},    {0, 99, 191, 0},    {114, 114, 114, 0}, {167, 122, 255, 0},
                                       {0, 170, 50, 0},   {2, 200, 181, 0},   {176, 222, 72, 0},  {229, 229, 229, 0}};
    for (int order : {1, 2}) {
        const std::string path = image_path(v, order);
        tile_sheet sheet;
        sheet.columns = sheet.rows = 16;
        EXPECT_EQ(console_of([&] { status = load_apple_tiles(path.c_str(), order, sheet, shape_type::mirror_room, false); }), "");
        ASSERT_EQ(status, 0);
        EXPECT_EQ(sheet.tile_width, 28);
        EXPECT_EQ(sheet.tile_height, 32);
        EXPECT_EQ(sheet.columns, 0);
        EXPECT_EQ(sheet.rows, 0);
        EXPECT_EQ(sheet.bit_count, 4);
        EXPECT_EQ(sheet.bytes_per_pixel, 1);
        ASSERT_EQ(sheet.pixels.size(), 458752u);
        EXPECT_TRUE(std::equal(sheet.palette.begin(), sheet.palette.end(), palette, palette + 16));
        // Mirror room: the palette bits of tile 0 are toggled, tile 5 (recoloured) ends without.
        std::vector<uint8_t> marker_lit = lit;
        marker_lit[0] = 255;
        EXPECT_EQ(half(sheet, 0, 0, 0), marker_lit);
        EXPECT_EQ(half(sheet, 0, 0, 1), lit);
        EXPECT_EQ(half(sheet, 5, 2, 0), lone_dot);
        // Water remake: (0xD5 & 0x8F) | (0x70 & ~0x8F) = 0xF5, then the palette bit toggled.
        EXPECT_EQ(half(sheet, 52, 0, 0), (std::vector<uint8_t>{1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 1, 1, 1, 1}));

        EXPECT_EQ(load_apple_tiles(path.c_str(), order, sheet, shape_type::normal, true), 0);
        EXPECT_EQ(half(sheet, 0, 0, 0), lit);
        EXPECT_EQ(half(sheet, 0, 0, 1), marker_lit);
        EXPECT_EQ(half(sheet, 52, 0, 0), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1}));
    }
}

TEST_F(Prodos, ReadsAtMostWhatBlockNumbersAddress)
{
    // A volume at the front of a file longer than 65536 blocks.
    fixture f;
    const std::string path = image_path(f.volume, 1, "long.po");
    std::filesystem::resize_file(path, 65536 * 512 + 4096);
    open(path, 1);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(volume.image.size(), 65536u * 512);
    EXPECT_EQ(read("SHAPES", 16384), f.data_of("SHAPES"));
}

TEST_F(Prodos, CloseLeavesRecordsCleared)
{
    const fixture f;
    open(f.volume);
    ASSERT_EQ(status, 0);
    close_volume(volume);
    EXPECT_EQ(volume.directory, nullptr);
    EXPECT_TRUE(volume.image.empty());
    EXPECT_EQ(volume.sector_table, nullptr);
    EXPECT_EQ(std::count(volume.bit_map.begin(), volume.bit_map.end(), 0), 512);
    EXPECT_FALSE(volume.limits.directory_blocks_read.any());
    close_volume(volume);  // twice is harmless

    auto owned = std::make_unique<prodos_volume>();
    EXPECT_EQ(console_of([&] { status = open_volume(*owned, image_path(f.volume, 2).c_str(), 2); }), "");
    EXPECT_EQ(status, 0);
    close_volume(owned);
    EXPECT_EQ(owned, nullptr);

    std::unique_ptr<dir_block> directory = read_directory(volume, 2, 0);  // a closed volume has no image
    EXPECT_EQ(directory, nullptr);
    free_directory(directory);
    EXPECT_EQ(directory, nullptr);
}

// Flipped bytes in the directory and index blocks, and truncated images: the reader must
// answer with a status, never crash, hang or write past a buffer.
TEST_F(Prodos, CorruptionLoop)
{
    fixture f;
    std::vector<unsigned> metadata = {2, 3, f.sub_block, f.inner_block};  // the directories
    for (const file_case& file : f.files) metadata.push_back(file.key);      // and the key blocks
    for (int order : {1, 2}) {
        std::mt19937 random(static_cast<unsigned>(order));
        for (int round = 0; round < 150; ++round) {
            test_volume damaged = f.volume;
            const int flips = 1 + static_cast<int>(random() % 8);
            for (int k = 0; k < flips; ++k) {
                // Mostly the blocks that steer the reader, sometimes anywhere.
                const size_t block = random() % 4 ? metadata[random() % metadata.size()] : random() % 400;
                damaged.blocks[512 * block + random() % 512] = static_cast<uint8_t>(random());
            }
            std::vector<uint8_t> image = disk_image(damaged, order);
            if (round % 5 == 0) image.resize(random() % image.size());
            const std::string path = dir / "damaged.po";
            write_file(path, image);
            console_of([&] {
                if (open_volume(volume, path.c_str(), order) == 0) {
                    for (const file_case& file : f.files) {
                        const dir_entry* entry = find_file(volume, file.path.c_str());
                        const size_t size = entry ? std::min<size_t>(file_of(*entry)->eof, 1 << 20) : 100;
                        std::vector<uint8_t> buffer(size);
                        const int read_status = read_file(volume, file.path.c_str(), buffer.data(), size);
                        EXPECT_TRUE(read_status == 0 || read_status == -1);
                    }
                }
                close_volume(volume);
            });
        }
    }
}

} // namespace
