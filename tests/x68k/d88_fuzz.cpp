// libFuzzer harness for the D88 decoder: any bytes that it recognises are decoded, and a
// decoded disk must fill its row of the geometry table exactly.
// The stated file length (0x1C) is set to the input length, so that the fuzzer reaches
// the track table at once.
// Inputs stay under 64 KiB and the buffers are kept from run to run, so that a run costs
// the decoding and not fresh mappings of a whole disk.
// Build: configure with -DZK_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ and build d88_fuzz; run
//   ./d88_fuzz -max_len=65536 -max_total_time=60
// Fuzz options: -max_len=65536
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
    static std::vector<uint8_t> file, sectors;
    file.assign(data, data + size);
    if (size >= 0x20)
        for (int k = 0; k < 4; ++k) file[0x1C + static_cast<size_t>(k)] = static_cast<uint8_t>(size >> (8 * k));
    if (!is_d88(file.data(), file.size())) return 0;
    const fat_geometry* geometry = nullptr;
    const int status = decode_d88(file.data(), file.size(), "fuzz", sectors, geometry);
    if (status != 0 && status != -1) __builtin_trap();
    if (status == 0 && (!geometry || sectors.size() != geometry->image_bytes)) __builtin_trap();
    return 0;
}
