// libFuzzer harness for the BMP reader: any bytes as a BMP file.
//
// Build and run (clang), from the top of the tree:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. \
//       tests/bitmap/read_bitmap_fuzz.cpp bitmap/bmp.cpp -o read_bitmap_fuzz
//   ./read_bitmap_fuzz -max_len=4096 -max_total_time=60
// or configure with -DZK_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ and build read_bitmap_fuzz.
// Fuzz seeds: bmp/*.bmp
#include <cstdio>
#include <vector>

#include "bitmap/bitmap.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The reader's lines are not wanted on the fuzzer's console.
    if (!std::freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    bytes.push_back(0);  // fmemopen wants a buffer of at least one byte
    std::FILE* stream = fmemopen(bytes.data(), size, "rb");
    if (!stream) return 0;
    bitmap_header header;
    std::vector<palette_entry> palette;
    std::vector<uint8_t> pixels;
    const int status = read_bitmap(stream, header, &palette, &pixels, false);
    std::fclose(stream);
    if (status == 0 && pixels.size() < static_cast<size_t>(header.width) * header.height) __builtin_trap();
    return 0;
}
