// libFuzzer harness for the FAT12 reader. The first byte picks the format and the header
// size; the next 192 bytes become the start of FAT copy 1 (entries 0-127) and the rest the
// start of the root directory (up to 16 entries). All other bytes of the image are a fixed
// pattern, so chains that leave the fuzzed entries go on through patterned ones. Every name
// in the fuzzed directory entries is then read into buffers of several sizes.
//
// Build and run (clang), from the top of the tree:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. tests/x68k/fat12_fuzz.cpp x68k/fat12.cpp -o fat12_fuzz
//   ./fat12_fuzz -max_len=705 -max_total_time=60
// or configure with -DZK_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ and build fat12_fuzz.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "x68k/fat12.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The reader's lines are not wanted on the fuzzer's console.
    if (!std::freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

constexpr size_t fuzzed_fat_bytes = 192;
constexpr uint32_t fuzzed_entries = 16;

// The fixed pattern, long enough for the largest image.
std::vector<uint8_t> make_pattern()
{
    std::vector<uint8_t> pattern(fat_geometries[0].image_bytes + 4096);
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
    return pattern;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const fat_geometry& geometry = fat_geometries[data[0] % 3];
    const int header_size = (data[0] & 0x80) ? 4096 : 0;
    fat_image image;
    image.header_size = header_size;
    image.geometry = geometry;
    static const std::vector<uint8_t> pattern = make_pattern();
    image.image_data.assign(pattern.begin(), pattern.begin() + geometry.image_bytes + header_size);
    image.image_size = static_cast<uint32_t>(image.image_data.size());
    const uint8_t* input = data + 1;
    size_t left = size - 1;
    const size_t fat_bytes = std::min(left, fuzzed_fat_bytes);
    std::memcpy(image.image_data.data() + sector_offset(image, geometry.fat_start), input, fat_bytes);
    const size_t root_bytes = std::min(left - fat_bytes, size_t{32} * fuzzed_entries);
    uint8_t* root = image.image_data.data() + sector_offset(image, geometry.root_start);
    std::memcpy(root, input + fat_bytes, root_bytes);
    if (load_fat(image) != 0) __builtin_trap();  // the table's formats always load

    std::vector<uint8_t> buffer(70000);
    for (uint32_t e = 0; e < fuzzed_entries; ++e) {
        // The entry's name as a caller would spell it: base, '.', extension, spaces dropped.
        std::string name;
        for (uint32_t i = 0; i < 11; ++i) {
            const char c = static_cast<char>(root[32 * e + i]);
            if (i == 8) name += '.';
            if (c != ' ' && c != 0) name += c;
        }
        if (root[32 * e] == 0x05) name[0] = static_cast<char>(0xE5);
        for (const int buffer_size : {0, 1, 1024, 70000}) {
            const int status = read_image_file(image, name.c_str(), buffer.data(), buffer_size, (e & 1) != 0);
            if (status != 0 && status != -1) __builtin_trap();
        }
    }
    return 0;
}
