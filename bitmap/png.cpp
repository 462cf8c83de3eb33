// The PNG writer: the chunks around one zlib stream of all scanlines. The layout is
// sketched in png.hpp.
//
// The compressor takes the whole scanline data at once (it has no streaming interface), so
// the rows are gathered first: the file holds the uncompressed rows plus the compressed data
// while it is written, never a second copy of the image.
#include "png.hpp"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr uint8_t png_signature[8] = {137, 'P', 'N', 'G', 13, 10, 26, 10};

// Chunk framing: u32 length, 4-byte type, data, u32 CRC of type and data.
constexpr size_t chunk_length = 0;  // u32, bytes of data
constexpr size_t chunk_type = 4;    // 4 ASCII letters
constexpr size_t chunk_data = 8;
constexpr size_t chunk_framing = 12;

// IHDR data.
constexpr size_t ihdr_width = 0;         // u32, pixels
constexpr size_t ihdr_height = 4;        // u32, rows
constexpr size_t ihdr_bit_depth = 8;     // u8, bits per sample or index
constexpr size_t ihdr_colour_type = 9;   // u8, 2 RGB or 3 indexed
constexpr size_t ihdr_compression = 10;  // u8, 0 = zlib
constexpr size_t ihdr_filter = 11;       // u8, 0 = the five adaptive filters
constexpr size_t ihdr_interlace = 12;    // u8, 0 = none
constexpr size_t ihdr_bytes = 13;

constexpr uint8_t colour_type_rgb = 2;
constexpr uint8_t colour_type_indexed = 3;
constexpr uint8_t filter_none = 0;

constexpr int compression_level = 6;
constexpr uint32_t max_png_size = 0x7FFFFFFF;  // width and height, and chunk lengths
constexpr size_t idat_piece_bytes = (size_t{1} << 18) - output_block_bytes - chunk_framing;

void put_u32_be(uint8_t* p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

// A 5-bit channel as 8 bits, v * 255 / 31.
constexpr uint8_t scale_5_bits(unsigned v) { return static_cast<uint8_t>(v * 255 / 31); }

struct channel_table {
    uint8_t value[32];
};

constexpr channel_table make_channel_table()
{
    channel_table table{};
    for (unsigned v = 0; v < 32; ++v) table.value[v] = scale_5_bits(v);
    return table;
}

constexpr channel_table five_bit_channel = make_channel_table();

// Writes one chunk of `length` data bytes that `fill` puts at the pointer it is given.
template <typename Fill>
bool write_chunk(output_file& out, const char (&type)[5], size_t length, Fill fill)
{
    uint8_t* room = reserve_output(out, chunk_framing + length);
    if (!room) return false;
    put_u32_be(room + chunk_length, static_cast<uint32_t>(length));
    std::memcpy(room + chunk_type, type, 4);
    fill(room + chunk_data);
    const uint32_t crc = libdeflate_crc32(0, room + chunk_type, 4 + length);
    put_u32_be(room + chunk_data + length, crc);
    commit_output(out, chunk_framing + length);
    return true;
}

// The scanline of `width` pixels of BMP bit count `bit_count` at `src` in PNG form at `dst`.
void convert_row(uint8_t* dst, const uint8_t* src, uint32_t width, uint32_t bit_count, bool stored_form,
                 size_t row_bytes)
{
    switch (bit_count) {
    case 16:
        for (uint32_t x = 0; x < width; ++x, src += 2, dst += 3) {
            const unsigned v = src[0] | (src[1] << 8);
            dst[0] = five_bit_channel.value[(v >> 10) & 31];
            dst[1] = five_bit_channel.value[(v >> 5) & 31];
            dst[2] = five_bit_channel.value[v & 31];
        }
        break;
    case 24:
    case 32: {
        const unsigned step = bit_count / 8;  // the fourth byte of a 32-bit pixel is unused
        for (uint32_t x = 0; x < width; ++x, src += step, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
        break;
    }
    default:
        if (stored_form)
            std::memcpy(dst, src, row_bytes);
        else
            pack_pixels(dst, src, width, bit_count);
        break;
    }
}

bool is_png_bit_count(uint32_t bit_count)
{
    return bit_count == 1 || bit_count == 4 || bit_count == 8 || bit_count == 16 || bit_count == 24 || bit_count == 32;
}

} // namespace

struct png_compressor {
    libdeflate_compressor* state = nullptr;
    ~png_compressor() { libdeflate_free_compressor(state); }
};

void png_compressor_release::operator()(png_compressor* compressor) const
{
    std::default_delete<png_compressor>()(compressor);
}

int start_png(output_file& out, png_writer& png, uint32_t width, uint32_t height, uint32_t bit_count,
              const palette_entry* palette)
{
    if (!is_png_bit_count(bit_count) || width == 0 || height == 0 || width > max_png_size || height > max_png_size) {
        std::printf("error: write_png() - can't write png header\n");
        return -1;
    }
    const bool indexed = bit_count <= 8;
    png.width = width;
    png.height = height;
    png.bit_count = bit_count;
    png.row_bytes = indexed ? (static_cast<size_t>(width) * bit_count + 7) / 8 : static_cast<size_t>(width) * 3;
    png.rows = 0;
    const size_t line = png.row_bytes + 1;
    if (line > SIZE_MAX / height) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    try {
        png.scanlines.resize(line * height);
        if (!png.compressor) png.compressor.reset(std::make_unique<png_compressor>().release());
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    if (!png.compressor->state && !(png.compressor->state = libdeflate_alloc_compressor(compression_level))) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }

    uint8_t* room = reserve_output(out, sizeof png_signature);
    bool written = room != nullptr;
    if (written) {
        std::memcpy(room, png_signature, sizeof png_signature);
        commit_output(out, sizeof png_signature);
        written = write_chunk(out, "IHDR", ihdr_bytes, [&](uint8_t* data) {
            put_u32_be(data + ihdr_width, width);
            put_u32_be(data + ihdr_height, height);
            data[ihdr_bit_depth] = static_cast<uint8_t>(indexed ? bit_count : 8);
            data[ihdr_colour_type] = indexed ? colour_type_indexed : colour_type_rgb;
            data[ihdr_compression] = 0;
            data[ihdr_filter] = 0;
            data[ihdr_interlace] = 0;
        });
    }
    if (written && indexed) {
        const uint32_t entries = palette_entries_of(bit_count);
        written = write_chunk(out, "PLTE", 3 * entries, [&](uint8_t* data) {
            if (!palette) {
                std::memset(data, 0, 3 * entries);
                return;
            }
            for (uint32_t i = 0; i < entries; ++i, data += 3) {
                data[0] = palette[i].red;
                data[1] = palette[i].green;
                data[2] = palette[i].blue;
            }
        });
    }
    if (!written) {
        std::printf("error: write_png() - can't write png header\n");
        return -1;
    }
    return 0;
}

int add_png_row(output_file&, png_writer& png, const uint8_t* row, bool stored_form)
{
    if (png.rows >= png.height) {
        std::printf("error: write_png() - too many rows\n");
        return -1;
    }
    uint8_t* line = png.scanlines.data() + (png.row_bytes + 1) * png.rows++;
    line[0] = filter_none;
    convert_row(line + 1, row, png.width, png.bit_count, stored_form, png.row_bytes);
    return 0;
}

int finish_png(output_file& out, png_writer& png)
{
    if (png.rows != png.height) {
        std::printf("error: write_png() - rows missing\n");
        return -1;
    }
    libdeflate_compressor* compressor = png.compressor->state;
    const size_t input = png.scanlines.size();
    const size_t bound = libdeflate_zlib_compress_bound(compressor, input);
    // Only the pages the compressor writes are ever touched.
    if (png.compressed_capacity < bound) {
        png.compressed.reset();
        png.compressed_capacity = 0;
        try {
            png.compressed = std::make_unique_for_overwrite<uint8_t[]>(bound);
        } catch (const std::bad_alloc&) {
            std::printf("error: memory exhausted!\n");
            return -1;
        }
        png.compressed_capacity = bound;
    }
    const size_t size = libdeflate_zlib_compress(compressor, png.scanlines.data(), input, png.compressed.get(), bound);
    bool written = size > 0;
    // IDAT chunks of at most one output piece each, so that the output buffer never grows.
    for (size_t at = 0; written && at < size; at += idat_piece_bytes) {
        const size_t piece = std::min(idat_piece_bytes, size - at);
        written = write_chunk(out, "IDAT", piece,
                              [&](uint8_t* data) { std::memcpy(data, png.compressed.get() + at, piece); });
    }
    if (written) written = write_chunk(out, "IEND", 0, [](uint8_t*) {});
    if (!written || flush_output(out) < 0) {
        std::printf("error: write_png() - can't write png data\n");
        return -1;
    }
    return 0;
}

int write_png_to(output_file& out, png_writer& png, const bitmap_image& image)
{
    if (start_png(out, png, image.width, image.height, image.bit_count, image.palette) < 0) return -1;
    const size_t row_stride =
        image.stored_form ? static_cast<size_t>(bitmap_row_stride(image.width, static_cast<int>(image.bit_count)))
                          : static_cast<size_t>(image.width) * bytes_per_pixel_of(image.bit_count);
    for (uint32_t y = 0; y < image.height; ++y)
        if (add_png_row(out, png, image.pixels.data() + row_stride * y, image.stored_form) < 0) return -1;
    return finish_png(out, png);
}

int save_png_file(output_file& out, png_writer& png, const char* path, const bitmap_image& image, bool overwrite)
{
    if (check_image_pixels(image) < 0) return -1;
    if (open_output_file(out, path, overwrite) < 0) return -1;
    return finish_bitmap_file(out, path, write_png_to(out, png, image));
}

int save_png_file(const char* path, const bitmap_image& image, bool overwrite)
{
    output_file out;
    png_writer png;
    return save_png_file(out, png, path, image, overwrite);
}
