// Reading a map file: BMP through the bitmap library's reader, PNG through libpng. Indexed
// pictures keep their indexes (one a byte, as the bitmap library holds them) and palette;
// others keep their pixel bytes (BMP) or become blue, green, red (PNG).
#include <png.h>

#include <cstdio>
#include <memory>
#include <new>

#include "atlas.hpp"

namespace {

// The largest map read: 32768 pixels on a side and 2^30 bytes of pixels, far above the
// 8192 x 8192 of the largest world map.
constexpr uint32_t max_map_side = 32768;
constexpr uint64_t max_map_bytes = uint64_t{1} << 30;

bool size_allowed(uint64_t width, uint64_t height, uint64_t bytes_per_pixel)
{
    return width > 0 && height > 0 && width <= max_map_side && height <= max_map_side &&
           width * height * bytes_per_pixel <= max_map_bytes;
}

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

int read_bmp_picture(const std::string& path, map_picture& picture)
{
    std::unique_ptr<std::FILE, file_closer> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        std::printf("error: open '%s'\n", path.c_str());
        return -1;
    }
    bitmap_header header;
    if (read_bitmap_header(file.get(), header) < 0) {
        std::printf("error: read_bitmap() - can't read bitmap header\n");
        return -1;
    }
    if (header.height < 0 || !size_allowed(static_cast<uint32_t>(header.width), static_cast<uint32_t>(header.height),
                                           bytes_per_pixel_of(header.bit_count))) {
        std::printf("error: map size %dx%d is not supported\n", header.width, header.height);
        return -1;
    }
    const bool indexed = palette_entries_of(header.bit_count) > 0;
    if (read_bitmap(file.get(), header, indexed ? &picture.palette : nullptr, &picture.image.pixels, true) < 0) return -1;
    picture.image.width = static_cast<uint32_t>(header.width);
    picture.image.height = static_cast<uint32_t>(header.height);
    picture.image.bit_count = header.bit_count;  // indexed: one index per byte in memory
    picture.palette.resize(indexed ? max_palette_entries : 0);
    return 0;
}

struct png_image_freer {
    void operator()(png_image* image) const { png_image_free(image); }
};

int read_png_picture(const std::string& path, map_picture& picture)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    std::unique_ptr<png_image, png_image_freer> owner(&image);
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        std::printf("error: read png '%s': %s\n", path.c_str(), image.message);
        return -1;
    }
    const bool indexed = (image.format & PNG_FORMAT_FLAG_COLORMAP) != 0;
    image.format = indexed ? PNG_FORMAT_BGR_COLORMAP : PNG_FORMAT_BGR;
    const uint32_t bytes_per_pixel = indexed ? 1 : 3;
    if (!size_allowed(image.width, image.height, bytes_per_pixel)) {
        std::printf("error: map size %ux%u is not supported\n", image.width, image.height);
        return -1;
    }
    std::vector<uint8_t> colours;
    try {
        picture.image.pixels.resize(static_cast<size_t>(image.width) * image.height * bytes_per_pixel);
        colours.resize(3 * max_palette_entries);
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    if (!png_image_finish_read(&image, nullptr, picture.image.pixels.data(), 0, indexed ? colours.data() : nullptr)) {
        std::printf("error: read png '%s': %s\n", path.c_str(), image.message);
        return -1;
    }
    picture.image.width = image.width;
    picture.image.height = image.height;
    // Indexes of few colours keep the smallest bit count that holds them.
    picture.image.bit_count = !indexed ? 24 : image.colormap_entries <= 2 ? 1 : image.colormap_entries <= 16 ? 4 : 8;
    picture.palette.resize(indexed ? max_palette_entries : 0);
    for (size_t i = 0; i < picture.palette.size(); ++i)
        picture.palette[i] = {colours[3 * i], colours[3 * i + 1], colours[3 * i + 2], 0};
    return 0;
}

} // namespace

int read_map_picture(const std::string& path, bool png, map_picture& picture)
{
    picture = map_picture{};
    const int status = png ? read_png_picture(path, picture) : read_bmp_picture(path, picture);
    if (status < 0) {
        picture = map_picture{};
        return -1;
    }
    picture.image.palette = picture.palette.empty() ? nullptr : picture.palette.data();
    picture.image.byte_size = static_cast<uint32_t>(picture.image.pixels.size());
    return 0;
}
