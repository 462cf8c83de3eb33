// Bit-count conversion and mask bitmaps, against worked values and a small model of the
// conversion rules written here.
#include <algorithm>

#include "bitmap/colour_convert.hpp"
#include "support/test_support.hpp"

namespace {

struct rgb {
    int r, g, b;
};

uint32_t lcg(uint32_t& state)
{
    state = state * 69069u + 1u;
    return state >> 16;
}

// The model: a pixel's colour, and a colour in a target form.
rgb model_colour(const uint8_t* p, int bits, const std::vector<palette_entry>& palette)
{
    if (bits <= 8) {
        const int index = bits == 1 ? (p[0] != 0) : bits == 4 ? (p[0] % 16) : p[0];
        return {palette[index].red, palette[index].green, palette[index].blue};
    }
    if (bits == 16) {
        const int v = p[0] + 256 * p[1];
        auto widen = [](int f) { return f * 8 + f / 4; };  // 5 bits to 8 without overlapping bits
        return {widen(v / 1024 % 32), widen(v / 32 % 32), widen(v % 32)};
    }
    return {p[2], p[1], p[0]};
}

std::vector<uint8_t> model_pixel(rgb c, int bits, const std::vector<palette_entry>& palette)
{
    if (bits <= 8) {
        std::vector<int> distance;
        for (const palette_entry& e : palette)
            distance.push_back((e.red - c.r) * (e.red - c.r) + (e.green - c.g) * (e.green - c.g) + (e.blue - c.b) * (e.blue - c.b));
        return {static_cast<uint8_t>(std::min_element(distance.begin(), distance.end()) - distance.begin())};
    }
    if (bits == 16) {
        const int v = c.r / 8 * 1024 + c.g / 8 * 32 + c.b / 8;
        return {static_cast<uint8_t>(v % 256), static_cast<uint8_t>(v / 256)};
    }
    std::vector<uint8_t> out = {static_cast<uint8_t>(c.b), static_cast<uint8_t>(c.g), static_cast<uint8_t>(c.r)};
    if (bits == 32) out.push_back(0);
    return out;
}

std::vector<palette_entry> test_palette(int bits, uint32_t seed)
{
    std::vector<palette_entry> palette(1u << bits);
    for (palette_entry& e : palette)
        e = {static_cast<uint8_t>(lcg(seed)), static_cast<uint8_t>(lcg(seed)), static_cast<uint8_t>(lcg(seed)), 0};
    if (palette.size() > 3) palette[3] = palette[1];  // a duplicate: the lower index must win
    return palette;
}

int converted(uint32_t width, uint32_t height, int from, const palette_entry* from_palette,
              const std::vector<uint8_t>& src, int to, const palette_entry* to_palette, std::vector<uint8_t>& dst)
{
    return convert_bit_count(width, height, from, from_palette, src.data(), to, to_palette, &dst);
}

TEST(ColourConvert, NearestPaletteIndexWorkedCases)
{
    const palette_entry black_white[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    EXPECT_EQ(nearest_palette_index(255, 0, 0, black_white, 2), 0);    // red
    EXPECT_EQ(nearest_palette_index(255, 255, 0, black_white, 2), 1);  // yellow
    EXPECT_EQ(nearest_palette_index(127, 127, 127, black_white, 2), 0);
    EXPECT_EQ(nearest_palette_index(128, 128, 128, black_white, 2), 1);
    const palette_entry tie[3] = {{0, 0, 10, 0}, {0, 0, 12, 0}, {0, 0, 11, 0}};
    EXPECT_EQ(nearest_palette_index(11, 0, 0, tie, 2), 0);   // equal distances: lower index
    EXPECT_EQ(nearest_palette_index(11, 0, 0, tie, 3), 2);   // an exact match
    const palette_entry far[1] = {{255, 255, 255, 0}};
    EXPECT_EQ(nearest_palette_index(0, 0, 0, far, 1), 0);   // the largest distance still counts
    EXPECT_EQ(nearest_palette_index(9, 9, 9, nullptr, 0), 0);

    // A 24-bit picture to 1 bit with the built-in black and white.
    const std::vector<uint8_t> src = {0, 0, 255, 0, 255, 255, 128, 128, 128};  // red, yellow, grey 128
    std::vector<uint8_t> dst;
    ASSERT_EQ(converted(3, 1, 24, nullptr, src, 1, nullptr, dst), 0);
    EXPECT_EQ(dst, (std::vector<uint8_t>{0, 1, 1}));
}

TEST(ColourConvert, DirectColourWorkedValues)
{
    std::vector<uint8_t> dst;
    ASSERT_EQ(converted(3, 1, 16, nullptr, {0xFF, 0x7F, 0x21, 0x04, 0x10, 0x42}, 24, nullptr, dst), 0);
    // 0x7FFF white; 0x0421 fields 1, 1, 1 -> 8; 0x4210 fields 16, 16, 16 -> 132.
    EXPECT_EQ(dst, (std::vector<uint8_t>{255, 255, 255, 8, 8, 8, 132, 132, 132}));
    ASSERT_EQ(converted(1, 1, 24, nullptr, {255, 128, 7}, 16, nullptr, dst), 0);
    EXPECT_EQ(dst, (std::vector<uint8_t>{0x1F, 0x02}));  // red 0, green 16, blue 31
    ASSERT_EQ(converted(2, 1, 32, nullptr, {1, 2, 3, 4, 5, 6, 7, 8}, 24, nullptr, dst), 0);
    EXPECT_EQ(dst, (std::vector<uint8_t>{1, 2, 3, 5, 6, 7}));
    ASSERT_EQ(converted(1, 1, 24, nullptr, {1, 2, 3}, 32, nullptr, dst), 0);
    EXPECT_EQ(dst, (std::vector<uint8_t>{1, 2, 3, 0}));
    // The same bit count copies the bytes as they stand, the unused ones included.
    ASSERT_EQ(converted(2, 1, 32, nullptr, {1, 2, 3, 4, 5, 6, 7, 8}, 32, nullptr, dst), 0);
    EXPECT_EQ(dst, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    ASSERT_EQ(converted(1, 1, 16, nullptr, {0x34, 0x92}, 16, nullptr, dst), 0);
    EXPECT_EQ(dst, (std::vector<uint8_t>{0x34, 0x92}));
    // Paletted sources count only their valid bits.
    const palette_entry grey[16] = {{0, 0, 0, 0}, {17, 17, 17, 0}, {34, 34, 34, 0}, {51, 51, 51, 0}};
    ASSERT_EQ(converted(2, 1, 4, grey, {0x13, 0xF2}, 24, nullptr, dst), 0);
    EXPECT_EQ(dst, (std::vector<uint8_t>{51, 51, 51, 34, 34, 34}));
    ASSERT_EQ(converted(3, 1, 1, nullptr, {2, 0, 255}, 24, nullptr, dst), 0);
    EXPECT_EQ(dst, (std::vector<uint8_t>{255, 255, 255, 0, 0, 0, 255, 255, 255}));
}

TEST(ColourConvert, EveryBitCountPairAgainstTheModel)
{
    const int counts[] = {1, 4, 8, 16, 24, 32};
    for (const int from : counts) {
        for (const int to : counts) {
            const std::vector<palette_entry> src_palette = test_palette(from <= 8 ? from : 8, 11u + static_cast<uint32_t>(from));
            const std::vector<palette_entry> dst_palette = test_palette(to <= 8 ? to : 8, 97u + static_cast<uint32_t>(to));
            for (uint32_t width = 1; width <= 5; ++width) {
                const uint32_t height = 3;
                const size_t sbpp = (static_cast<size_t>(from) + 7) / 8;
                uint32_t seed = width * 7919u + static_cast<uint32_t>(from * 31 + to);
                std::vector<uint8_t> src(sbpp * width * height);
                for (uint8_t& b : src) b = static_cast<uint8_t>(lcg(seed));
                std::vector<uint8_t> expected;
                for (size_t i = 0; i < src.size(); i += sbpp) {
                    const std::vector<uint8_t> pixel =
                        from == to && from > 8 ? std::vector<uint8_t>(src.begin() + static_cast<long>(i), src.begin() + static_cast<long>(i + sbpp))
                                               : model_pixel(model_colour(&src[i], from, src_palette), to, dst_palette);
                    expected.insert(expected.end(), pixel.begin(), pixel.end());
                }
                std::vector<uint8_t> dst = {1, 2, 3};  // a buffer of the wrong size is replaced
                ASSERT_EQ(converted(width, height, from, from <= 8 ? src_palette.data() : nullptr, src, to,
                                    to <= 8 ? dst_palette.data() : nullptr, dst),
                          0);
                EXPECT_EQ(dst, expected) << from << " -> " << to << ", width " << width;
            }
        }
    }
}

TEST(ColourConvert, RefusedArguments)
{
    const std::vector<uint8_t> src(16, 1);
    const palette_entry palette[256] = {};
    std::vector<uint8_t> dst;
    EXPECT_EQ(convert_bit_count(2, 2, 24, nullptr, nullptr, 8, palette, &dst), -1);
    EXPECT_EQ(convert_bit_count(2, 2, 24, nullptr, src.data(), 8, palette, nullptr), -1);
    for (const int bad : {0, 2, 12, 15, 33}) {
        EXPECT_EQ(converted(2, 2, bad, palette, src, 24, nullptr, dst), -1) << bad;
        EXPECT_EQ(converted(2, 2, 24, nullptr, src, bad, palette, dst), -1) << bad;
    }
    EXPECT_EQ(converted(2, 2, 4, nullptr, src, 24, nullptr, dst), -1);   // 4 and 8 bits need palettes
    EXPECT_EQ(converted(2, 2, 24, nullptr, src, 8, nullptr, dst), -1);
    std::string console = console_of([&] { EXPECT_EQ(converted(0xFFFFFFFFu, 0xFFFFFFFFu, 24, nullptr, src, 1, nullptr, dst), -2); });
    EXPECT_EQ(console, "error: memory exhaust!\n");
}

// A BMP of width x height 24-bit pixels of `colour` (x, y), written by the library's writer.
std::string write_mask(const scratch_dir& dir, uint32_t width, uint32_t height, rgb (*colour)(uint32_t, uint32_t))
{
    bitmap_image image;
    image.width = width;
    image.height = height;
    image.bit_count = 24;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const rgb c = colour(x, y);
            image.pixels.insert(image.pixels.end(), {static_cast<uint8_t>(c.b), static_cast<uint8_t>(c.g), static_cast<uint8_t>(c.r)});
        }
    image.byte_size = static_cast<uint32_t>(image.pixels.size());
    const std::string path = dir / ("mask" + std::to_string(width) + "x" + std::to_string(height) + ".bmp");
    EXPECT_EQ(save_bitmap_file(path.c_str(), image, true), 0);
    return path;
}

TEST(MaskBitmap, ConvertsByNearestOfBlackAndWhite)
{
    scratch_dir dir;
    // Red, yellow, grey 127 and 128, white and black in turn along each row; rows shift by one.
    const std::string path = write_mask(dir, 256, 512, [](uint32_t x, uint32_t y) {
        const rgb colours[6] = {{255, 0, 0}, {255, 255, 0}, {127, 127, 127}, {128, 128, 128}, {255, 255, 255}, {0, 0, 0}};
        return colours[(x + y) % 6];
    });
    tile_sheet mask;
    std::string console = console_of([&] { EXPECT_EQ(read_mask_bitmap(path.c_str(), mask, 16, 16, 16, 32), 0); });
    EXPECT_EQ(console, "");
    EXPECT_EQ(mask.tile_width, 16);
    EXPECT_EQ(mask.tile_height, 16);
    EXPECT_EQ(mask.bit_count, 1);
    EXPECT_EQ(mask.bytes_per_pixel, 1);
    EXPECT_EQ(mask.palette, (std::vector<palette_entry>{{0, 0, 0, 0}, {255, 255, 255, 0}}));
    ASSERT_EQ(mask.pixels.size(), 256u * 512u);
    const uint8_t expected[6] = {0, 1, 0, 1, 1, 0};
    for (uint32_t y = 0; y < 512; y += 37)
        for (uint32_t x = 0; x < 256; ++x) ASSERT_EQ(mask.pixels[y * 256 + x], expected[(x + y) % 6]) << x << "," << y;
}

TEST(MaskBitmap, SizesAndFailures)
{
    scratch_dir dir;
    auto black = [](uint32_t, uint32_t) { return rgb{0, 0, 0}; };
    const struct {
        uint32_t width, height;
        bool accepted;
    } sizes[] = {{256, 512, true}, {256, 520, false}, {257, 512, false}, {240, 512, false}, {256, 511, false}};
    for (const auto& s : sizes) {
        const std::string path = write_mask(dir, s.width, s.height, black);
        tile_sheet mask;
        int status = 1;
        const std::string console = console_of([&] { status = read_mask_bitmap(path.c_str(), mask, 16, 16, 16, 32); });
        EXPECT_EQ(status, s.accepted ? 0 : -1) << s.width << "x" << s.height;
        EXPECT_EQ(console, s.accepted ? "" : "error: illegal mask bitmap size\n");
    }
    tile_sheet mask;
    const std::string missing = dir / "missing.bmp";
    EXPECT_EQ(console_of([&] { EXPECT_EQ(read_mask_bitmap(missing.c_str(), mask, 16, 16, 16, 32), -1); }),
              "error: open '" + missing + "'\n");
    const std::string text = dir / "text.bmp";
    write_file(text, {'n', 'o', 't', ' ', 'b', 'm', 'p'});
    EXPECT_EQ(console_of([&] { EXPECT_EQ(read_mask_bitmap(text.c_str(), mask, 16, 16, 16, 32), -1); }),
              "error: read_bitmap() - can't read bitmap header\nerror: read '" + text + "'\n");
    const std::string empty = write_mask(dir, 0, 0, black);  // no pixels to convert
    EXPECT_EQ(console_of([&] { EXPECT_EQ(read_mask_bitmap(empty.c_str(), mask, 0, 0, 16, 32), -1); }),
              "warning: check_bitmap_header() - data length is 0 ... corrected: 0x0\nerror: convert bit count '" + empty +
                  "'\n");
    const std::string good = dir / "mask256x512.bmp";
    EXPECT_EQ(console_of([&] { EXPECT_EQ(read_mask_bitmap(good.c_str(), mask, 16, 16, 0, 32), -1); }),
              "error: illegal mask bitmap size\n");
}

} // namespace
