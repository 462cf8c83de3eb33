// Hi-res tile decoding and the colour renderings.
#include <array>
#include <cmath>
#include <random>
#include <set>

#include "apple2/hires_colour.hpp"
#include "apple2/hires_tiles.hpp"
#include "support/test_support.hpp"

namespace {

size_t shapes_at(int tile, int row, int side)
{
    return 8192 * static_cast<size_t>(tile / 256) + 4096 * static_cast<size_t>(side) + 256 * static_cast<size_t>(row) +
           static_cast<size_t>(tile % 256);
}

// The 14 pixels of one hi-res byte, written out from the rule.
std::vector<uint8_t> pixels_of(unsigned b)
{
    std::vector<uint8_t> pixels;
    if (b & 0x80) {
        pixels.push_back(255);
        for (int dot = 0; dot < 6; ++dot) pixels.insert(pixels.end(), 2, (b >> dot) & 1);
        pixels.push_back((b >> 6) & 1);
    } else {
        for (int dot = 0; dot < 7; ++dot) pixels.insert(pixels.end(), 2, (b >> dot) & 1);
    }
    return pixels;
}

// Row y (0-31) of picture `tile` in a 448-pixel-wide sheet, `side` 0 or 1.
std::vector<uint8_t> sheet_part(const std::vector<uint8_t>& sheet, int tile, int y, int side)
{
    const size_t start = static_cast<size_t>((tile / 16) * 32 + y) * 448 + static_cast<size_t>(tile % 16) * 28 + 14 * static_cast<size_t>(side);
    return std::vector<uint8_t>(sheet.begin() + static_cast<long>(start), sheet.begin() + static_cast<long>(start) + 14);
}

std::vector<uint8_t> decode(const std::vector<uint8_t>& shapes, shape_type type, bool no_remake = false)
{
    std::vector<uint8_t> sheet(458752, 0);
    decode_apple_shapes(sheet.data(), shapes.data(), type, no_remake);
    return sheet;
}

TEST(DecodeShapes, BytesBecomeDotsOnEvenRows)
{
    std::vector<uint8_t> shapes(16384, 0);
    shapes[shapes_at(0, 0, 0)] = 0x7F;
    shapes[shapes_at(0, 0, 1)] = 0xFF;
    shapes[shapes_at(1, 0, 0)] = 0x80;
    shapes[shapes_at(1, 0, 1)] = 0x01;
    shapes[shapes_at(17, 15, 0)] = 0x41;
    shapes[shapes_at(17, 15, 1)] = 0xC1;
    shapes[shapes_at(300, 3, 1)] = 0x02;
    shapes[shapes_at(511, 15, 1)] = 0x40;
    const std::vector<uint8_t> sheet = decode(shapes, shape_type::normal);

    const std::vector<uint8_t> lit14(14, 1);
    std::vector<uint8_t> marker_lit(14, 1), marker_unlit(14, 0);
    marker_lit[0] = marker_unlit[0] = 255;
    EXPECT_EQ(sheet_part(sheet, 0, 0, 0), lit14);          // 0x7F: 14 lit
    EXPECT_EQ(sheet_part(sheet, 0, 0, 1), marker_lit);     // 0xFF: marker and 13 lit
    EXPECT_EQ(sheet_part(sheet, 1, 0, 0), marker_unlit);   // 0x80: marker and 13 unlit
    EXPECT_EQ(sheet_part(sheet, 1, 0, 1), (std::vector<uint8_t>{1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(sheet_part(sheet, 17, 30, 0), (std::vector<uint8_t>{1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1}));
    EXPECT_EQ(sheet_part(sheet, 17, 30, 1), (std::vector<uint8_t>{255, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(sheet_part(sheet, 300, 6, 1), (std::vector<uint8_t>{0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(sheet_part(sheet, 511, 30, 1), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1}));
    // Nothing else: odd rows stay 0 and the other bytes were 0.
    size_t set = 0;
    for (size_t i = 0; i < sheet.size(); ++i) {
        if (!sheet[i]) continue;
        ++set;
        EXPECT_EQ((i / 448) % 2, 0u) << "odd row " << i / 448;
    }
    EXPECT_EQ(set, 14u + 14 + 1 + 2 + 4 + 4 + 2 + 2);
}

TEST(DecodeShapes, WaterRemakeIsBitwiseWithThePaletteBit)
{
    std::vector<uint8_t> shapes(16384, 0);
    shapes[shapes_at(3, 0, 0)] = 0xD5;    // water
    shapes[shapes_at(208, 0, 0)] = 0x8F;  // stencil of 52 (plain) and 228 (inverted)
    shapes[shapes_at(52, 0, 0)] = 0x70;
    shapes[shapes_at(228, 0, 0)] = 0x70;
    shapes[shapes_at(308, 0, 0)] = 0x70;  // tiles above 255 have no stencil
    shapes[shapes_at(3, 2, 1)] = 0x2A;
    shapes[shapes_at(112, 2, 1)] = 0x0F;  // stencil of 96
    shapes[shapes_at(96, 2, 1)] = 0xF0;
    const std::vector<uint8_t> remade = decode(shapes, shape_type::normal);
    EXPECT_EQ(sheet_part(remade, 52, 0, 0), pixels_of(0xF5));   // (w & s) | (b & ~s)
    EXPECT_EQ(sheet_part(remade, 228, 0, 0), pixels_of(0x50));  // (w & ~s) | (b & s)
    EXPECT_EQ(sheet_part(remade, 96, 4, 1), pixels_of(0xFA));
    EXPECT_EQ(sheet_part(remade, 308, 0, 0), pixels_of(0x70));
    EXPECT_EQ(sheet_part(remade, 208, 0, 0), pixels_of(0x8F));
    // Rows where the water and stencil are 0 clear nothing of a plain stencil's tile.
    shapes[shapes_at(52, 1, 1)] = 0x33;
    EXPECT_EQ(sheet_part(decode(shapes, shape_type::normal), 52, 2, 1), pixels_of(0x33));

    const std::vector<uint8_t> kept = decode(shapes, shape_type::normal, true);
    EXPECT_EQ(sheet_part(kept, 52, 0, 0), pixels_of(0x70));
    EXPECT_EQ(sheet_part(kept, 228, 0, 0), pixels_of(0x70));
    EXPECT_EQ(sheet_part(kept, 96, 4, 1), pixels_of(0xF0));
}

TEST(DecodeShapes, DungeonAndMirrorRoomColourings)
{
    std::set<int> flagged = {5, 76, 77};
    for (int t = 30; t <= 38; ++t) flagged.insert(t);
    for (int t = 48; t <= 55; ++t) flagged.insert(t);
    std::vector<uint8_t> shapes(16384, 0);
    for (int tile = 0; tile < 512; ++tile) {
        shapes[shapes_at(tile, 0, 0)] = 0x01;
        shapes[shapes_at(tile, 0, 1)] = 0x81;
    }
    // Tile 220 moves one dot right in the mirror room: dot 6 of the left byte carries over.
    const unsigned shifted_in[3][2] = {{0x01, 0x81}, {0x41, 0x40}, {0x00, 0x7F}};
    const unsigned shifted_out[3][2] = {{0x83, 0x82}, {0x83, 0x81}, {0x81, 0xFE}};
    for (int r = 0; r < 3; ++r)
        for (int side = 0; side < 2; ++side) shapes[shapes_at(220, r, side)] = static_cast<uint8_t>(shifted_in[r][side]);

    const std::vector<uint8_t> normal = decode(shapes, shape_type::normal);
    const std::vector<uint8_t> dungeon = decode(shapes, shape_type::dungeon);
    const std::vector<uint8_t> mirror = decode(shapes, shape_type::mirror_room);
    for (int tile = 0; tile < 512; ++tile) {
        if (tile == 220) continue;
        const bool flag = flagged.count(tile) > 0;
        EXPECT_EQ(sheet_part(normal, tile, 0, 0), pixels_of(0x01)) << tile;
        EXPECT_EQ(sheet_part(dungeon, tile, 0, 0), pixels_of(flag ? 0x81 : 0x01)) << tile;
        EXPECT_EQ(sheet_part(dungeon, tile, 0, 1), pixels_of(0x81)) << tile;
        const bool room = tile < 320;
        EXPECT_EQ(sheet_part(mirror, tile, 0, 0), pixels_of(room && !flag ? 0x81 : 0x01)) << tile;
        EXPECT_EQ(sheet_part(mirror, tile, 0, 1), pixels_of(room ? 0x01 : 0x81)) << tile;
    }
    for (int r = 0; r < 3; ++r) {
        for (int side = 0; side < 2; ++side) {
            EXPECT_EQ(sheet_part(mirror, 220, 2 * r, side), pixels_of(shifted_out[r][side])) << r << side;
            EXPECT_EQ(sheet_part(dungeon, 220, 2 * r, side), pixels_of(shifted_in[r][side])) << r << side;
        }
    }
}

// A dot image of `height` rows, each the given text: '#' 1, '.' 0, 'M' the marker 255.
bitmap_image dot_image(const std::string& text, size_t height = 2)
{
    bitmap_image image;
    image.width = static_cast<uint32_t>(text.size());
    image.height = static_cast<uint32_t>(height);
    image.bit_count = 4;
    for (size_t y = 0; y < height; ++y)
        for (char c : text) image.pixels.push_back(c == '#' ? 1 : c == 'M' ? 255 : 0);
    image.byte_size = static_cast<uint32_t>(image.pixels.size());
    return image;
}

TEST(ColourHires, WorkedCases)
{
    struct colour_case {
        const char* dots;
        bool join_ends, blur;
        std::vector<int> colours;
    };
    const colour_case cases[] = {
        // Lone dots at the four half-dot positions.
        {"....##......", false, false, {0, 0, 0, 0, 12, 12, 0, 0, 0, 0, 0, 0}},
        {"......##....", false, false, {0, 0, 0, 0, 0, 0, 3, 3, 0, 0, 0, 0}},
        {".....##.....", false, false, {0, 0, 0, 0, 0, 9, 9, 0, 0, 0, 0, 0}},
        {".......##...", false, false, {0, 0, 0, 0, 0, 0, 0, 6, 6, 0, 0, 0}},
        // A lone pixel keeps its bit; runs take their neighbours' and, inside, two further.
        {"...#....#...", false, false, {0, 0, 0, 2, 0, 0, 0, 0, 4, 0, 0, 0}},
        {".##.........", false, false, {0, 9, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {".###........", false, false, {0, 9, 11, 3, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"#####.......", false, false, {12, 15, 15, 15, 6, 0, 0, 0, 0, 0, 0, 0}},
        // Blur colours unlit neighbours, not pixels two columns away.
        {".....#......", false, true, {0, 0, 0, 0, 8, 8, 8, 0, 0, 0, 0, 0}},
        {"....##......", false, true, {0, 0, 0, 12, 12, 12, 12, 0, 0, 0, 0, 0}},
        // Markers: at column 0 from the row's end only with join-ends.
        {"M#.........#", false, false, {0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}},
        {"M#.........#", true, false, {14, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 6}},
        {"............##M.............", false, false,
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 12, 13, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {".......M......", false, false, {0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0}},  // only multiples of 14
        // Odd width with join-ends: the bit goes by the column offset, -1 is P[3].
        {"#.....#", true, false, {6, 0, 0, 0, 0, 0, 3}},
        {"#.....#", false, false, {4, 0, 0, 0, 0, 0, 1}},
    };
    for (const colour_case& c : cases) {
        bitmap_image image = dot_image(c.dots);
        const palette_entry palette[16] = {};
        image.palette = palette;
        colour_hires_image(image, c.join_ends, c.blur);
        // Images at least 4 pixels wide come out packed, two indices a byte.
        EXPECT_EQ(image.stored_form, image.width >= 4) << c.dots;
        const std::vector<uint8_t> expected(c.colours.begin(), c.colours.end());
        for (uint32_t y = 0; y < 2; ++y) {
            std::vector<uint8_t> row(image.width);
            for (uint32_t x = 0; x < image.width; ++x)
                row[x] = image.stored_form ? (image.pixels[(image.width + 7) / 8 * 4 * y + x / 2] >> (x % 2 ? 0 : 4)) & 15
                                           : image.pixels[image.width * y + x];
            EXPECT_EQ(row, expected) << c.dots << " row " << y << " join " << c.join_ends << " blur " << c.blur;
        }
        EXPECT_EQ(image.bit_count, 4u);
        EXPECT_EQ(image.palette, palette);
    }
    // An odd last row is left alone; empty images are nothing to do.
    bitmap_image odd = dot_image("M##.", 3);
    colour_hires_image(odd, false, false);
    EXPECT_EQ(std::vector<uint8_t>(odd.pixels.begin() + 8, odd.pixels.end()), (std::vector<uint8_t>{255, 1, 1, 0}));
    bitmap_image empty = dot_image("", 2);
    colour_hires_image(empty, true, true);
    EXPECT_TRUE(empty.pixels.empty());
}

TEST(AverageHue, Cases)
{
    EXPECT_TRUE(is_no_hue(average_hue(0, 0)));
    EXPECT_TRUE(is_no_hue(average_hue(15, 10)));
    EXPECT_EQ(average_hue(0, 3), 0);
    EXPECT_EQ(average_hue(5, 7), 315);
    EXPECT_EQ(average_hue(1, 1), 45);
    EXPECT_EQ(average_hue(1, 2), 0);       // 45 and 315: 180 + 180 wraps to 0
    EXPECT_EQ(average_hue(2, 1), 0);
    EXPECT_EQ(average_hue(3, 12), 90);     // a difference of exactly 180 is not turned
    EXPECT_EQ(average_hue(12, 3), 90);
    EXPECT_EQ(average_hue(4, 8), 180);
    EXPECT_EQ(average_hue(6, 1), 337.5);   // 270 and 45
    EXPECT_EQ(average_hue(2, 4), 270);
}

// The television rendering computed step by step as described, for comparison.
std::vector<uint8_t> reference_retouch(std::vector<uint8_t> dots, size_t w, size_t h, bool join, int start_phase)
{
    const double none = -99.9;
    const double luma[16] = {0, .25, .25, .5, .25, .5, .5, .75, .25, .5, .5, .75, .5, .75, .75, 1};
    const double hues[16] = {none, 45, 315, 0, 225, none, 270, 315, 135, 90, none, 45, 180, 135, 225, none};
    const int m[4] = {1, 2, 4, 8};
    auto average = [&](int a, int b) {
        const double ha = hues[a], hb = hues[b];
        if (ha < -1) return hb;
        if (hb < -1) return ha;
        double v = (ha + hb) / 2;
        if (ha - hb < -180 || ha - hb > 180) v = v + 180;
        while (v >= 360) v = v - 360;
        return v;
    };
    if (join && w < 10) join = false;
    const long q = join ? 0 : 10, width = static_cast<long>(w);
    std::vector<uint8_t> out(w * h * 3, 0);
    for (size_t y = 0; y < h; y += 2) {
        uint8_t* row = dots.data() + y * w;
        for (size_t x = 0; x < w; x += 14)
            if (row[x] == 255) row[x] = x > 0 ? row[x - 1] : join ? row[w - 1] : 0;
        auto lit = [&](long j) {
            if (j >= 0 && j < width) return row[j] != 0;
            return join && row[((j % width) + width) % width] != 0;
        };
        std::vector<double> Y(w + 2 * q, 0.0), H(w + 2 * q, 0.0), S(w + 2 * q, 0.0);
        for (long x = 0; x < width; ++x) {
            const int phase = (((start_phase + static_cast<int>(x)) % 4) + 4) % 4;
            int a = 0, b = 0;
            for (int k = -2; k <= 1; ++k)
                if (lit(x + k)) a |= m[(phase + k + 2) % 4];
            for (int k = -1; k <= 2; ++k)
                if (lit(x + k)) b |= m[(phase + k + 2) % 4];
            Y[q + x] = (luma[a] + luma[b]) / 2;
            H[q + x] = average(a, b);
        }
        auto at = [&](long i) -> double& { return join ? H[((i % width) + width) % width] : H[q + i]; };
        for (long x = 0; x < width; ++x) {
            if (H[q + x] < -1) {
                H[q + x] = 0;
                S[q + x] = 0;
                continue;
            }
            int n = 0;
            for (long k = 1; k <= 6 && at(x - k) == H[q + x]; ++k) ++n;
            for (long k = 1; k <= 6 && at(x + k) == H[q + x]; ++k) ++n;
            S[q + x] = (n + 6) / 18.0;
        }
        for (long x = 0; x < width; ++x) {
            if (Y[q + x] == 0) continue;
            if (!row[x]) Y[q + x] = Y[q + x] * S[q + x];
            S[q + x] = S[q + x] * 0.7;
            H[q + x] = H[q + x] + 10;
            if (H[q + x] > 360) H[q + x] = H[q + x] - 360;
            const double i = 0.595716 * S[q + x] * std::sin(H[q + x] * 3.141592653589793 / 180);
            const double qq = 0.522591 * S[q + x] * std::cos(H[q + x] * 3.141592653589793 / 180);
            const double rgb[3] = {(Y[q + x] + 0.9563 * i + 0.621 * qq) * 255, (Y[q + x] - 0.2721 * i - 0.6474 * qq) * 255,
                                   (Y[q + x] - 1.107 * i + 1.7046 * qq) * 255};
            for (int c = 0; c < 3; ++c) {
                const int v = static_cast<int>(rgb[c]);
                out[(y * w + static_cast<size_t>(x)) * 3 + 2 - static_cast<size_t>(c)] =
                    static_cast<uint8_t>(std::clamp(v, 0, 255));
            }
        }
        if (y + 1 < h) std::copy_n(out.begin() + static_cast<long>(y * w * 3), w * 3, out.begin() + static_cast<long>((y + 1) * w * 3));
    }
    return out;
}

std::vector<uint8_t> random_dots(std::mt19937& random, size_t w, size_t h)
{
    std::vector<uint8_t> dots(w * h);
    for (size_t i = 0; i < dots.size(); ++i) {
        const unsigned r = random() % 16;
        dots[i] = r < 7 ? 0 : r < 14 ? 1 : r == 14 ? 3 : 255;  // stray markers count as lit
        if ((i % w) % 14 == 0 && random() % 3 == 0) dots[i] = 255;
    }
    return dots;
}

TEST(RetouchBitmap, MatchesTheStepByStepComputation)
{
    std::mt19937 random(77);
    for (size_t w : {1u, 2u, 3u, 5u, 9u, 10u, 11u, 13u, 14u, 15u, 28u, 29u, 31u, 45u}) {
        for (size_t h : {1u, 2u, 3u, 4u}) {
            for (bool join : {false, true}) {
                for (int phase : {0, 1, 2, 3, 6, -3}) {
                    const std::vector<uint8_t> dots = random_dots(random, w, h);
                    bitmap_image image;
                    image.width = static_cast<uint32_t>(w);
                    image.height = static_cast<uint32_t>(h);
                    image.bit_count = 4;
                    image.pixels = dots;
                    const palette_entry palette[16] = {};
                    image.palette = palette;
                    int status = -1;
                    const std::string console = console_of([&] { status = retouch_bitmap(image, join, phase); });
                    ASSERT_EQ(status, 0);
                    EXPECT_EQ(console, join && w < 10 ? "WARNING: too narrow width ... set join_ends to 0\n" : "");
                    ASSERT_EQ(image.pixels, reference_retouch(dots, w, h, join, phase))
                        << w << " x " << h << " join " << join << " phase " << phase;
                    EXPECT_EQ(image.bit_count, 24u);
                    EXPECT_EQ(image.palette, nullptr);
                    EXPECT_EQ(image.byte_size, w * h * 3);
                }
            }
        }
    }
}

TEST(RetouchBitmap, GreyBlackAndWhite)
{
    // All lit: inside the row both patterns are 15 (no hue), so white.
    bitmap_image lit = dot_image(std::string(20, '#'));
    ASSERT_EQ(retouch_bitmap(lit, false, 0), 0);
    for (size_t x = 2; x < 18; ++x)
        for (size_t c = 0; c < 3; ++c) EXPECT_EQ(lit.pixels[3 * x + c], 255) << x;
    // Every other pixel: patterns 5 (no hue) at luma 0.5: grey where lit, black where not.
    bitmap_image alternate = dot_image("#.#.#.#.#.#.#.#.#.#.");
    ASSERT_EQ(retouch_bitmap(alternate, false, 0), 0);
    for (size_t x = 2; x < 18; ++x)
        for (size_t c = 0; c < 3; ++c) EXPECT_EQ(alternate.pixels[3 * x + c], x % 2 ? 0 : 127) << x;
    bitmap_image dark = dot_image(std::string(30, '.'), 4);
    ASSERT_EQ(retouch_bitmap(dark, true, 0), 0);
    EXPECT_EQ(dark.pixels, std::vector<uint8_t>(30 * 4 * 3, 0));
}

TEST(RetouchBitmap, ConvertsAgainIntoTheEnlargedBuffer)
{
    // After a conversion the next level is drawn as dots into the first bytes of the 24-bit
    // buffer and converted again: the result is that of a fresh image.
    std::mt19937 random(5);
    const std::vector<uint8_t> first = random_dots(random, 56, 6), second = random_dots(random, 56, 6);
    bitmap_image image = dot_image(std::string(56, '.'), 6);
    image.pixels = first;
    ASSERT_EQ(retouch_bitmap(image, true, 0), 0);
    std::copy(second.begin(), second.end(), image.pixels.begin());
    ASSERT_EQ(retouch_bitmap(image, true, 0), 0);
    EXPECT_EQ(image.pixels, reference_retouch(second, 56, 6, true, 0));
}

} // namespace
