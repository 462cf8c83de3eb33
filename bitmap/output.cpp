// Writing an output file: the existence test, the console overwrite question and the
// checked write of every byte; and the allocation of the mappers' buffers.
#include <sys/stat.h>

#include <cstdio>
#include <new>

#include "bitmap.hpp"

int allocate_buffer(std::vector<uint8_t>& buffer, size_t size)
{
    try {
        buffer.assign(size, 0);
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    return 0;
}

int ask_yes_no(const char* question)
{
    std::printf("%s (Y or N): ", question);
    std::fflush(stdout);
    for (int c; (c = std::getchar()) != EOF;) {
        if (c == 'y' || c == 'Y') return 1;
        if (c == 'n' || c == 'N') return 0;
    }
    // End of input (or a read error) answers no, on a line of its own.
    std::printf("\n");
    return 0;
}

int save_bitmap_file(const char* path, const bitmap_image& image, bool overwrite)
{
    bitmap_header header;
    const uint64_t pixel_bytes =
        static_cast<uint64_t>(bytes_per_pixel_of(image.bit_count)) * image.width * image.height;
    if (make_bitmap_header(header, image.width, image.height, image.bit_count) < 0 ||
        image.pixels.size() < pixel_bytes) {
        std::printf("error: create bitmap header\n");
        return -1;
    }
    struct stat status;
    if (!overwrite && ::stat(path, &status) == 0) {
        std::printf("'%s' already exists\n", path);
        if (!ask_yes_no("overwrite ?")) return -1;
    }
    std::FILE* stream = std::fopen(path, "wb");
    if (!stream) {
        std::printf("error: open '%s'\n", path);
        return -1;
    }
    const bool written = write_bitmap(stream, header, image.palette, image.pixels.data()) == 0;
    const bool closed = std::fclose(stream) == 0;
    if (!written || !closed) {
        std::printf("error: write bitmap '%s'\n", path);
        return -1;
    }
    return 0;
}
