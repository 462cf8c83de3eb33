// The PNG writer's indexed rows at the widths 1 to 11 (every partial last byte), from pixels
// in memory and in the BMP rows' stored form: the scanlines inflated by zlib against rows
// packed here. The programs' files are checked in Pillow and ImageMagick (interop tests).
#include <zlib.h>

#include <cstring>

#include "bitmap/png.hpp"
#include "support/test_support.hpp"

namespace {

uint32_t get_u32_be(const uint8_t* p) { return static_cast<uint32_t>(p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3]); }

TEST(Png, IndexedRowsOfEveryWidth)
{
    scratch_dir dir;
    output_file out;
    png_writer png;  // one writer for every file, as the mappers keep it
    for (uint32_t bits : {1u, 4u, 8u}) {
        for (uint32_t width = 1; width <= 11; ++width) {
            bitmap_image image{width, 3, bits, 0, {}, nullptr, false};
            std::vector<uint8_t> lines, stored;  // the scanlines a decoder must find; the BMP rows
            const size_t row = (width * bits + 7) / 8, stride = (row + 3) / 4 * 4;
            for (uint32_t y = 0; y < 3; ++y) {
                std::vector<uint8_t> packed(stride, 0);
                for (uint32_t x = 0; x < width; ++x) {
                    const unsigned value = (x * 7 + y * 3 + 1) % (1u << bits);
                    image.pixels.push_back(static_cast<uint8_t>(value));
                    packed[x * bits / 8] |= static_cast<uint8_t>(value << (8 - bits - x * bits % 8));
                }
                lines.push_back(0);
                lines.insert(lines.end(), packed.begin(), packed.begin() + static_cast<long>(row));
                stored.insert(stored.end(), packed.begin(), packed.end());
            }
            for (bool stored_form : {false, true}) {
                SCOPED_TRACE(testing::Message() << bits << " bits, width " << width << (stored_form ? ", stored" : ""));
                if (stored_form) image.pixels = stored;
                image.stored_form = stored_form;
                const std::string path = dir / "t.png";
                ASSERT_EQ(save_png_file(out, png, path.c_str(), image, true), 0);
                const std::vector<uint8_t> file = read_file(path);
                std::vector<uint8_t> idat;
                for (size_t at = 8; at + 12 <= file.size(); at += 12 + get_u32_be(&file[at]))
                    if (std::memcmp(&file[at + 4], "IDAT", 4) == 0)
                        idat.insert(idat.end(), &file[at + 8], &file[at + 8 + get_u32_be(&file[at])]);
                std::vector<uint8_t> inflated(lines.size() + 1);
                uLongf size = inflated.size();
                ASSERT_EQ(uncompress(inflated.data(), &size, idat.data(), idat.size()), Z_OK);
                inflated.resize(size);
                EXPECT_EQ(inflated, lines);
            }
        }
    }
}

} // namespace
