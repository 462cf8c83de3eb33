// The tile pyramid of a map, made in one pass over its rows.
//
// The map is taken in bands of tile_size rows. Each band is cut into tiles of the map's own
// pixels (indexes and palette for indexed maps), then halved: each pixel of the level below
// is the mean of a 2 x 2 block (blue, green, red; at an odd right or bottom edge the block
// repeats its last column or row). A level below collects halved rows in a band of its own,
// cuts it into tiles when it is full or the level is complete and halves it again. So only
// one band per level is held beside the map: a few MiB however large the map is.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

#include "atlas.hpp"
#include "bitmap/output.hpp"
#include "bitmap/png.hpp"

namespace {

struct pyramid_level {
    int number = 0;           // the level's number in the viewer
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t band_start = 0;  // the level's row held first in `band`
    uint32_t rows = 0;        // rows held
    std::vector<uint8_t> band;  // tile_size rows of blue, green, red
};

struct pyramid_run {
    std::string folder;
    output_file* out = nullptr;
    png_writer* png = nullptr;
    std::vector<pyramid_level> levels;  // levels[0] below the map, and so on
    bitmap_image tile;                  // reused for every tile
    std::vector<uint8_t> colour_rows;   // two map rows as blue, green, red
};

uint32_t half(uint32_t size) { return size / 2 + size % 2; }

// One row of the map as blue, green, red.
void colour_row(const bitmap_image& map, const uint8_t* src, uint8_t* dst)
{
    const uint32_t width = map.width;
    switch (bytes_per_pixel_of(map.bit_count)) {
    case 1:
        for (uint32_t x = 0; x < width; ++x, dst += 3) {
            const palette_entry& entry = map.palette[src[x]];
            dst[0] = entry.blue;
            dst[1] = entry.green;
            dst[2] = entry.red;
        }
        break;
    case 2:  // 5:5:5, blue in the low bits; five bits widened to eight
        for (uint32_t x = 0; x < width; ++x, src += 2, dst += 3) {
            const unsigned value = src[0] | (src[1] << 8);
            const unsigned blue = value & 31, green = (value >> 5) & 31, red = (value >> 10) & 31;
            dst[0] = static_cast<uint8_t>(blue << 3 | blue >> 2);
            dst[1] = static_cast<uint8_t>(green << 3 | green >> 2);
            dst[2] = static_cast<uint8_t>(red << 3 | red >> 2);
        }
        break;
    default: {  // 3 or 4 bytes, blue first
        const uint32_t step = bytes_per_pixel_of(map.bit_count);
        for (uint32_t x = 0; x < width; ++x, src += step, dst += 3) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
        }
    }
    }
}

// The mean of rows `a` and `b` (`width` pixels of blue, green, red) in pairs of pixels.
void halve_row(const uint8_t* a, const uint8_t* b, uint32_t width, uint8_t* dst)
{
    const uint32_t pairs = width / 2;
    for (uint32_t x = 0; x < pairs; ++x, a += 6, b += 6, dst += 3)
        for (int c = 0; c < 3; ++c) dst[c] = static_cast<uint8_t>((a[c] + a[c + 3] + b[c] + b[c + 3] + 2) / 4);
    if (width % 2)
        for (int c = 0; c < 3; ++c) dst[c] = static_cast<uint8_t>((a[c] + b[c] + 1) / 2);
}

int write_tile(pyramid_run& run, int level, uint32_t column, uint32_t row)
{
    char name[64];
    std::snprintf(name, sizeof name, "/%d/%u_%u.%s", level, column, row, tile_extension);
    const std::string path = run.folder + name;
    return save_png_file(*run.out, *run.png, path.c_str(), run.tile, true);
}

// Cuts `count` rows (from row `first` of a level `width` pixels wide, `bytes` per pixel,
// rows `stride` bytes apart) into tiles. Rows start at a multiple of tile_size.
int write_band_tiles(pyramid_run& run, int level, const uint8_t* rows, uint32_t first, uint32_t count, uint32_t width,
                     uint32_t bytes, size_t stride)
{
    for (uint32_t x0 = 0; x0 < width; x0 += tile_size) {
        const uint32_t tile_width = std::min(tile_size, width - x0);
        run.tile.width = tile_width;
        run.tile.height = count;
        run.tile.pixels.resize(static_cast<size_t>(tile_width) * count * bytes);
        run.tile.byte_size = static_cast<uint32_t>(run.tile.pixels.size());
        for (uint32_t r = 0; r < count; ++r)
            std::copy_n(rows + r * stride + static_cast<size_t>(x0) * bytes, static_cast<size_t>(tile_width) * bytes,
                        run.tile.pixels.data() + static_cast<size_t>(r) * tile_width * bytes);
        if (write_tile(run, level, x0 / tile_size, first / tile_size) < 0) return -1;
    }
    return 0;
}

int add_halved_row(pyramid_run& run, size_t index, const uint8_t* a, const uint8_t* b, uint32_t source_width);

// Writes the band of level `index` and hands it, halved, to the level below.
int finish_band(pyramid_run& run, size_t index)
{
    pyramid_level& level = run.levels[index];
    run.tile.bit_count = 24;
    run.tile.palette = nullptr;
    const size_t stride = static_cast<size_t>(level.width) * 3;
    if (write_band_tiles(run, level.number, level.band.data(), level.band_start, level.rows, level.width, 3, stride) < 0)
        return -1;
    const uint32_t rows = level.rows;
    level.band_start += rows;
    level.rows = 0;
    if (index + 1 < run.levels.size())
        for (uint32_t r = 0; r < rows; r += 2) {
            const uint8_t* a = run.levels[index].band.data() + r * stride;
            if (add_halved_row(run, index + 1, a, r + 1 < rows ? a + stride : a, run.levels[index].width) < 0) return -1;
        }
    return 0;
}

// Adds to level `index` the mean of rows `a` and `b` of the level above.
int add_halved_row(pyramid_run& run, size_t index, const uint8_t* a, const uint8_t* b, uint32_t source_width)
{
    pyramid_level& level = run.levels[index];
    halve_row(a, b, source_width, level.band.data() + static_cast<size_t>(level.rows) * level.width * 3);
    ++level.rows;
    if (level.rows == tile_size || level.band_start + level.rows == level.height) return finish_band(run, index);
    return 0;
}

} // namespace

const char* const tile_extension = "png";

pyramid_shape pyramid_shape_of(uint32_t width, uint32_t height)
{
    pyramid_shape shape;
    uint32_t side = std::max(width, height);
    while ((uint64_t{1} << shape.top_level) < side) ++shape.top_level;
    shape.bottom_level = shape.top_level;
    while (side > tile_size) {
        side = half(side);
        --shape.bottom_level;
    }
    return shape;
}

int write_pyramid(const bitmap_image& map, const std::string& folder, output_file& out, png_writer& png)
{
    const pyramid_shape shape = pyramid_shape_of(map.width, map.height);
    pyramid_run run;
    run.folder = folder;
    run.out = &out;
    run.png = &png;
    try {
        uint32_t width = map.width, height = map.height;
        for (int number = shape.top_level - 1; number >= shape.bottom_level; --number) {
            width = half(width);
            height = half(height);
            run.levels.push_back({number, width, height, 0, 0, std::vector<uint8_t>(size_t{3} * width * tile_size)});
        }
        run.colour_rows.resize(size_t{6} * map.width);
        run.tile.pixels.reserve(size_t{3} * tile_size * tile_size);  // no allocation per tile
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    for (int number = shape.top_level; number >= shape.bottom_level; --number) {
        std::error_code error;
        const std::string level_folder = folder + "/" + std::to_string(number);
        std::filesystem::create_directories(level_folder, error);
        if (error) {
            std::printf("error: make folder '%s'\n", level_folder.c_str());
            return -1;
        }
    }
    const uint32_t bytes = bytes_per_pixel_of(map.bit_count);
    const bool indexed = bytes == 1;
    const size_t stride = static_cast<size_t>(map.width) * bytes;
    uint8_t* const a = run.colour_rows.data();
    uint8_t* const b = a + size_t{3} * map.width;
    for (uint32_t y0 = 0; y0 < map.height; y0 += tile_size) {
        const uint32_t count = std::min(tile_size, map.height - y0);
        // Tiles of the map's own pixels: indexed maps keep their indexes, others become
        // blue, green, red.
        run.tile.bit_count = indexed ? map.bit_count : 24;
        run.tile.palette = indexed ? map.palette : nullptr;
        if (indexed || bytes == 3) {
            if (write_band_tiles(run, shape.top_level, map.pixels.data() + y0 * stride, y0, count, map.width, bytes,
                                 stride) < 0)
                return -1;
        } else {
            std::vector<uint8_t> colours;
            try {
                colours.resize(size_t{3} * map.width * count);
            } catch (const std::bad_alloc&) {
                std::printf("error: memory exhausted!\n");
                return -1;
            }
            for (uint32_t r = 0; r < count; ++r)
                colour_row(map, map.pixels.data() + (y0 + r) * stride, colours.data() + size_t{3} * map.width * r);
            if (write_band_tiles(run, shape.top_level, colours.data(), y0, count, map.width, 3, size_t{3} * map.width) < 0)
                return -1;
        }
        if (run.levels.empty()) continue;
        for (uint32_t r = 0; r < count; r += 2) {
            colour_row(map, map.pixels.data() + (y0 + r) * stride, a);
            if (r + 1 < count) colour_row(map, map.pixels.data() + (y0 + r + 1) * stride, b);
            if (add_halved_row(run, 0, a, r + 1 < count ? b : a, map.width) < 0) return -1;
        }
    }
    return 0;
}
