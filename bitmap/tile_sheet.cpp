// Tile attributes, shape bitmaps, map images and tile drawing.
#include "tile_sheet.hpp"

#include <cstdio>
#include <cstring>

namespace {

bool in_attribute_table(int tile_row, int tile_column)
{
    return tile_row >= 0 && tile_row <= 15 && tile_column >= 0 && tile_column < sheet_columns;
}

// Byte offset of row r of picture p in a sheet of the given tile size and bytes per pixel.
size_t picture_row_offset(const tile_sheet& sheet, unsigned picture, unsigned r, size_t bytes_per_pixel)
{
    const size_t w = static_cast<size_t>(sheet.tile_width);
    const size_t h = static_cast<size_t>(sheet.tile_height);
    return bytes_per_pixel * (w * sheet_columns * (h * (picture / sheet_columns) + r) + w * (picture % sheet_columns));
}

// Byte offset of row r of map cell (x, y) in a map `grid` tiles wide.
size_t cell_row_offset(const tile_sheet& sheet, size_t grid, unsigned x, unsigned y, unsigned r)
{
    const size_t w = static_cast<size_t>(sheet.tile_width);
    const size_t h = static_cast<size_t>(sheet.tile_height);
    return static_cast<size_t>(sheet.bytes_per_pixel) * (w * grid * (h * y + r) + w * x);
}

} // namespace

int is_recoloured_tile(const tile_attribute_table& table, int tile_row, int tile_column)
{
    if (!in_attribute_table(tile_row, tile_column)) return 0;
    return (table.flags[tile_row * sheet_columns + tile_column] & tile_flag_recoloured) ? 1 : 0;
}

int water_stencil_of(const tile_attribute_table& table, int tile_row, int tile_column)
{
    if (!in_attribute_table(tile_row, tile_column)) return 0;
    const int tile = tile_row * sheet_columns + tile_column;
    if (!(table.flags[tile] & tile_flag_water_stencil)) return 0;
    const int stencil = static_cast<int>(table.values[tile] & 0xFF);
    return (table.values[tile] & stencil_inverted) ? -stencil : stencil;
}

int read_shape_bitmap(const char* path, tile_sheet& sheet, int columns, int rows)
{
    std::FILE* stream = std::fopen(path, "rb");
    if (!stream) {
        std::printf("error: open '%s'\n", path);
        return -1;
    }
    bitmap_header header;
    const int read = read_bitmap(stream, header, &sheet.palette, &sheet.pixels, false);
    std::fclose(stream);
    if (read < 0) {
        std::printf("error: read '%s'\n", path);
        return -1;
    }
    sheet.tile_width = header.width / columns;
    sheet.tile_height = header.height / rows;
    sheet.columns = columns;
    sheet.rows = rows;
    sheet.bit_count = header.bit_count;
    sheet.bytes_per_pixel = static_cast<int32_t>(bytes_per_pixel_of(header.bit_count));
    if (sheet.tile_width == 0 || sheet.tile_height == 0) {
        std::printf("error: shape bitmap is too small\n");
        return -1;
    }
    if (header.width != sheet.tile_width * columns) {
        std::printf("error: illegal shape bitmap size\n");
        return -1;
    }
    return 0;
}

int make_map_image(bitmap_image& image, const tile_sheet& sheet, uint32_t grid)
{
    const uint64_t width = static_cast<uint64_t>(sheet.tile_width) * grid;
    const uint64_t height = static_cast<uint64_t>(sheet.tile_height) * grid;
    const uint64_t byte_size = static_cast<uint64_t>(sheet.bytes_per_pixel) * width * height;
    bitmap_header header;
    if (width > 0xFFFFFFFFu || height > 0xFFFFFFFFu || byte_size > 0xFFFFFFFFu ||
        make_bitmap_header(header, static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                           static_cast<uint32_t>(sheet.bit_count)) < 0) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    if (allocate_buffer(image.pixels, static_cast<size_t>(byte_size)) < 0) return -1;
    image.width = static_cast<uint32_t>(width);
    image.height = static_cast<uint32_t>(height);
    image.bit_count = static_cast<uint32_t>(sheet.bit_count);
    image.byte_size = static_cast<uint32_t>(byte_size);
    image.palette = sheet.palette.empty() ? nullptr : sheet.palette.data();
    return 0;
}

void draw_tile(uint8_t* map, size_t grid, const tile_sheet& sheet, unsigned picture, unsigned x, unsigned y)
{
    const size_t bpp = static_cast<size_t>(sheet.bytes_per_pixel);
    const size_t row_bytes = static_cast<size_t>(sheet.tile_width) * bpp;
    const size_t map_stride = row_bytes * grid;
    const size_t sheet_stride = row_bytes * sheet_columns;
    const uint8_t* src = sheet.pixels.data() + picture_row_offset(sheet, picture, 0, bpp);
    uint8_t* dst = map + cell_row_offset(sheet, grid, x, y, 0);
    for (int32_t r = 0; r < sheet.tile_height; ++r, src += sheet_stride, dst += map_stride)
        std::memcpy(dst, src, row_bytes);
}

void draw_tile_masked(uint8_t* map, size_t grid, const tile_sheet& sheet, const tile_sheet& mask,
                      unsigned picture, unsigned x, unsigned y)
{
    const size_t bpp = static_cast<size_t>(sheet.bytes_per_pixel);
    const size_t width = static_cast<size_t>(sheet.tile_width);
    const size_t map_stride = width * bpp * grid;
    const size_t sheet_stride = width * bpp * sheet_columns;
    const size_t mask_stride = width * sheet_columns;
    const uint8_t* src = sheet.pixels.data() + picture_row_offset(sheet, picture, 0, bpp);
    const uint8_t* keep = mask.pixels.data() + picture_row_offset(sheet, picture, 0, 1);
    uint8_t* dst = map + cell_row_offset(sheet, grid, x, y, 0);
    for (int32_t r = 0; r < sheet.tile_height; ++r, src += sheet_stride, keep += mask_stride, dst += map_stride) {
        for (size_t px = 0; px < width; ++px)
            if (!keep[px])
                for (size_t b = 0; b < bpp; ++b) dst[px * bpp + b] = src[px * bpp + b];
    }
}
