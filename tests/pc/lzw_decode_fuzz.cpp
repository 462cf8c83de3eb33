// libFuzzer harness for the LZW decoder of the compressed tile files: any bytes as a
// compressed file, decoded with the tile loader's cap.
//
// Build and run (clang), from the top of the tree:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. \
//       tests/pc/lzw_decode_fuzz.cpp pc/lzw_decode.cpp -o lzw_decode_fuzz
//   ./lzw_decode_fuzz -max_len=70000 -max_total_time=60
// or configure with -DZK_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ and build lzw_decode_fuzz.
// Fuzz seeds: pc/TILES.4 pc/TILES.16
// Fuzz options: -max_len=4096
#include <vector>

#include "pc/lzw_decode.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A copy, so that a read past the input is caught at its end.
    const std::vector<uint8_t> input(data, data + size);
    std::vector<uint8_t> output;
    const int status = lzw_decode(input.data(), input.size(), 65536, output);
    if (status == 0 && output.size() != lzw_stated_length(input.data(), input.size())) __builtin_trap();
    if (status != 0 && (!output.empty() || status < lzw_memory_exhausted)) __builtin_trap();
    return 0;
}
