// libFuzzer harness for the PNG writer's input path: a fuzzed image description (size, bit
// count, form, palette, rows) goes through the checks save_png_file makes, then whole
// (write_png_to) or row by row (start_png, add_png_row, finish_png) into /dev/null.
// Input: u16 width, u8 height, u8 bit count, u8 flags (1: stored form, 2: row by row),
// 1024 bytes of palette, then the pixels.
// Fuzz seeds:
#include <cstdio>
#include <cstring>
#include <vector>

#include "bitmap/bitmap.hpp"
#include "bitmap/png.hpp"
#include "fuzz/fuzz_support.hpp"

namespace {
output_file out;
png_writer png;  // kept from run to run, as by a program that writes many maps
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::vector<uint8_t> seed = {16, 0, 8, 8, 2};  // a 16 x 8 image of 8 bits, row by row
    seed.resize(5 + 1024 + 16 * 8, 0x5a);
    write_seed_when_asked(seed);
    if (!std::freopen("/dev/null", "w", stdout)) return 0;  // the writer's lines
    std::FILE* sink = std::fopen("/dev/null", "wb");
    return sink ? attach_output_stream(out, sink) : 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr size_t head = 5, palette_bytes = max_palette_entries * sizeof(palette_entry);
    if (size < head + palette_bytes) return 0;
    std::vector<palette_entry> palette(max_palette_entries);
    std::memcpy(palette.data(), data + head, palette_bytes);
    bitmap_image image;
    image.width = data[0] | data[1] << 8;
    image.height = data[2];
    image.bit_count = data[3];
    image.stored_form = data[4] & 1;
    image.palette = palette.data();
    image.pixels.assign(data + head + palette_bytes, data + size);
    if (check_image_pixels(image) < 0) return 0;
    out.failed = false;
    int status = 0;
    if (!(data[4] & 2)) {
        status = write_png_to(out, png, image);
    } else if ((status = start_png(out, png, image.width, image.height, image.bit_count, image.palette)) == 0) {
        const size_t stride = image.stored_form ? bitmap_row_stride(image.width, static_cast<int>(image.bit_count))
                                                : size_t{image.width} * bytes_per_pixel_of(image.bit_count);
        for (uint32_t y = 0; y < image.height && status == 0; ++y)
            status = add_png_row(out, png, image.pixels.data() + stride * y, image.stored_form);
        if (status == 0) status = finish_png(out, png);
    }
    const bool writable = image.width > 0 && image.height > 0 && (image.bit_count == 1 || image.bit_count == 4 || image.bit_count == 8 ||
                          image.bit_count == 16 || image.bit_count == 24 || image.bit_count == 32);
    if (writable && status != 0) __builtin_trap();  // checked images of pixels are written
    return 0;
}
