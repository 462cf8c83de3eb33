// The PC edition's files as the game ships them: the LZW-compressed EGA and
// CGA tile files, the chunked world maps and the settlement map and NPC
// files, under their own names; beside them the decoded tile files that the
// mappers read.

#include "lzw_encode.hpp"
#include "sample_data.hpp"

#include <string>

namespace sample {

namespace {

// The CGA files hold 2-bit values that the loader widens to colours
// 0, 3, 5, 7 (black, cyan, magenta, light grey). Greens and dark grey are
// dithered with black so that grass, water and stone stay apart.
uint8_t cga_value(int colour, int x, int y)
{
    bool odd = ((x + y) & 1) != 0;
    switch (colour) {
    case 0: return 0;
    case 1: case 3: case 9: case 10: return 1;
    case 2: return odd ? 1 : 0;
    case 4: case 5: case 6: case 12: case 13: return 2;
    case 8: return odd ? 3 : 0;
    default: return 3;  // 7, 11, 14, 15
    }
}

std::vector<uint8_t> encode_ega_tiles(const tile_set& tiles)
{
    std::vector<uint8_t> out;
    out.reserve(size_t(tile_count) * 128);
    for (const tile_picture& p : tiles)
        for (size_t i = 0; i < p.size(); i += 2)
            out.push_back(uint8_t((p[i] & 15) << 4 | (p[i + 1] & 15)));
    return out;
}

std::vector<uint8_t> encode_cga_tiles(const tile_set& tiles)
{
    std::vector<uint8_t> out;
    out.reserve(size_t(tile_count) * 64);
    for (const tile_picture& p : tiles)
        for (size_t i = 0; i < p.size(); i += 4) {
            uint8_t b = 0;
            for (size_t k = 0; k < 4; ++k) {
                int x = int((i + k) % 16), y = int((i + k) / 16);
                b = uint8_t(b | cga_value(p[i + k], x, y) << (6 - 2 * k));
            }
            out.push_back(b);
        }
    return out;
}

// 16 x 16-tile chunks in position order, absent surface areas left out.
std::vector<uint8_t> encode_chunks(const world_map& map, bool surface)
{
    std::vector<uint8_t> out;
    for (int c = 0; c < 256; ++c) {
        if (surface && !surface_chunk_present(c))
            continue;
        int x0 = (c % 16) * 16, y0 = (c / 16) * 16;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                out.push_back(map[size_t((y0 + y) * world_side + x0 + x)]);
    }
    return out;
}

}  // namespace

int write_pc_files(const sample_data& data, const std::filesystem::path& out_dir)
{
    const std::filesystem::path dir = out_dir / "pc";
    const std::filesystem::path decoded = out_dir / "pc-decoded";
    if (make_output_dir(dir) < 0 || make_output_dir(decoded) < 0)
        return -1;
    const std::vector<uint8_t> ega = encode_ega_tiles(data.tiles);
    const std::vector<uint8_t> cga = encode_cga_tiles(data.tiles);
    // TILES.16 lets the dictionary fill up and stay full; TILES.4 also
    // resets it now and then, a little after it has filled.
    const std::vector<uint8_t> ega_packed = lzw_encode(ega.data(), ega.size());
    const std::vector<uint8_t> cga_packed = lzw_encode(cga.data(), cga.size(), lzw_options{.reset_every = 4000});
    if (write_output_file(decoded / "TILES.16", ega, 65536) < 0 ||
        write_output_file(decoded / "TILES.4", cga, 32768) < 0 ||
        write_output_file(dir / "TILES.16", ega_packed, ega_packed.size()) < 0 ||
        write_output_file(dir / "TILES.4", cga_packed, cga_packed.size()) < 0 ||
        write_output_file(dir / "BRIT.DAT", encode_chunks(data.surface, true), 52480) < 0 ||
        write_output_file(dir / "UNDER.DAT", encode_chunks(data.underworld, false), 65536) < 0)
        return -1;
    for (size_t g = 0; g < 4; ++g) {
        const std::string base = group_file_base[g];
        if (write_output_file(dir / (base + ".DAT"), data.groups[g].map, size_t(levels_per_group * level_bytes)) < 0 ||
            write_output_file(dir / (base + ".NPC"), data.groups[g].npc, size_t(locations_per_group * npc_block_bytes)) < 0)
            return -1;
    }
    return 0;
}

}  // namespace sample
