// BMP writing and reading: row packing and padding, the header check, palettes, and a
// corruption sweep over the reader.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>

#include "bitmap/bitmap.hpp"
#include "bitmap/bytes.hpp"
#include "bitmap/output.hpp"
#include "support/test_support.hpp"

namespace {

const int bit_counts[] = {1, 4, 8, 16, 24, 32};

// An asymmetric picture whose values are valid for the bit count.
std::vector<uint8_t> test_pixels(uint32_t width, uint32_t height, int bit_count)
{
    std::vector<uint8_t> pixels(bytes_per_pixel_of(bit_count) * width * height);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const uint8_t value = static_cast<uint8_t>(i * 7 + i / 3 + 1);
        pixels[i] = bit_count == 1 ? (value >> 2) & 1 : bit_count == 4 ? value & 15 : value;
    }
    return pixels;
}

std::vector<palette_entry> test_palette(int entries)
{
    std::vector<palette_entry> palette(entries);
    for (int i = 0; i < entries; ++i)
        palette[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 3),
                      static_cast<uint8_t>(i & 1)};
    return palette;
}

// The whole file that write_bitmap produces.
std::vector<uint8_t> bmp_bytes(uint32_t width, uint32_t height, int bit_count, const std::vector<uint8_t>& pixels,
                               const palette_entry* palette)
{
    bitmap_header header;
    EXPECT_EQ(make_bitmap_header(header, width, height, bit_count), 0);
    std::FILE* f = std::tmpfile();
    EXPECT_EQ(write_bitmap(f, header, palette, pixels.data()), 0);
    std::vector<uint8_t> bytes(static_cast<size_t>(std::ftell(f)));
    std::rewind(f);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
    return bytes;
}

struct read_result {
    int status;
    std::string console;
    bitmap_header header;
    std::vector<palette_entry> palette;
    std::vector<uint8_t> pixels;
};

read_result read_bytes(const std::vector<uint8_t>& bytes, bool want_palette = true)
{
    read_result result;
    std::FILE* f = std::tmpfile();
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    result.console = console_of([&] {
        result.status = read_bitmap(f, result.header, want_palette ? &result.palette : nullptr, &result.pixels, false);
    });
    std::fclose(f);
    return result;
}

TEST(BitmapRows, EveryWidthAndBitCountRoundTrips)
{
    for (int bit_count : bit_counts) {
        for (uint32_t width = 1; width <= 11; ++width) {
            SCOPED_TRACE(testing::Message() << bit_count << "-bit, width " << width);
            const uint32_t height = 3;
            const std::vector<uint8_t> pixels = test_pixels(width, height, bit_count);
            const int entries = bit_count <= 8 ? 1 << bit_count : 0;
            const std::vector<palette_entry> palette = test_palette(entries);
            const std::vector<uint8_t> bytes = bmp_bytes(width, height, bit_count, pixels, palette.data());

            const size_t stride = (width * bit_count + 31) / 32 * 4;
            const size_t data_offset = 54 + 4 * entries;
            EXPECT_EQ(bitmap_row_stride(width, bit_count), static_cast<int64_t>(stride));
            ASSERT_EQ(bytes.size(), data_offset + stride * height);
            EXPECT_EQ(get_u32_le(&bytes[2]), bytes.size());
            EXPECT_EQ(get_u32_le(&bytes[10]), data_offset);
            EXPECT_EQ(get_u32_le(&bytes[34]), stride * height);
            const size_t used = (width * bit_count + 7) / 8;
            for (uint32_t row = 0; row < height; ++row)
                for (size_t b = used; b < stride; ++b) EXPECT_EQ(bytes[data_offset + row * stride + b], 0) << row;

            const read_result back = read_bytes(bytes);
            EXPECT_EQ(back.status, 0);
            EXPECT_EQ(back.console, "");
            EXPECT_EQ(back.pixels, pixels);
            ASSERT_EQ(back.palette.size(), palette.size());
            EXPECT_TRUE(palette.empty() || std::memcmp(back.palette.data(), palette.data(), 4 * entries) == 0);
        }
    }
}

TEST(BitmapRows, PackingOfPartialBytesAndWideValues)
{
    // 1-bit width 9: two data bytes (the ninth pixel in the top bit) and two zero bytes;
    // any nonzero byte counts as 1. Rows are stored bottom-up.
    std::vector<uint8_t> one(18, 0);
    one[0] = 5;   // top row, first pixel
    one[17] = 1;  // bottom row, last pixel
    std::vector<uint8_t> bytes = bmp_bytes(9, 2, 1, one, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 62, bytes.end()),
              (std::vector<uint8_t>{0x00, 0x80, 0, 0, 0x80, 0x00, 0, 0}));
    // Without a palette the entries are written as zeros.
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 54, bytes.begin() + 62), std::vector<uint8_t>(8, 0));

    // 4-bit width 3: (first x 16) truncated to 8 bits, the odd last pixel in the high nibble.
    bytes = bmp_bytes(3, 1, 4, {0x1F, 0x2E, 0x3D}, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 118, bytes.end()), (std::vector<uint8_t>{0xFE, 0xD0, 0, 0}));

    // 24-bit width 1 and 4: strides 4 and 12.
    EXPECT_EQ(bitmap_row_stride(1, 24), 4);
    EXPECT_EQ(bitmap_row_stride(4, 24), 12);
    EXPECT_EQ(bitmap_row_stride(4, 2), -1);
}

// Rows packed bit by bit here, bottom row first, each padded to a multiple of 4 bytes.
std::vector<uint8_t> stored_rows(const std::vector<uint8_t>& pixels, uint32_t width, uint32_t height, int bit_count)
{
    const size_t stride = (width * bit_count + 31) / 32 * 4;
    std::vector<uint8_t> rows(stride * height, 0);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const unsigned value = pixels[static_cast<size_t>(y) * width + x];
            for (int b = 0; b < bit_count; ++b)
                if (value >> (bit_count - 1 - b) & 1) {
                    const size_t bit = static_cast<size_t>(x) * bit_count + b;
                    rows[(height - 1 - y) * stride + bit / 8] |= static_cast<uint8_t>(0x80 >> (bit % 8));
                }
        }
    return rows;
}

// Rows that repeat the row below them (as the hi-res renderings' pairs do) are written like
// any other, also where the buffer is handed on between two of them: large images whose
// rows come in pairs, runs and all alike.
TEST(BitmapRows, RepeatedRowsAcrossWrites)
{
    for (int bit_count : {1, 4}) {
        for (uint32_t width : {899u, 1000u, 4096u}) {
            SCOPED_TRACE(testing::Message() << bit_count << "-bit, width " << width);
            const uint32_t height = 700;
            std::vector<uint8_t> pixels(static_cast<size_t>(width) * height);
            for (uint32_t y = 0; y < height; ++y) {
                const uint32_t source = y < 300 ? y / 2 * 2 : y < 500 ? 300 : y;  // pairs, a run, all different
                for (uint32_t x = 0; x < width; ++x)
                    pixels[static_cast<size_t>(y) * width + x] =
                        static_cast<uint8_t>((x * 7 + source * 13 + x / 5) % (bit_count == 1 ? 2 : 16));
            }
            const std::vector<uint8_t> bytes = bmp_bytes(width, height, bit_count, pixels, nullptr);
            const size_t data_offset = 54 + 4 * (1u << bit_count);
            ASSERT_GT(bytes.size(), data_offset);
            const std::vector<uint8_t> rows(bytes.begin() + static_cast<long>(data_offset), bytes.end());
            EXPECT_TRUE(rows == stored_rows(pixels, width, height, bit_count));
        }
    }
}

// Output written in pieces of every size arrives whole and in order.
TEST(OutputFile, PiecesOfEverySize)
{
    std::FILE* f = std::tmpfile();
    output_file out;
    attach_output_stream(out, f);
    std::vector<uint8_t> expected;
    uint32_t state = 1;
    for (size_t piece = 1; expected.size() < (3u << 20); piece = piece * 3 % 70001 + 1) {
        uint8_t* room = reserve_output(out, piece);
        ASSERT_NE(room, nullptr);
        for (size_t i = 0; i < piece; ++i) {
            state = state * 1103515245u + 12345u;
            room[i] = static_cast<uint8_t>(state >> 16);
            expected.push_back(room[i]);
        }
        commit_output(out, piece);
    }
    ASSERT_EQ(flush_output(out), 0);
    std::vector<uint8_t> written(expected.size() + 1);
    std::rewind(f);
    EXPECT_EQ(std::fread(written.data(), 1, written.size(), f), expected.size());
    written.pop_back();
    EXPECT_TRUE(written == expected);
    std::fclose(f);

    // A stream that refuses bytes fails the writes from then on.
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    attach_output_stream(out, full);
    bool failed = false;
    for (int i = 0; i < 100 && !failed; ++i) {
        uint8_t* room = reserve_output(out, 100000);
        failed = room == nullptr;
        if (room) commit_output(out, 100000);
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ(reserve_output(out, 1), nullptr);
    EXPECT_EQ(flush_output(out), -1);
    std::fclose(full);
}

// Files replaced by a rename are let go behind the run, a few at a time, and every one of
// them by the time the output is done with.
TEST(OutputFile, ReplacedFilesAreLetGo)
{
    const auto deleted_but_open = [] {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code error;
            if (std::filesystem::read_symlink(entry.path(), error).string().ends_with(" (deleted)")) ++count;
        }
        return count;
    };
    const int before = deleted_but_open();
    scratch_dir dir;
    {
        output_file out;
        for (uint8_t round = 0; round < 2; ++round) {
            for (int i = 0; i < 12; ++i) {
                ASSERT_EQ(open_output_file(out, (dir / std::to_string(i)).c_str(), true), 0);
                uint8_t* room = reserve_output(out, 3);
                ASSERT_NE(room, nullptr);
                std::memset(room, round, 3);
                commit_output(out, 3);
                ASSERT_EQ(close_output_file(out), 0);
                EXPECT_LE(deleted_but_open() - before, static_cast<int>(file_releases::capacity) + 1);
            }
        }
    }
    EXPECT_EQ(deleted_but_open(), before);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(read_file(dir / std::to_string(i)), std::vector<uint8_t>(3, 1)) << i;
}

TEST(BitmapHeader, MakeRefusesUnsupportedBitCounts)
{
    bitmap_header header;
    for (uint32_t bit_count : {0u, 2u, 12u, 33u, 64u}) EXPECT_EQ(make_bitmap_header(header, 4, 4, bit_count), -1);
    ASSERT_EQ(make_bitmap_header(header, 4, 4, 8), 0);
    EXPECT_EQ(header.data_offset, 1078u);
    EXPECT_EQ(header.file_size, 1078u + 16);
}

TEST(BitmapHeader, CheckReportsEachFaultInOrder)
{
    struct check_case {
        const char* what;
        std::function<void(bitmap_header&)> change;
        int status;
        const char* console;
    };
    const check_case cases[] = {
        {"valid", [](bitmap_header&) {}, 0, ""},
        {"OS/2 header", [](bitmap_header& h) { h.header_size = 12; }, -1,
         "error: check_bitmap_header() - not supported header type - support only Windows V3\n"},
        {"V5 header", [](bitmap_header& h) { h.header_size = 124; h.planes = 2; }, -1,
         "error: check_bitmap_header() - not supported header type - support only Windows V3\n"},
        {"planes", [](bitmap_header& h) { h.planes = 2; h.compression = 1; }, -1, ""},
        {"compression", [](bitmap_header& h) { h.compression = 1; h.bit_count = 3; }, -1,
         "error: check_bitmap_header() - not support compression\n"},
        {"bit count", [](bitmap_header& h) { h.bit_count = 2; }, -1, "error: check_bitmap_header() - unknown bit count\n"},
        {"offset", [](bitmap_header& h) { h.data_offset = 54; }, -1,
         "error: check_bitmap_header() - offset size 0x36 != 0x436\n"},
        {"offset of 1-bit", [](bitmap_header& h) { h.bit_count = 1; }, -1,
         "error: check_bitmap_header() - offset size 0x436 != 0x3E\n"},
        {"data length 0", [](bitmap_header& h) { h.image_size = 0; }, 1,
         "warning: check_bitmap_header() - data length is 0 ... corrected: 0x18\n"},
        {"data length", [](bitmap_header& h) { h.image_size = 0x19; }, -1,
         "error: check_bitmap_header() - data length 0x19 != 0x18\n"},
        {"file longer", [](bitmap_header& h) { h.file_size = 0x1000; }, 1,
         "warning: check_bitmap_header() - file length 0x1000 > 0x44E\n"},
        {"two warnings", [](bitmap_header& h) { h.image_size = 0; h.file_size = 0xABCDEF; }, 2,
         "warning: check_bitmap_header() - data length is 0 ... corrected: 0x18\n"
         "warning: check_bitmap_header() - file length 0xABCDEF > 0x44E\n"},
        {"file shorter", [](bitmap_header& h) { h.file_size = 0x44D; }, -1,
         "error: check_bitmap_header() - file length 0x44D < 0x44E\n"},
        {"negative width", [](bitmap_header& h) { h.width = -5; }, -1, ""},
        {"negative height (top-down)", [](bitmap_header& h) { h.height = -3; }, -1, ""},
        {"stride x height over 32 bits", [](bitmap_header& h) { h.bit_count = 32; h.data_offset = 54; h.width = 0x7FFFFFFF; }, -1, ""},
        {"pixel bytes over 32 bits", [](bitmap_header& h) { h.width = 1 << 20; h.height = 1 << 13; h.bit_count = 1; h.data_offset = 62; }, -1, ""},
    };
    for (const check_case& c : cases) {
        SCOPED_TRACE(c.what);
        bitmap_header header;
        ASSERT_EQ(make_bitmap_header(header, 5, 3, 8), 0);
        c.change(header);
        int status = 0;
        EXPECT_EQ(console_of([&] { status = check_bitmap_header(header); }), c.console);
        EXPECT_EQ(status, c.status);
    }
}

TEST(BitmapPalette, CountsAboveTheLimitAreRefused)
{
    std::vector<palette_entry> palette = test_palette(257);
    std::FILE* f = std::tmpfile();
    EXPECT_EQ(write_palette(f, palette.data(), 257), -1);
    EXPECT_EQ(write_palette(f, palette.data(), -1), -1);
    EXPECT_EQ(write_palette(f, palette.data(), 256), 0);
    EXPECT_EQ(std::ftell(f), 1024);
    std::rewind(f);
    EXPECT_EQ(read_palette(f, palette.data(), 257), -1);
    EXPECT_EQ(read_palette(f, palette.data(), 256), 0);
    EXPECT_EQ(read_palette(f, palette.data(), 1), -1);  // at the end of the file
    std::fclose(f);
}

TEST(BitmapRead, DestinationsAndShortFiles)
{
    const std::vector<uint8_t> pixels = test_pixels(6, 4, 4);
    const std::vector<palette_entry> palette = test_palette(16);
    std::vector<uint8_t> bytes = bmp_bytes(6, 4, 4, pixels, palette.data());

    // Without a palette destination the palette is skipped.
    read_result r = read_bytes(bytes, false);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.pixels, pixels);
    EXPECT_TRUE(r.palette.empty());

    // No pixel destination.
    std::FILE* f = std::tmpfile();
    bitmap_header header;
    EXPECT_EQ(read_bitmap(f, header, nullptr, nullptr, false), -3);
    std::fclose(f);

    // A caller's buffer of the right size is used as it is.
    f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    ASSERT_EQ(read_bitmap_header(f, header), 0);
    std::vector<uint8_t> own(pixels.size(), 0xEE);
    const uint8_t* before = own.data();
    EXPECT_EQ(read_bitmap(f, header, nullptr, &own, true), 0);
    EXPECT_EQ(own.data(), before);
    EXPECT_EQ(own, pixels);
    std::fclose(f);

    r = read_bytes(std::vector<uint8_t>(bytes.begin(), bytes.end() - 1));
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.console, "error: read_bitmap() - can't read bitmap data\n");
    r = read_bytes(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 100));
    EXPECT_EQ(r.console, "error: read_bitmap() - can't read palette\n");
    r = read_bytes(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 53));
    EXPECT_EQ(r.console, "error: read_bitmap() - can't read bitmap header\n");
    bytes[1] = 'A';
    r = read_bytes(bytes);
    EXPECT_EQ(r.console, "error: read_bitmap() - can't read bitmap header\n");
}

TEST(BitmapRead, ForgedSizesCostNoMemory)
{
    // A header that claims 32768 x 32768 32-bit pixels over a file of 54 bytes.
    bitmap_header header;
    ASSERT_EQ(make_bitmap_header(header, 1, 1, 32), 0);
    std::vector<uint8_t> bytes = bmp_bytes(1, 1, 32, {1, 2, 3, 4}, nullptr);
    uint8_t* p = &bytes[18];
    put_u32_le(p, 32768);
    put_u32_le(p, 32767);
    p = &bytes[34];
    put_u32_le(p, 32768u * 32767u * 4u);
    p = &bytes[2];
    put_u32_le(p, 32768u * 32767u * 4u + 54u);
    const read_result r = read_bytes(bytes);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.console, "error: read_bitmap() - can't read bitmap data\n");
    EXPECT_TRUE(r.pixels.empty());
}

// Flipped and truncated bytes never crash the reader and only give its known lines.
TEST(BitmapRead, CorruptionSweep)
{
    const char* const known[] = {
        "error: read_bitmap() - ", "error: check_bitmap_header() - ", "warning: check_bitmap_header() - ",
        "error: memory exhaust!",
    };
    for (int bit_count : bit_counts) {
        const int entries = bit_count <= 8 ? 1 << bit_count : 0;
        const std::vector<palette_entry> palette = test_palette(entries);
        const std::vector<uint8_t> good = bmp_bytes(7, 5, bit_count, test_pixels(7, 5, bit_count), palette.data());
        std::vector<std::vector<uint8_t>> variants;
        for (size_t i = 0; i < std::min<size_t>(good.size(), 160); ++i) {
            for (uint8_t flip : {0x01, 0x80, 0xFF}) {
                variants.push_back(good);
                variants.back()[i] ^= flip;
            }
        }
        for (size_t length = 0; length < good.size(); length += 3)
            variants.emplace_back(good.begin(), good.begin() + length);
        for (const std::vector<uint8_t>& bytes : variants) {
            const read_result r = read_bytes(bytes);
            EXPECT_TRUE(r.status == 0 || r.status == -1) << r.status;
            for (const std::string& line : lines_of(r.console)) {
                bool listed = false;
                for (const char* prefix : known) listed = listed || line.rfind(prefix, 0) == 0;
                EXPECT_TRUE(listed) << line;
            }
            if (r.status == 0) {
                EXPECT_EQ(r.pixels.size(), bytes_per_pixel_of(r.header.bit_count) *
                                               static_cast<size_t>(r.header.width) * r.header.height);
            }
        }
    }
}

} // namespace
