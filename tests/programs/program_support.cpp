#include "program_support.hpp"

#include <cstdio>

const std::string holvik_program = ZK_HOLVIK;
const std::string garvik_program = ZK_GARVIK;

const std::string& sample_pc_dir()
{
    static const std::string dir = sample_data(ZK_MAKE_SAMPLE_DATA) + "/pc";
    return dir;
}

bmp_file load_bmp(const std::string& path)
{
    bmp_file file;
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (!stream) return file;
    file.status = read_bitmap(stream, file.header, &file.palette, &file.pixels, false);
    std::fclose(stream);
    return file;
}

std::vector<uint8_t> cell_bytes(const bmp_file& image, int grid, int tile_width, int tile_height, int x, int y)
{
    const size_t bpp = bytes_per_pixel_of(image.header.bit_count);
    const size_t row = bpp * tile_width * grid;
    std::vector<uint8_t> bytes;
    for (int r = 0; r < tile_height; ++r) {
        const size_t start = row * (static_cast<size_t>(y) * tile_height + r) + bpp * tile_width * x;
        bytes.insert(bytes.end(), image.pixels.begin() + start, image.pixels.begin() + start + bpp * tile_width);
    }
    return bytes;
}
