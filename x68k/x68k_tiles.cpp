// Decoding TILES.CH and NPC.CH into a tile sheet and its mask. Formats in x68k_tiles.hpp.
#include "x68k_tiles.hpp"

#include <array>
#include <bit>
#include <cstring>
#include <cstdio>
#include <new>
#include <vector>

#include "bitmap/colour_convert.hpp"
#include "x68k/disk_container.hpp"

namespace {

constexpr int sheet_width = x68k_tile_size * sheet_columns;  // 512 pixels
constexpr int line_bytes = x68k_tile_size / 8;               // 4 bytes per plane line
constexpr int plane_bytes = line_bytes * x68k_tile_size;     // 128
constexpr int file_tile_rows = 16;                           // 256 tiles per file

constexpr int first_dot_tile = 488;                    // tiles 488-491
constexpr uint8_t dot_colours[4] = {4, 3, 2, 1};
constexpr int dot_threshold = 16382;                   // a dot where the draw is above this

constexpr int water_tile = 3;
constexpr int first_triangle = 208;                    // stencils 208-211 are fixed triangles

constexpr int kept_row = 9;                            // tiles 157-159 keep their colours
constexpr int first_kept_column = 13;

constexpr palette_entry mask_source_palette[16] = {
    {0, 0, 0, 0},         {0, 0, 0, 0},         {0, 0, 0, 0},         {0, 0, 0, 0},
    {0, 0, 0, 0},         {0, 0, 0, 0},         {0, 0, 0, 0},         {0, 0, 0, 0},
    {255, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255},
    {255, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255},
};
constexpr palette_entry mask_palette[2] = {{0, 0, 0, 0}, {255, 255, 255, 255}};

bool is_x68k_sheet(const tile_sheet& sheet) { return sheet.pixels.size() == x68k_sheet_bytes; }

// Pixel row y of tile `tile`.
uint8_t* tile_row(tile_sheet& sheet, int tile, int y)
{
    const size_t row = static_cast<size_t>((tile / sheet_columns) * x68k_tile_size + y);
    return sheet.pixels.data() + row * sheet_width + static_cast<size_t>(tile % sheet_columns) * x68k_tile_size;
}

// Whether pixel (x, y) lies in the water triangle of stencil 208-211.
bool in_triangle(int stencil, int x, int y)
{
    const int last = x68k_tile_size - 1;
    switch (stencil) {
    case 208: return x + y <= last;  // upper left
    case 209: return y <= x;         // upper right
    case 210: return x + y >= last;  // lower right
    default: return y >= x;          // 211, lower left
    }
}

// Sets up a 512 x 1024-pixel sheet of zeros with `palette`. 0, or -1 after the memory line.
int set_up_sheet(tile_sheet& sheet, int bit_count, std::span<const palette_entry> palette)
{
    return make_edition_sheet(sheet, x68k_tile_size, x68k_tile_size, bit_count, palette);
}

// Reads and decodes both .CH files from the open disk. 0 or -1.
int read_ch_files(const disk_image& disk, const char* image_path, tile_sheet& sheet, bool swap)
{
    for (const ch_file& file : ch_files) {
        std::vector<uint8_t> bytes;
        if (allocate_buffer(bytes, static_cast<size_t>(file.bytes)) < 0) return -1;
        if (read_disk_file(disk, file.name, bytes.data(), file.bytes) < 0) {
            std::printf("error: read disk image '%s/%s'\n", image_path, file.name);
            return -1;
        }
        decode_plane_tiles(sheet, bytes, file.planes, file.first_tile_row, swap);
    }
    return 0;
}

// The eight pixels of a plane byte as eight bytes of 0 or 1 in memory order (the byte's
// bit 7, the leftmost pixel, first), so that a plane value multiplies them all at once.
constexpr std::array<uint64_t, 256> make_plane_spread()
{
    std::array<uint64_t, 256> spread{};
    for (unsigned byte = 0; byte < 256; ++byte)
        for (unsigned x = 0; x < 8; ++x) {
            if (!(byte & (0x80u >> x))) continue;
            // Pixel x is the x-th byte in memory: bits 8x up on a little-endian processor.
            const unsigned shift = std::endian::native == std::endian::little ? 8 * x : 8 * (7 - x);
            spread[byte] |= uint64_t{1} << shift;
        }
    return spread;
}

constexpr std::array<uint64_t, 256> plane_spread = make_plane_spread();

} // namespace

int decode_plane_tiles(tile_sheet& sheet, std::span<const uint8_t> file, int planes, int first_tile_row, bool swap)
{
    if (!is_x68k_sheet(sheet) || planes < 1 || planes > 4 || first_tile_row < 0 ||
        first_tile_row + file_tile_rows > sheet_rows ||
        file.size() < static_cast<size_t>(file_tile_rows) * sheet_columns * planes * plane_bytes)
        return -1;
    const uint8_t* src = file.data();
    for (int r = first_tile_row; r < first_tile_row + file_tile_rows; ++r) {
        for (int c = 0; c < sheet_columns; ++c) {
            const bool swapped = swap && is_recoloured_tile(standard_tile_attributes, r, c);
            for (int k = 0; k < planes; ++k) {
                int value = 1 << k;
                if (swapped && (value == 2 || value == 4)) value ^= 6;  // red and green trade places
                for (int y = 0; y < x68k_tile_size; ++y, src += line_bytes) {
                    // Each byte of the line gives eight pixels, spread to one byte each at once.
                    uint8_t* dst = tile_row(sheet, r * sheet_columns + c, y);
                    for (int b = 0; b < line_bytes; ++b, dst += 8) {
                        uint64_t pixels;
                        std::memcpy(&pixels, dst, 8);
                        pixels |= plane_spread[src[b]] * static_cast<uint64_t>(value);
                        std::memcpy(dst, &pixels, 8);
                    }
                }
            }
        }
    }
    return 0;
}

int make_random_dot_tiles(tile_sheet& sheet, rand15_state& random)
{
    if (!is_x68k_sheet(sheet)) return -1;
    for (int y = 0; y < x68k_tile_size; ++y) {
        bool dots[x68k_tile_size];
        for (bool& dot : dots) dot = next_rand15(random) > dot_threshold;
        for (int k = 0; k < 4; ++k) {
            uint8_t* dst = tile_row(sheet, first_dot_tile + k, y);
            for (int x = 0; x < x68k_tile_size; ++x) dst[x] = dots[x] ? dot_colours[k] : 0;
        }
    }
    return 0;
}

int redraw_water_tiles(tile_sheet& sheet)
{
    if (!is_x68k_sheet(sheet)) return -1;
    for (int r = 0; r < sheet_rows; ++r) {
        for (int c = 0; c < sheet_columns; ++c) {
            const int v = water_stencil_of(standard_tile_attributes, r, c);
            if (v == 0) continue;
            const int tile = r * sheet_columns + c;
            int stencil = v < 0 ? -v : v;
            const bool triangle = stencil >= first_triangle && stencil < first_triangle + 4;
            if (triangle && v < 0) stencil = first_triangle + (stencil - first_triangle + 2) % 4;  // the opposite corner
            for (int y = 0; y < x68k_tile_size; ++y) {
                uint8_t* dst = tile_row(sheet, tile, y);
                const uint8_t* water = tile_row(sheet, water_tile, y);
                const uint8_t* shape = triangle ? nullptr : tile_row(sheet, stencil, y);
                for (int x = 0; x < x68k_tile_size; ++x) {
                    const bool wet = triangle ? in_triangle(stencil, x, y) : (shape[x] != 0) == (v > 0);
                    if (wet) dst[x] = water[x];
                }
            }
        }
    }
    return 0;
}

int recolour_mirror_room(tile_sheet& sheet, int rows)
{
    if (!is_x68k_sheet(sheet)) return -1;
    const int last_row = rows < 0 ? 0 : (rows > sheet_rows ? sheet_rows : rows);
    for (int r = 0; r < last_row; ++r) {
        const int width = r == kept_row ? first_kept_column * x68k_tile_size : sheet_width;
        for (int y = 0; y < x68k_tile_size; ++y) {
            uint8_t* dst = tile_row(sheet, r * sheet_columns, y);
            for (int x = 0; x < width; ++x) dst[x] = mirror_room_colours[dst[x] & 15];
        }
    }
    return 0;
}

int load_x68k_tiles(disk_image& disk, const char* image_path, int header_size, tile_sheet& sheet, tile_sheet* mask,
                    shape_type type, bool no_remake_water, int mirror_rows, rand15_state& random)
{
    if (set_up_sheet(sheet, 4, x68k_palette) < 0) return -1;
    if (mask && set_up_sheet(*mask, 1, mask_palette) < 0) return -1;

    if (open_disk_once(disk, image_path, header_size) < 0) return -1;
    if (read_ch_files(disk, image_path, sheet, type != shape_type::normal) < 0) return -1;

    make_random_dot_tiles(sheet, random);
    if (!no_remake_water) redraw_water_tiles(sheet);
    if (type == shape_type::mirror_room) recolour_mirror_room(sheet, mirror_rows);
    if (mask && convert_bit_count(static_cast<uint32_t>(sheet_width), static_cast<uint32_t>(x68k_tile_size * sheet_rows), 4,
                                  mask_source_palette, sheet.pixels.data(), 1, mask->palette.data(),
                                  &mask->pixels) < 0) {
        std::printf("error: convert bit count\n");
        return -1;
    }
    return 0;
}
