// BMP header building and checking, and the row-by-row writer and reader.
// The layout is sketched in bitmap.hpp.
#include "bitmap.hpp"

#include <algorithm>
#include <cstring>
#include <new>

#include "bytes.hpp"

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

// Packs `count` in-memory pixels from `src` into their stored form at `dst`.
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
        size_t x = 0;
        for (; x + 2 <= count; x += 2, src += 2)
            *dst++ = static_cast<uint8_t>((src[0] << 4) | (src[1] & 15));
        if (x < count) *dst = static_cast<uint8_t>(src[0] << 4);
        break;
    }
    default:
        std::memcpy(dst, src, count * (bit_count / 8));
        break;
    }
}

// Stored bytes of `count` packed pixels.
size_t packed_bytes(size_t count, uint32_t bit_count) { return (count * bit_count + 7) / 8; }

// Writes the pixel rows bottom-up, each padded to `stride`. Rows are packed one after another
// into a fixed buffer that is written whenever the next piece does not fit; a row wider than
// the buffer goes in pieces (whole bytes of packed pixels each).
bool write_pixel_rows(std::FILE* stream, const uint8_t* pixels, uint32_t width, uint32_t height, uint32_t bit_count,
                      size_t stride)
{
    uint8_t buffer[1 << 16];
    size_t used = 0;
    auto flush = [&] {
        const bool written = std::fwrite(buffer, 1, used, stream) == used;
        used = 0;
        return written;
    };
    auto make_room = [&](size_t bytes) { return used + bytes <= sizeof buffer || flush(); };
    const size_t bpp = bytes_per_pixel_of(bit_count);
    const size_t piece = bit_count < 8 ? sizeof buffer * 8 / bit_count : sizeof buffer / bpp;  // pixels
    const size_t padding = stride - packed_bytes(width, bit_count);
    for (size_t y = height; y-- > 0;) {
        const uint8_t* row = pixels + static_cast<size_t>(width) * bpp * y;
        for (size_t x = 0; x < width; x += piece) {
            const size_t count = std::min<size_t>(piece, width - x);
            if (!make_room(packed_bytes(count, bit_count))) return false;
            pack_pixels(buffer + used, row + x * bpp, count, bit_count);
            used += packed_bytes(count, bit_count);
        }
        if (!make_room(padding)) return false;
        std::memset(buffer + used, 0, padding);
        used += padding;
    }
    return flush();
}

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
    return std::fwrite(bytes, 1, sizeof bytes, stream) == sizeof bytes ? 0 : -1;
}

int write_palette(std::FILE* stream, const palette_entry* palette, int count)
{
    if (count < 0 || count > max_palette_entries) return -1;
    uint8_t bytes[4 * max_palette_entries];
    for (int i = 0; i < count; ++i) {
        bytes[4 * i] = palette[i].blue;
        bytes[4 * i + 1] = palette[i].green;
        bytes[4 * i + 2] = palette[i].red;
        bytes[4 * i + 3] = palette[i].reserved;
    }
    const size_t size = 4 * static_cast<size_t>(count);
    return std::fwrite(bytes, 1, size, stream) == size ? 0 : -1;
}

int write_bitmap(std::FILE* stream, const bitmap_header& header, const palette_entry* palette,
                 const uint8_t* pixels)
{
    const uint32_t bit_count = header.bit_count;
    if (!is_supported_bit_count(bit_count) || header.width < 0 || header.height < 0) return -1;
    if (write_bitmap_header(stream, header) < 0) {
        std::printf("error: write_bitmap() - can't write bitmap header\n");
        return -1;
    }
    if (const int entries = static_cast<int>(palette_entries_of(bit_count)); entries > 0) {
        bool ok = true;
        if (palette) {
            ok = write_palette(stream, palette, entries) == 0;
        } else {
            static const uint8_t zero_entry[4] = {0, 0, 0, 0};
            for (int i = 0; i < entries && ok; ++i) ok = std::fwrite(zero_entry, 1, 4, stream) == 4;
        }
        if (!ok) {
            std::printf("error: write_bitmap() - can't write palette\n");
            return -1;
        }
    }

    const uint32_t width = static_cast<uint32_t>(header.width);
    const size_t stride = static_cast<size_t>(bitmap_row_stride(width, static_cast<int>(bit_count)));
    if (!write_pixel_rows(stream, pixels, width, static_cast<uint32_t>(header.height), bit_count, stride)) {
        std::printf("error: write_bitmap() - can't write bitmap data\n");
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
    const int entries = static_cast<int>(palette_entries_of(bit_count));

    // A file that ends before its last row cannot be read whatever is allocated: such a
    // file gets no pixel buffer, so a forged size costs no memory.
    const long remaining = remaining_bytes(stream);
    const bool data_missing =
        remaining >= 0 && static_cast<uint64_t>(remaining) < 4ull * entries + static_cast<uint64_t>(stride) * height;

    try {
        if (!data_missing && pixels_out->size() < pixel_bytes) pixels_out->resize(pixel_bytes);
        if (entries > 0 && palette_out && palette_out->size() < static_cast<size_t>(entries))
            palette_out->resize(entries);
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhaust!\n");
        return -2;
    }
    if (entries > 0) {
        const bool ok = palette_out ? read_palette(stream, palette_out->data(), entries) == 0
                                    : std::fseek(stream, 4L * entries, SEEK_CUR) == 0;
        if (!ok) {
            std::printf("error: read_bitmap() - can't read palette\n");
            return -1;
        }
    }
    if (data_missing) {
        std::printf("error: read_bitmap() - can't read bitmap data\n");
        return -1;
    }

    std::vector<uint8_t> row;
    try {
        row.resize(static_cast<size_t>(stride));
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhaust!\n");
        return -2;
    }
    for (int64_t y = static_cast<int64_t>(height) - 1; y >= 0; --y) {
        if (std::fread(row.data(), 1, row.size(), stream) != row.size()) {
            std::printf("error: read_bitmap() - can't read bitmap data\n");
            return -1;
        }
        if (row_bytes > 0)
            unpack_row(pixels_out->data() + row_bytes * static_cast<size_t>(y), row.data(), width, bit_count);
    }
    return 0;
}
