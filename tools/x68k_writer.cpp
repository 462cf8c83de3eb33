// The X68000 and PC-98 editions: one 2HD floppy with a FAT12 file system,
// written as a headerless .xdf and as an .fdi with a 4096-byte header.
//
// TILES.CH (256 tiles, 3 bit planes) and NPC.CH (256 shapes, 4 planes)
// hold the pictures scaled to 32 x 32 in the 8 colours (bit 0 blue, bit 1
// red, bit 2 green); in NPC.CH the black background of a figure, the black
// reachable from the picture's border, gets the fourth plane, which the
// mappers treat as transparent. The world maps are stored row by row.

#include "fat12_image.hpp"
#include "x68k_containers.hpp"
#include "sample_data.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <string>

namespace sample {

namespace {

constexpr int ch_side = 32;
constexpr int ch_plane_bytes = ch_side * ch_side / 8;  // 128
constexpr int transparent_plane = 8;

// The 16 PC colours and the 8 colours here, as red, green, blue.
constexpr std::array<std::array<int, 3>, 16> pc_rgb = {{
    {0x00, 0x00, 0x00}, {0x00, 0x00, 0xAA}, {0x00, 0xAA, 0x00}, {0x00, 0xAA, 0xAA},
    {0xAA, 0x00, 0x00}, {0xAA, 0x00, 0xAA}, {0xAA, 0x55, 0x00}, {0xAA, 0xAA, 0xAA},
    {0x55, 0x55, 0x55}, {0x55, 0x55, 0xFF}, {0x55, 0xFF, 0x55}, {0x55, 0xFF, 0xFF},
    {0xFF, 0x55, 0x55}, {0xFF, 0x55, 0xFF}, {0xFF, 0xFF, 0x55}, {0xFF, 0xFF, 0xFF},
}};

std::array<int, 3> x68k_rgb(int index)
{
    return {(index & 2) ? 255 : 0, (index & 4) ? 255 : 0, (index & 1) ? 255 : 0};
}

// Nearest of the 8 colours by squared distance (the lower index on a tie).
std::array<uint8_t, 16> make_colour_map()
{
    std::array<uint8_t, 16> map{};
    for (size_t pc = 0; pc < 16; ++pc) {
        int best = 0, best_distance = 1 << 30;
        for (int c = 0; c < 8; ++c) {
            const std::array<int, 3> rgb = x68k_rgb(c);
            int d = 0;
            for (size_t k = 0; k < 3; ++k)
                d += (pc_rgb[pc][k] - rgb[k]) * (pc_rgb[pc][k] - rgb[k]);
            if (d < best_distance) {
                best_distance = d;
                best = c;
            }
        }
        map[pc] = uint8_t(best);
    }
    return map;
}

// Black pixels connected to the border of the picture (4-neighbourhood).
std::array<bool, tile_side * tile_side> border_black(const tile_picture& p)
{
    std::array<bool, tile_side * tile_side> seen{};
    std::vector<int> stack;
    for (int i = 0; i < tile_side; ++i)
        for (int pos : {i, (tile_side - 1) * tile_side + i, i * tile_side, i * tile_side + tile_side - 1})
            if (p[size_t(pos)] == 0 && !seen[size_t(pos)]) {
                seen[size_t(pos)] = true;
                stack.push_back(pos);
            }
    while (!stack.empty()) {
        const int pos = stack.back();
        stack.pop_back();
        const int x = pos % tile_side, y = pos / tile_side;
        const int next[4][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
        for (const auto& n : next) {
            if (n[0] < 0 || n[0] >= tile_side || n[1] < 0 || n[1] >= tile_side)
                continue;
            const size_t q = size_t(n[1] * tile_side + n[0]);
            if (p[q] == 0 && !seen[q]) {
                seen[q] = true;
                stack.push_back(int(q));
            }
        }
    }
    return seen;
}

// Tiles first .. first + 255 as bit planes: per tile `planes` planes of 32
// lines of 4 bytes, the leftmost pixel in bit 7.
std::vector<uint8_t> encode_ch_file(const tile_set& tiles, int first, int planes, bool transparent_background)
{
    const std::array<uint8_t, 16> colour = make_colour_map();
    std::vector<uint8_t> out(size_t(256) * planes * ch_plane_bytes, 0);
    for (int t = 0; t < 256; ++t) {
        const tile_picture& p = tiles[size_t(first + t)];
        std::array<bool, tile_side * tile_side> background{};
        if (transparent_background)
            background = border_black(p);
        const size_t base = size_t(t) * planes * ch_plane_bytes;
        for (int y = 0; y < ch_side; ++y)
            for (int x = 0; x < ch_side; ++x) {
                const size_t src = size_t((y / 2) * tile_side + x / 2);
                const int c = background[src] ? transparent_plane : colour[p[src] & 15];
                for (int k = 0; k < planes; ++k)
                    if ((c >> k) & 1)
                        out[base + size_t(k) * ch_plane_bytes + size_t(y * 4 + x / 8)] |= uint8_t(0x80 >> (x % 8));
            }
    }
    return out;
}

// Row by row, the areas that the PC file leaves out drawn as deep water.
std::vector<uint8_t> encode_rows(const world_map& map, bool surface)
{
    std::vector<uint8_t> out(map.begin(), map.end());
    if (surface)
        for (int y = 0; y < world_side; ++y)
            for (int x = 0; x < world_side; ++x)
                if (!surface_chunk_present((y / 16) * 16 + x / 16))
                    out[size_t(y * world_side + x)] = tile::deep_water;
    return out;
}

// What a deleted file left in clusters that nobody has reused since.
std::vector<uint8_t> stale_bytes(size_t size)
{
    std::vector<uint8_t> out(size);
    lcg g{20240601u};
    for (uint8_t& b : out)
        b = uint8_t(lcg_next(g));
    return out;
}

struct disk_file {
    std::string name;
    std::vector<uint8_t> bytes;
    size_t expected_size;
    std::vector<cluster_run> runs;
};

// The 4096-byte header in front of the .fdi: the image's own description
// (drive type, header size, data size, sector size, sectors per track,
// sides, cylinders), the rest zero.
std::vector<uint8_t> fdi_header()
{
    std::vector<uint8_t> h(4096, 0);
    put_le32(h, 4, 0x90);  // 2HD drive
    put_le32(h, 8, 4096);
    put_le32(h, 12, uint32_t(fat_image_bytes));
    put_le32(h, 16, fat_bytes_per_sector);
    put_le32(h, 20, 8);
    put_le32(h, 24, 2);
    put_le32(h, 28, 77);
    return h;
}

}  // namespace

int write_x68k_files(const sample_data& data, const std::filesystem::path& out_dir)
{
    const std::filesystem::path dir = out_dir / "x68k";
    if (make_output_dir(dir) < 0)
        return -1;

    fat_volume volume;
    fat_format(volume, "ZKSAMPLE");

    // Cluster layout: TILES.CH, then files placed into the hole that a
    // deleted file left behind (98 .. 137), NPC.CH in three pieces, the
    // last one going back down the disk, CASTLE.NPC split in two, a free
    // cluster (199) between files, and UNDER.DAT in the disk's last clusters.
    const std::vector<disk_file> files = {
        {"TILES.CH", encode_ch_file(data.tiles, 0, 3, false), 98304, {{2, 97}}},
        {"NPC.CH", encode_ch_file(data.tiles, 256, 4, true), 131072, {{114, 137}, {200, 263}, {140, 179}}},
        {"CASTLE.DAT", data.groups[0].map, 16384, {{98, 113}}},
        {"CASTLE.NPC", data.groups[0].npc, 4608, {{138, 139}, {180, 182}}},
        {"DWELLING.DAT", data.groups[1].map, 16384, {{183, 198}}},
        {"DWELLING.NPC", data.groups[1].npc, 4608, {{264, 268}}},
        {"KEEP.DAT", data.groups[2].map, 16384, {{269, 284}}},
        {"KEEP.NPC", data.groups[2].npc, 4608, {{285, 289}}},
        {"TOWNE.DAT", data.groups[3].map, 16384, {{290, 305}}},
        {"TOWNE.NPC", data.groups[3].npc, 4608, {{306, 310}}},
        {"BRIT.DAT", encode_rows(data.surface, true), 65536, {{311, 374}}},
        {"UNDER.DAT", encode_rows(data.underworld, false), 65536, {{fat_last_cluster - 63, fat_last_cluster}}},
    };

    // The deleted file's data: only the clusters that no file took again
    // still hold it; its chain is freed.
    const std::vector<uint8_t> stale = stale_bytes(size_t(40) * fat_bytes_per_sector);
    for (size_t i = 0; i < stale.size(); ++i)
        volume.image[size_t(fat_first_data_sector + 98 - 2) * fat_bytes_per_sector + i] = stale[i];

    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i].bytes.size() != files[i].expected_size) {
            std::printf("error: '%s' would be %zu bytes, not %zu\n", files[i].name.c_str(), files[i].bytes.size(),
                        files[i].expected_size);
            return -1;
        }
        if (fat_place_file(volume, files[i].name, files[i].bytes, files[i].runs) < 0)
            return -1;
    }
    fat_write_tables(volume);

    // Root directory: the volume label, the files, and among them a deleted
    // entry and a free slot (0xE5, the rest zero). The all-zero entries come
    // only after the last file: a zero first byte ends the directory for
    // other readers of the disk.
    const fat_date_time label_time = {1990, 3, 15, 10, 0, 0};
    const fat_date_time file_time = {1990, 3, 15, 12, 34, 56};
    const fat_date_time old_time = {1990, 2, 1, 9, 30, 0};
    int entry = 0;
    fat_put_entry(volume, entry++, "ZK BRITANIA", 0x08, label_time, 0, 0);
    fat_put_entry(volume, entry++, fat_name11(files[0].name), 0x21, file_time, files[0].runs[0].first,
                  uint32_t(files[0].bytes.size()));
    fat_put_entry(volume, entry++, fat_name11(files[1].name), 0x21, file_time, files[1].runs[0].first,
                  uint32_t(files[1].bytes.size()));
    fat_put_entry(volume, entry++, "\xE5" "LDMAPS  DAT", 0x20, old_time, 98, uint32_t(stale.size()));
    volume.image[size_t(fat_root_sector) * fat_bytes_per_sector + size_t(entry++) * 32] = 0xE5;
    for (size_t i = 2; i < files.size(); ++i)
        fat_put_entry(volume, entry++, fat_name11(files[i].name), 0x20, file_time, files[i].runs[0].first,
                      uint32_t(files[i].bytes.size()));

    std::vector<uint8_t> fdi = fdi_header();
    fdi.resize(fdi.size() + volume.image.size());
    std::copy(volume.image.begin(), volume.image.end(), fdi.end() - std::ptrdiff_t(volume.image.size()));
    if (write_output_file(dir / "zk-britannia.xdf", volume.image, fat_image_bytes) < 0 ||
        write_output_file(dir / "ZK_Britania.fdi", fdi, fat_image_bytes + 4096) < 0)
        return -1;

    std::vector<std::pair<std::string, std::vector<uint8_t>>> copies;
    for (const disk_file& file : files)
        copies.emplace_back(file.name, file.bytes);
    return write_x68k_containers(out_dir, volume.image, copies);
}

}  // namespace sample
