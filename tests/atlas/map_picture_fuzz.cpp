// libFuzzer harness for the atlas's map reading: any bytes as a map file, read as PNG when
// they begin with the PNG signature, else as BMP, through read_map_picture as zkatlas calls
// it. The file is an in-memory one, rewritten for each run. A picture read must hold all its
// pixels.
// Fuzz seeds: bmp/*.bmp png/*.png
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "atlas/atlas.hpp"

namespace {
int map_file = -1;
std::string map_path;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!std::freopen("/dev/null", "w", stdout)) return 0;  // the readers' lines
    map_file = memfd_create("map", 0);
    map_path = "/proc/self/fd/" + std::to_string(map_file);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (map_file < 0 || ftruncate(map_file, 0) != 0 ||
        pwrite(map_file, data, size, 0) != static_cast<ssize_t>(size))
        __builtin_trap();
    const bool png = size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0;
    map_picture picture;
    if (read_map_picture(map_path, png, picture) != 0) return 0;
    const bitmap_image& image = picture.image;
    if (image.width == 0 || image.height == 0 ||
        image.pixels.size() < size_t{image.width} * image.height * bytes_per_pixel_of(image.bit_count) ||
        (image.bit_count <= 8 && (!image.palette || picture.palette.size() != max_palette_entries)))
        __builtin_trap();
    return 0;
}
