// BMP header building and checking, and the row-by-row writer and reader.
// The layout is sketched in bitmap.hpp.
#include "bitmap.hpp"

#include <algorithm>
#include <cstring>
#include <new>

#include "bytes.hpp"
#include "output.hpp"

namespace {

// Field offsets in the 54-byte header, magic included.
constexpr int bf_magic = 0;               // 2 bytes, "BM"
constexpr int bf_file_size = 2;           // u32, bytes
constexpr int bf_reserved1 = 6;           // u16
constexpr int bf_reserved2 = 8;           // u16
constexpr int bf_data_offset = 10;        // u32, bytes from the start of the file
constexpr int bi_header_size = 14;        // u32, bytes
constexpr int bi_width = 18;              // s32, pixels
constexpr int bi_height = 22;             // s32, rows
constexpr int bi_planes = 26;             // u16
constexpr int bi_bit_count = 28;          // u16
constexpr int bi_compression = 30;        // u32
constexpr int bi_image_size = 34;         // u32, bytes
constexpr int bi_x_pixels_per_metre = 38; // s32
constexpr int bi_y_pixels_per_metre = 42; // s32
constexpr int bi_colours_used = 46;       // u32
constexpr int bi_colours_important = 50;  // u32

constexpr uint64_t max_u32 = 0xFFFFFFFFu;

bool is_supported_bit_count(uint32_t bit_count)
{
    return bit_count == 1 || bit_count == 4 || bit_count == 8 || bit_count == 16 ||
           bit_count == 24 || bit_count == 32;
}

// The 54 bytes of the file header and the V3 header, magic first.
void serialise_header(uint8_t* bytes, const bitmap_header& header)
{
    uint8_t* p = bytes;
    *p++ = 'B';
    *p++ = 'M';
    put_u32_le(p, header.file_size);
    put_u16_le(p, header.reserved1);
    put_u16_le(p, header.reserved2);
    put_u32_le(p, header.data_offset);
    put_u32_le(p, header.header_size);
    put_u32_le(p, static_cast<uint32_t>(header.width));
    put_u32_le(p, static_cast<uint32_t>(header.height));
    put_u16_le(p, header.planes);
    put_u16_le(p, header.bit_count);
    put_u32_le(p, header.compression);
    put_u32_le(p, header.image_size);
    put_u32_le(p, static_cast<uint32_t>(header.x_pixels_per_metre));
    put_u32_le(p, static_cast<uint32_t>(header.y_pixels_per_metre));
    put_u32_le(p, header.colours_used);
    put_u32_le(p, header.colours_important);
}

void serialise_palette(uint8_t* bytes, const palette_entry* palette, int count)
{
    for (int i = 0; i < count; ++i) {
        bytes[4 * i] = palette[i].blue;
        bytes[4 * i + 1] = palette[i].green;
        bytes[4 * i + 2] = palette[i].red;
        bytes[4 * i + 3] = palette[i].reserved;
    }
}

// Stored bytes of `count` packed pixels.
size_t packed_bytes(size_t count, uint32_t bit_count) { return (count * bit_count + 7) / 8; }

// Unpacks stored row `src` into `width` in-memory pixels.
void unpack_row(uint8_t* dst, const uint8_t* src, uint32_t width, uint32_t bit_count)
{
    switch (bit_count) {
    case 1:
        for (uint32_t x = 0; x < width; ++x) dst[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
        break;
    case 4:
        for (uint32_t x = 0; x < width; ++x) dst[x] = (x & 1) ? (src[x >> 1] & 15) : (src[x >> 1] >> 4);
        break;
    default:
        std::memcpy(dst, src, static_cast<size_t>(width) * (bit_count / 8));
        break;
    }
}

// Bytes left in a seekable stream after the current position, or -1 when unknown.
long remaining_bytes(std::FILE* stream)
{
    long here = std::ftell(stream);
    if (here < 0 || std::fseek(stream, 0, SEEK_END) != 0) return -1;
    long end = std::ftell(stream);
    if (std::fseek(stream, here, SEEK_SET) != 0 || end < here) return -1;
    return end - here;
}

// Two 4-bit values a byte, the first in the high half. Wider vectors pack the rows of the
// hi-res renderings two to three times faster.
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
void pack_nibbles(uint8_t* dst, const uint8_t* src, size_t pairs)
{
    for (size_t i = 0; i < pairs; ++i) dst[i] = static_cast<uint8_t>((src[2 * i] << 4) | (src[2 * i + 1] & 15));
}

} // namespace

int64_t bitmap_row_stride(int64_t width, int bit_count)
{
    if (width < 0) return -1;
    switch (bit_count) {
    case 1: return ((width + 7) / 8 + 3) / 4 * 4;
    case 4: return ((width + 1) / 2 + 3) / 4 * 4;
    case 8: return (width + 3) / 4 * 4;
    case 16: return (2 * width + 3) / 4 * 4;
    case 24: return (3 * width + 3) / 4 * 4;
    case 32: return 4 * width;
    default: return -1;
    }
}

int make_bitmap_header(bitmap_header& header, uint32_t width, uint32_t height, uint32_t bit_count)
{
    header.reserved1 = header.reserved2 = 0;
    header.compression = 0;
    header.x_pixels_per_metre = header.y_pixels_per_metre = 0;
    header.colours_used = header.colours_important = 0;
    header.header_size = bitmap_v3_header_size;
    header.planes = 1;
    if (!is_supported_bit_count(bit_count)) return -1;
    if (width > 0x7FFFFFFFu || height > 0x7FFFFFFFu) return -1;  // the fields are signed
    header.width = static_cast<int32_t>(width);
    header.height = static_cast<int32_t>(height);
    header.bit_count = static_cast<uint16_t>(bit_count);
    const uint64_t image_size = static_cast<uint64_t>(bitmap_row_stride(width, bit_count)) * height;
    const uint64_t data_offset = bitmap_file_header_bytes + 4ull * palette_entries_of(bit_count);
    if (image_size + data_offset > max_u32) return -1;
    header.image_size = static_cast<uint32_t>(image_size);
    header.data_offset = static_cast<uint32_t>(data_offset);
    header.file_size = header.image_size + header.data_offset;
    return 0;
}

int write_bitmap_header(std::FILE* stream, const bitmap_header& header)
{
    uint8_t bytes[bitmap_file_header_bytes];
    serialise_header(bytes, header);
    return std::fwrite(bytes, 1, sizeof bytes, stream) == sizeof bytes ? 0 : -1;
}

int write_palette(std::FILE* stream, const palette_entry* palette, int count)
{
    if (count < 0 || count > max_palette_entries) return -1;
    uint8_t bytes[4 * max_palette_entries];
    serialise_palette(bytes, palette, count);
    const size_t size = 4 * static_cast<size_t>(count);
    return std::fwrite(bytes, 1, size, stream) == size ? 0 : -1;
}

void pack_pixels(uint8_t* dst, const uint8_t* src, size_t count, uint32_t bit_count)
{
    switch (bit_count) {
    case 1: {
        size_t x = 0;
        for (; x + 8 <= count; x += 8, src += 8)
            *dst++ = static_cast<uint8_t>((src[0] ? 0x80 : 0) | (src[1] ? 0x40 : 0) | (src[2] ? 0x20 : 0) |
                                          (src[3] ? 0x10 : 0) | (src[4] ? 0x08 : 0) | (src[5] ? 0x04 : 0) |
                                          (src[6] ? 0x02 : 0) | (src[7] ? 0x01 : 0));
        if (x < count) {
            uint8_t byte = 0;
            for (uint32_t bit = 0; x < count; ++x, ++bit)
                if (*src++) byte |= static_cast<uint8_t>(0x80 >> bit);
            *dst = byte;
        }
        break;
    }
    case 4: {
        const size_t pairs = count / 2;
        pack_nibbles(dst, src, pairs);
        if (count & 1) dst[pairs] = static_cast<uint8_t>(src[count - 1] << 4);
        break;
    }
    default:
        std::memcpy(dst, src, count * (bit_count / 8));
        break;
    }
}

int write_bitmap_start(output_file& out, const bitmap_header& header, const palette_entry* palette)
{
    uint8_t* room = reserve_output(out, bitmap_file_header_bytes);
    if (!room) {
        std::printf("error: write_bitmap() - can't write bitmap header\n");
        return -1;
    }
    serialise_header(room, header);
    commit_output(out, bitmap_file_header_bytes);
    if (const int entries = static_cast<int>(palette_entries_of(header.bit_count)); entries > 0) {
        room = reserve_output(out, 4 * static_cast<size_t>(entries));
        if (!room) {
            std::printf("error: write_bitmap() - can't write palette\n");
            return -1;
        }
        if (palette)
            serialise_palette(room, palette, entries);
        else
            std::memset(room, 0, 4 * static_cast<size_t>(entries));
        commit_output(out, 4 * static_cast<size_t>(entries));
    }
    return 0;
}

int write_bitmap_to(output_file& out, const bitmap_header& header, const palette_entry* palette,
                    const uint8_t* pixels, bool stored_form)
{
    const uint32_t bit_count = header.bit_count;
    if (!is_supported_bit_count(bit_count) || header.width < 0 || header.height < 0) return -1;
    if (write_bitmap_start(out, header, palette) < 0) return -1;

    // Rows bottom-up, each padded to the stride.
    const uint32_t width = static_cast<uint32_t>(header.width);
    const size_t stride = static_cast<size_t>(bitmap_row_stride(width, static_cast<int>(bit_count)));
    const size_t row_bytes = stored_form ? stride : static_cast<size_t>(width) * bytes_per_pixel_of(bit_count);
    bool written = true;
    // Where the stored form of the row written last stands in the buffer: a row like it is
    // copied from there instead of packed again.
    size_t packed_at = 0;
    bool packed_valid = false;
    for (size_t y = static_cast<uint32_t>(header.height); written && y-- > 0;) {
        uint8_t* room = reserve_output(out, stride);
        if (!room) {
            written = false;
            break;
        }
        const uint8_t* row = pixels + row_bytes * y;
        if (stored_form)
            std::memcpy(room, row, stride);
        else if (packed_valid && out.used == packed_at + stride && std::memcmp(row, row + row_bytes, row_bytes) == 0)
            std::memcpy(room, out.buffer.get() + packed_at, stride);
        else
            store_pixel_row(room, row, width, bit_count, stride);
        packed_at = out.used;
        packed_valid = !stored_form && bit_count < 8;
        commit_output(out, stride);
    }
    return finish_bitmap_rows(out, written);
}

void store_pixel_row(uint8_t* dst, const uint8_t* src, uint32_t width, uint32_t bit_count, size_t stride)
{
    pack_pixels(dst, src, width, bit_count);
    const size_t data_bytes = packed_bytes(width, bit_count);
    std::memset(dst + data_bytes, 0, stride - data_bytes);
}

int finish_bitmap_rows(output_file& out, bool written)
{
    if (!written || flush_output(out) < 0) {
        std::printf("error: write_bitmap() - can't write bitmap data\n");
        return -1;
    }
    return 0;
}

int write_bitmap(std::FILE* stream, const bitmap_header& header, const palette_entry* palette,
                 const uint8_t* pixels)
{
    output_file out;
    attach_output_stream(out, stream);
    return write_bitmap_to(out, header, palette, pixels, false);
}

int check_image_pixels(const bitmap_image& image)
{
    bitmap_header header;
    const uint64_t pixel_bytes =
        image.stored_form
            ? static_cast<uint64_t>(std::max<int64_t>(bitmap_row_stride(image.width, static_cast<int>(image.bit_count)), 0)) *
                  image.height
            : static_cast<uint64_t>(bytes_per_pixel_of(image.bit_count)) * image.width * image.height;
    if (make_bitmap_header(header, image.width, image.height, image.bit_count) < 0 ||
        image.pixels.size() < pixel_bytes) {
        std::printf("error: create bitmap header\n");
        return -1;
    }
    return 0;
}

int save_bitmap_file(output_file& out, const char* path, const bitmap_image& image, bool overwrite)
{
    bitmap_header header;
    if (check_image_pixels(image) < 0) return -1;
    make_bitmap_header(header, image.width, image.height, image.bit_count);
    if (open_output_file(out, path, overwrite) < 0) return -1;
    return finish_bitmap_file(out, path, write_bitmap_to(out, header, image.palette, image.pixels.data(), image.stored_form));
}

int finish_bitmap_file(output_file& out, const char* path, int written)
{
    if (written < 0)
        discard_output_file(out);
    else if (close_output_file(out) == 0)
        return 0;
    std::printf("error: write bitmap '%s'\n", path);
    return -1;
}

int save_bitmap_file(const char* path, const bitmap_image& image, bool overwrite)
{
    output_file out;
    return save_bitmap_file(out, path, image, overwrite);
}

int allocate_buffer(std::vector<uint8_t>& buffer, size_t size)
{
    try {
        buffer.assign(size, 0);
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    return 0;
}

int check_bitmap_header(bitmap_header& header)
{
    if (header.header_size != bitmap_v3_header_size) {
        std::printf("error: check_bitmap_header() - not supported header type - support only Windows V3\n");
        return -1;
    }
    if (header.planes != 1) return -1;
    if (header.compression != 0) {
        std::printf("error: check_bitmap_header() - not support compression\n");
        return -1;
    }
    if (!is_supported_bit_count(header.bit_count)) {
        std::printf("error: check_bitmap_header() - unknown bit count\n");
        return -1;
    }
    // Sizes that the 32-bit fields cannot describe are refused silently, like the planes.
    if (header.width < 0 || header.height < 0) return -1;
    const uint64_t palette_bytes = 4ull * palette_entries_of(header.bit_count);
    const uint64_t expected_offset = bitmap_file_header_bytes + palette_bytes;
    const uint64_t data_length =
        static_cast<uint64_t>(bitmap_row_stride(header.width, header.bit_count)) * static_cast<uint64_t>(header.height);
    const uint64_t pixel_bytes = static_cast<uint64_t>(bytes_per_pixel_of(header.bit_count)) *
                                 static_cast<uint64_t>(header.width) * static_cast<uint64_t>(header.height);
    if (data_length + expected_offset > max_u32 || pixel_bytes > max_u32) return -1;

    if (header.data_offset != expected_offset) {
        std::printf("error: check_bitmap_header() - offset size 0x%X != 0x%X\n", header.data_offset,
                    static_cast<unsigned>(expected_offset));
        return -1;
    }
    int warnings = 0;
    if (header.image_size == 0) {
        header.image_size = static_cast<uint32_t>(data_length);
        std::printf("warning: check_bitmap_header() - data length is 0 ... corrected: 0x%X\n",
                    static_cast<unsigned>(data_length));
        ++warnings;
    }
    if (header.image_size != data_length) {
        std::printf("error: check_bitmap_header() - data length 0x%X != 0x%X\n", header.image_size,
                    static_cast<unsigned>(data_length));
        return -1;
    }
    const uint64_t file_length = data_length + expected_offset;
    if (header.file_size > file_length) {
        std::printf("warning: check_bitmap_header() - file length 0x%X > 0x%X\n", header.file_size,
                    static_cast<unsigned>(file_length));
        ++warnings;
    } else if (header.file_size < file_length) {
        std::printf("error: check_bitmap_header() - file length 0x%X < 0x%X\n", header.file_size,
                    static_cast<unsigned>(file_length));
        return -1;
    }
    return warnings;
}

int read_bitmap_header(std::FILE* stream, bitmap_header& header)
{
    uint8_t bytes[bitmap_file_header_bytes];
    if (std::fread(bytes, 1, sizeof bytes, stream) != sizeof bytes) return -1;
    if (bytes[bf_magic] != 'B' || bytes[bf_magic + 1] != 'M') return -1;
    header.file_size = get_u32_le(bytes + bf_file_size);
    header.reserved1 = get_u16_le(bytes + bf_reserved1);
    header.reserved2 = get_u16_le(bytes + bf_reserved2);
    header.data_offset = get_u32_le(bytes + bf_data_offset);
    header.header_size = get_u32_le(bytes + bi_header_size);
    header.width = static_cast<int32_t>(get_u32_le(bytes + bi_width));
    header.height = static_cast<int32_t>(get_u32_le(bytes + bi_height));
    header.planes = get_u16_le(bytes + bi_planes);
    header.bit_count = get_u16_le(bytes + bi_bit_count);
    header.compression = get_u32_le(bytes + bi_compression);
    header.image_size = get_u32_le(bytes + bi_image_size);
    header.x_pixels_per_metre = static_cast<int32_t>(get_u32_le(bytes + bi_x_pixels_per_metre));
    header.y_pixels_per_metre = static_cast<int32_t>(get_u32_le(bytes + bi_y_pixels_per_metre));
    header.colours_used = get_u32_le(bytes + bi_colours_used);
    header.colours_important = get_u32_le(bytes + bi_colours_important);
    return check_bitmap_header(header);
}

int read_palette(std::FILE* stream, palette_entry* palette, int count)
{
    if (count < 0 || count > max_palette_entries) return -1;
    uint8_t bytes[4 * max_palette_entries];
    const size_t size = 4 * static_cast<size_t>(count);
    if (std::fread(bytes, 1, size, stream) != size) return -1;
    for (int i = 0; i < count; ++i)
        palette[i] = palette_entry{bytes[4 * i], bytes[4 * i + 1], bytes[4 * i + 2], bytes[4 * i + 3]};
    return 0;
}

int read_bitmap(std::FILE* stream, bitmap_header& header, std::vector<palette_entry>* palette_out,
                std::vector<uint8_t>* pixels_out, bool header_already_read)
{
    if (!pixels_out) return -3;
    if (!header_already_read && read_bitmap_header(stream, header) < 0) {
        std::printf("error: read_bitmap() - can't read bitmap header\n");
        return -1;
    }
    const uint32_t bit_count = header.bit_count;
    const int64_t stride = bitmap_row_stride(header.width, static_cast<int>(bit_count));
    if (stride < 0 || header.height < 0) {
        std::printf("error: read_bitmap() - can't read bitmap header\n");
        return -1;
    }
    const uint32_t width = static_cast<uint32_t>(header.width);
    const uint32_t height = static_cast<uint32_t>(header.height);
    const size_t row_bytes = static_cast<size_t>(width) * bytes_per_pixel_of(bit_count);
    const size_t pixel_bytes = row_bytes * height;
    const size_t data_bytes = static_cast<size_t>(stride) * height;  // 0 when either size is 0
    const int entries = static_cast<int>(palette_entries_of(bit_count));

    // A file that ends before its last row cannot be read whatever is allocated: such a
    // file gets no pixel buffer, so a forged size costs no memory. A stream that cannot be
    // sized is read whole first, into a buffer that grows only as its bytes arrive.
    const long remaining = remaining_bytes(stream);
    const bool sized = remaining >= 0;
    const bool data_missing = sized && static_cast<uint64_t>(remaining) < 4ull * entries + data_bytes;

    try {
        if (sized && !data_missing && pixels_out->size() < pixel_bytes) pixels_out->resize(pixel_bytes);
        if (entries > 0 && palette_out && palette_out->size() < static_cast<size_t>(entries))
            palette_out->resize(entries);
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhaust!\n");
        return -2;
    }
    if (entries > 0) {
        bool ok;
        if (palette_out) {
            ok = read_palette(stream, palette_out->data(), entries) == 0;
        } else if (sized) {
            ok = std::fseek(stream, 4L * entries, SEEK_CUR) == 0;
        } else {
            uint8_t skipped[4 * max_palette_entries];
            ok = std::fread(skipped, 1, 4 * static_cast<size_t>(entries), stream) == 4 * static_cast<size_t>(entries);
        }
        if (!ok) {
            std::printf("error: read_bitmap() - can't read palette\n");
            return -1;
        }
    }
    if (data_missing) {
        std::printf("error: read_bitmap() - can't read bitmap data\n");
        return -1;
    }
    if (data_bytes == 0) return 0;  // no rows, or rows without pixels

    std::vector<uint8_t> rows;  // the whole data of an unsized stream, else one row
    try {
        if (sized) {
            rows.resize(static_cast<size_t>(stride));
        } else {
            constexpr size_t piece = size_t{1} << 16;
            while (rows.size() < data_bytes) {
                const size_t before = rows.size();
                const size_t want = std::min(piece, data_bytes - before);
                rows.resize(before + want);
                const size_t got = std::fread(rows.data() + before, 1, want, stream);
                if (got != want) {
                    std::printf("error: read_bitmap() - can't read bitmap data\n");
                    return -1;
                }
            }
            if (pixels_out->size() < pixel_bytes) pixels_out->resize(pixel_bytes);
        }
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhaust!\n");
        return -2;
    }
    for (int64_t y = static_cast<int64_t>(height) - 1; y >= 0; --y) {
        const uint8_t* row = rows.data();
        if (sized) {
            if (std::fread(rows.data(), 1, rows.size(), stream) != rows.size()) {
                std::printf("error: read_bitmap() - can't read bitmap data\n");
                return -1;
            }
        } else {
            row += static_cast<size_t>(stride) * static_cast<size_t>(height - 1 - y);
        }
        unpack_row(pixels_out->data() + row_bytes * static_cast<size_t>(y), row, width, bit_count);
    }
    return 0;
}
