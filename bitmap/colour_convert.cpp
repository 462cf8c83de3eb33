// Bit-count conversion by nearest palette colour, and mask bitmaps.
#include "colour_convert.hpp"

#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

#include "bytes.hpp"

namespace {

constexpr int distance_above_any = 0x30000;  // 3 * 255^2 < 0x30000

constexpr palette_entry black_and_white[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};

struct colour {
    int blue;
    int green;
    int red;
};

// One side of a conversion: a palette of `entries` colours, or direct colour (entries 0).
struct pixel_side {
    int bit_count = 0;
    int bytes_per_pixel = 0;
    const palette_entry* palette = nullptr;
    int entries = 0;
};

// Fills `side`; false for an unsupported bit count or a 4- or 8-bit side without palette.
bool classify(int bit_count, const palette_entry* palette, pixel_side& side)
{
    side.bit_count = bit_count;
    side.bytes_per_pixel = static_cast<int>(bytes_per_pixel_of(static_cast<uint32_t>(bit_count)));
    switch (bit_count) {
    case 1:
        side.palette = palette ? palette : black_and_white;
        side.entries = 2;
        return true;
    case 4:
    case 8:
        side.palette = palette;
        side.entries = 1 << bit_count;
        return palette != nullptr;
    case 16:
    case 24:
    case 32:
        return true;
    default:
        return false;
    }
}

// The palette index a stored byte stands for: only its valid bits count.
int index_of(uint8_t byte, int bit_count)
{
    if (bit_count == 1) return byte ? 1 : 0;
    if (bit_count == 4) return byte & 15;
    return byte;
}

// A 5-bit field widened to 8 bits.
int widen5(unsigned field) { return static_cast<int>((field << 3) | (field >> 2)); }

colour read_direct(const uint8_t* p, int bit_count)
{
    if (bit_count == 16) {
        const unsigned v = get_u16_le(p);
        return {widen5(v & 31), widen5((v >> 5) & 31), widen5((v >> 10) & 31)};
    }
    return {p[0], p[1], p[2]};
}

void write_direct(uint8_t* p, int bit_count, colour c)
{
    if (bit_count == 16) {
        const unsigned v = static_cast<unsigned>((c.red / 8) * 1024 + (c.green / 8) * 32 + c.blue / 8);
        put_u16_le(p, static_cast<uint16_t>(v));
        return;
    }
    p[0] = static_cast<uint8_t>(c.blue);
    p[1] = static_cast<uint8_t>(c.green);
    p[2] = static_cast<uint8_t>(c.red);
    if (bit_count == 32) p[3] = 0;
}

colour colour_of(const palette_entry& entry) { return {entry.blue, entry.green, entry.red}; }

int nearest(colour c, const pixel_side& side)
{
    return nearest_palette_index(c.red, c.green, c.blue, side.palette, side.entries);
}

// Converts one row of `width` pixels. `map` is the source-to-destination index map of a
// paletted pair, unused otherwise.
void convert_row(uint8_t* dst, const uint8_t* src, size_t width, const pixel_side& from, const pixel_side& to,
                 const uint8_t* map)
{
    const size_t sbpp = static_cast<size_t>(from.bytes_per_pixel);
    const size_t dbpp = static_cast<size_t>(to.bytes_per_pixel);
    if (from.entries && to.entries) {
        for (size_t x = 0; x < width; ++x) dst[x] = map[index_of(src[x], from.bit_count)];
    } else if (from.entries) {
        for (size_t x = 0; x < width; ++x)
            write_direct(dst + x * dbpp, to.bit_count, colour_of(from.palette[index_of(src[x], from.bit_count)]));
    } else if (to.entries) {
        for (size_t x = 0; x < width; ++x)
            dst[x] = static_cast<uint8_t>(nearest(read_direct(src + x * sbpp, from.bit_count), to));
    } else if (from.bit_count == to.bit_count) {
        std::memcpy(dst, src, width * sbpp);
    } else {
        for (size_t x = 0; x < width; ++x) write_direct(dst + x * dbpp, to.bit_count, read_direct(src + x * sbpp, from.bit_count));
    }
}

} // namespace

int nearest_palette_index(int red, int green, int blue, const palette_entry* palette, int count)
{
    int best = 0;
    int best_distance = distance_above_any;
    for (int i = 0; i < count; ++i) {
        const int db = palette[i].blue - blue;
        const int dg = palette[i].green - green;
        const int dr = palette[i].red - red;
        const int distance = db * db + dg * dg + dr * dr;
        if (distance == 0) return i;
        if (distance < best_distance) {
            best_distance = distance;
            best = i;
        }
    }
    return best;
}

int convert_bit_count(uint32_t width, uint32_t height, int src_bit_count, const palette_entry* src_palette,
                      const uint8_t* src_pixels, int dst_bit_count, const palette_entry* dst_palette,
                      std::vector<uint8_t>* dst_pixels_out)
{
    if (!src_pixels || !dst_pixels_out) return -1;
    pixel_side from;
    pixel_side to;
    if (!classify(src_bit_count, src_palette, from) || !classify(dst_bit_count, dst_palette, to)) return -1;

    // 4 x width x height can exceed 64 bits: check before multiplying.
    const uint64_t pixel_count = static_cast<uint64_t>(width) * height;
    const size_t dbpp = static_cast<size_t>(to.bytes_per_pixel);
    uint8_t map[256] = {};
    try {
        if (pixel_count > SIZE_MAX / 4) throw std::bad_alloc();
        dst_pixels_out->assign(static_cast<size_t>(pixel_count) * dbpp, 0);
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhaust!\n");
        return -2;
    } catch (const std::length_error&) {
        std::printf("error: memory exhaust!\n");
        return -2;
    }

    if (from.entries && to.entries)
        for (int i = 0; i < from.entries; ++i) map[i] = static_cast<uint8_t>(nearest(colour_of(from.palette[i]), to));

    const size_t src_row = static_cast<size_t>(width) * static_cast<size_t>(from.bytes_per_pixel);
    const size_t dst_row = static_cast<size_t>(width) * dbpp;
    uint8_t* dst = dst_pixels_out->data();
    for (uint32_t y = 0; y < height; ++y, src_pixels += src_row, dst += dst_row)
        convert_row(dst, src_pixels, width, from, to, map);
    return 0;
}

int read_mask_bitmap(const char* path, tile_sheet& mask_sheet, int tile_width, int tile_height, int columns,
                     int rows)
{
    std::FILE* stream = std::fopen(path, "rb");
    if (!stream) {
        std::printf("error: open '%s'\n", path);
        return -1;
    }
    bitmap_header header;
    std::vector<palette_entry> palette;
    std::vector<uint8_t> pixels;
    const int read = read_bitmap(stream, header, &palette, &pixels, false);
    std::fclose(stream);
    if (read < 0) {
        std::printf("error: read '%s'\n", path);
        return -1;
    }
    // A zero tile count would divide by zero; it fits no bitmap.
    const bool no_tiles = columns <= 0 || rows <= 0;
    mask_sheet.tile_width = no_tiles ? 0 : header.width / columns;
    mask_sheet.tile_height = no_tiles ? 0 : header.height / rows;
    mask_sheet.columns = columns;
    mask_sheet.rows = rows;
    mask_sheet.bit_count = 1;
    mask_sheet.bytes_per_pixel = 1;
    try {
        mask_sheet.palette.assign({{0, 0, 0, 0}, {255, 255, 255, 0}});
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    if (no_tiles || static_cast<int64_t>(header.width) != static_cast<int64_t>(tile_width) * columns ||
        static_cast<int64_t>(header.height) != static_cast<int64_t>(tile_height) * rows) {
        std::printf("error: illegal mask bitmap size\n");
        return -1;
    }
    if (convert_bit_count(static_cast<uint32_t>(header.width), static_cast<uint32_t>(header.height), header.bit_count,
                          palette.empty() ? nullptr : palette.data(), pixels.data(), 1, mask_sheet.palette.data(),
                          &mask_sheet.pixels) < 0) {
        std::printf("error: convert bit count '%s'\n", path);
        return -1;
    }
    return 0;
}
