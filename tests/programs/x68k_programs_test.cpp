// End-to-end runs of the X68000 and PC-98 mappers (calvik, dunvik, eskvik, felvik) on the
// sample floppy images.
//
// Expectations come from outside the code under test: the map bytes are read out of the
// images by mtools, the tile pictures come from the Python model of the tile files, and
// coded shape bitmaps (each pixel tells its picture number) show which picture every pixel
// of an output file was drawn from. Damaged images are copies of the sample images edited
// at offsets computed here from the FAT12 layout of the 1232 KB format.
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "bitmap/bytes.hpp"
#include "program_support.hpp"
#include "x68k/disk_images.hpp"

namespace {

// ---------------------------------------------------------------- programs and sample data

struct x68k_program {
    const char* name;      // the build's name constant
    std::string path;
    const char* image;     // the build's default image, a file of the sample data
    int header;            // bytes ahead of sector 0 in that image
    bool world;
};

const x68k_program calvik = {"calvik", ZK_CALVIK, "zk-britannia.xdf", 0, false};
const x68k_program dunvik = {"dunvik", ZK_DUNVIK, "ZK_Britania.fdi", 4096, false};
const x68k_program eskvik = {"eskvik", ZK_ESKVIK, "zk-britannia.xdf", 0, true};
const x68k_program felvik = {"felvik", ZK_FELVIK, "ZK_Britania.fdi", 4096, true};
const x68k_program* const all_programs[] = {&calvik, &dunvik, &eskvik, &felvik};

std::string sample_image(const x68k_program& program) { return sample_pc_dir() + "/../x68k/" + program.image; }

std::string golden(const std::string& name)
{
    std::ifstream in(std::string(ZK_TEST_DATA) + "/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A file of an image, read by mcopy.
std::vector<uint8_t> mcopy_file(const std::string& image, int header, const std::string& name)
{
    const scratch_dir dir;
    const std::string host = dir / "copy";
    EXPECT_TRUE(run_quietly("mcopy -n -i '" + mtools_image(image, header) + "' '::" + name + "' '" + host + "'"))
        << name;
    return read_file(host);
}

std::vector<uint8_t> sample_file(const x68k_program& program, const std::string& name)
{
    static std::map<std::pair<std::string, std::string>, std::vector<uint8_t>> files;
    auto [at, added] = files.try_emplace({program.image, name});
    if (added) at->second = mcopy_file(sample_image(program), program.header, name);
    return at->second;
}

std::vector<std::string> bmp_files_in(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().extension() == ".bmp") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// ---------------------------------------------------------------- settlement names

const char* const locations[4][8] = {
    {"Castle_Britannia", "Blackthorn's_Palace", "West_Britanny", "North_Britanny", "East_Britanny", "Paws", "Cove",
     "Buccaneer's_Den"},
    {"Fogsbane", "Stormcrow", "Grayhaven", "Waveguide", "Iolo's_Hut", "Sutek's_Hut", "Sin'Vraal's_Hut",
     "Grendel's_Hut"},
    {"Ararat", "Bordermarch", "Farthing", "Windemere", "Stonegate", "The_Lycaeum", "Empath_Abbey", "Serpent's_Hold"},
    {"Moonglow", "Britain", "Jhelom", "Yew", "Minoc", "Trinsic", "Skara_Brae", "New_Magincia"},
};

// The sixteen level slots of each group: location index and level name.
struct slot_entry {
    int location;
    const char* level;
};
const slot_entry slots[4][16] = {
    {{0, "B1F"}, {0, "1F"}, {0, "2F"}, {0, "3F"}, {0, "4F"}, {1, "B1F"}, {1, "1F"}, {1, "2F"}, {1, "3F"}, {1, "4F"},
     {2, "1F"}, {3, "1F"}, {4, "1F"}, {5, "1F"}, {6, "1F"}, {7, "1F"}},
    {{0, "1F"}, {0, "2F"}, {0, "3F"}, {1, "1F"}, {1, "2F"}, {1, "3F"}, {2, "1F"}, {2, "2F"}, {2, "3F"}, {3, "1F"},
     {3, "2F"}, {3, "3F"}, {4, "1F"}, {5, "1F"}, {6, "1F"}, {7, "1F"}},
    {{0, "1F"}, {0, "2F"}, {1, "1F"}, {1, "2F"}, {2, "1F"}, {3, "1F"}, {4, "1F"}, {5, "1F"}, {5, "2F"}, {5, "3F"},
     {6, "1F"}, {6, "2F"}, {6, "3F"}, {7, "B1F"}, {7, "1F"}, {7, "2F"}},
    {{0, "1F"}, {0, "2F"}, {1, "1F"}, {1, "2F"}, {2, "1F"}, {2, "2F"}, {3, "B1F"}, {3, "1F"}, {4, "1F"}, {4, "2F"},
     {5, "1F"}, {5, "2F"}, {6, "1F"}, {6, "2F"}, {7, "1F"}, {7, "2F"}},
};
const char* const group_files[4][2] = {
    {"CASTLE.DAT", "CASTLE.NPC"}, {"DWELLING.DAT", "DWELLING.NPC"}, {"KEEP.DAT", "KEEP.NPC"}, {"TOWNE.DAT", "TOWNE.NPC"}};

std::string level_file(int group, int slot, unsigned hour)
{
    char digits[3] = {static_cast<char>('0' + hour / 10), static_cast<char>('0' + hour % 10), 0};
    return std::string("zk.") + locations[group][slots[group][slot].location] + "." + slots[group][slot].level + "." +
           digits + ".bmp";
}

// The files of the groups (bits 1, 2, 4, 8) at the hour, sorted.
std::vector<std::string> level_files(unsigned groups, unsigned hour)
{
    std::vector<std::string> names;
    for (int group = 0; group < 4; ++group)
        if (groups & (1u << group))
            for (int slot = 0; slot < 16; ++slot) names.push_back(level_file(group, slot, hour));
    std::sort(names.begin(), names.end());
    return names;
}

// The location lines of the groups, in drawing order (the whole console of a run with -n).
std::string location_lines(unsigned groups)
{
    std::string lines;
    for (int group = 0; group < 4; ++group)
        if (groups & (1u << group))
            for (int slot = 0; slot < 16; ++slot)
                lines += std::string("[") + locations[group][slots[group][slot].location] + "]\n";
    return lines;
}

// ---------------------------------------------------------------- coded shape and mask bitmaps

// A 24-bit shape bitmap of 2 x 2-pixel tiles whose every pixel tells its picture number and
// its place in the picture: blue = picture mod 256, green = picture / 256 + 16 x px + 64 x py,
// red = 0xA5.
constexpr int coded_side = 2;

bitmap_image coded_shape()
{
    bitmap_image image;
    image.width = 16 * coded_side;
    image.height = 32 * coded_side;
    image.bit_count = 24;
    image.byte_size = image.width * image.height * 3;
    for (uint32_t y = 0; y < image.height; ++y)
        for (uint32_t x = 0; x < image.width; ++x) {
            const uint32_t p = (y / coded_side) * 16 + x / coded_side;
            const uint32_t px = x % coded_side, py = y % coded_side;
            image.pixels.insert(image.pixels.end(),
                                {uint8_t(p & 255), uint8_t(p / 256 + 16 * px + 64 * py), uint8_t(0xA5)});
        }
    return image;
}

// The mask of the coded shape: pixel (px, py) of picture p keeps the map where this is true.
bool coded_mask_bit(unsigned p, int px, int py) { return (p + static_cast<unsigned>(px + 2 * py)) % 3 == 0; }

bitmap_image coded_mask(uint32_t width = 16 * coded_side, uint32_t height = 32 * coded_side)
{
    bitmap_image image;
    image.width = width;
    image.height = height;
    image.bit_count = 1;
    image.byte_size = width * height;
    static const palette_entry black_white[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    image.palette = black_white;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            image.pixels.push_back(coded_mask_bit((y / coded_side) * 16 + x / coded_side, int(x % coded_side),
                                                  int(y % coded_side)));
    return image;
}

// Writes the coded shape and mask bitmaps into `dir`: shape.bmp, mask.bmp.
void write_coded_bitmaps(const scratch_dir& dir)
{
    ASSERT_EQ(save_bitmap_file((dir / "shape.bmp").c_str(), coded_shape(), true), 0);
    ASSERT_EQ(save_bitmap_file((dir / "mask.bmp").c_str(), coded_mask(), true), 0);
}

// The picture that pixel (px, py) of cell (x, y) of a coded output file was drawn from, or
// -1 when the pixel is not a coded pixel of that place.
int coded_picture(const bmp_file& file, int x, int y, int px, int py)
{
    const size_t at = (static_cast<size_t>(y * coded_side + py) * static_cast<size_t>(file.header.width) +
                       static_cast<size_t>(x * coded_side + px)) * 3;
    if (file.pixels.size() < at + 3) return -1;
    const uint8_t blue = file.pixels[at], green = file.pixels[at + 1], red = file.pixels[at + 2];
    if (red != 0xA5 || (green & 0xF0) != 16 * px + 64 * py) return -1;
    return blue + 256 * (green & 15);
}

// ---------------------------------------------------------------- the tile model

// The tile sheet and mask of the Python model (512 x 1024 colour indexes, 0/1 mask).
struct model_sheet {
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> mask;
};

const model_sheet& tile_model(const x68k_program& program, int shape_type, bool no_remake_water, int mirror_rows)
{
    static std::map<std::string, model_sheet> cache;
    const std::string key = std::string(program.image) + std::to_string(shape_type) + std::to_string(no_remake_water) +
                            std::to_string(mirror_rows);
    auto [at, added] = cache.try_emplace(key);
    if (added) {
        const scratch_dir dir;
        const std::string out = dir / "model";
        const std::string command = std::string("/usr/bin/python3 ") + ZK_X68K_MODEL + " '" + sample_image(program) +
                                    "' " + std::to_string(program.header) + " " + std::to_string(shape_type) + " " +
                                    (no_remake_water ? "1" : "0") + " " + std::to_string(mirror_rows) + " '" + out + "'";
        EXPECT_TRUE(run_quietly(command)) << command;
        const std::vector<uint8_t> bytes = read_file(out);
        EXPECT_EQ(bytes.size(), 2 * 524288u + 64);
        if (bytes.size() == 2 * 524288u + 64) {
            at->second.pixels.assign(bytes.begin(), bytes.begin() + 524288);
            at->second.mask.assign(bytes.begin() + 524288 + 64, bytes.end());
        }
    }
    return at->second;
}

// Pixel row r of picture p in the model's sheet layout.
const uint8_t* model_row(const std::vector<uint8_t>& sheet, unsigned p, int r)
{
    return sheet.data() + ((p / 16) * 32 + static_cast<unsigned>(r)) * 512 + (p % 16) * 32;
}

// Number of cells of a `grid`-cell-wide 4-bit map of 32 x 32 tiles that differ from the
// model's picture picture_of(x, y).
template <typename F>
int cells_unlike_model(const bmp_file& file, const model_sheet& model, int grid, F picture_of)
{
    int unlike = 0;
    const size_t width = static_cast<size_t>(grid) * 32;
    if (file.pixels.size() != width * width) return grid * grid;
    for (int y = 0; y < grid; ++y)
        for (int x = 0; x < grid; ++x) {
            const unsigned p = picture_of(x, y);
            for (int r = 0; r < 32; ++r)
                if (!std::equal(model_row(model.pixels, p, r), model_row(model.pixels, p, r) + 32,
                                file.pixels.begin() + static_cast<long>((static_cast<size_t>(y) * 32 + r) * width + x * 32))) {
                    ++unlike;
                    break;
                }
        }
    return unlike;
}

void expect_x68k_format(const bmp_file& file, int32_t side)
{
    EXPECT_EQ(file.status, 0);
    EXPECT_EQ(file.header.width, side);
    EXPECT_EQ(file.header.height, side);
    EXPECT_EQ(file.header.bit_count, 4);
    ASSERT_EQ(file.palette.size(), 16u);
    for (uint8_t i = 0; i < 16; ++i) {
        const palette_entry want = {uint8_t(i & 1 ? 255 : 0), uint8_t(i & 4 ? 255 : 0), uint8_t(i & 2 ? 255 : 0),
                                    uint8_t(i & 8 ? 255 : 0)};
        EXPECT_EQ(file.palette[i], want) << int(i);
    }
}

// ---------------------------------------------------------------- damaged images

// The 1232 KB format: 1024-byte sectors, the first FAT at sector 1, the root directory at
// sector 5 (192 entries of 32 bytes), cluster c at sector 11 + c - 2.
constexpr size_t sector_bytes = 1024;
constexpr size_t fat_start = 1 * sector_bytes;
constexpr size_t root_start = 5 * sector_bytes;
constexpr int root_entries = 192;

struct image_copy {
    const x68k_program& program;
    std::vector<uint8_t> bytes;

    explicit image_copy(const x68k_program& p) : program(p), bytes(read_file(sample_image(p))) {}

    // Offset of the root entry of `name` (8.3, upper case).
    size_t entry(const std::string& name) const
    {
        std::string name11(11, ' ');
        const size_t dot = name.find('.');
        name11.replace(0, dot, name.substr(0, dot));
        name11.replace(8, name.size() - dot - 1, name.substr(dot + 1));
        for (int i = 0; i < root_entries; ++i) {
            const size_t at = static_cast<size_t>(program.header) + root_start + 32 * static_cast<size_t>(i);
            if (std::equal(name11.begin(), name11.end(), bytes.begin() + static_cast<long>(at))) return at;
        }
        ADD_FAILURE() << name << " not in the root directory";
        return 0;
    }
    void remove(const std::string& name) { bytes[entry(name)] = 0xE5; }
    void set_size(const std::string& name, uint32_t size)
    {
        uint8_t* p = bytes.data() + entry(name) + 28;
        put_u32_le(p, size);
    }
    int first_cluster(const std::string& name) { return get_u16_le(bytes.data() + entry(name) + 26); }
    void set_first_cluster(const std::string& name, uint16_t cluster)
    {
        uint8_t* p = bytes.data() + entry(name) + 26;
        put_u16_le(p, cluster);
    }
    size_t fat_byte(int cluster) const
    {
        return static_cast<size_t>(program.header) + fat_start + static_cast<size_t>(cluster) * 3 / 2;
    }
    int link(int cluster) const
    {
        const size_t at = fat_byte(cluster);
        const int pair = bytes[at] | bytes[at + 1] << 8;
        return cluster % 2 ? pair >> 4 : pair & 0xFFF;
    }
    void set_link(int cluster, int value)
    {
        const size_t at = fat_byte(cluster);
        int pair = bytes[at] | bytes[at + 1] << 8;
        pair = cluster % 2 ? (pair & 0x000F) | value << 4 : (pair & 0xF000) | value;
        bytes[at] = static_cast<uint8_t>(pair);
        bytes[at + 1] = static_cast<uint8_t>(pair >> 8);
    }
    // The n-th cluster (from 0) of a file's chain.
    int cluster_of(const std::string& name, int n)
    {
        int c = first_cluster(name);
        for (int i = 0; i < n; ++i) c = link(c);
        return c;
    }
    std::string save(const std::string& path) const
    {
        write_file(path, bytes);
        return path;
    }
};

// ---------------------------------------------------------------- the tests

TEST(X68kPrograms, DefaultsReadTheBuildsImageInTheCurrentDirectory)
{
    REQUIRE_MTOOLS();
    // Settlement mappers: 64 levels at hour 12, with garvik's console on the same data.
    scratch_dir runs[2];
    const x68k_program* settlement[2] = {&calvik, &dunvik};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(settlement[i]->name);
        std::filesystem::copy_file(sample_image(*settlement[i]), runs[i] / settlement[i]->image);
        const program_run run = run_program(settlement[i]->path, {}, runs[i].path.string());
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.output, golden("garvik-hour-12.txt"));
        EXPECT_EQ(bmp_files_in(runs[i].path.string()), level_files(15, 12));
        expect_x68k_format(load_bmp(runs[i] / "zk.Castle_Britannia.B1F.12.bmp"), 1024);
    }
    // The two builds read the same data out of their own image formats.
    for (const std::string& name : level_files(15, 12))
        EXPECT_TRUE(read_file(runs[0] / name) == read_file(runs[1] / name)) << name;

    // World mappers: both maps, cell by cell the model's tiles of the map bytes, no gates or items.
    for (const x68k_program* program : {&eskvik, &felvik}) {
        SCOPED_TRACE(program->name);
        scratch_dir dir;
        std::filesystem::copy_file(sample_image(*program), dir / program->image);
        const program_run run = run_program(program->path, {}, dir.path.string());
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.output, "");
        EXPECT_EQ(bmp_files_in(dir.path.string()), (std::vector<std::string>{"zk.Britannia.bmp", "zk.Underworld.bmp"}));
        const model_sheet& model = tile_model(*program, 0, false, 16);
        for (const char* map : {"BRIT", "UNDER"}) {
            const bmp_file file = load_bmp(dir / (map == std::string("BRIT") ? "zk.Britannia.bmp" : "zk.Underworld.bmp"));
            expect_x68k_format(file, 8192);
            const std::vector<uint8_t> data = sample_file(*program, std::string(map) + ".DAT");
            ASSERT_EQ(data.size(), 65536u);
            EXPECT_EQ(cells_unlike_model(file, model, 256, [&](int x, int y) { return data[size_t(y * 256 + x)]; }), 0)
                << map;
        }
    }
}

TEST(X68kPrograms, ShapeTypesAndWaterReachTheOutput)
{
    REQUIRE_MTOOLS();
    struct type_case {
        std::vector<std::string> arguments;
        int shape_type;
        bool no_remake_water;
    };
    const type_case cases[] = {
        {{}, 0, false},
        {{"--shape-type-dungeon"}, 1, false},
        {{"--shape-type-mirror-room"}, 2, false},
        {{"--no-remake-water"}, 0, true},
        {{"--shape-type-dungeon", "--shape-type-normal"}, 0, false},
        {{"--shape-type-mirror-room", "--no-remake-water", "-M"}, 2, true},
    };
    // Castles by day without NPCs: every cell is the model's picture of the stored tile.
    for (const x68k_program* program : {&calvik, &dunvik}) {
        const std::vector<uint8_t> levels = sample_file(*program, "CASTLE.DAT");
        ASSERT_EQ(levels.size(), 16384u);
        for (const type_case& c : cases) {
            SCOPED_TRACE(std::string(program->name) + " " + testing::PrintToString(c.arguments));
            scratch_dir dir;
            std::vector<std::string> arguments = {"-d", sample_image(*program), "-C", "-n"};
            arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
            const program_run run = run_program(program->path, arguments, dir.path.string());
            EXPECT_EQ(run.status, 0);
            const model_sheet& model = tile_model(*program, c.shape_type, c.no_remake_water, program == &calvik ? 16 : 19);
            for (int slot = 0; slot < 16; ++slot) {
                const bmp_file file = load_bmp(dir / level_file(0, slot, 12));
                EXPECT_EQ(cells_unlike_model(file, model, 32,
                                             [&](int x, int y) { return levels[size_t(1024 * slot + 32 * y + x)]; }),
                          0)
                    << slot;
            }
        }
    }
}

TEST(X68kPrograms, DiskImageOptions)
{
    REQUIRE_MTOOLS();
    scratch_dir data;
    write_coded_bitmaps(data);
    std::filesystem::create_directory(data / "sub");
    std::filesystem::copy_file(sample_image(calvik), data / "sub/copy.xdf");
    const std::string real = sample_image(calvik), missing = data / "missing.xdf";
    const std::string missing_lines =
        "open error '" + missing + "'\nerror: read disk image '" + missing + "'\nerror: read shape '" + missing + "'\n";
    struct disk_case {
        std::vector<std::string> arguments;
        std::string console;  // empty: the towne levels are written
    };
    const disk_case cases[] = {
        {{"-d", missing, "-d", real}, ""},
        {{"--disk", missing, "--britannia-disk", real}, ""},
        {{"--britannia-disk", real, "-d", missing}, missing_lines},
        {{"-d", real, "--disk", missing}, missing_lines},
        {{"-d", "sub/copy.xdf"}, ""},
        // With a shape bitmap the tiles come from the bitmap, the map data still from the image.
        {{"-s", data / "shape.bmp", "-d", missing},
         "open error '" + missing + "'\nerror: read disk image '" + missing + "'\nerror: read map data '" + missing +
             "/TOWNE.DAT'\n"},
    };
    for (const disk_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        std::vector<std::string> arguments = {"-T", "-n"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const program_run run = run_program(calvik.path, arguments, data.path.string());
        const std::vector<std::string> written = bmp_files_in(data.path.string());
        if (c.console.empty()) {
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(run.output, location_lines(8));
            std::vector<std::string> want = level_files(8, 12);
            want.insert(want.end(), {"mask.bmp", "shape.bmp"});
            std::sort(want.begin(), want.end());
            EXPECT_EQ(written, want);
        } else {
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.output, c.console);
            EXPECT_EQ(written, (std::vector<std::string>{"mask.bmp", "shape.bmp"}));
        }
        for (const std::string& name : level_files(8, 12)) std::filesystem::remove(data / name);
    }
}

// Gates of the world maps drawn from the coded shape: which picture each pixel of every cell
// shows, with the overlays whole or through the coded mask.
struct world_expectation {
    std::map<std::pair<int, int>, unsigned> overlays;
    bool through_mask = false;
};

// Number of pixels of a coded world map that differ from the expectation.
int world_pixels_unlike(const bmp_file& file, const std::vector<uint8_t>& data, const world_expectation& want)
{
    if (file.status != 0 || file.header.width != 256 * coded_side || file.header.height != 256 * coded_side)
        return -1;
    int unlike = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const unsigned tile = data[size_t(y * 256 + x)];
            const auto overlay = want.overlays.find({x, y});
            for (int py = 0; py < coded_side; ++py)
                for (int px = 0; px < coded_side; ++px) {
                    unsigned p = tile;
                    if (overlay != want.overlays.end() &&
                        !(want.through_mask && coded_mask_bit(overlay->second, px, py)))
                        p = overlay->second;
                    unlike += coded_picture(file, x, y, px, py) != static_cast<int>(p);
                }
        }
    return unlike;
}

const std::pair<int, int> gates[8] = {{224, 133}, {96, 102}, {38, 224}, {50, 37},
                                      {166, 19},  {104, 194}, {23, 126}, {187, 167}};

std::map<std::pair<int, int>, unsigned> gate_overlays(std::initializer_list<int> phases)
{
    std::map<std::pair<int, int>, unsigned> overlays;
    for (int phase : phases) overlays[gates[phase - 1]] = 220;
    return overlays;
}

const std::map<std::pair<int, int>, unsigned> item_overlays = {
    {{105, 225}, 439}, {{192, 80}, 436}, {{130, 65}, 436}, {{176, 184}, 436}};

TEST(X68kPrograms, GatesPhasesAndItems)
{
    REQUIRE_MTOOLS();
    scratch_dir data;
    write_coded_bitmaps(data);
    const std::string shape = data / "shape.bmp";
    struct gate_case {
        std::vector<std::string> arguments;
        std::initializer_list<int> phases;
        bool items;
    };
    const gate_case cases[] = {
        {{}, {}, false},
        {{"-g"}, {1, 2, 3, 4, 5, 6, 7, 8}, false},
        {{"-p", "2", "-p", "5"}, {2, 5}, false},
        {{"--phase", "0x3", "-i"}, {3}, true},
        {{"-p", "010", "--gates", "-p", "1"}, {1, 2, 3, 4, 5, 6, 7, 8}, false},
        {{"--items"}, {}, true},
        {{"-p", "1", "-p", "1"}, {1}, false},
    };
    for (const x68k_program* program : {&eskvik, &felvik}) {
        const std::vector<uint8_t> brit = sample_file(*program, "BRIT.DAT"), under = sample_file(*program, "UNDER.DAT");
        for (const gate_case& c : cases) {
            SCOPED_TRACE(std::string(program->name) + " " + testing::PrintToString(c.arguments));
            scratch_dir dir;
            std::vector<std::string> arguments = {"-s", shape, "-d", sample_image(*program)};
            arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
            const program_run run = run_program(program->path, arguments, dir.path.string());
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(run.output, "");
            EXPECT_EQ(world_pixels_unlike(load_bmp(dir / "zk.Britannia.bmp"), brit, {gate_overlays(c.phases), false}), 0);
            EXPECT_EQ(world_pixels_unlike(load_bmp(dir / "zk.Underworld.bmp"), under,
                                          {c.items ? item_overlays : decltype(item_overlays){}, false}),
                      0);
        }
    }
}

TEST(X68kPrograms, ShapeAndMaskBitmapsInEveryOrder)
{
    REQUIRE_MTOOLS();
    scratch_dir data;
    write_coded_bitmaps(data);
    const std::string s = data / "shape.bmp", m = data / "mask.bmp";
    struct order_case {
        std::vector<std::string> arguments;
        bool through_mask;
    };
    const order_case cases[] = {
        {{"-s", s}, false},
        {{"-s", s, "-m", m}, true},
        {{"--mask", m, "--shape", s}, true},
        {{"-s", s, "-m", m, "-M"}, false},
        {{"-m", m, "--no-mask", "-s", s}, false},
        {{"-M", "-s", s, "-m", m}, true},
        {{"-M", "-m", m, "-s", s}, true},
        {{"-M", "-s", s}, false},
        // The shape type options do nothing to bitmaps.
        {{"-s", s, "-m", m, "--shape-type-mirror-room", "--no-remake-water"}, true},
        {{"--shape-type-dungeon", "-s", s}, false},
    };
    const std::vector<uint8_t> brit = sample_file(eskvik, "BRIT.DAT"), under = sample_file(eskvik, "UNDER.DAT");
    const std::vector<uint8_t> townes = sample_file(calvik, "TOWNE.DAT");
    for (const order_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        // World maps: the gates and items.
        scratch_dir world;
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"-g", "-i", "-d", sample_image(eskvik)});
        const program_run world_run = run_program(eskvik.path, arguments, world.path.string());
        EXPECT_EQ(world_run.status, 0);
        EXPECT_EQ(world_run.output, "");
        EXPECT_EQ(world_pixels_unlike(load_bmp(world / "zk.Britannia.bmp"), brit,
                                      {gate_overlays({1, 2, 3, 4, 5, 6, 7, 8}), c.through_mask}),
                  0);
        EXPECT_EQ(world_pixels_unlike(load_bmp(world / "zk.Underworld.bmp"), under, {item_overlays, c.through_mask}), 0);

        // Settlement levels by day: an NPC cell shows its picture, and through the mask the
        // stored tile where the mask is set.
        scratch_dir towne;
        arguments = c.arguments;
        arguments.insert(arguments.end(), {"-T", "-d", sample_image(calvik)});
        const program_run towne_run = run_program(calvik.path, arguments, towne.path.string());
        EXPECT_EQ(towne_run.status, 0);
        int npc_cells = 0, wrong = 0;
        for (int slot = 0; slot < 16; ++slot) {
            const bmp_file file = load_bmp(towne / level_file(3, slot, 12));
            ASSERT_EQ(file.status, 0);
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) {
                    const int tile = townes[size_t(1024 * slot + 32 * y + x)];
                    // By day every pixel that is not the stored tile's belongs to the NPC
                    // picture (pose pictures 56, 130 and 131 lie below 256).
                    int npc = -1;
                    for (int i = 0; i < coded_side * coded_side; ++i) {
                        const int p = coded_picture(file, x, y, i % coded_side, i / coded_side);
                        if (p != tile) npc = p;
                    }
                    npc_cells += npc >= 0;
                    for (int i = 0; i < coded_side * coded_side; ++i) {
                        const int px = i % coded_side, py = i / coded_side;
                        int want = tile;
                        if (npc >= 0 && !(c.through_mask && coded_mask_bit(unsigned(npc), px, py))) want = npc;
                        wrong += coded_picture(file, x, y, px, py) != want;
                    }
                }
        }
        EXPECT_GT(npc_cells, 100);
        EXPECT_EQ(wrong, 0);
    }
}

TEST(X68kPrograms, HoursAndGroups)
{
    REQUIRE_MTOOLS();
    struct hour_case {
        std::vector<std::string> arguments;
        unsigned groups;
        unsigned hour;
    };
    const hour_case cases[] = {
        {{"-T", "-h", "0"}, 8, 0},
        {{"-h", "4", "--keep"}, 4, 4},
        {{"-D", "--hour", "0x13"}, 2, 19},
        {{"-h", "023", "-T", "-C"}, 9, 19},
        {{"--towne", "--castle", "-h", "9", "--dwelling", "-K"}, 15, 9},
        {{"-h", "20", "-h", "5", "-C", "-C"}, 1, 5},
        {{"-h", "23"}, 15, 23},
    };
    for (const hour_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        scratch_dir dir;
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"-n", "-M", "-d", sample_image(dunvik)});
        const program_run run = run_program(dunvik.path, arguments, dir.path.string());
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.output, location_lines(c.groups));
        EXPECT_EQ(bmp_files_in(dir.path.string()), level_files(c.groups, c.hour));
    }

    // The night substitutions: at hours 4 and 20 tiles 72 and 73 are drawn as 3, and 68 under
    // 135 as 153; at hours 5 and 19 every cell shows its stored tile.
    scratch_dir data;
    write_coded_bitmaps(data);
    const std::vector<uint8_t> castles = sample_file(calvik, "CASTLE.DAT");
    int substituted = 0;
    for (unsigned hour : {4u, 5u, 19u, 20u}) {
        SCOPED_TRACE(hour);
        scratch_dir dir;
        const program_run run = run_program(
            calvik.path, {"-C", "-n", "-s", data / "shape.bmp", "-h", std::to_string(hour), "-d", sample_image(calvik)},
            dir.path.string());
        EXPECT_EQ(run.status, 0);
        const bool night = hour == 4 || hour == 20;
        int wrong = 0;
        for (int slot = 0; slot < 16; ++slot) {
            const bmp_file file = load_bmp(dir / level_file(0, slot, hour));
            const uint8_t* level = castles.data() + 1024 * slot;
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) {
                    int want = level[32 * y + x];
                    if (night && (want == 72 || want == 73)) want = 3;
                    else if (night && want == 68 && y > 0 && level[32 * (y - 1) + x] == 135) want = 153;
                    substituted += want != level[32 * y + x];
                    for (int i = 0; i < coded_side * coded_side; ++i)
                        wrong += coded_picture(file, x, y, i % coded_side, i / coded_side) != want;
                }
        }
        EXPECT_EQ(wrong, 0);
    }
    EXPECT_GT(substituted, 0);
}

std::vector<std::string> settlement_usage(const char* name, const char* image)
{
    return {std::string("usage: ") + name + " [options]",
            "option:",
            "        -d|--disk|--britannia-disk DISK-IMG",
            "                                specify britannia disk",
            std::string("                                read '") + image + "' if not specified",
            "        -s|--shape SHAPE-BMP    read shape data from specified file",
            "        -m|--mask  MASK-BMP     read mask data from specified file",
            "        -M|--no-mask            not use mask data",
            "        -C|--castle             draw castle maps",
            "        -D|--dwelling           draw dwelling maps",
            "        -K|--keep               draw keep maps",
            "        -T|--towne              draw towne maps",
            "        -n|--no-npcs            draw not NPCs",
            "        -p|--no-change-pose     not change NPCs' shape",
            "        -h|--hour NUM           specify hour (0-23)",
            "           --overwrite          overwrite output files",
            "        -?|--help               print usage",
            "           --png                write PNG files instead of BMP",
            "        -L|--location NAME      draw location NAME (may be repeated)",
            "        -o|--output-dir DIR     write files of default names into DIR",
            "           --skip-existing      keep existing output files, not ask",
            "           --version            print version"};
}

std::vector<std::string> world_usage(const char* name, const char* image)
{
    std::vector<std::string> lines = settlement_usage(name, image);
    const std::vector<std::string> output_lines(lines.end() - 3, lines.end());
    lines.resize(8);
    lines.insert(lines.end(), {"        -b|--brit  BRITANNIA-BMP    write britannia map to specified file",
                               "        -u|--under UNDERWORLD-BMP   write underworld map to specified file",
                               "        -g|--gates              draw all moon gates (default locations)",
                               "        -p|--phase NUM          draw moon gate of specified phase (1-8)",
                               "        -i|--items              draw items in underworld",
                               "           --overwrite          overwrite output files",
                               "        -?|--help               print usage",
                               "           --png                write PNG files instead of BMP"});
    lines.insert(lines.end(), output_lines.begin(), output_lines.end());
    return lines;
}

TEST(X68kPrograms, UsageTextsShowTheNameConstant)
{
    for (const x68k_program* program : all_programs) {
        scratch_dir dir;
        // Started under another name.
        const std::string alias = dir / "other-name";
        std::filesystem::create_symlink(program->path, alias);
        const std::vector<std::string> want =
            program->world ? world_usage(program->name, program->image) : settlement_usage(program->name, program->image);
        const std::vector<std::vector<std::string>> argument_sets = {
            {"-?"}, {"--help"}, {"-d", "x.xdf", "--help", "--unknown"}, {"-M", "-?", "-h"}};
        for (const std::vector<std::string>& arguments : argument_sets) {
            SCOPED_TRACE(std::string(program->name) + " " + testing::PrintToString(arguments));
            for (const std::string& path : {program->path, alias}) {
                const program_run run = run_program(path, arguments, dir.path.string());
                EXPECT_EQ(run.status, 1);
                EXPECT_EQ(lines_of(run.output), want);
                EXPECT_EQ(run.output.back(), '\n');
            }
        }
        EXPECT_TRUE(bmp_files_in(dir.path.string()).empty());
    }
}

// A failing run: its exact console, status 1, and the files it wrote.
struct failure_case {
    const x68k_program* program;
    std::vector<std::string> arguments;
    std::string console;
    std::vector<std::string> written = {};
};

void expect_failures(const std::vector<failure_case>& cases, const scratch_dir& data)
{
    for (const failure_case& c : cases) {
        SCOPED_TRACE(std::string(c.program->name) + " " + testing::PrintToString(c.arguments));
        scratch_dir dir;
        for (const auto& entry : std::filesystem::directory_iterator(data.path))
            std::filesystem::create_symlink(entry.path(), dir.path / entry.path().filename());
        const program_run run = run_program(c.program->path, c.arguments, dir.path.string());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.output, c.console);
        std::vector<std::string> written;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path))
            if (!entry.is_symlink()) written.push_back(entry.path().filename().string());
        std::sort(written.begin(), written.end());
        std::vector<std::string> want = c.written;
        std::sort(want.begin(), want.end());
        EXPECT_EQ(written, want);
    }
}

TEST(X68kPrograms, CommandLineFailures)
{
    scratch_dir data;
    std::vector<failure_case> cases;
    for (const x68k_program* program : all_programs) {
        const x68k_program* p = program;
        const std::vector<failure_case> common = {
            {p, {"--cga", "TILES.4"}, "error: unknown option '--cga'\n"},
            {p, {"--ega", "TILES.16"}, "error: unknown option '--ega'\n"},
            {p, {"-x"}, "error: unknown option '-x'\n"},
            {p, {"-"}, "error: unknown option '-'\n"},
            {p, {"--disk=a.xdf"}, "error: unknown option '--disk=a.xdf'\n"},
            {p, {"-M", "-mmask.bmp"}, "error: unknown option '-mmask.bmp'\n"},
            {p, {"-d"}, "error: no disk image name\n"},
            {p, {"--britannia-disk"}, "error: no disk image name\n"},
            {p, {"-s"}, "error: no bitmap name\n"},
            {p, {"-m"}, "error: no bitmap name\n"},
            {p, {"-M", "--mask"}, "error: no bitmap name\n"},
            {p, {"image.xdf"}, "error: illegal parameter 'image.xdf'\n"},
            {p, {"-d", "a", "b"}, "error: illegal parameter 'b'\n"},
            // An option argument is taken whatever it looks like: "-T" is a disk name here.
            {p, {"-d", "-T", "extra"}, "error: illegal parameter 'extra'\n"},
        };
        cases.insert(cases.end(), common.begin(), common.end());
        if (!program->world) {
            const std::vector<failure_case> settlement = {
                {p, {"-CT"}, "error: unknown option '-CT'\n"},
                {p, {"-g"}, "error: unknown option '-g'\n"},
                {p, {"-h"}, "error: no phase value\n"},
                {p, {"-T", "--hour"}, "error: no phase value\n"},
                {p, {"-h", "24"}, "error: illegal hour value: 24\n"},
                {p, {"-h", "12a"}, "error: illegal hour value: 12a\n"},
                {p, {"-h", "-1"}, "error: illegal hour value: -1\n"},
                {p, {"-h", ""}, "error: illegal hour value: \n"},
                {p, {"-h", "0x18"}, "error: illegal hour value: 0x18\n"},
                {p, {"-h", "08"}, "error: illegal hour value: 08\n"},
            };
            cases.insert(cases.end(), settlement.begin(), settlement.end());
        } else {
            const std::vector<failure_case> world = {
                {p, {"-T"}, "error: unknown option '-T'\n"},
                {p, {"-p"}, "error: no phase value\n"},
                {p, {"-b"}, "error: no output name\n"},
                {p, {"-g", "--under"}, "error: no output name\n"},
                {p, {"-p", "0"}, "error: illegal phase value: 0\n"},
                {p, {"-p", "9"}, "error: illegal phase value: 9\n"},
                {p, {"-p", "3x"}, "error: illegal phase value: 3x\n"},
                {p, {"-p", "1", "--phase", "-2"}, "error: illegal phase value: -2\n"},
            };
            cases.insert(cases.end(), world.begin(), world.end());
        }
    }
    expect_failures(cases, data);
}

TEST(X68kPrograms, BitmapFailures)
{
    scratch_dir data;
    write_coded_bitmaps(data);
    ASSERT_EQ(save_bitmap_file((data / "wide-mask.bmp").c_str(), coded_mask(34, 64), true), 0);
    ASSERT_EQ(save_bitmap_file((data / "tall-mask.bmp").c_str(), coded_mask(32, 66), true), 0);
    ASSERT_EQ(save_bitmap_file((data / "big-tile-mask.bmp").c_str(), coded_mask(48, 96), true), 0);
    ASSERT_EQ(save_bitmap_file((data / "narrow-shape.bmp").c_str(), coded_mask(15, 64), true), 0);
    write_file(data / "broken.bmp", {'B', 'M', 0, 0});

    std::vector<failure_case> cases;
    for (const x68k_program* p : all_programs) {
        const std::vector<failure_case> each = {
            // -m without -s: no shape bitmap name, nothing opened, no tiles read from the image.
            {p, {"-m", "mask.bmp"}, "error: open ''\nerror: read shape bitmap ''\n"},
            {p, {"-d", "missing.xdf", "--mask", "mask.bmp", "-M"}, "error: open ''\nerror: read shape bitmap ''\n"},
            {p, {"-s", "none.bmp"}, "error: open 'none.bmp'\nerror: read shape bitmap 'none.bmp'\n"},
            {p, {"-m", "mask.bmp", "-s", "none.bmp"}, "error: open 'none.bmp'\nerror: read shape bitmap 'none.bmp'\n"},
            {p, {"-s", "shape.bmp", "-m", "none.bmp"}, "error: open 'none.bmp'\nerror: read mask bitmap 'none.bmp'\n"},
            {p, {"-s", "broken.bmp"},
             "error: read_bitmap() - can't read bitmap header\nerror: read 'broken.bmp'\n"
             "error: read shape bitmap 'broken.bmp'\n"},
            {p, {"-s", "narrow-shape.bmp"}, "error: shape bitmap is too small\nerror: read shape bitmap 'narrow-shape.bmp'\n"},
            {p, {"-s", "shape.bmp", "-m", "broken.bmp"},
             "error: read_bitmap() - can't read bitmap header\nerror: read 'broken.bmp'\n"
             "error: read mask bitmap 'broken.bmp'\n"},
            // A mask must be 16 x 32 tiles of the shape bitmap's tile size.
            {p, {"-s", "shape.bmp", "-m", "wide-mask.bmp"},
             "error: illegal mask bitmap size\nerror: read mask bitmap 'wide-mask.bmp'\n"},
            {p, {"-m", "tall-mask.bmp", "-s", "shape.bmp"},
             "error: illegal mask bitmap size\nerror: read mask bitmap 'tall-mask.bmp'\n"},
            {p, {"-s", "shape.bmp", "-m", "big-tile-mask.bmp"},
             "error: illegal mask bitmap size\nerror: read mask bitmap 'big-tile-mask.bmp'\n"},
        };
        cases.insert(cases.end(), each.begin(), each.end());
    }
    expect_failures(cases, data);
}

// The lines of an image that no form fits, up to the reader's caller's line.
std::string unsupported(const std::string& image)
{
    return "unsupported image '" + image + "'\nerror: '" + image +
           "' is not a disk image this program reads (XDF, HDM, FDI, D88, DIM, or a folder of the disk's files)\n"
           "error: read disk image '" + image + "'\n";
}

TEST(X68kPrograms, DamagedImages)
{
    REQUIRE_MTOOLS();
    scratch_dir data;
    write_coded_bitmaps(data);
    std::vector<failure_case> cases;
    for (const x68k_program* settlement : {&calvik, &dunvik}) {
        const x68k_program* world = settlement == &calvik ? &eskvik : &felvik;
        const x68k_program& p = *settlement;
        const std::string tag = std::string(p.name) + "-";
        auto damaged = [&](const std::string& name, auto edit) {
            image_copy copy(p);
            edit(copy);
            return copy.save(data / (tag + name));
        };
        const std::string gone = damaged("no-keep-dat", [](image_copy& c) { c.remove("KEEP.DAT"); });
        const std::string gone_npc = damaged("no-keep-npc", [](image_copy& c) { c.remove("KEEP.NPC"); });
        const std::string large = damaged("large", [](image_copy& c) { c.set_size("KEEP.DAT", 16385); });
        const std::string huge = damaged("huge", [](image_copy& c) { c.set_size("KEEP.DAT", 0xFFFFFFFFu); });
        const std::string negative = damaged("negative", [](image_copy& c) { c.set_size("TOWNE.NPC", 0x80000000u); });
        const std::string cut = damaged("cut", [](image_copy& c) { c.set_link(c.cluster_of("KEEP.NPC", 1), 0xFFF); });
        const std::string free_link =
            damaged("free-link", [](image_copy& c) { c.set_link(c.cluster_of("KEEP.NPC", 2), 0); });
        const std::string outside =
            damaged("outside", [](image_copy& c) { c.set_link(c.cluster_of("KEEP.NPC", 0), 0xFEF); });
        const std::string no_start = damaged("no-start", [](image_copy& c) { c.set_first_cluster("KEEP.DAT", 0); });
        const std::string no_tiles = damaged("no-tiles", [](image_copy& c) { c.remove("TILES.CH"); });
        const std::string npc_cut = damaged("npc-cut", [](image_copy& c) { c.set_link(c.cluster_of("NPC.CH", 40), 0xFF7); });
        const std::string big_tiles = damaged("big-tiles", [](image_copy& c) { c.set_size("TILES.CH", 98305); });
        const std::string no_npc_ch = damaged("no-npc-ch", [](image_copy& c) { c.remove("NPC.CH"); });
        const std::string no_brit = damaged("no-brit", [](image_copy& c) { c.remove("BRIT.DAT"); });
        const std::string large_under = damaged("large-under", [](image_copy& c) { c.set_size("UNDER.DAT", 65537); });
        std::vector<uint8_t> shorter = read_file(sample_image(p));
        shorter.pop_back();
        write_file(data / (tag + "shorter"), shorter);
        const std::string shorter_image = data / (tag + "shorter");
        const std::string missing = data / (tag + "missing");
        std::vector<uint8_t> d88 = read_file(sample_pc_dir() + "/../x68k-formats/zk-britannia.d88");
        const size_t track10 = get_u32_le(d88.data() + 0x20 + 4 * 10);  // the track table entry
        d88[track10 + 4] = 7;                                                  // sectors in the track
        const std::string d88_short = data / (tag + "short.d88");
        write_file(d88_short, d88);
        const int lost_sector = d88[track10 + 7 * (16 + 1024) + 2];  // R of the eighth sector stored
        const std::string d88_missing = "error: track 10 sector " + std::to_string(lost_sector) + " missing in '" +
                                        d88_short + "'\nerror: read disk image '" + d88_short + "'\n";

        // The castles and dwellings are written before the keep's files are read.
        const std::string before_keep = location_lines(3);
        const std::vector<std::string> castles_and_dwellings = level_files(3, 12);
        auto keep_failure = [&](const std::string& image, const std::string& reader_line, const char* file,
                                const char* what) {
            return failure_case{settlement, {"-n", "-d", image}, before_keep + reader_line + "error: read disk image '" +
                                    image + "/" + file + "'\nerror: read " + what + " data '" + image + "/" + file + "'\n",
                                castles_and_dwellings};
        };
        const std::vector<failure_case> each = {
            keep_failure(gone, "can't find 'KEEP.DAT'\n", "KEEP.DAT", "map"),
            keep_failure(gone_npc, "can't find 'KEEP.NPC'\n", "KEEP.NPC", "npc"),
            keep_failure(large, "file size error 'KEEP.DAT' 16385 > 16384\n", "KEEP.DAT", "map"),
            keep_failure(huge, "file size error 'KEEP.DAT' 4294967295 > 16384\n", "KEEP.DAT", "map"),
            keep_failure(cut, "illegal cluster 0xFFF\n", "KEEP.NPC", "npc"),
            keep_failure(free_link, "illegal cluster 0x0\n", "KEEP.NPC", "npc"),
            keep_failure(outside, "can't get sector from cluster 0xFEF\n", "KEEP.NPC", "npc"),
            keep_failure(no_start, "illegal cluster 0x0\n", "KEEP.DAT", "map"),
            {settlement, {"-n", "-T", "-d", negative},
             "file size error 'TOWNE.NPC' 2147483648 > 4608\nerror: read disk image '" + negative +
                 "/TOWNE.NPC'\nerror: read npc data '" + negative + "/TOWNE.NPC'\n"},
            {settlement, {"-d", no_tiles},
             "can't find 'TILES.CH'\nerror: read disk image '" + no_tiles + "/TILES.CH'\nerror: read shape '" + no_tiles +
                 "'\n"},
            {settlement, {"-M", "-d", npc_cut},
             "illegal cluster 0xFF7\nerror: read disk image '" + npc_cut + "/NPC.CH'\nerror: read shape '" + npc_cut +
                 "'\n"},
            {settlement, {"-d", shorter_image}, unsupported(shorter_image) + "error: read shape '" + shorter_image + "'\n"},
            {settlement, {"-d", missing},
             "open error '" + missing + "'\nerror: read disk image '" + missing + "'\nerror: read shape '" + missing + "'\n"},
            {settlement, {"-s", "shape.bmp", "-K", "-d", missing},
             "open error '" + missing + "'\nerror: read disk image '" + missing + "'\nerror: read map data '" + missing +
                 "/KEEP.DAT'\n"},
            // The other build's image format is read (see EveryDiskFormGivesTheImagesMaps); a
            // D88 whose track 10 lists one sector fewer than it holds is not.
            {settlement, {"-d", d88_short}, d88_missing + "error: read shape '" + d88_short + "'\n"},
            {world, {"-s", "shape.bmp", "-d", d88_short},
             d88_missing + "error: read map data '" + d88_short + "/BRIT.DAT'\n"},
            {world, {"-d", shorter_image}, unsupported(shorter_image) + "error: read shape '" + shorter_image + "'\n"},
            // Output files that cannot be made; a name that looks like a format.
            {world, {"-s", "shape.bmp", "-d", sample_image(p), "-b", "nodir/b.bmp"},
             "error: open 'nodir/b.bmp'\nerror: write bitmap file 'nodir/b.bmp'\n"},
            {world, {"-s", "shape.bmp", "-d", sample_image(p), "--under", "nodir/%s%n.bmp"},
             "error: open 'nodir/%s%n.bmp'\nerror: write bitmap file 'nodir/%s%n.bmp'\n", {"zk.Britannia.bmp"}},
            {settlement, {"-d", "%s%n%x.img"},
             "open error '%s%n%x.img'\nerror: read disk image '%s%n%x.img'\nerror: read shape '%s%n%x.img'\n"},
            {settlement, {"-d", big_tiles},
             "file size error 'TILES.CH' 98305 > 98304\nerror: read disk image '" + big_tiles +
                 "/TILES.CH'\nerror: read shape '" + big_tiles + "'\n"},
            {world, {"-g", "-d", no_npc_ch},
             "can't find 'NPC.CH'\nerror: read disk image '" + no_npc_ch + "/NPC.CH'\nerror: read shape '" + no_npc_ch +
                 "'\n"},
            {world, {"-d", no_tiles},
             "can't find 'TILES.CH'\nerror: read disk image '" + no_tiles + "/TILES.CH'\nerror: read shape '" + no_tiles +
                 "'\n"},
            {world, {"-s", "shape.bmp", "-d", no_brit},
             "can't find 'BRIT.DAT'\nerror: read disk image '" + no_brit + "/BRIT.DAT'\nerror: read map data '" + no_brit +
                 "/BRIT.DAT'\n"},
            {world, {"-s", "shape.bmp", "-m", "mask.bmp", "-d", large_under},
             "file size error 'UNDER.DAT' 65537 > 65536\nerror: read disk image '" + large_under +
                 "/UNDER.DAT'\nerror: read map data '" + large_under + "/UNDER.DAT'\n",
             {"zk.Britannia.bmp"}},
        };
        cases.insert(cases.end(), each.begin(), each.end());
    }
    expect_failures(cases, data);

    // An image that cannot be sized: standard input from a pipe.
    for (const x68k_program* program : all_programs) {
        SCOPED_TRACE(program->name);
        scratch_dir dir;
        program_io io;
        io.input = std::string(4096, 'x');
        io.input_pipe = true;
        const std::string seek = "seek error '/dev/stdin' (SEEK_END)\nerror: read disk image '/dev/stdin'\n";
        program_run run = run_program(program->path, {"-d", "/dev/stdin"}, dir.path.string(), io);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.output, seek + "error: read shape '/dev/stdin'\n");
        run = run_program(program->path, {"-d", "/dev/stdin", "-s", data / "shape.bmp"}, dir.path.string(), io);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.output, seek + "error: read map data '/dev/stdin/" + (program->world ? "BRIT.DAT" : "CASTLE.DAT") + "'\n");
        EXPECT_TRUE(bmp_files_in(dir.path.string()).empty());
    }
}

TEST(X68kPrograms, ImagesThatStillRead)
{
    REQUIRE_MTOOLS();
    for (const x68k_program* program : {&calvik, &dunvik}) {
        SCOPED_TRACE(program->name);
        scratch_dir reference, dir;
        ASSERT_EQ(run_program(program->path, {"-T", "-d", sample_image(*program)}, reference.path.string()).status, 0);

        // Nothing of the header, the boot sector or the second FAT is read; names are matched
        // in any case; a deleted entry of the same name ahead of the real one is passed over.
        image_copy copy(*program);
        std::fill(copy.bytes.begin(), copy.bytes.begin() + program->header, uint8_t(0x5A));
        std::fill_n(copy.bytes.begin() + program->header, sector_bytes, uint8_t(0));
        std::fill_n(copy.bytes.begin() + static_cast<long>(copy.fat_byte(0) + 2 * sector_bytes), 2 * sector_bytes,
                    uint8_t(0xFF));
        const size_t towne = copy.entry("TOWNE.DAT");
        std::transform(copy.bytes.begin() + static_cast<long>(towne), copy.bytes.begin() + static_cast<long>(towne) + 11,
                       copy.bytes.begin() + static_cast<long>(towne), [](uint8_t c) { return uint8_t(std::tolower(c)); });
        const size_t npcs = copy.entry("TOWNE.NPC");
        const size_t tiles = copy.entry("TILES.CH");
        // The first entry (TILES.CH) becomes a deleted TOWNE.NPC of another size; TILES.CH
        // moves to a free entry at the end of the root directory.
        const size_t last = static_cast<size_t>(program->header) + root_start + 32 * (root_entries - 1);
        std::copy_n(copy.bytes.begin() + static_cast<long>(tiles), 32, copy.bytes.begin() + static_cast<long>(last));
        std::copy_n(copy.bytes.begin() + static_cast<long>(npcs), 32, copy.bytes.begin() + static_cast<long>(tiles));
        copy.bytes[tiles] = 0xE5;
        uint8_t* size = copy.bytes.data() + tiles + 28;
        put_u32_le(size, 1);
        const std::string image = copy.save(dir / "variant.img");
        const program_run run = run_program(program->path, {"-T", "-d", image}, dir.path.string());
        EXPECT_EQ(run.status, 0);
        const std::string console = golden("garvik-hour-12.txt");
        EXPECT_EQ(run.output, console.substr(console.find("[Moonglow]")));
        for (const std::string& name : level_files(8, 12))
            EXPECT_TRUE(read_file(dir / name) == read_file(reference / name)) << name;
    }
}

// Every program reads every form of the sample disk (the generator's D88 and DIM are checked
// against floptool in tests/tools) into the same console and files as its own image. The
// world maps are drawn with the small coded shape bitmap; the settlement runs (townes and
// keeps) read the tiles.
TEST(X68kPrograms, EveryDiskFormGivesTheImagesMaps)
{
    scratch_dir data;
    write_coded_bitmaps(data);
    const char* const forms[] = {"x68k/zk-britannia.xdf",        "x68k/ZK_Britania.fdi",
                                 "x68k-formats/ZK_Britania.hdm", "x68k-formats/zk-britannia.d88",
                                 "x68k-formats/zk-britannia.dim", "x68k-formats/folder"};
    for (const x68k_program* program : all_programs) {
        scratch_dir reference;
        std::vector<std::string> arguments = {"-d", sample_image(*program)};
        arguments.insert(arguments.end(), {program->world ? "-s" : "-T", program->world ? data / "shape.bmp" : "-K"});
        const program_run want = run_program(program->path, arguments, reference.path.string());
        ASSERT_EQ(want.status, 0);
        const std::vector<std::string> files = bmp_files_in(reference.path.string());
        for (const char* form : forms) {
            SCOPED_TRACE(std::string(program->name) + " " + form);
            scratch_dir dir;
            arguments[1] = sample_pc_dir() + "/../" + form;
            const program_run run = run_program(program->path, arguments, dir.path.string());
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(run.output, want.output);
            EXPECT_EQ(bmp_files_in(dir.path.string()), files);
            for (const std::string& name : files) EXPECT_TRUE(read_file(dir / name) == read_file(reference / name)) << name;
        }
    }
}

TEST(X68kPrograms, ShortFilesReadAsZeroTails)
{
    REQUIRE_MTOOLS();
    scratch_dir data;
    write_coded_bitmaps(data);
    for (const x68k_program* program : {&calvik, &dunvik}) {
        SCOPED_TRACE(program->name);
        image_copy copy(*program);
        copy.set_size("TOWNE.DAT", 16000);
        copy.set_size("TOWNE.NPC", 4100);
        copy.set_size("TILES.CH", 98304 - 1000);
        const std::string image = copy.save(data / "short.img");

        // The keeps are read first, so a buffer that kept their data would show it.
        scratch_dir dir;
        const program_run run =
            run_program(program->path, {"-T", "-K", "-s", data / "shape.bmp", "-d", image}, dir.path.string());
        EXPECT_EQ(run.status, 0);
        const std::vector<std::string> lines = lines_of(run.output);
        const auto towne_start = std::find(lines.begin(), lines.end(), "[Moonglow]");
        ASSERT_NE(towne_start, lines.end());
        ASSERT_GE(towne_start - lines.begin(), 2);
        EXPECT_EQ(towne_start[-2], "file size mismatch 'TOWNE.DAT' 16000 != 16384 ... ignored");
        EXPECT_EQ(towne_start[-1], "file size mismatch 'TOWNE.NPC' 4100 != 4608 ... ignored");
        // New_Magincia's NPC block lies past the end: no NPC of its own is placed or reported.
        const auto magincia = std::find(lines.begin(), lines.end(), "[New_Magincia]");
        ASSERT_NE(magincia, lines.end());
        EXPECT_EQ(std::vector<std::string>(magincia, lines.end()),
                  (std::vector<std::string>{"[New_Magincia]", "[New_Magincia]"}));

        const std::vector<uint8_t> townes = sample_file(*program, "TOWNE.DAT");
        const std::vector<uint8_t> keeps = sample_file(*program, "KEEP.DAT");
        for (int slot : {14, 15}) {
            const bmp_file file = load_bmp(dir / level_file(3, slot, 12));
            int wrong = 0, tail = 0, npc_pixels = 0, keep_differs = 0;
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) {
                    const size_t at = size_t(1024 * slot + 32 * y + x);
                    const int want = at < 16000 ? townes[at] : 0;
                    tail += at >= 16000;
                    keep_differs += at >= 16000 && keeps[at] != 0;
                    for (int i = 0; i < coded_side * coded_side; ++i) {
                        const int p = coded_picture(file, x, y, i % coded_side, i / coded_side);
                        npc_pixels += p >= 256;
                        wrong += p != want;
                    }
                }
            EXPECT_EQ(wrong, 0) << slot;
            EXPECT_EQ(npc_pixels, 0) << slot;
            EXPECT_EQ(tail, slot == 15 ? 384 : 0);
            if (slot == 15) {
                EXPECT_GT(keep_differs, 0);
            }
        }
        // Other townes keep their NPCs.
        const bmp_file moonglow = load_bmp(dir / level_file(3, 0, 12));
        int npc_pixels = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) npc_pixels += coded_picture(moonglow, x, y, 0, 0) >= 256;
        EXPECT_GT(npc_pixels, 0);

        // A short tile file is read with its warning; the run goes on.
        scratch_dir tiles_dir;
        const program_run tiles_run = run_program(program->path, {"-C", "-n", "-d", image}, tiles_dir.path.string());
        EXPECT_EQ(tiles_run.status, 0);
        EXPECT_EQ(tiles_run.output, "file size mismatch 'TILES.CH' 97304 != 98304 ... ignored\n" + location_lines(1));
    }

    // A short world map: the Underworld's tail is tile 0, not the surface's bytes.
    image_copy copy(eskvik);
    copy.set_size("UNDER.DAT", 60000);
    const std::string image = copy.save(data / "short-under.xdf");
    scratch_dir dir;
    const program_run run = run_program(eskvik.path, {"-s", data / "shape.bmp", "-d", image}, dir.path.string());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "file size mismatch 'UNDER.DAT' 60000 != 65536 ... ignored\n");
    std::vector<uint8_t> under = sample_file(eskvik, "UNDER.DAT");
    std::fill(under.begin() + 60000, under.end(), 0);
    EXPECT_EQ(world_pixels_unlike(load_bmp(dir / "zk.Underworld.bmp"), under, {}), 0);
}

TEST(X68kPrograms, OutputFilesAndConsole)
{
    REQUIRE_MTOOLS();
    scratch_dir data;
    write_coded_bitmaps(data);
    const std::string shape = data / "shape.bmp";
    const std::vector<uint8_t> old_file = {'o', 'l', 'd'};

    // An existing file without --overwrite: the question, then no on "n" and at the end of input.
    for (const std::string& answer : {std::string("n"), std::string(""), std::string("x\nN")}) {
        SCOPED_TRACE(answer);
        const std::string question = answer.empty() ? "overwrite ? (Y or N): \n" : "overwrite ? (Y or N): ";
        scratch_dir dir;
        write_file(dir / "zk.Underworld.bmp", old_file);
        const program_run world = run_program(eskvik.path, {"-s", shape, "-d", sample_image(eskvik)}, dir.path.string(), answer);
        EXPECT_EQ(world.status, 1);
        EXPECT_EQ(world.output, "'zk.Underworld.bmp' already exists\n" + question +
                                "error: write bitmap file 'zk.Underworld.bmp'\n");
        EXPECT_TRUE(read_file(dir / "zk.Underworld.bmp") == old_file);
        EXPECT_EQ(bmp_files_in(dir.path.string()), (std::vector<std::string>{"zk.Britannia.bmp", "zk.Underworld.bmp"}));

        write_file(dir / "zk.Yew.B1F.12.bmp", old_file);
        const program_run towne =
            run_program(calvik.path, {"-T", "-n", "-s", shape, "-d", sample_image(calvik)}, dir.path.string(), answer);
        EXPECT_EQ(towne.status, 1);
        EXPECT_EQ(towne.output, "[Moonglow]\n[Moonglow]\n[Britain]\n[Britain]\n[Jhelom]\n[Jhelom]\n[Yew]\n"
                                "'zk.Yew.B1F.12.bmp' already exists\n" + question +
                                "error: write bitmap file 'zk.Yew.B1F.12.bmp'\n");
        EXPECT_TRUE(read_file(dir / "zk.Yew.B1F.12.bmp") == old_file);
    }
    // "y" replaces the file.
    scratch_dir dir;
    write_file(dir / "zk.Britannia.bmp", old_file);
    const program_run yes = run_program(felvik.path, {"-s", shape, "-d", sample_image(felvik)}, dir.path.string(), "y");
    EXPECT_EQ(yes.status, 0);
    EXPECT_EQ(yes.output, "'zk.Britannia.bmp' already exists\noverwrite ? (Y or N): ");
    EXPECT_EQ(load_bmp(dir / "zk.Britannia.bmp").header.width, 512);

    // A write that fails half-way leaves the earlier file as it was, and no other file.
    scratch_dir limited;
    write_file(limited / "zk.Britannia.bmp", old_file);
    const program_run limit_run = run_program(
        "/bin/sh", {"-c", "ulimit -f 100; trap '' XFSZ; exec '" + eskvik.path + "' --overwrite -s '" + shape + "' -d '" +
                              sample_image(eskvik) + "'"},
        limited.path.string());
    EXPECT_EQ(limit_run.status, 1);
    EXPECT_EQ(limit_run.output, "error: write_bitmap() - can't write bitmap data\nerror: write bitmap 'zk.Britannia.bmp'\n"
                                "error: write bitmap file 'zk.Britannia.bmp'\n");
    EXPECT_TRUE(read_file(limited / "zk.Britannia.bmp") == old_file);
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(limited.path)) left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"zk.Britannia.bmp"});

    // A write error shows: a full device as the output file.
    scratch_dir full;
    std::filesystem::create_symlink("/dev/full", full / "zk.Moonglow.2F.12.bmp");
    const program_run full_run =
        run_program(dunvik.path, {"-T", "--overwrite", "-s", shape, "-d", sample_image(dunvik)}, full.path.string());
    EXPECT_EQ(full_run.status, 1);
    EXPECT_EQ(lines_of(full_run.output).back(), "error: write bitmap file 'zk.Moonglow.2F.12.bmp'");
    EXPECT_EQ(bmp_files_in(full.path.string()), (std::vector<std::string>{"zk.Moonglow.1F.12.bmp", "zk.Moonglow.2F.12.bmp"}));

    // Lost console output fails the run, also when only a warning was printed.
    for (const x68k_program* program : all_programs) {
        SCOPED_TRACE(program->name);
        scratch_dir lost;
        image_copy copy(*program);
        copy.set_size("UNDER.DAT", 65000);
        const std::string image = copy.save(lost / "warning.img");
        program_io io;
        io.output_path = "/dev/full";
        std::vector<std::string> arguments = {"-s", shape, "-d", image};
        if (!program->world) arguments.push_back("-C");
        const program_run run = run_program(program->path, arguments, lost.path.string(), io);
        EXPECT_EQ(run.status, 1);
    }
}

} // namespace
