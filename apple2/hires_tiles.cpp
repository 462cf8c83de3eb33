// Loading and decoding the hi-res tiles; the layouts are sketched in hires_tiles.hpp.
#include "apple2/hires_tiles.hpp"

#include <cstdio>
#include <new>
#include <vector>

#include "apple2/prodos.hpp"

namespace {

constexpr const char* shapes_name = "SHAPES";
constexpr size_t shapes_half = 8192;     // tiles 0-255, then tiles 256-511
constexpr size_t shapes_plane = 4096;    // left bytes, then right bytes
constexpr size_t shapes_row = 256;       // one byte per tile
constexpr int water_tile = 3;
constexpr int mirror_room_tiles = 320;   // tiles 0-319 take the mirror-room colouring
constexpr int shifted_tile = 220;        // moved one dot right instead
constexpr unsigned palette_bit = 0x80;
constexpr int dots_per_byte = 7;
constexpr size_t pixels_per_byte = 14;
constexpr size_t sheet_width = static_cast<size_t>(apple_tile_width) * sheet_columns;  // 448

size_t shape_offset(int tile, int row, int side)
{
    const size_t n = static_cast<size_t>(tile);
    return shapes_half * (n / 256) + shapes_plane * static_cast<size_t>(side) + shapes_row * static_cast<size_t>(row) + n % 256;
}

// The 14 pixels of hi-res byte `b`.
void expand_byte(unsigned b, uint8_t* out)
{
    if (!(b & palette_bit)) {
        for (int d = 0; d < dots_per_byte; ++d) out[2 * d] = out[2 * d + 1] = (b >> d) & 1;
        return;
    }
    out[0] = hires_marker;
    for (int d = 0; d < dots_per_byte - 1; ++d) out[2 * d + 1] = out[2 * d + 2] = (b >> d) & 1;
    out[pixels_per_byte - 1] = (b >> (dots_per_byte - 1)) & 1;
}

int read_shapes(prodos_volume& volume, const apple2_disk& disk, std::vector<uint8_t>& shapes)
{
    const char* image_name = disk.name;
    if (open_volume(volume, disk) < 0) {
        std::printf("error: read disk image '%s'\n", image_name);
        return -1;
    }
    const dir_entry* entry = find_file(volume, shapes_name);
    if (!entry) {
        std::printf("error: can't find file '%s/%s'\n", image_name, shapes_name);
        return -1;
    }
    const uint32_t eof = file_of(*entry)->eof;
    if (eof != apple_shapes_bytes) {
        std::printf("error: shape data size %d\n", static_cast<int>(eof));
        return -1;
    }
    if (read_file(volume, shapes_name, shapes.data(), apple_shapes_bytes) < 0) {
        std::printf("error: can't get file '%s/%s'\n", image_name, shapes_name);
        return -1;
    }
    return 0;
}

} // namespace

int load_apple_tiles(const char* image_name, int order, tile_sheet& sheet, shape_type type, bool no_remake_water)
{
    apple2_disk disk;
    disk.name = image_name;
    disk.order = order;
    return load_apple_tiles(disk, sheet, type, no_remake_water);
}

int load_apple_tiles(const apple2_disk& disk, tile_sheet& sheet, shape_type type, bool no_remake_water)
{
    std::vector<uint8_t> shapes;
    if (make_edition_sheet(sheet, apple_tile_width, apple_tile_height, 4, apple2_palette) < 0 ||
        allocate_buffer(shapes, apple_shapes_bytes) < 0)
        return -1;
    prodos_volume volume;
    const int status = read_shapes(volume, disk, shapes);
    close_volume(volume);
    if (status == 0) decode_apple_shapes(sheet.pixels.data(), shapes.data(), type, no_remake_water);
    return status;
}

void decode_apple_shapes(uint8_t* sheet_pixels, const uint8_t* shapes, shape_type type, bool no_remake_water)
{
    const tile_attribute_table& attributes = apple2_settlement_tile_attributes;
    for (int tile_row = 0; tile_row < sheet_rows; ++tile_row) {
        for (int tile_column = 0; tile_column < sheet_columns; ++tile_column) {
            const int tile = tile_row * sheet_columns + tile_column;
            int stencil = no_remake_water ? 0 : water_stencil_of(attributes, tile_row, tile_column);
            const bool inverted = stencil < 0;
            if (inverted) stencil = -stencil;
            const bool recolour = type != shape_type::normal && is_recoloured_tile(attributes, tile_row, tile_column);
            const bool mirror = type == shape_type::mirror_room && tile < mirror_room_tiles;
            for (int r = 0; r < apple_tile_height / 2; ++r) {
                uint8_t* out = sheet_pixels + (static_cast<size_t>(tile_row) * apple_tile_height + 2 * static_cast<size_t>(r)) * sheet_width +
                               static_cast<size_t>(tile_column) * apple_tile_width;
                unsigned carry = 0;  // dot 6 of the left byte, shifted into the right one
                for (int side = 0; side < 2; ++side) {
                    unsigned b = shapes[shape_offset(tile, r, side)];
                    if (stencil) {
                        // Bitwise over the whole byte, palette bit included.
                        const unsigned s = shapes[shape_offset(stencil, r, side)];
                        const unsigned w = shapes[shape_offset(water_tile, r, side)];
                        b = (inverted ? (w & ~s) | (b & s) : (w & s) | (b & ~s)) & 0xFF;
                    }
                    if (recolour) b |= palette_bit;
                    if (mirror && tile == shifted_tile) {
                        if (side == 0) {
                            carry = (b >> 6) & 1;
                            b = ((b << 1) | palette_bit | 1) & 0xFF;
                        } else {
                            b = ((b << 1) | palette_bit | carry) & 0xFF;
                        }
                    } else if (mirror) {
                        b ^= palette_bit;
                    }
                    expand_byte(b, out + pixels_per_byte * static_cast<size_t>(side));
                }
            }
        }
    }
}
