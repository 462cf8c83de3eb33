// The built programs and the sample data set, for end-to-end tests.
#pragma once

#include <string>

#include "bitmap/bitmap.hpp"
#include "support/test_support.hpp"

// Paths of the built programs (set by the build).
extern const std::string holvik_program;
extern const std::string garvik_program;

// The sample PC data directory, generated once for the test program.
const std::string& sample_pc_dir();

// A BMP file as read back by the library.
struct bmp_file {
    int status = -1;
    bitmap_header header;
    std::vector<palette_entry> palette;
    std::vector<uint8_t> pixels;
};
bmp_file load_bmp(const std::string& path);

// Bytes of tile cell (x, y) of an image `grid` tiles across, tile_width x tile_height pixels,
// row by row.
std::vector<uint8_t> cell_bytes(const bmp_file& image, int grid, int tile_width, int tile_height, int x, int y);
