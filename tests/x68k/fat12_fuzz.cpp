// libFuzzer harness for the FAT12 reader: the fuzzer's bytes become the first sectors of an
// image (boot sector, both FAT copies, root directory) of the format its first byte picks;
// the data area holds a fixed pattern. Every name of the fuzzed root directory is then read
// into buffers of several sizes.
//
// Build and run (clang), from the top of the tree:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. \
//       tests/x68k/fat12_fuzz.cpp x68k/fat12.cpp -o fat12_fuzz
//   ./fat12_fuzz -max_len=12300 -max_total_time=60
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const fat_geometry& geometry = fat_geometries[data[0] % 3];
    const int header_size = (data[0] & 0x80) ? 4096 : 0;
    fat_image image;
    image.header_size = header_size;
    image.geometry = geometry;
    image.image_data.resize(geometry.image_bytes + static_cast<size_t>(header_size));
    for (size_t i = 0; i < image.image_data.size(); ++i) image.image_data[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
    const size_t system_area = static_cast<size_t>(geometry.first_data_sector) * static_cast<size_t>(geometry.bytes_per_sector);
    const size_t copied = std::min(size - 1, system_area);
    std::memcpy(image.image_data.data() + header_size, data + 1, copied);
    image.image_size = static_cast<uint32_t>(image.image_data.size());
    if (load_fat(image) != 0) __builtin_trap();  // the table's formats always load

    std::vector<uint8_t> buffer(70000);
    const uint8_t* root = image.image_data.data() + sector_offset(image, geometry.root_start);
    for (uint32_t e = 0; e < geometry.root_entries && e < 16; ++e) {
        // The entry's name as a caller would spell it: base, '.', extension, spaces dropped.
        std::string name;
        for (int i = 0; i < 11; ++i) {
            const char c = static_cast<char>(root[32 * e + static_cast<uint32_t>(i)]);
            if (i == 8) name += '.';
            if (c != ' ' && c != 0) name += c;
        }
        for (const int buffer_size : {0, 1, 1024, 70000}) {
            const int status = read_image_file(image, name.c_str(), buffer.data(), buffer_size, (e & 1) != 0);
            if (status != 0 && status != -1) __builtin_trap();
        }
    }
    return 0;
}
