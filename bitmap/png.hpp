// PNG files of the same maps as the BMP files: the same pixels, losslessly compressed.
//
// A PNG file as this library writes it (numbers big-endian):
//
//   offset  size  field
//   0       8     signature           137 'P' 'N' 'G' 13 10 26 10
//   8       ...   chunks, each:       u32 data length, 4-byte type, data, u32 CRC-32 of type and data
//
//   IHDR (13 bytes): u32 width, u32 height, u8 bit depth, u8 colour type, u8 compression 0,
//                    u8 filter method 0, u8 interlace 0
//   PLTE (3 x n bytes, indexed images only): red, green, blue of each of the n = 2^bit_count
//                    palette entries, in the BMP palette's order
//   IDAT: the zlib stream of the scanlines, top row first, each a filter-type byte followed by
//         the row's pixels packed as in a BMP row (1 and 4 bits from the most significant bit
//         on), without padding
//   IEND: no data
//
// How each BMP bit count is stored, with the pixels a decoder gets back unchanged:
//   1, 4, 8 bits   indexed (colour type 3) of the same bit depth: the indices are the BMP's
//   16 bits        8-bit RGB (colour type 2); each 5-bit channel v becomes v * 255 / 31
//   24, 32 bits    8-bit RGB; the fourth byte of a 32-bit pixel is not stored
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "bitmap.hpp"
#include "output.hpp"

struct png_compressor;  // the compressor's own state
struct png_compressor_release {
    void operator()(png_compressor* compressor) const;
};

// A PNG writer's state for the file being written, and the buffers and compressor it keeps
// from file to file (a caller that writes many files keeps one writer for all of them).
struct png_writer {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bit_count = 0;          // of the BMP form the rows come in
    size_t row_bytes = 0;            // bytes of a scanline after its filter byte
    uint32_t rows = 0;               // rows taken so far
    std::vector<uint8_t> scanlines;  // the filtered scanlines of the rows taken
    std::unique_ptr<uint8_t[]> compressed;
    size_t compressed_capacity = 0;
    std::unique_ptr<png_compressor, png_compressor_release> compressor;
};

// Row by row: `start_png` writes the signature, the header and the palette (zero entries when
// `palette` is null) into `out`; `add_png_row` takes the rows, top row first, in a BMP image's
// in-memory form or, with `stored_form`, in the form of a BMP file's rows (bits packed, the
// padding ignored); `finish_png` writes the pixel data and the end once all `height` rows are
// in. Each returns 0, or -1 after "error: write_png() - ..." (also when rows are missing or
// too many).
int start_png(output_file& out, png_writer& png, uint32_t width, uint32_t height, uint32_t bit_count,
              const palette_entry* palette);
int add_png_row(output_file& out, png_writer& png, const uint8_t* row, bool stored_form);
int finish_png(output_file& out, png_writer& png);

// A whole image, through `out` (opened by the caller). 0, or -1 after the writer's line.
int write_png_to(output_file& out, png_writer& png, const bitmap_image& image);

// Writes `image` to `path` as PNG: the existence test and the question unless `overwrite` is
// set, and an earlier file replaced only by a complete one, as save_bitmap_file does. 0, or
// -1 after the error lines (the writer's, then "error: write bitmap '%s'\n").
int save_png_file(output_file& out, png_writer& png, const char* path, const bitmap_image& image, bool overwrite);
int save_png_file(const char* path, const bitmap_image& image, bool overwrite);
