// The Apple II edition: five 140 KiB disk images (35 tracks of 16 sectors
// of 256 bytes) in the default sector order.
//
// zk-program.dsk is a ProDOS volume holding the hi-res tile file SHAPES and
// a few other files. The four settlement disks keep their group's NPC data
// on track 30 and its map data on tracks 31-34 as raw sectors; their other
// tracks hold filler.

#include "apple2_containers.hpp"
#include "prodos_volume.hpp"
#include "sample_data.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace sample {

namespace {


// Where position p of a track lies in the image file: sector table[p].
constexpr std::array<int, 16> sector_of_position = {0, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 15};

// The image file from the disk in position order (track by track, position
// p of track t at 4096 t + 256 p; so ProDOS block b at 512 b).
std::vector<uint8_t> image_from_positions(const std::vector<uint8_t>& by_position)
{
    std::vector<uint8_t> image(apple2_disk_bytes);
    for (int t = 0; t < apple2_tracks; ++t)
        for (int p = 0; p < apple2_sectors_per_track; ++p)
            for (int j = 0; j < apple2_sector_bytes; ++j)
                image[size_t(t * apple2_track_bytes + sector_of_position[size_t(p)] * apple2_sector_bytes + j)] =
                    by_position[size_t(t * apple2_track_bytes + p * apple2_sector_bytes + j)];
    return image;
}

// ------------------------------------------------------- hi-res pictures
//
// A hi-res byte shows 7 dots (bit 0 leftmost) and a palette bit (bit 7).
// A lone dot looks green at an even dot position and violet at an odd one
// with the palette bit clear, orange and blue with it set; lit neighbours
// look white. Each PC colour is given one of these looks; each byte takes
// the palette that most of its dots want, and a coloured dot is lit where
// its position has the colour's phase (or where it stands alone, so that
// small details do not vanish).

enum hires_look : uint8_t { look_black, look_white, look_green, look_violet, look_orange, look_blue };

constexpr std::array<hires_look, 16> look_of_pc_colour = {
    look_black,  look_blue,  look_green, look_blue,   // black, blue, green, cyan
    look_orange, look_violet, look_orange, look_white,  // red, magenta, brown, light grey
    look_black,  look_blue,  look_green, look_white,  // dark grey, light blue, light green, light cyan
    look_orange, look_violet, look_orange, look_white,  // light red, light magenta, yellow, white
};

bool palette_of(hires_look l) { return l == look_orange || l == look_blue; }

bool coloured(hires_look l) { return l != look_black && l != look_white; }

// 0 for the colours of even dots, 1 for those of odd dots.
int phase_of(hires_look l) { return (l == look_violet || l == look_blue) ? 1 : 0; }

// The 14 dots of a row from the 16 pixels of a picture row.
std::array<hires_look, 14> row_looks(const tile_picture& p, int row)
{
    std::array<hires_look, 14> looks{};
    for (int d = 0; d < 14; ++d)
        looks[size_t(d)] = look_of_pc_colour[p[size_t(row * tile_side + (d * 16 + 8) / 14)] & 15];
    return looks;
}

uint8_t hires_byte(const std::array<hires_look, 14>& looks, int side)
{
    int votes[2] = {0, 0};
    for (int k = 0; k < 7; ++k) {
        const hires_look l = looks[size_t(7 * side + k)];
        if (coloured(l))
            ++votes[palette_of(l) ? 1 : 0];
    }
    uint8_t b = votes[1] > votes[0] ? 0x80 : 0x00;
    for (int k = 0; k < 7; ++k) {
        const int d = 7 * side + k;
        const hires_look l = looks[size_t(d)];
        bool lit = l == look_white;
        if (coloured(l)) {
            const bool alone = (d == 0 || looks[size_t(d - 1)] != l) && (d == 13 || looks[size_t(d + 1)] != l);
            lit = (d % 2) == phase_of(l) || alone;
        }
        if (lit)
            b = uint8_t(b | 1 << k);
    }
    return b;
}

// Stencil pictures (white where the water goes) keep the dots; a byte that
// is mostly water gets the palette bit, so that the water drawn through
// the stencil keeps the water's palette.
bool is_stencil_tile(int n)
{
    return (n >= tile::stencil_first && n < tile::stencil_first + 16) ||
           (n >= tile::corner_stencil && n < tile::corner_stencil + 4);
}

uint8_t stencil_byte(const std::array<hires_look, 14>& looks, int side)
{
    uint8_t b = 0;
    int lit = 0;
    for (int k = 0; k < 7; ++k)
        if (looks[size_t(7 * side + k)] != look_black) {
            b = uint8_t(b | 1 << k);
            ++lit;
        }
    return lit >= 4 ? uint8_t(b | 0x80) : b;
}

// SHAPES: byte of tile n, row r, side c at 8192 (n / 256) + 4096 c +
// 256 r + n mod 256.
std::vector<uint8_t> encode_shapes(const tile_set& tiles)
{
    std::vector<uint8_t> out(16384);
    for (int n = 0; n < tile_count; ++n)
        for (int r = 0; r < 16; ++r) {
            const std::array<hires_look, 14> looks = row_looks(tiles[size_t(n)], r);
            for (int c = 0; c < 2; ++c)
                out[size_t(8192 * (n / 256) + 4096 * c + 256 * r + n % 256)] =
                    is_stencil_tile(n) ? stencil_byte(looks, c) : hires_byte(looks, c);
        }
    return out;
}

// ------------------------------------------------------ settlement disks

constexpr int npc_track = 30;
constexpr int first_map_track = 31;

// Hours that the 4-bit codes of the schedule sector stand for.
constexpr std::array<int, 16> code_hours = {0, 1, 3, 5, 6, 7, 9, 11, 12, 13, 15, 17, 18, 19, 21, 23};

// The code of the nearest hour. Between two equally near ones a window
// start takes the earlier and a window end the later, so a window never
// shrinks to nothing.
uint8_t hour_code(int hour, bool window_end)
{
    int best = 0;
    for (int c = 1; c < 16; ++c) {
        const int d = std::abs(code_hours[size_t(c)] - hour), best_d = std::abs(code_hours[size_t(best)] - hour);
        if (d < best_d || (d == best_d && window_end))
            best = c;
    }
    return uint8_t(best);
}

void fill_noise(std::vector<uint8_t>& bytes, size_t from, size_t to, uint32_t seed)
{
    lcg g{seed};
    for (size_t i = from; i < to; ++i)
        bytes[i] = uint8_t(lcg_next(g));
}

// The kind sector (columns of 32 bytes: kind, then the default record's
// kind, x, y, level and fifth byte, a spare column, the block's bytes at
// 544) and the schedule sector (window codes; slot code and x of entries 0
// to 2; level and y of entries 0 to 2) of one location.
void encode_npc_sectors(const uint8_t* block, uint8_t* kinds, uint8_t* schedule)
{
    for (int i = 0; i < 32; ++i) {
        const uint8_t* r = block + 16 * i;
        const uint8_t kind = block[512 + i];
        // By default an NPC stands where it is outside its windows (entry 1).
        kinds[i] = kind;
        kinds[32 + i] = kind;
        kinds[64 + i] = kind ? uint8_t(r[4] & 31) : 0;
        kinds[96 + i] = kind ? uint8_t(r[7] & 31) : 0;
        kinds[128 + i] = kind ? r[10] : 0;
        kinds[160 + i] = 0;
        kinds[192 + i] = 0;
        kinds[224 + i] = block[544 + i];

        schedule[i] = uint8_t(hour_code(r[12], false) << 4 | hour_code(r[13], true));
        schedule[32 + i] = uint8_t(hour_code(r[14], false) << 4 | hour_code(r[15], true));
        for (int e = 0; e < 3; ++e) {
            const uint8_t level = r[9 + e] == 255 ? 7 : uint8_t(r[9 + e] & 7);
            schedule[64 + 32 * e + i] = uint8_t((r[e] & 7) << 5 | (r[3 + e] & 31));
            schedule[160 + 32 * e + i] = uint8_t(level << 5 | (r[6 + e] & 31));
        }
    }
}

std::vector<uint8_t> settlement_disk(const settlement_group_data& group, int g)
{
    std::vector<uint8_t> disk(apple2_disk_bytes);
    fill_noise(disk, 0, size_t(npc_track) * apple2_track_bytes, 0xD15C0000u + uint32_t(g));

    uint8_t* npc = disk.data() + size_t(npc_track) * apple2_track_bytes;
    for (int l = 0; l < locations_per_group; ++l)
        encode_npc_sectors(group.npc.data() + size_t(l) * npc_block_bytes, npc + size_t(2 * l) * apple2_sector_bytes,
                           npc + size_t(2 * l + 1) * apple2_sector_bytes);

    // Four sectors per level, each a 16 x 16 quarter: top left, top right,
    // bottom left, bottom right.
    for (int s = 0; s < levels_per_group; ++s)
        for (int q = 0; q < 4; ++q) {
            const int track = first_map_track + s / 4, position = 4 * (s % 4) + q;
            uint8_t* sector = disk.data() + size_t(track * apple2_track_bytes + position * apple2_sector_bytes);
            for (int j = 0; j < apple2_sector_bytes; ++j) {
                const int x = 16 * (q % 2) + j % 16, y = 16 * (q / 2) + j / 16;
                sector[j] = group.map[size_t(s * level_bytes + y * level_side + x)];
            }
        }
    return disk;
}

// ----------------------------------------------------------- program disk

std::vector<uint8_t> text_bytes(const std::string& text)
{
    std::vector<uint8_t> out;
    for (char c : text)
        out.push_back(c == '\n' ? uint8_t(0x0D) : uint8_t(c));
    return out;
}

// A file of 400 lines of text, for a sapling file in a subdirectory whose
// second block is a hole.
std::vector<uint8_t> level_notes()
{
    std::vector<uint8_t> out(2048, 0);
    const std::vector<uint8_t> head = text_bytes("LEVEL NOTES\nFIRST BLOCK\n");
    const std::vector<uint8_t> tail = text_bytes("THIRD AND FOURTH BLOCKS\n");
    std::copy(head.begin(), head.end(), out.begin());
    for (size_t i = 0; i < 1024; ++i)
        out[1024 + i] = tail[i % tail.size()];
    return out;
}

// A saved game far larger than its blocks: a tree file that is mostly
// holes, with data at its start and past 256 KiB.
constexpr uint32_t save_size = 262144 + 1000;

std::vector<uint8_t> saved_game()
{
    std::vector<uint8_t> out(save_size, 0);
    fill_noise(out, 0, 1024, 0x5A7E0001u);      // blocks 0, 1 of index 0
    fill_noise(out, 3072, 3584, 0x5A7E0002u);   // block 6 of index 0
    fill_noise(out, 262144, save_size, 0x5A7E0003u);  // blocks 0, 1 of index 2
    return out;
}

// An older SHAPES that was deleted: its blocks are free but still hold it.
std::vector<uint8_t> old_shapes()
{
    std::vector<uint8_t> out(16384);
    fill_noise(out, 0, out.size(), 0x01D5A9E5u);
    return out;
}

std::vector<int> block_run(int first, int count)
{
    std::vector<int> out;
    for (int i = 0; i < count; ++i)
        out.push_back(first + i);
    return out;
}

// Blocks: 0-1 boot, 2-5 volume directory, 6 bit map, 7 DATA directory,
// 8 README, 9-12 DATA/NOTES (index 9, block 11 of the file a hole),
// 20-36 and 50-65 SHAPES (index 20, data 21-36 and 50-65), 140-147 SAVEGAME
// (master 140, index blocks 141 and 145, master entry 1 a hole), 100-132
// the deleted old SHAPES (free in the bit map).
int build_program_volume(const sample_data& data, prodos_volume& v)
{
    prodos_init(v);
    const prodos_stamp stamp = {1990, 3, 15, 12, 34};
    const prodos_stamp old_stamp = {1990, 2, 1, 9, 30};

    // Boot blocks: the loader's block count byte, then code that halts,
    // and the disk's name.
    for (int b : {0, 1})
        if (prodos_take(v, b) < 0)
            return -1;
    const uint8_t boot[] = {0x01, 0x78, 0x4C, 0x02, 0x08};  // sei; jmp $0802
    std::copy(std::begin(boot), std::end(boot), v.bytes.begin());
    const std::vector<uint8_t> banner = text_bytes("ZK SAMPLE PROGRAM DISK");
    std::copy(banner.begin(), banner.end(), v.bytes.begin() + 0x40);

    for (int b = 2; b <= 5; ++b) {
        if (prodos_take(v, b) < 0)
            return -1;
        prodos_link_directory_block(v, b, b == 2 ? 0 : b - 1, b == 5 ? 0 : b + 1);
    }

    // Files.
    const std::vector<uint8_t> readme =
        text_bytes("ZK SAMPLE DATA\nSYNTHETIC TILES AND MAPS FOR THE MAP EXTRACTORS' TESTS.\n");
    const std::vector<uint8_t> notes = level_notes();
    const std::vector<uint8_t> shapes = encode_shapes(data.tiles);
    const std::vector<uint8_t> save = saved_game();
    const std::vector<uint8_t> old = old_shapes();

    std::vector<int> shape_blocks = block_run(21, 16);
    const std::vector<int> upper = block_run(50, 16);
    shape_blocks.insert(shape_blocks.end(), upper.begin(), upper.end());
    const int readme_used = prodos_place_seedling(v, "README", readme, 8);
    const int notes_used = prodos_place_sapling(v, "NOTES", notes, 9, {10, 0, 11, 12});
    const int shapes_used = prodos_place_sapling(v, "SHAPES", shapes, 20, shape_blocks);
    const int save_used = prodos_place_tree(v, "SAVEGAME", save, 140, {141, 0, 145},
                                            {{142, 143, 0, 0, 0, 0, 144}, {}, {146, 147}});
    if (readme_used < 0 || notes_used < 0 || shapes_used < 0 || save_used < 0)
        return -1;
    if (prodos_take(v, 7) < 0)
        return -1;

    // The deleted file: written, then its blocks given back.
    prodos_volume scratch = v;
    if (prodos_place_sapling(scratch, "SHAPES", old, 100, block_run(101, 32)) < 0)
        return -1;
    for (int b = 100; b <= 132; ++b)
        for (size_t i = 0; i < prodos_block_bytes; ++i)
            v.bytes[size_t(b) * prodos_block_bytes + i] = scratch.bytes[size_t(b) * prodos_block_bytes + i];

    // Volume directory: block 2 holds the deleted entry, README and the
    // DATA directory; block 3 SHAPES and SAVEGAME; blocks 4 and 5 are empty.
    prodos_put_volume_header(v, 2, "ZK.PROGRAM", 4, 6, stamp);
    prodos_put_entry(v, 2, 1, {storage_deleted, "SHAPES", 0x06, 100, 33, 16384, 0x6000, 2, old_stamp});
    prodos_put_entry(v, 2, 2, {storage_seedling, "README", 0x04, 8, readme_used, uint32_t(readme.size()), 0, 2, stamp});
    prodos_put_entry(v, 2, 3, {storage_subdirectory, "DATA", 0x0F, 7, 1, 512, 0, 2, stamp});
    prodos_put_entry(v, 3, 0, {storage_sapling, "SHAPES", 0x06, 20, shapes_used, uint32_t(shapes.size()), 0x6000, 2, stamp});
    prodos_put_entry(v, 3, 1, {storage_tree, "SAVEGAME", 0x06, 140, save_used, save_size, 0, 2, stamp});

    // DATA: its header (parent: block 2, entry 4 counting the header as 1)
    // and one file.
    prodos_link_directory_block(v, 7, 0, 0);
    prodos_put_subdirectory_header(v, 7, "DATA", 1, 2, 4, stamp);
    prodos_put_entry(v, 7, 1, {storage_sapling, "NOTES", 0x04, 9, notes_used, uint32_t(notes.size()), 0, 7, stamp});

    return prodos_write_bit_map(v, 6);
}

}  // namespace

int write_apple2_files(const sample_data& data, const std::filesystem::path& out_dir)
{
    const std::filesystem::path dir = out_dir / "apple2";
    if (make_output_dir(dir) < 0)
        return -1;
    prodos_volume program;
    if (build_program_volume(data, program) < 0)
        return -1;
    if (write_output_file(dir / "zk-program.dsk", image_from_positions(program.bytes), apple2_disk_bytes) < 0)
        return -1;
    const char* names[4] = {"zk-castle.dsk", "zk-dwelling.dsk", "zk-keep.dsk", "zk-towne.dsk"};
    for (int g = 0; g < 4; ++g)
        if (write_output_file(dir / names[g], image_from_positions(settlement_disk(data.groups[size_t(g)], g)),
                              apple2_disk_bytes) < 0)
            return -1;
    // OUTDIR/apple2-formats: the program and towne disks in every other form.
    const std::filesystem::path formats = out_dir / "apple2-formats";
    const std::vector<uint8_t> towne = settlement_disk(data.groups[3], 3);
    if (make_output_dir(formats) < 0 ||
        write_apple2_containers(formats, "zk-program", program.bytes, image_from_positions(program.bytes)) < 0 ||
        write_apple2_containers(formats, "zk-towne", towne, image_from_positions(towne)) < 0)
        return -1;
    return 0;
}

}  // namespace sample
