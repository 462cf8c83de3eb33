// In-memory images and uncompressed Windows BMP files (V3 information header).
//
// A BMP file as this library writes and reads it (all fields little-endian):
//
//   offset  size  field
//   0       2     magic "BM"
//   2       4     file_size           data_offset + image_size
//   6       2     reserved1           0
//   8       2     reserved2           0
//   10      4     data_offset         54 + palette bytes (62, 118, 1078 or 54)
//   14      4     header_size         40
//   18      4     width               pixels
//   22      4     height              rows, positive: rows are stored bottom-up
//   26      2     planes              1
//   28      2     bit_count           1, 4, 8, 16, 24 or 32
//   30      4     compression         0
//   34      4     image_size          row stride x height
//   38      4     x_pixels_per_metre  0
//   42      4     y_pixels_per_metre  0
//   46      4     colours_used        0
//   50      4     colours_important   0
//   54      4*n   palette             n = 2^bit_count entries for 1-, 4-, 8-bit images
//   data_offset   pixel rows          bottom row first, each padded to a multiple of 4 bytes
//
// In memory an image is stored top row first, rows unpadded, one palette index per byte
// for 1-, 4- and 8-bit images; 16-bit pixels are little-endian 5:5:5 (blue in the low bits),
// 24-bit pixels blue, green, red; 32-bit pixels blue, green, red, 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

struct output_file;

struct palette_entry {
    uint8_t blue = 0;
    uint8_t green = 0;
    uint8_t red = 0;
    uint8_t reserved = 0;
    friend bool operator==(const palette_entry&, const palette_entry&) = default;
};

// The drawing target and the unit that is saved. The palette is shared with the tile
// sheet the image was made for; it is not owned.
//
// The pixels are in the in-memory layout above, or, with `stored_form`, already in the form
// of the file's rows (bits packed, each row bitmap_row_stride bytes) but still top row
// first: maps drawn from packed tile rows, and the hi-res renderings, are written without
// unpacking and packing again.
struct bitmap_image {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bit_count = 0;
    uint32_t byte_size = 0;
    std::vector<uint8_t> pixels;
    const palette_entry* palette = nullptr;
    bool stored_form = false;
};

// The fields of the file header and the V3 information header, in file order, without
// the two magic bytes.
struct bitmap_header {
    uint32_t file_size = 0;
    uint16_t reserved1 = 0;
    uint16_t reserved2 = 0;
    uint32_t data_offset = 0;
    uint32_t header_size = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t planes = 0;
    uint16_t bit_count = 0;
    uint32_t compression = 0;
    uint32_t image_size = 0;
    int32_t x_pixels_per_metre = 0;
    int32_t y_pixels_per_metre = 0;
    uint32_t colours_used = 0;
    uint32_t colours_important = 0;
};

constexpr uint32_t bitmap_file_header_bytes = 54;  // magic, file header and V3 header
constexpr uint32_t bitmap_v3_header_size = 40;
constexpr int max_palette_entries = 256;

// Bytes per pixel in memory: 1 for 1-, 4- and 8-bit images, else bit_count / 8.
constexpr uint32_t bytes_per_pixel_of(uint32_t bit_count) { return (bit_count + 7) / 8; }

// Palette entries of a bit count: 2^bit_count for 1, 4, 8; 0 for direct colour.
constexpr uint32_t palette_entries_of(uint32_t bit_count)
{
    return (bit_count == 1 || bit_count == 4 || bit_count == 8) ? (1u << bit_count) : 0;
}

// Bytes per stored row, a multiple of 4; -1 for an unsupported bit count or a negative width.
int64_t bitmap_row_stride(int64_t width, int bit_count);

int make_bitmap_header(bitmap_header& header, uint32_t width, uint32_t height, uint32_t bit_count);
int write_bitmap_header(std::FILE* stream, const bitmap_header& header);
int write_palette(std::FILE* stream, const palette_entry* palette, int count);
// Writes header, palette (zero entries when `palette` is null) and the pixel rows. `pixels`
// holds width x height x bytes-per-pixel bytes in the in-memory layout.
int write_bitmap(std::FILE* stream, const bitmap_header& header, const palette_entry* palette,
                 const uint8_t* pixels);
// The same through an output file's buffer, from pixels in the in-memory layout or, with
// `stored_form`, in the rows' stored form (top row first). Every write is checked.
int write_bitmap_to(output_file& out, const bitmap_header& header, const palette_entry* palette,
                    const uint8_t* pixels, bool stored_form);
// The file header, the V3 header and the palette (zero entries when `palette` is null) of
// a BMP file, into `out`. 0, or -1 after the writer's line.
int write_bitmap_start(output_file& out, const bitmap_header& header, const palette_entry* palette);
// Packs `count` in-memory pixels into their stored form at `dst`: for 1 and 4 bits from the
// most significant bits of a byte on (any nonzero byte counts as 1 bit; 4-bit values are
// taken modulo 16); whole bytes for the other bit counts.
void pack_pixels(uint8_t* dst, const uint8_t* src, size_t count, uint32_t bit_count);
// Stores `width` in-memory pixels as a row of the file: packed, then zero bytes up to `stride`.
void store_pixel_row(uint8_t* dst, const uint8_t* src, uint32_t width, uint32_t bit_count, size_t stride);
// Ends a file's pixel rows: hands on what is pending. 0, or -1 after "error: write_bitmap() -
// can't write bitmap data" when this or an earlier row write failed (`written` false).
int finish_bitmap_rows(output_file& out, bool written);

// Returns -1, or the number of warnings printed (0 to 2). May correct image_size.
int check_bitmap_header(bitmap_header& header);
int read_bitmap_header(std::FILE* stream, bitmap_header& header);
int read_palette(std::FILE* stream, palette_entry* palette, int count);
// 0 success; -1 header, palette or data not readable; -2 memory exhausted; -3 no pixel
// destination. Empty destinations are allocated here; the caller owns them afterwards.
// A null palette destination skips the stored palette.
int read_bitmap(std::FILE* stream, bitmap_header& header, std::vector<palette_entry>* palette_out,
                std::vector<uint8_t>* pixels_out, bool header_already_read);

// Gives `buffer` `size` zero bytes. 0, or -1 after "error: memory exhausted!".
int allocate_buffer(std::vector<uint8_t>& buffer, size_t size);

// Checks that `image` has a size a BMP file can describe and all its pixels. 0, or -1 after
// "error: create bitmap header".
int check_image_pixels(const bitmap_image& image);
// Writes `image` to `path`, asking first when the file exists unless `overwrite` is set.
// An earlier file at `path` is replaced only by a complete one. 0 or -1.
int save_bitmap_file(const char* path, const bitmap_image& image, bool overwrite);
// The same through `out`, whose buffer is kept for the next file.
int save_bitmap_file(output_file& out, const char* path, const bitmap_image& image, bool overwrite);
// Ends the writing of the file `path` that `written` (the writer's result) says is complete
// or not: closes it and puts it in place, or removes what was written. 0, or -1 after
// "error: write bitmap '%s'\n".
int finish_bitmap_file(output_file& out, const char* path, int written);
