// Tile attributes, shape bitmaps, map images and tile drawing.
#include <cstdio>
#include <set>

#include "bitmap/tile_sheet.hpp"
#include "support/test_support.hpp"

namespace {

TEST(TileAttributes, RecolourFlagsAndWaterStencils)
{
    std::set<int> recoloured = {5, 76};
    for (int t = 30; t <= 38; ++t) recoloured.insert(t);
    for (int t = 48; t <= 55; ++t) recoloured.insert(t);
    for (int tile = 0; tile < 256; ++tile) {
        const int row = tile / 16, column = tile % 16;
        EXPECT_EQ(is_recoloured_tile(standard_tile_attributes, row, column), recoloured.count(tile) ? 1 : 0) << tile;
        EXPECT_EQ(is_recoloured_tile(apple2_settlement_tile_attributes, row, column),
                  recoloured.count(tile) || tile == 77 ? 1 : 0)
            << tile;
        int stencil = 0;
        if (tile >= 52 && tile <= 55) stencil = tile + 156;
        if (tile >= 96 && tile <= 111) stencil = tile + 16;
        if (tile >= 228 && tile <= 231) stencil = -(tile - 20);
        EXPECT_EQ(water_stencil_of(standard_tile_attributes, row, column), stencil) << tile;
        EXPECT_EQ(water_stencil_of(apple2_settlement_tile_attributes, row, column), stencil) << tile;
    }
    EXPECT_EQ(water_stencil_of(standard_tile_attributes, 229 / 16, 229 % 16), -209);
    // Rows above 15 (tiles 256 and up) have no attributes.
    EXPECT_EQ(water_stencil_of(standard_tile_attributes, 300 / 16, 300 % 16), 0);
    EXPECT_EQ(is_recoloured_tile(standard_tile_attributes, 16 + 5 / 16, 5), 0);
}

std::string write_shape_bitmap(const scratch_dir& dir, uint32_t width, uint32_t height, uint32_t bit_count)
{
    bitmap_image image;
    image.width = width;
    image.height = height;
    image.bit_count = bit_count;
    image.pixels.assign(bytes_per_pixel_of(bit_count) * width * height, 0);
    for (size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = static_cast<uint8_t>(i % 251);
    std::vector<palette_entry> palette(palette_entries_of(bit_count), palette_entry{1, 2, 3, 4});
    image.palette = palette.empty() ? nullptr : palette.data();
    const std::string path = dir / ("shape" + std::to_string(width) + "x" + std::to_string(height) + ".bmp");
    EXPECT_EQ(save_bitmap_file(path.c_str(), image, true), 0);
    return path;
}

TEST(ShapeBitmap, SizesGiveTilesOrAreRefused)
{
    scratch_dir dir;
    struct size_case {
        uint32_t width, height;
        int status;
        int32_t tile_width, tile_height;
        const char* console;
    };
    const size_case cases[] = {
        {256, 512, 0, 16, 16, ""},
        {257, 512, -1, 16, 16, "error: illegal shape bitmap size\n"},
        {256, 520, 0, 16, 16, ""},
        {15, 512, -1, 0, 16, "error: shape bitmap is too small\n"},
        {256, 31, -1, 16, 0, "error: shape bitmap is too small\n"},
    };
    for (const size_case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        const std::string path = write_shape_bitmap(dir, c.width, c.height, 8);
        tile_sheet sheet;
        int status = 0;
        EXPECT_EQ(console_of([&] { status = read_shape_bitmap(path.c_str(), sheet, 16, 32); }), c.console);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(sheet.tile_width, c.tile_width);
        EXPECT_EQ(sheet.tile_height, c.tile_height);
        EXPECT_EQ(sheet.pixels.size(), c.width * c.height);
        EXPECT_EQ(sheet.palette.size(), 256u);
    }
    tile_sheet sheet;
    const std::string path = write_shape_bitmap(dir, 32, 64, 24);
    ASSERT_EQ(read_shape_bitmap(path.c_str(), sheet, 16, 32), 0);
    EXPECT_EQ(sheet.bit_count, 24);
    EXPECT_EQ(sheet.bytes_per_pixel, 3);
    EXPECT_TRUE(sheet.palette.empty());

    const std::string missing = dir / "missing.bmp";
    EXPECT_EQ(console_of([&] { read_shape_bitmap(missing.c_str(), sheet, 16, 32); }),
              "error: open '" + missing + "'\n");
    write_file(missing, {'B', 'M', 0});
    EXPECT_EQ(console_of([&] { read_shape_bitmap(missing.c_str(), sheet, 16, 32); }),
              "error: read_bitmap() - can't read bitmap header\nerror: read '" + missing + "'\n");
}

// A sheet of 2 x 1-pixel tiles, 24-bit, whose pixels spell out picture, column and channel.
tile_sheet numbered_sheet()
{
    tile_sheet sheet;
    sheet.tile_width = 2;
    sheet.tile_height = 1;
    sheet.bit_count = 24;
    sheet.bytes_per_pixel = 3;
    sheet.pixels.resize(3 * 2 * 16 * 32);
    for (int picture = 0; picture < 512; ++picture)
        for (int px = 0; px < 2; ++px)
            for (int b = 0; b < 3; ++b)
                sheet.pixels[3 * (picture / 16 * 32 + picture % 16 * 2 + px) + b] =
                    static_cast<uint8_t>(picture * 8 + px * 4 + b);
    return sheet;
}

TEST(PictureRows, PlainAndMaskedCells)
{
    const tile_sheet sheet = numbered_sheet();
    picture_rows pictures;
    ASSERT_EQ(make_picture_rows(pictures, sheet, nullptr, true), 0);
    EXPECT_TRUE(pictures.packed);
    EXPECT_EQ(pictures.row_bytes, 6u);
    std::vector<uint8_t> row(3 * 2 * 3, 0);  // a row of 3 cells
    const uint16_t cells[3] = {17, 0, 511};
    draw_cell_row(row.data(), pictures, cells, 3, 0);
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(row[6 * c + i], static_cast<uint8_t>(cells[c] * 8 + i / 3 * 4 + i % 3)) << c << " " << i;

    // Without a mask an overlay covers its cell; through one, the map keeps its pixel where
    // the mask is set.
    draw_overlay_row(row.data(), pictures, 300, 1, 0);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(row[6 + i], static_cast<uint8_t>(300 * 8 + i / 3 * 4 + i % 3));
    tile_sheet mask;
    mask.pixels.assign(2 * 16 * 32, 0);
    mask.pixels[300 / 16 * 32 + 300 % 16 * 2 + 1] = 1;
    ASSERT_EQ(make_picture_rows(pictures, sheet, &mask, true), 0);
    draw_cell_row(row.data(), pictures, cells, 3, 0);
    draw_overlay_row(row.data(), pictures, 300, 0, 0);
    for (int b = 0; b < 3; ++b) {
        EXPECT_EQ(row[b], static_cast<uint8_t>(300 * 8 + b));
        EXPECT_EQ(row[3 + b], static_cast<uint8_t>(17 * 8 + 4 + b));
    }
}

// A cell row of 1- and 4-bit pictures of every small tile width, drawn and written as a BMP
// row, must equal the row packed bit by bit here: packed pictures where the width allows,
// in-memory pictures packed when written otherwise, with and without a mask.
TEST(PictureRows, PackedFormsOfEveryWidth)
{
    for (int bit_count : {1, 4, 8}) {
        for (int width = 1; width <= 17; ++width) {
            SCOPED_TRACE(testing::Message() << bit_count << " bits, width " << width);
            tile_sheet sheet;
            sheet.tile_width = width;
            sheet.tile_height = 2;
            sheet.bit_count = bit_count;
            sheet.bytes_per_pixel = 1;
            sheet.pixels.resize(static_cast<size_t>(width) * 16 * 2 * 32);
            const int values = bit_count == 1 ? 2 : bit_count == 4 ? 16 : 256;
            for (size_t i = 0; i < sheet.pixels.size(); ++i) sheet.pixels[i] = static_cast<uint8_t>((i * 7 + i / 5) % values);
            tile_sheet mask;
            mask.pixels.resize(sheet.pixels.size());
            for (size_t i = 0; i < mask.pixels.size(); ++i) mask.pixels[i] = (i * 3 + i / 7) % 4 == 0;
            const uint16_t cells[4] = {1, 300, 17, 511};
            for (bool masked : {false, true}) {
                picture_rows pictures;
                ASSERT_EQ(make_picture_rows(pictures, sheet, masked ? &mask : nullptr, true), 0);
                EXPECT_EQ(pictures.packed, bit_count == 8 || (bit_count == 4 && width % 2 == 0) ||
                                               (bit_count == 1 && width % 8 == 0));
                // Expected pixels, one per byte: cells then picture 33 over cell 2.
                std::vector<uint8_t> expected;
                for (int c = 0; c < 4; ++c)
                    for (int x = 0; x < width; ++x) {
                        const size_t at = static_cast<size_t>(cells[c] / 16 * 2 + 1) * 16 * width + cells[c] % 16 * width + x;
                        const size_t over = static_cast<size_t>(33 / 16 * 2 + 1) * 16 * width + 33 % 16 * width + x;
                        expected.push_back(c == 2 && !(masked && mask.pixels[over]) ? sheet.pixels[over] : sheet.pixels[at]);
                    }
                std::vector<uint8_t> drawn(pictures.row_bytes * 4);
                draw_cell_row(drawn.data(), pictures, cells, 4, 1);
                draw_overlay_row(drawn.data(), pictures, 33, 2, 1);
                std::vector<uint8_t> bits((expected.size() * bit_count + 7) / 8, 0);
                for (size_t x = 0; x < expected.size(); ++x)
                    for (int b = 0; b < bit_count; ++b)
                        if (expected[x] >> (bit_count - 1 - b) & 1)
                            bits[(x * bit_count + b) / 8] |= static_cast<uint8_t>(0x80 >> ((x * bit_count + b) % 8));
                if (!pictures.packed) {
                    std::vector<uint8_t> packed(bits.size());
                    pack_pixels(packed.data(), drawn.data(), expected.size(), bit_count);
                    drawn = packed;
                }
                EXPECT_EQ(drawn, bits) << (masked ? "masked" : "plain");
            }
        }
    }
}

TEST(MapImage, SizesBeyondTheFileFieldsAreRefused)
{
    tile_sheet sheet = numbered_sheet();
    picture_rows pictures;
    ASSERT_EQ(make_picture_rows(pictures, sheet, nullptr, true), 0);
    bitmap_image image;
    ASSERT_EQ(make_map_image(image, sheet, pictures, 256), 0);
    EXPECT_EQ(image.width, 512u);
    EXPECT_EQ(image.height, 256u);
    EXPECT_EQ(image.byte_size, 512u * 256 * 3);
    EXPECT_EQ(image.pixels.size(), 512u * 256 * 3);
    EXPECT_EQ(image.palette, nullptr);

    sheet.tile_width = sheet.tile_height = 4096;  // 1 M x 1 M pixels
    EXPECT_EQ(console_of([&] { EXPECT_EQ(describe_map_image(image, sheet, 256), -1); }), "error: memory exhausted!\n");
    sheet.tile_width = sheet.tile_height = 128;   // 32768 x 32768 x 4 bytes + header
    sheet.bit_count = 32;
    sheet.bytes_per_pixel = 4;
    EXPECT_EQ(console_of([&] { EXPECT_EQ(describe_map_image(image, sheet, 256), -1); }), "error: memory exhausted!\n");
}

} // namespace
