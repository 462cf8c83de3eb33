// libFuzzer harness for the DIM decoder: any bytes that it recognises are decoded, and a
// decoded disk must fill its row of the geometry table exactly.
// Build: configure with -DZK_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ and build dim_fuzz; run
//   ./dim_fuzz -max_len=20000 -max_total_time=60
#include <cstdio>
#include <vector>

#include "x68k/disk_container.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!std::freopen("/dev/null", "w", stdout)) return 0;  // the decoder's lines
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> file(data, data + size);
    if (!is_dim(file.data(), file.size())) return 0;
    std::vector<uint8_t> sectors;
    const fat_geometry* geometry = nullptr;
    const int status = decode_dim(file.data(), file.size(), "fuzz", sectors, geometry);
    if (status != 0 && status != -1) __builtin_trap();
    if (status == 0 && (!geometry || sectors.size() != geometry->image_bytes)) __builtin_trap();
    return 0;
}
