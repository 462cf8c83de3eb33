// Tile attributes, shape bitmaps, map images and tile drawing.
#include "tile_sheet.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

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

int make_edition_sheet(tile_sheet& sheet, int tile_width, int tile_height, int bit_count,
                       std::span<const palette_entry> palette)
{
    sheet.tile_width = tile_width;
    sheet.tile_height = tile_height;
    sheet.columns = sheet.rows = 0;
    sheet.bit_count = bit_count;
    sheet.bytes_per_pixel = 1;
    const size_t bytes = static_cast<size_t>(tile_width) * tile_height * sheet_pictures;
    if (allocate_buffer(sheet.pixels, bytes) < 0) return -1;
    try {
        sheet.palette.assign(palette.begin(), palette.end());
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    return 0;
}

int read_shape_bitmap(const char* path, tile_sheet& sheet, int columns, int rows)
{
    // An empty name (bitmaps chosen without a shape bitmap named) opens nothing.
    std::FILE* stream = *path ? std::fopen(path, "rb") : nullptr;
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

int make_picture_rows(picture_rows& pictures, const tile_sheet& sheet, const tile_sheet* mask,
                      bool packed_when_possible)
{
    const uint32_t bit_count = static_cast<uint32_t>(sheet.bit_count);
    const size_t width = static_cast<size_t>(sheet.tile_width);
    const size_t height = static_cast<size_t>(sheet.tile_height);
    const size_t bpp = static_cast<size_t>(sheet.bytes_per_pixel);
    const bool whole_bytes = bit_count >= 8 || (bit_count == 4 && width % 2 == 0) || (bit_count == 1 && width % 8 == 0);
    pictures.tile_width = sheet.tile_width;
    pictures.tile_height = sheet.tile_height;
    pictures.bit_count = bit_count;
    pictures.packed = packed_when_possible && whole_bytes;
    pictures.row_bytes = pictures.packed ? width * bit_count / 8 : width * bpp;
    const bool masked = mask && !mask->pixels.empty();
    try {
        pictures.rows.assign(pictures.row_bytes * height * sheet_pictures, 0);
        pictures.keep.assign(masked ? pictures.rows.size() : 0, 0);
        pictures.blank_rows.assign(height, 1);
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    std::vector<uint8_t> unpacked_keep(masked && pictures.packed ? width : 0);
    for (unsigned p = 0; p < sheet_pictures; ++p) {
        for (size_t r = 0; r < height; ++r) {
            uint8_t* dst = pictures.rows.data() + (p * height + r) * pictures.row_bytes;
            const uint8_t* src = sheet.pixels.data() + picture_row_offset(sheet, p, static_cast<unsigned>(r), bpp);
            if (pictures.packed)
                pack_pixels(dst, src, width, bit_count);
            else
                std::memcpy(dst, src, width * bpp);
            if (pictures.blank_rows[r] && std::any_of(dst, dst + pictures.row_bytes, [](uint8_t b) { return b != 0; }))
                pictures.blank_rows[r] = 0;
            if (!masked) continue;
            const uint8_t* mask_row = mask->pixels.data() + picture_row_offset(sheet, p, static_cast<unsigned>(r), 1);
            uint8_t* keep = pictures.keep.data() + (p * height + r) * pictures.row_bytes;
            if (pictures.packed && bit_count < 8) {
                // A kept pixel has all its bits set: the mask packs like a picture of all-ones values.
                for (size_t x = 0; x < width; ++x) unpacked_keep[x] = mask_row[x] ? 0xFF : 0;
                pack_pixels(keep, unpacked_keep.data(), width, bit_count);
            } else {
                for (size_t x = 0; x < width; ++x) std::memset(keep + x * bpp, mask_row[x] ? 0xFF : 0, bpp);
            }
        }
    }
    return 0;
}

namespace {

template <size_t Bytes>
void copy_cells(uint8_t* dst, const uint8_t* rows, size_t stride, const uint16_t* cells, size_t count)
{
    for (size_t x = 0; x < count; ++x) std::memcpy(dst + x * Bytes, rows + cells[x] * stride, Bytes);
}

} // namespace

void draw_cell_row(uint8_t* dst, const picture_rows& pictures, const uint16_t* cells, size_t count, int32_t r)
{
    const size_t bytes = pictures.row_bytes;
    if (pictures.blank_rows[static_cast<size_t>(r)]) {
        std::memset(dst, 0, bytes * count);
        return;
    }
    const size_t stride = bytes * static_cast<size_t>(pictures.tile_height);  // one picture
    const uint8_t* rows = pictures.rows.data() + bytes * static_cast<size_t>(r);
    switch (bytes) {
    case 4: copy_cells<4>(dst, rows, stride, cells, count); return;
    case 8: copy_cells<8>(dst, rows, stride, cells, count); return;
    case 14: copy_cells<14>(dst, rows, stride, cells, count); return;
    case 16: copy_cells<16>(dst, rows, stride, cells, count); return;
    case 28: copy_cells<28>(dst, rows, stride, cells, count); return;
    case 32: copy_cells<32>(dst, rows, stride, cells, count); return;
    case 64: copy_cells<64>(dst, rows, stride, cells, count); return;
    default:
        for (size_t x = 0; x < count; ++x) std::memcpy(dst + x * bytes, rows + cells[x] * stride, bytes);
    }
}

void draw_overlay_row(uint8_t* dst, const picture_rows& pictures, unsigned picture, size_t x, int32_t r)
{
    const size_t bytes = pictures.row_bytes;
    const size_t offset = (static_cast<size_t>(picture) * static_cast<size_t>(pictures.tile_height) + static_cast<size_t>(r)) * bytes;
    const uint8_t* src = pictures.rows.data() + offset;
    uint8_t* out = dst + x * bytes;
    if (pictures.keep.empty()) {
        std::memcpy(out, src, bytes);
        return;
    }
    const uint8_t* keep = pictures.keep.data() + offset;
    for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>((out[i] & keep[i]) | (src[i] & ~keep[i]));
}

int describe_map_image(bitmap_image& image, const tile_sheet& sheet, uint32_t grid)
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
    image.width = static_cast<uint32_t>(width);
    image.height = static_cast<uint32_t>(height);
    image.bit_count = static_cast<uint32_t>(sheet.bit_count);
    image.byte_size = static_cast<uint32_t>(byte_size);
    image.palette = sheet.palette.empty() ? nullptr : sheet.palette.data();
    image.stored_form = false;
    return 0;
}

int make_map_image(bitmap_image& image, const tile_sheet& sheet, const picture_rows& pictures, uint32_t grid)
{
    if (describe_map_image(image, sheet, grid) < 0) return -1;
    const size_t bytes = pictures.row_bytes * grid * image.height;
    if (allocate_buffer(image.pixels, bytes) < 0) return -1;
    image.stored_form = pictures.packed;
    return 0;
}
