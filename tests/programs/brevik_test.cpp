// End-to-end runs of brevik on the sample disk images: the options and their defaults, the
// sector orders, the blur count, shape bitmaps, the default placement, the group selection,
// the usage text and every failure line with its status. The pixels themselves are compared
// with the Python models by tests/interop/check_brevik.py; here files are compared with each
// other and checked for the format that the options ask for. Disk images are edited at byte
// offsets worked out from the disk layout by the helpers below, not by the reader under test.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>

#include "support/test_support.hpp"

namespace {

const std::string brevik = ZK_BREVIK;
const char* const disk_names[5] = {"zk-program.dsk", "zk-castle.dsk", "zk-dwelling.dsk", "zk-keep.dsk",
                                   "zk-towne.dsk"};

// The sample disk images, made once for the test program.
const std::string& sample_disks()
{
    static const std::string dir = sample_data(ZK_MAKE_SAMPLE_DATA) + "/apple2";
    return dir;
}

std::string sample_disk(int i) { return sample_disks() + "/" + disk_names[i]; }

// ---------------------------------------------------------------------------------------
// The settlement groups, as the file names and the console show them.

const std::array<std::array<const char*, 8>, 4> locations = {{
    {"Castle_Britannia", "Blackthorn's_Palace", "West_Britanny", "North_Britanny", "East_Britanny", "Paws", "Cove",
     "Buccaneer's_Den"},
    {"Fogsbane", "Stormcrow", "Grayhaven", "Waveguide", "Iolo's_Hut", "Sutek's_Hut", "Sin'Vraal's_Hut",
     "Grendel's_Hut"},
    {"Ararat", "Bordermarch", "Farthing", "Windemere", "Stonegate", "The_Lycaeum", "Empath_Abbey", "Serpent's_Hold"},
    {"Moonglow", "Britain", "Jhelom", "Yew", "Minoc", "Trinsic", "Skara_Brae", "New_Magincia"},
}};

// Location digit and level name of the sixteen levels of each group, in map data order.
const char* const slot_table[4] = {
    "0B1F 01F 02F 03F 04F 1B1F 11F 12F 13F 14F 21F 31F 41F 51F 61F 71F",
    "01F 02F 03F 11F 12F 13F 21F 22F 23F 31F 32F 33F 41F 51F 61F 71F",
    "01F 02F 11F 12F 21F 31F 41F 51F 52F 53F 61F 62F 63F 7B1F 71F 72F",
    "01F 02F 11F 12F 21F 22F 3B1F 31F 41F 42F 51F 52F 61F 62F 71F 72F",
};

struct level_slot {
    std::string location;
    std::string level;
};

std::vector<level_slot> slots_of(int group)
{
    std::vector<level_slot> slots;
    std::istringstream words(slot_table[group]);
    for (std::string word; words >> word;) slots.push_back({locations[group][word[0] - '0'], word.substr(1)});
    return slots;
}

// The file names of a group's sixteen levels; `hour` < 0 leaves the hour out.
std::vector<std::string> file_names(int group, int hour)
{
    std::vector<std::string> names;
    for (const level_slot& slot : slots_of(group)) {
        char buffer[300];
        if (hour < 0)
            std::snprintf(buffer, sizeof buffer, "zk.%s.%s.bmp", slot.location.c_str(), slot.level.c_str());
        else
            std::snprintf(buffer, sizeof buffer, "zk.%s.%s.%02d.bmp", slot.location.c_str(), slot.level.c_str(), hour);
        names.push_back(buffer);
    }
    return names;
}

std::vector<std::string> file_names(const std::vector<int>& groups, int hour)
{
    std::vector<std::string> names;
    for (int group : groups) {
        const std::vector<std::string> more = file_names(group, hour);
        names.insert(names.end(), more.begin(), more.end());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The "[location]" lines of the groups, in drawing order.
std::string location_lines(const std::vector<int>& groups)
{
    std::string lines;
    for (int group : groups)
        for (const level_slot& slot : slots_of(group)) lines += "[" + slot.location + "]\n";
    return lines;
}

// The console without the placement trace: the lines that name a location.
std::string location_lines_of(const std::string& console)
{
    std::string lines;
    for (const std::string& line : lines_of(console)) {
        for (const auto& group : locations)
            for (const char* location : group)
                if (line == "[" + std::string(location) + "]") lines += line + "\n";
    }
    return lines;
}

std::vector<std::string> bmp_files_in(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().extension() == ".bmp") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// ---------------------------------------------------------------------------------------
// BMP files, read by hand.

uint32_t u16_at(const std::vector<uint8_t>& bytes, size_t at) { return bytes[at] | bytes[at + 1] << 8; }

uint32_t u32_at(const std::vector<uint8_t>& bytes, size_t at)
{
    return u16_at(bytes, at) | u16_at(bytes, at + 2) << 16;
}

struct bmp_format {
    uint32_t width = 0, height = 0, bit_count = 0;
    size_t file_size = 0;
    bool operator==(const bmp_format&) const = default;
};

std::ostream& operator<<(std::ostream& out, const bmp_format& f)
{
    return out << f.width << "x" << f.height << "x" << f.bit_count << ", " << f.file_size << " bytes";
}

bmp_format format_of(const std::vector<uint8_t>& file)
{
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') return {};
    return {u32_at(file, 18), u32_at(file, 22), u16_at(file, 28), file.size()};
}

// 896 x 1024 levels: 4-bit (16-entry palette, rows of 448 bytes) or 24-bit (rows of 2688).
const bmp_format colour_level = {896, 1024, 4, 54 + 64 + 448 * 1024};
const bmp_format television_level = {896, 1024, 24, 54 + 2688 * 1024};

// The Apple II palette, blue, green, red, 0 per entry.
std::vector<uint8_t> apple_palette_bytes()
{
    const uint8_t rgb[16][3] = {{0, 0, 0},       {157, 7, 52},    {48, 29, 226},  {178, 59, 231},
                                {0, 107, 61},    {114, 114, 114}, {37, 130, 237}, {162, 143, 255},
                                {66, 85, 0},     {191, 99, 0},    {114, 114, 114}, {255, 122, 167},
                                {50, 170, 0},    {181, 200, 2},   {72, 222, 176}, {229, 229, 229}};
    std::vector<uint8_t> bytes;
    for (const auto& c : rgb) bytes.insert(bytes.end(), {c[2], c[1], c[0], 0});
    return bytes;
}

// The formats of all BMP files in `dir`, by name.
std::map<std::string, bmp_format> formats_in(const std::string& dir)
{
    std::map<std::string, bmp_format> formats;
    for (const std::string& name : bmp_files_in(dir)) formats[name] = format_of(read_file(dir + "/" + name));
    return formats;
}

void expect_formats(const std::string& dir, std::vector<std::string> names, const bmp_format& format)
{
    std::sort(names.begin(), names.end());
    EXPECT_EQ(bmp_files_in(dir), names);
    for (const auto& [name, found] : formats_in(dir)) EXPECT_EQ(found, format) << name;
}

// Files of the same names in two directories hold the same bytes.
void expect_same_files(const std::string& a, const std::string& b)
{
    const std::vector<std::string> names = bmp_files_in(a);
    EXPECT_EQ(bmp_files_in(b), names);
    EXPECT_FALSE(names.empty());
    for (const std::string& name : names)
        EXPECT_TRUE(read_file(a + "/" + name) == read_file(b + "/" + name)) << name;
}

// A 24-bit BMP of 16 x 32 tiles of 3 x 2 pixels, no two pixels alike.
std::vector<uint8_t> shape_bitmap()
{
    const uint32_t width = 48, height = 64, stride = 144;
    std::vector<uint8_t> bmp(54 + stride * height);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k) bmp[at + k] = static_cast<uint8_t>(v >> 8 * k);
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, static_cast<uint32_t>(bmp.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, width);
    put32(22, height);
    bmp[26] = 1;
    bmp[28] = 24;
    put32(34, stride * height);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = &bmp[54 + stride * (height - 1 - y) + 3 * x];
            p[0] = static_cast<uint8_t>(x * 5);
            p[1] = static_cast<uint8_t>(y * 4);
            p[2] = static_cast<uint8_t>(x * 7 + y * 11);
        }
    return bmp;
}

// ---------------------------------------------------------------------------------------
// Disk images: 35 tracks of 16 sectors of 256 bytes. Position p of track t lies in sector
// table[p] of the track; ProDOS block b is positions 2 (b mod 8) and 2 (b mod 8) + 1 of
// track b / 8.

constexpr size_t track_bytes = 4096;
constexpr size_t disk_bytes = 35 * track_bytes;
constexpr uint8_t interleave[16] = {0, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 15};

size_t sector_offset(int order, size_t track, size_t position)
{
    return track_bytes * track + 256 * (order == 1 ? position : interleave[position]);
}

// Offset in the image of byte i (0-511) of block b.
size_t block_byte(int order, size_t b, size_t i) { return sector_offset(order, b / 8, 2 * (b % 8) + i / 256) + i % 256; }

std::vector<uint8_t> to_order1(const std::vector<uint8_t>& image)
{
    std::vector<uint8_t> out(image.size());
    for (size_t t = 0; t < image.size() / track_bytes; ++t)
        for (size_t p = 0; p < 16; ++p)
            std::copy_n(image.begin() + static_cast<long>(sector_offset(2, t, p)), 256,
                        out.begin() + static_cast<long>(sector_offset(1, t, p)));
    return out;
}

// A directory entry of the program disk (order 2): its block and its first byte there.
struct entry_place {
    size_t block = 0, at = 0;
};

uint32_t block_u16(const std::vector<uint8_t>& image, size_t b, size_t i)
{
    return image[block_byte(2, b, i)] | image[block_byte(2, b, i + 1)] << 8;
}

void put_block_u16(std::vector<uint8_t>& image, size_t b, size_t i, uint32_t value)
{
    image[block_byte(2, b, i)] = static_cast<uint8_t>(value);
    image[block_byte(2, b, i + 1)] = static_cast<uint8_t>(value >> 8);
}

// The blocks of the directory chain that starts at `first`.
std::vector<size_t> directory_chain(const std::vector<uint8_t>& image, size_t first)
{
    std::vector<size_t> chain;
    for (size_t b = first; b != 0 && chain.size() < 64; b = block_u16(image, b, 2)) chain.push_back(b);
    return chain;
}

// The live entry called `name` in the volume directory.
std::optional<entry_place> find_entry(const std::vector<uint8_t>& image, const std::string& name)
{
    const std::vector<size_t> chain = directory_chain(image, 2);
    for (size_t b : chain) {
        for (size_t k = (b == chain.front() ? 1 : 0); k < 13; ++k) {
            const size_t at = 4 + 39 * k;
            const uint8_t type_length = image[block_byte(2, b, at)];
            std::string found;
            for (size_t i = 0; i < (type_length & 15u); ++i) found += static_cast<char>(image[block_byte(2, b, at + 1 + i)]);
            if ((type_length >> 4) != 0 && found == name) return entry_place{b, at};
        }
    }
    return std::nullopt;
}

// Entry fields.
constexpr size_t entry_key_pointer = 17;  // u16
constexpr size_t entry_eof = 21;          // u24

struct program_disk {
    std::vector<uint8_t> image = read_file(sample_disk(0));
    entry_place shapes = find_entry(image, "SHAPES").value();

    uint32_t shapes_key() const { return block_u16(image, shapes.block, shapes.at + entry_key_pointer); }
    void set_shapes_byte(size_t field, uint8_t value) { image[block_byte(2, shapes.block, shapes.at + field)] = value; }
    void set_shapes_eof(uint32_t eof)
    {
        for (size_t k = 0; k < 3; ++k) set_shapes_byte(entry_eof + k, static_cast<uint8_t>(eof >> 8 * k));
    }
};

// ---------------------------------------------------------------------------------------

program_run run_brevik(const std::vector<std::string>& arguments, const std::string& dir, const std::string& input = "")
{
    return run_program(brevik, arguments, dir, input);
}

// -d1 .. -d5 naming the sample disks.
std::vector<std::string> sample_disk_options()
{
    std::vector<std::string> options;
    for (int i = 0; i < 5; ++i) options.insert(options.end(), {"-d" + std::to_string(i + 1), sample_disk(i)});
    return options;
}

std::vector<std::string> with_disks(std::vector<std::string> arguments)
{
    std::vector<std::string> options = sample_disk_options();
    options.insert(options.end(), arguments.begin(), arguments.end());
    return options;
}

TEST(Brevik, NoArgumentsReadsTheFiveDefaultImagesHere)
{
    scratch_dir run_dir;
    for (const char* name : disk_names) std::filesystem::copy_file(sample_disks() + "/" + name, run_dir / name);
    const program_run run = run_brevik({}, run_dir.path.string());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(location_lines_of(run.output), location_lines({0, 1, 2, 3}));
    std::vector<std::string> names = file_names({0, 1, 2, 3}, 12);
    ASSERT_EQ(names.size(), 64u);
    expect_formats(run_dir.path.string(), names, colour_level);
    const std::vector<uint8_t> first = read_file(run_dir / "zk.Castle_Britannia.B1F.12.bmp");
    ASSERT_GE(first.size(), 118u);
    EXPECT_TRUE(std::vector<uint8_t>(first.begin() + 54, first.begin() + 118) == apple_palette_bytes());
    // The images are only read.
    for (const char* name : disk_names) EXPECT_TRUE(read_file(run_dir / name) == read_file(sample_disks() + "/" + name));

    // The same files with every default spelled out.
    scratch_dir spelled;
    const program_run explicit_run = run_brevik(
        with_disks({"--po", "-h", "12", "-C", "-D", "-K", "-T", "--shape-type-normal"}), spelled.path.string());
    EXPECT_EQ(explicit_run.status, 0);
    EXPECT_EQ(explicit_run.output, run.output);
    expect_same_files(run_dir.path.string(), spelled.path.string());
}

TEST(Brevik, DiskOptionsLongAndShortForms)
{
    scratch_dir disks;
    for (int i = 0; i < 5; ++i) std::filesystem::copy_file(sample_disk(i), disks / ("disk" + std::to_string(i) + ".img"));
    // The short forms are compared with the default names by the test above; the long forms
    // with the short ones here.
    const std::vector<std::vector<std::string>> forms = {
        {"-d1", "-d2", "-d3", "-d4", "-d5"},
        {"--disk1", "--disk2", "--disk3", "--disk4", "--disk5"},
        {"--program-disk", "--castle-disk", "--dwelling-disk", "--keep-disk", "--towne-disk"},
    };
    std::vector<std::unique_ptr<scratch_dir>> runs;
    for (const std::vector<std::string>& form : forms) {
        SCOPED_TRACE(form[0]);
        runs.push_back(std::make_unique<scratch_dir>());
        const scratch_dir& run_dir = *runs.back();
        std::vector<std::string> arguments = {"-n"};
        for (int i = 4; i >= 0; --i) {
            // A missing image named first: the later name counts.
            arguments.insert(arguments.end(), {form[i], "missing.dsk", form[i], disks / ("disk" + std::to_string(i) + ".img")});
        }
        const program_run run = run_brevik(arguments, run_dir.path.string());
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.output, location_lines({0, 1, 2, 3}));
        if (runs.size() > 1) expect_same_files(runs[0]->path.string(), run_dir.path.string());
    }
    const scratch_dir& reference = *runs[0];

    // Group g comes from disk g + 2: the castle levels drawn from the towne disk are the towne's.
    scratch_dir swapped;
    const program_run run = run_brevik(with_disks({"-C", "-n", "-d2", sample_disk(4)}), swapped.path.string());
    EXPECT_EQ(run.status, 0);
    const std::vector<std::string> castles = file_names(0, 12), townes = file_names(3, 12);
    for (size_t s = 0; s < 16; ++s)
        EXPECT_TRUE(read_file(swapped / castles[s]) == read_file(reference / townes[s])) << castles[s];
    EXPECT_EQ(bmp_files_in(swapped.path.string()).size(), 16u);
}

TEST(Brevik, SectorOrdersTheLastOptionCounts)
{
    scratch_dir order1;
    std::vector<std::string> order1_disks;
    for (int i = 0; i < 5; ++i) {
        write_file(order1 / disk_names[i], to_order1(read_file(sample_disk(i))));
        order1_disks.insert(order1_disks.end(), {"-d" + std::to_string(i + 1), order1 / disk_names[i]});
    }
    scratch_dir reference;
    ASSERT_EQ(run_brevik(with_disks({"-T", "-h", "3"}), reference.path.string()).status, 0);

    struct order_case {
        bool order1_disks;
        std::vector<std::string> options;
        bool same;  // else the program disk's SHAPES is not found
    };
    const order_case cases[] = {
        {true, {"--do"}, true},         {true, {"--po", "--do"}, true}, {true, {"--do", "--po"}, false},
        {true, {}, false},              {false, {"--do"}, false},       {false, {"--do", "--po"}, true},
        {false, {"--po", "--po"}, true},
    };
    for (const order_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.options) + (c.order1_disks ? " on order 1" : " on order 2"));
        scratch_dir run_dir;
        std::vector<std::string> arguments = c.order1_disks ? order1_disks : sample_disk_options();
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.insert(arguments.end(), {"-T", "-h", "3"});
        const program_run run = run_brevik(arguments, run_dir.path.string());
        if (c.same) {
            EXPECT_EQ(run.status, 0);
            expect_same_files(reference.path.string(), run_dir.path.string());
            continue;
        }
        const std::string program = c.order1_disks ? order1 / disk_names[0] : sample_disk(0);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.output, "error: can't find file '" + program + "/SHAPES'\nerror: read shape '" + program + "'\n");
        EXPECT_TRUE(bmp_files_in(run_dir.path.string()).empty());
    }
}

TEST(Brevik, BlurCountsUpToTwo)
{
    const std::vector<std::string> names = file_names(3, 12);
    std::vector<std::unique_ptr<scratch_dir>> runs;
    const std::vector<std::vector<std::string>> blurs = {{}, {"-B"}, {"--blur", "-B"}, {"-B", "--blur", "-B"}};
    for (const std::vector<std::string>& blur : blurs) {
        SCOPED_TRACE(testing::PrintToString(blur));
        runs.push_back(std::make_unique<scratch_dir>());
        std::vector<std::string> arguments = with_disks({"-T", "-n"});
        arguments.insert(arguments.end(), blur.begin(), blur.end());
        const program_run run = run_brevik(arguments, runs.back()->path.string());
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.output, location_lines({3}));
        expect_formats(runs.back()->path.string(), names, blur.size() < 2 ? colour_level : television_level);
    }
    // Three times is twice; blur changes the colours.
    expect_same_files(runs[2]->path.string(), runs[3]->path.string());
    size_t differing = 0;
    for (const std::string& name : names) differing += read_file(*runs[0] / name) != read_file(*runs[1] / name);
    EXPECT_EQ(differing, 16u);
}

TEST(Brevik, ShapeBitmapNeitherOpensTheProgramDiskNorPostProcesses)
{
    scratch_dir work;
    const std::string shape = work / "shape.bmp";
    write_file(shape, shape_bitmap());
    std::vector<std::string> disks = sample_disk_options();
    disks[1] = work / "missing.dsk";  // -d1
    const bmp_format format = {96, 64, 24, 54 + 288 * 64};

    scratch_dir plain;
    std::vector<std::string> arguments = disks;
    arguments.insert(arguments.end(), {"-s", shape});
    program_run run = run_brevik(arguments, plain.path.string());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(location_lines_of(run.output), location_lines({0, 1, 2, 3}));
    expect_formats(plain.path.string(), file_names({0, 1, 2, 3}, 12), format);

    // Blur, shape types and the water remake change nothing; the last tile source counts.
    const std::vector<std::vector<std::string>> variations = {
        {"-B", "-B", "--shape", shape},
        {"--blur", "--shape-type-dungeon", "--no-remake-water", "-s", shape},
        {"-s", work / "other.bmp", "--shape-type-mirror-room", "-B", "-B", "-B", "-s", shape},
    };
    for (const std::vector<std::string>& variation : variations) {
        SCOPED_TRACE(testing::PrintToString(variation));
        scratch_dir run_dir;
        arguments = disks;
        arguments.insert(arguments.end(), variation.begin(), variation.end());
        const program_run again = run_brevik(arguments, run_dir.path.string());
        EXPECT_EQ(again.status, 0);
        EXPECT_EQ(again.output, run.output);
        expect_same_files(plain.path.string(), run_dir.path.string());
    }
}

TEST(Brevik, DefaultPlacementDrawsAtNineWithoutTheHourInNames)
{
    scratch_dir nine;
    ASSERT_EQ(run_brevik(with_disks({"-T", "-n", "-h", "9"}), nine.path.string()).status, 0);
    const std::vector<std::string> with_hour = file_names(3, 9), without = file_names(3, -1);
    for (const char* hour : {"5", "23"}) {
        SCOPED_TRACE(hour);
        scratch_dir run_dir;
        const program_run run = run_brevik(with_disks({"-h", hour, "--default", "-T", "-n"}), run_dir.path.string());
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.output, location_lines({3}));
        std::vector<std::string> sorted = without;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(bmp_files_in(run_dir.path.string()), sorted);
        for (size_t s = 0; s < 16; ++s) EXPECT_TRUE(read_file(run_dir / without[s]) == read_file(nine / with_hour[s]));
    }
    scratch_dir npcs;
    const program_run run = run_brevik(with_disks({"--default", "-h", "5", "-T"}), npcs.path.string());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(location_lines_of(run.output), location_lines({3}));
    EXPECT_TRUE(std::filesystem::exists(npcs / "zk.Moonglow.1F.bmp"));
    EXPECT_EQ(bmp_files_in(npcs.path.string()).size(), 16u);
}

TEST(Brevik, DefaultPositionsOffTheMapCantBeLocated)
{
    // NPC 31 of Castle_Britannia: default kind 0x2A at column 40, row 35 of the ground floor,
    // with all four window hours 0. Kind sector of location 0: position 0 of track 30;
    // columns of 32 bytes: kind, default kind, x, y, level, fifth byte.
    std::vector<uint8_t> castle = read_file(sample_disk(1));
    const size_t kinds = sector_offset(2, 30, 0);
    const uint8_t record[5] = {0x2A, 40, 35, 0, 0};
    for (size_t f = 0; f < 5; ++f) castle[kinds + 32 * (f + 1) + 31] = record[f];
    scratch_dir work;
    write_file(work / "castle.dsk", castle);
    for (const std::string option : {"-n", "-B"}) {
        SCOPED_TRACE(option);
        scratch_dir run_dir;
        const program_run run =
            run_brevik(with_disks({"-d2", work / "castle.dsk", "--default", "-C", option}), run_dir.path.string());
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(bmp_files_in(run_dir.path.string()).size(), 16u);
        // The report belongs to the ground floor, the second level of the location.
        const std::string location = "[Castle_Britannia]\n";
        const size_t basement = run.output.find(location), floor = run.output.find(location, basement + 1);
        const size_t next = run.output.find(location, floor + 1);
        const std::string line = "[1F] 2A (28, 23) ... can't locate\n";
        const size_t report = run.output.find(line);
        if (option == "-n") {
            EXPECT_EQ(report, std::string::npos);
        } else {
            ASSERT_NE(floor, std::string::npos);
            EXPECT_GT(report, floor);
            EXPECT_LT(report, next);
            EXPECT_EQ(run.output.find("(28, 23)", report + line.size()), std::string::npos);
        }
    }
}

TEST(Brevik, GroupSelectionAndHours)
{
    struct group_case {
        std::vector<std::string> options;
        std::vector<int> groups;
        int hour;
    };
    scratch_dir work;
    const group_case cases[] = {
        // A missing castle disk does not matter when the castles are not drawn.
        {{"-T", "-d2", work / "missing.dsk", "-n"}, {3}, 12},
        {{"-T", "-C", "-n", "-h", "0x17"}, {0, 3}, 23},
        {{"--keep", "--dwelling", "--no-npcs", "--hour", "010"}, {1, 2}, 8},
        {{"-K", "-n", "-h", "0"}, {2}, 0},
    };
    for (const group_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.options));
        scratch_dir run_dir;
        std::vector<std::string> arguments = sample_disk_options();
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const program_run run = run_brevik(arguments, run_dir.path.string());
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.output, location_lines(c.groups));
        expect_formats(run_dir.path.string(), file_names(c.groups, c.hour), colour_level);
    }
}

TEST(Brevik, UsageText)
{
    const std::string rest =
        " [options]\n"
        "option:\n"
        "        -d1|--disk1|--program-disk  DISK-IMG\n"
        "                                specify program disk\n"
        "                                read 'zk-program.dsk' if not specified\n"
        "        -d2|--disk2|--castle-disk   DISK-IMG\n"
        "                                specify castle disk\n"
        "                                read 'zk-castle.dsk' if not specified\n"
        "        -d3|--disk3|--dwelling-disk DISK-IMG\n"
        "                                specify dwelling disk\n"
        "                                read 'zk-dwelling.dsk' if not specified\n"
        "        -d4|--disk4|--keep-disk     DISK-IMG\n"
        "                                specify keep disk\n"
        "                                read 'zk-keep.dsk' if not specified\n"
        "        -d5|--disk5|--towne-disk    DISK-IMG\n"
        "                                specify towne disk\n"
        "                                read 'zk-towne.dsk' if not specified\n"
        "        --do|--po               specify sector order of disk image\n"
        "                                    --do    DOS 3.3 order\n"
        "                                    --po    ProDOS order (default)\n"
        "        -B|--blur               blur graphics\n"
        "        -s|--shape SHAPE-BMP    read shape data from specified file\n"
        "        -C|--castle             draw castle maps\n"
        "        -D|--dwelling           draw dwelling maps\n"
        "        -K|--keep               draw keep maps\n"
        "        -T|--towne              draw towne maps\n"
        "        -n|--no-npcs            draw not NPCs\n"
        "        -p|--no-change-pose     not change NPCs' shape\n"
        "        -h|--hour NUM           specify hour (0-23)\n"
        "           --default            use default time and position\n"
        "           --overwrite          overwrite output files\n"
        "        -?|--help               print usage\n"
        "           --png                write PNG files instead of BMP\n";
    scratch_dir run_dir;
    std::filesystem::create_symlink(brevik, run_dir / "b");
    struct usage_case {
        std::string program;
        std::vector<std::string> arguments;
    };
    const usage_case cases[] = {
        {brevik, {"-?"}},
        {brevik, {"--help"}},
        {"./b", {"-T", "-h", "5", "--help", "--bad", "extra"}},
        {"./b", {"-d1", "none.dsk", "-?"}},
    };
    for (const usage_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const program_run run = run_program(c.program, c.arguments, run_dir.path.string());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.output, "usage: " + c.program + rest);
    }
    EXPECT_TRUE(bmp_files_in(run_dir.path.string()).empty());
}

TEST(Brevik, CommandLineFailures)
{
    struct failure_case {
        std::vector<std::string> arguments;
        std::string console;
    };
    const failure_case cases[] = {
        {{"disk.dsk"}, "error: illegal parameter 'disk.dsk'\n"},
        {{"-d1", "p.dsk", "c.dsk"}, "error: illegal parameter 'c.dsk'\n"},
        {{"-T", ""}, "error: illegal parameter ''\n"},
        {{"-x"}, "error: unknown option '-x'\n"},
        {{"-"}, "error: unknown option '-'\n"},
        {{"--"}, "error: unknown option '--'\n"},
        {{"-d"}, "error: unknown option '-d'\n"},
        {{"-d6", "x"}, "error: unknown option '-d6'\n"},
        {{"-d0", "x"}, "error: unknown option '-d0'\n"},
        {{"--disk"}, "error: unknown option '--disk'\n"},
        {{"--disk1=p.dsk"}, "error: unknown option '--disk1=p.dsk'\n"},
        {{"-CT"}, "error: unknown option '-CT'\n"},
        {{"-BB"}, "error: unknown option '-BB'\n"},
        {{"--DO"}, "error: unknown option '--DO'\n"},
        {{"--ega", "TILES.16"}, "error: unknown option '--ega'\n"},
        {{"-m", "mask.bmp"}, "error: unknown option '-m'\n"},
        {{"--defaults"}, "error: unknown option '--defaults'\n"},
        {{"-T", "--bad", "-?"}, "error: unknown option '--bad'\n"},
        {{"-d1"}, "error: no disk image name\n"},
        {{"-d2"}, "error: no disk image name\n"},
        {{"--disk3"}, "error: no disk image name\n"},
        {{"--keep-disk"}, "error: no disk image name\n"},
        {{"-T", "--towne-disk"}, "error: no disk image name\n"},
        {{"--program-disk"}, "error: no disk image name\n"},
        {{"-s"}, "error: no bitmap name\n"},
        {{"--shape"}, "error: no bitmap name\n"},
        {{"-h"}, "error: no phase value\n"},
        {{"--hour"}, "error: no phase value\n"},
        {{"-h", "24"}, "error: illegal hour value: 24\n"},
        {{"-h", "0x18"}, "error: illegal hour value: 0x18\n"},
        {{"-h", "12a"}, "error: illegal hour value: 12a\n"},
        {{"-h", ""}, "error: illegal hour value: \n"},
        {{"-h", "-1"}, "error: illegal hour value: -1\n"},
        {{"--hour", " -5"}, "error: illegal hour value:  -5\n"},
        {{"-h", "4294967308"}, "error: illegal hour value: 4294967308\n"},
        {{"-h", "-n"}, "error: illegal hour value: -n\n"},
        {{"-h", "08"}, "error: illegal hour value: 08\n"},
        // An option's word is taken whatever it looks like: "-T" names the program disk.
        {{"-d1", "-T", "-n"}, "open error '-T'\nerror: read disk image '-T'\nerror: read shape '-T'\n"},
        {{"-s", "-n"}, "error: open '-n'\nerror: read shape bitmap '-n'\n"},
    };
    scratch_dir run_dir;
    for (const failure_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const program_run run = run_brevik(c.arguments, run_dir.path.string());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.output, c.console);
    }
    EXPECT_TRUE(std::filesystem::is_empty(run_dir.path));
}

TEST(Brevik, ProgramDiskFailures)
{
    scratch_dir work;
    const std::string p = work / "p.dsk";
    const std::string catalog_failure = "illegal block no $0002\ncan't get dir block $0002\ncan't get dir block $0002\n"
                                        "can't get catalog '" + p + "'\nerror: read disk image '" + p +
                                        "'\nerror: read shape '" + p + "'\n";
    const std::string not_found = "error: can't find file '" + p + "/SHAPES'\nerror: read shape '" + p + "'\n";
    const std::vector<uint8_t> sample = read_file(sample_disk(0));
    const program_disk original;
    char key[8];
    std::snprintf(key, sizeof key, "%04X", original.shapes_key());
    // The first data block of SHAPES, as its index block lists it.
    const size_t index_block = original.shapes_key();

    struct failure_case {
        std::string what;
        std::vector<uint8_t> image;
        std::vector<std::string> options;
        std::string console;
    };
    std::vector<failure_case> cases;
    cases.push_back({"missing", {}, {}, "open error '" + p + "'\nerror: read disk image '" + p + "'\nerror: read shape '" + p + "'\n"});
    cases.push_back({"empty", std::vector<uint8_t>{}, {}, "read error '" + p + "'\nerror: read disk image '" + p +
                                                            "'\nerror: read shape '" + p + "'\n"});
    cases.push_back({"a directory", {}, {}, "read error '" + p + "'\nerror: read disk image '" + p +
                                                 "'\nerror: read shape '" + p + "'\n"});
    // Block 2 is positions 4 and 5 of track 0: sectors 11 and 10 under order 2, 4 and 5 under order 1.
    cases.push_back({"first half of block 2 cut (order 2)", {sample.begin(), sample.begin() + 11 * 256 + 255}, {},
                     catalog_failure});
    cases.push_back({"second half of block 2 cut (order 1)", {sample.begin(), sample.begin() + 5 * 256 + 255}, {"--do"},
                     catalog_failure});
    // Only track 0, blocks 0-7: the directories and the bit map are there, no file's data.
    // (README is a seedling at block 8, DATA/NOTES a sapling indexed at block 9, SHAPES a
    // sapling indexed at block 20, SAVEGAME a tree with its master index at block 140.)
    cases.push_back({"one track", {sample.begin(), sample.begin() + 4096}, {"--po"},
                     "illegal block no $0008\ncan't get data pointer $0008 'README'\n"
                     "illegal block no $0009\ncan't get index block $0009\ncan't get index block $0009 'NOTES'\n"
                     "illegal block no $0014\ncan't get index block $0014\ncan't get index block $0014 'SHAPES'\n"
                     "illegal block no $008C\ncan't get index block $008C\n"
                     "can't get master index block $008C 'SAVEGAME'\n"
                     "can't get file data 'SHAPES' (sapling file)\nerror: can't get file '" + p +
                         "/SHAPES'\nerror: read shape '" + p + "'\n"});
    {
        program_disk d;
        d.set_shapes_byte(1 + 5, 'X');  // "SHAPEX"
        cases.push_back({"renamed", d.image, {}, not_found});
    }
    {
        program_disk d;
        d.set_shapes_byte(0, static_cast<uint8_t>(d.image[block_byte(2, d.shapes.block, d.shapes.at)] & 0x0F));
        cases.push_back({"deleted", d.image, {}, not_found});
    }
    {
        program_disk d;
        d.set_shapes_byte(0, 0x25);  // "SHAPE"
        cases.push_back({"shorter name", d.image, {}, not_found});
    }
    for (uint32_t eof : {16383u, 16385u, 0u, 0xFFFFFFu}) {
        program_disk d;
        d.set_shapes_eof(eof);
        cases.push_back({"eof " + std::to_string(eof), d.image, {},
                         "error: shape data size " + std::to_string(eof) + "\nerror: read shape '" + p + "'\n"});
    }
    {
        // The index block outside the image: reported at open time, then the read fails.
        program_disk d;
        d.set_shapes_byte(entry_key_pointer, 0xFF);
        d.set_shapes_byte(entry_key_pointer + 1, 0xFF);
        cases.push_back({"index block outside", d.image, {},
                         "illegal block no $FFFF\ncan't get index block $FFFF\ncan't get index block $FFFF 'SHAPES'\n"
                         "can't get file data 'SHAPES' (sapling file)\nerror: can't get file '" + p +
                             "/SHAPES'\nerror: read shape '" + p + "'\n"});
    }
    {
        // A data block outside the image.
        program_disk d;
        d.image[block_byte(2, index_block, 0)] = 0x00;
        d.image[block_byte(2, index_block, 256)] = 0x10;  // block $1000
        cases.push_back({"data block outside", d.image, {},
                         std::string("illegal block no $1000\ncan't get index block $") + key +
                             " 'SHAPES'\ncan't get file data 'SHAPES' (sapling file)\nerror: can't get file '" + p +
                             "/SHAPES'\nerror: read shape '" + p + "'\n"});
    }
    {
        // The volume directory's last block leads back to its first.
        program_disk d;
        const std::vector<size_t> chain = directory_chain(d.image, 2);
        ASSERT_GE(chain.size(), 2u);
        put_block_u16(d.image, chain.back(), 2, 2);
        cases.push_back({"directory cycle", d.image, {},
                         "can't get dir block $0002\ncan't get dir block $0002\ncan't get catalog '" + p +
                             "'\nerror: read disk image '" + p + "'\nerror: read shape '" + p + "'\n"});
    }
    {
        // A directory block that leads to itself.
        program_disk d;
        put_block_u16(d.image, 2, 2, 2);
        cases.push_back({"directory block to itself", d.image, {},
                         "can't get dir block $0002\ncan't get dir block $0002\ncan't get catalog '" + p +
                             "'\nerror: read disk image '" + p + "'\nerror: read shape '" + p + "'\n"});
    }

    for (const failure_case& c : cases) {
        SCOPED_TRACE(c.what);
        scratch_dir run_dir;
        std::filesystem::remove(p);
        if (c.what == "a directory")
            std::filesystem::create_directory(p);
        else if (c.what != "missing")
            write_file(p, c.image);
        std::vector<std::string> arguments = with_disks({"-d1", p, "-T"});
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const program_run run = run_brevik(arguments, run_dir.path.string());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.output, c.console);
        EXPECT_TRUE(std::filesystem::is_empty(run_dir.path));
    }
}

TEST(Brevik, DamagedButReadableProgramDisks)
{
    scratch_dir work;
    scratch_dir reference;
    ASSERT_EQ(run_brevik(with_disks({"-K", "-n"}), reference.path.string()).status, 0);

    struct readable_case {
        std::string what;
        std::vector<uint8_t> image;
        std::string first_lines;
        uintmax_t sparse_size = 0;  // grown to this size with a hole
    };
    std::vector<readable_case> cases;
    {
        // A subdirectory whose block leads to itself is left out; SHAPES is still read.
        program_disk d;
        const entry_place data = find_entry(d.image, "DATA").value();
        const uint32_t key = block_u16(d.image, data.block, data.at + entry_key_pointer);
        put_block_u16(d.image, key, 2, key);
        char block[8];
        std::snprintf(block, sizeof block, "%04X", key);
        cases.push_back({"subdirectory cycle", d.image,
                         std::string("can't get dir block $") + block + "\ncan't get dir block $" + block + "\n"});
    }
    {
        // A subdirectory that is the volume directory again.
        program_disk d;
        const entry_place data = find_entry(d.image, "DATA").value();
        put_block_u16(d.image, data.block, data.at + entry_key_pointer, 2);
        cases.push_back({"subdirectory back to the root", d.image, "can't get dir block $0002\ncan't get dir block $0002\n"});
    }
    {
        // More than 35 tracks: the surplus is never looked at.
        program_disk d;
        d.image.resize(d.image.size() + 3 * track_bytes + 100, 0xA5);
        cases.push_back({"longer image", d.image, ""});
    }
    // 1 GiB, mostly a hole: read only as far as block numbers reach (32 MiB).
    cases.push_back({"1 GiB image", read_file(sample_disk(0)), "", uintmax_t{1} << 30});
    for (const readable_case& c : cases) {
        SCOPED_TRACE(c.what);
        scratch_dir run_dir;
        write_file(work / "p.dsk", c.image);
        if (c.sparse_size) std::filesystem::resize_file(work / "p.dsk", c.sparse_size);
        const program_run run = run_brevik(with_disks({"-K", "-n", "-d1", work / "p.dsk"}), run_dir.path.string());
        EXPECT_EQ(run.status, 0);
        EXPECT_LT(run.peak_kb, 256 * 1024);
        EXPECT_EQ(run.output, c.first_lines + location_lines({2}));
        expect_same_files(reference.path.string(), run_dir.path.string());
    }
}

TEST(Brevik, SettlementDiskFailures)
{
    scratch_dir work;
    const std::vector<uint8_t> towne = read_file(sample_disk(4));
    ASSERT_EQ(towne.size(), disk_bytes);
    write_file(work / "short.dsk", {towne.begin(), towne.end() - 1});
    write_file(work / "short1.dsk", to_order1({towne.begin(), towne.end()}));
    {
        std::vector<uint8_t> cut = read_file(work / "short1.dsk");
        cut.pop_back();
        write_file(work / "short1.dsk", cut);
    }
    write_file(work / "p1.dsk", to_order1(read_file(sample_disk(0))));
    write_file(work / "tracks30.dsk", {towne.begin(), towne.begin() + 30 * track_bytes + 2048});
    write_file(work / "empty.dsk", {});
    const std::string castle_lines = location_lines({0});

    struct failure_case {
        std::vector<std::string> options;
        std::string console;
        size_t files;
    };
    const std::string s = work / "short.dsk", s1 = work / "short1.dsk", t30 = work / "tracks30.dsk",
                      e = work / "empty.dsk", m = work / "missing.dsk";
    const failure_case cases[] = {
        {{"-T", "-C", "-d5", s}, castle_lines + "error: read '" + s + "'\nerror: read map data '" + s + "'\n", 16},
        {{"-T", "-d5", s1, "--do", "-d1", work / "p1.dsk"}, "error: read '" + s1 + "'\nerror: read map data '" + s1 + "'\n", 0},
        {{"-C", "-T", "-d5", t30}, castle_lines + "error: read '" + t30 + "'\nerror: read map data '" + t30 + "'\n", 16},
        {{"-T", "-d5", e}, "error: read '" + e + "'\nerror: read map data '" + e + "'\n", 0},
        {{"-d5", m}, location_lines({0, 1, 2}) + "error: open '" + m + "'\nerror: read map data '" + m + "'\n", 48},
        {{"-D", "-d3", m}, "error: open '" + m + "'\nerror: read map data '" + m + "'\n", 0},
        {{"-d2", work.path.string()}, "error: read '" + work.path.string() + "'\nerror: read map data '" +
                                          work.path.string() + "'\n", 0},
    };
    for (const failure_case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.options));
        scratch_dir run_dir;
        std::vector<std::string> arguments = with_disks({"-n"});
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const program_run run = run_brevik(arguments, run_dir.path.string());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.output, c.console);
        EXPECT_EQ(bmp_files_in(run_dir.path.string()).size(), c.files);
    }
}

TEST(Brevik, OverwriteQuestionAndWriteErrors)
{
    const std::string first = "zk.Moonglow.1F.12.bmp", second = "zk.Moonglow.2F.12.bmp";
    const std::vector<uint8_t> old_file = {'o', 'l', 'd'};
    struct answer_case {
        std::string input;
        bool overwritten;
    };
    const answer_case answers[] = {{"n", false}, {"", false}, {"x\nN\n", false}, {"q\ny\n", true}, {"Y", true}};
    for (const answer_case& c : answers) {
        SCOPED_TRACE(testing::PrintToString(c.input));
        scratch_dir run_dir;
        write_file(run_dir / second, old_file);
        const program_run run = run_brevik(with_disks({"-T", "-n"}), run_dir.path.string(), c.input);
        const std::string asked = "[Moonglow]\n[Moonglow]\n'" + second + "' already exists\noverwrite ? (Y or N): ";
        if (c.overwritten) {
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(run.output, asked + location_lines({3}).substr(22));
            expect_formats(run_dir.path.string(), file_names({3}, 12), colour_level);
        } else {
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.output, asked + (c.input.empty() ? "\n" : "") + "error: write bitmap file '" + second + "'\n");
            EXPECT_EQ(bmp_files_in(run_dir.path.string()), (std::vector<std::string>{first, second}));
            EXPECT_TRUE(read_file(run_dir / second) == old_file);
        }
    }

    // --overwrite never asks.
    scratch_dir run_dir;
    write_file(run_dir / second, old_file);
    program_run run = run_brevik(with_disks({"-T", "-n", "--overwrite"}), run_dir.path.string(), "n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, location_lines({3}));

    // A 24-bit level does not fit under a file size limit of 1 MiB, a 16-colour one does.
    std::string command = "ulimit -f 1024; trap '' XFSZ; exec '" + brevik + "'";
    for (const std::string& word : with_disks({"-T", "-n", "-B", "-B"})) command += " '" + word + "'";
    scratch_dir limited;
    run = run_program("/bin/sh", {"-c", command}, limited.path.string());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "[Moonglow]\nerror: write_bitmap() - can't write bitmap data\nerror: write bitmap '" + first +
                              "'\nerror: write bitmap file '" + first + "'\n");
    EXPECT_TRUE(std::filesystem::is_empty(limited.path));

    // A directory in the way of an output file.
    scratch_dir blocked;
    std::filesystem::create_directory(blocked / second);
    run = run_brevik(with_disks({"-T", "-n", "--overwrite"}), blocked.path.string());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "[Moonglow]\n[Moonglow]\nerror: open '" + second + "'\nerror: write bitmap file '" + second + "'\n");
}

TEST(Brevik, RetouchOutOfMemory)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "address space limits do not work under the address sanitizer";
#endif
    // Find an address space limit under which the 24-bit rendering of the first level is
    // refused: above the point where setting up fails, below the point where the run works.
    std::string words;
    for (const std::string& word : with_disks({"-T", "-n", "-B", "-B", "--overwrite"})) words += " '" + word + "'";
    std::unique_ptr<scratch_dir> run_dir;
    auto run_with_limit = [&](long kb) {
        run_dir = std::make_unique<scratch_dir>();
        return run_program("/bin/sh", {"-c", "ulimit -v " + std::to_string(kb) + "; exec '" + brevik + "'" + words},
                           run_dir->path.string());
    };
    long low = 1024, high = 1 << 20;  // fails early, succeeds
    if (run_with_limit(high).status != 0) GTEST_SKIP() << "no run under a 1 GiB limit";
    std::optional<program_run> refused;
    for (int step = 0; step < 30 && high - low > 4 && !refused; ++step) {
        const long middle = (low + high) / 2;
        program_run run = run_with_limit(middle);
        if (run.output.find("can't retouch") != std::string::npos)
            refused = run;
        else if (run.status == 0)
            high = middle;
        else if (run.output.find("[Moonglow]\n") == std::string::npos)
            low = middle;
        else
            high = middle;  // got further than the first level: later levels failed for another reason
    }
    if (!refused) GTEST_SKIP() << "no limit between " << low << " and " << high << " KiB refuses the rendering alone";
    // The level's location line, the rendering's line and the driver's; the levels before it written.
    EXPECT_EQ(refused->status, 1);
    const std::vector<std::string> lines = lines_of(refused->output);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 2], "ERROR: memory exhausted!");
    EXPECT_EQ(lines.back(), "error: can't retouch bitmap");
    const size_t levels = lines.size() - 2;
    EXPECT_EQ(refused->output.substr(0, refused->output.rfind("ERROR")), location_lines({3}).substr(0, refused->output.rfind("ERROR")));
    EXPECT_EQ(bmp_files_in(run_dir->path.string()).size(), levels - 1);
}

} // namespace
