// Runs the Apple II graphics code on files, for the comparison with the Python model and
// for timing.
//
//   apple2_render_tool batch JOBS     one job per line of the file JOBS:
//     decode SHAPES TYPE NO-REMAKE OUT       the sheet's 458752 bytes, raw
//     colour DOTS WIDTH HEIGHT JOIN BLUR OUT a 4-bit BMP
//     retouch DOTS WIDTH HEIGHT JOIN PHASE OUT a 24-bit BMP
//   Before each job it prints "== OUT"; the job's own console lines follow.
//   apple2_render_tool bench [LEVELS]  times both renderings on 896 x 1024 levels
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "apple2/hires_colour.hpp"
#include "apple2/hires_tiles.hpp"

namespace {

std::vector<uint8_t> load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool save_raw(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bitmap_image dots_of(const std::string& path, uint32_t width, uint32_t height)
{
    bitmap_image image;
    image.width = width;
    image.height = height;
    image.bit_count = 4;
    image.pixels = load(path);
    image.byte_size = static_cast<uint32_t>(image.pixels.size());
    image.palette = apple2_palette;
    return image;
}

int run_job(const std::string& line)
{
    std::istringstream words(line);
    std::string kind, in, out;
    words >> kind >> in;
    if (kind == "decode") {
        int type = 0, no_remake = 0;
        words >> type >> no_remake >> out;
        std::printf("== %s\n", out.c_str());
        const std::vector<uint8_t> shapes = load(in);
        if (shapes.size() != apple_shapes_bytes) return 1;
        std::vector<uint8_t> sheet(apple_sheet_bytes, 0);
        decode_apple_shapes(sheet.data(), shapes.data(), static_cast<shape_type>(type), no_remake != 0);
        return save_raw(out, sheet) ? 0 : 1;
    }
    uint32_t width = 0, height = 0;
    int join = 0, option = 0;
    words >> width >> height >> join >> option >> out;
    std::printf("== %s\n", out.c_str());
    bitmap_image image = dots_of(in, width, height);
    if (image.pixels.size() != static_cast<size_t>(width) * height) return 1;
    if (kind == "colour") {
        colour_hires_image(image, join != 0, option != 0);
    } else if (kind == "retouch") {
        if (retouch_bitmap(image, join != 0, option) < 0) return 1;
    } else {
        return 1;
    }
    return save_bitmap_file(out.c_str(), image, true) < 0 ? 1 : 0;
}

int bench(int levels)
{
    constexpr uint32_t width = 896, height = 1024;
    std::mt19937 random(1);
    std::vector<uint8_t> dots(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < dots.size(); ++i) {
        // Dots on even rows, markers at the starts of some bytes, as a drawn level has them.
        const bool even = (i / width) % 2 == 0;
        dots[i] = even ? static_cast<uint8_t>(random() % 3 == 0) : 0;
        if (even && (i % width) % 14 == 0 && random() % 2) dots[i] = 255;
    }
    using clock = std::chrono::steady_clock;
    double colour_ms = 0, retouch_ms = 0;
    for (int level = 0; level < levels; ++level) {
        bitmap_image image = dots_of("/dev/null", width, height);
        image.pixels = dots;
        auto start = clock::now();
        colour_hires_image(image, false, level % 2 == 1);
        colour_ms += std::chrono::duration<double, std::milli>(clock::now() - start).count();
        image.pixels = dots;
        start = clock::now();
        if (retouch_bitmap(image, true, 0) < 0) return 1;
        retouch_ms += std::chrono::duration<double, std::milli>(clock::now() - start).count();
    }
    std::printf("%d levels of %u x %u: colour_hires_image %.2f ms, retouch_bitmap %.2f ms per level\n", levels, width,
                height, colour_ms / levels, retouch_ms / levels);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "bench") return bench(argc > 2 ? std::atoi(argv[2]) : 64);
    if (command != "batch" || argc != 3) {
        std::printf("usage: %s batch JOBS | bench [LEVELS]\n", argv[0]);
        return 1;
    }
    std::ifstream jobs(argv[2]);
    std::string line;
    int failures = 0;
    while (std::getline(jobs, line))
        if (!line.empty()) failures += run_job(line);
    return failures ? 1 : 0;
}
