// libFuzzer harness for the DIM decoder: the input is the 256-byte header and then a u32 of
// the track bytes that follow it (modulo 2 MB); the track bytes come from a buffer prepared
// once, so that a run costs no more than the decoder's own copying. A decoded disk must fill
// its row of the geometry table exactly.
// Build: configure with -DZK_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ and build dim_fuzz; run
//   ./dim_fuzz -max_total_time=60
// Fuzz seeds:
// Fuzz options: -max_len=512
#include <cstdio>
#include <cstring>
#include <vector>

#include "bitmap/bytes.hpp"
#include "fuzz/fuzz_support.hpp"
#include "x68k/disk_container.hpp"

namespace {
constexpr size_t header_bytes = 256, most_track_bytes = size_t{2} << 20;
std::vector<uint8_t> file(header_bytes + most_track_bytes), sectors;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::vector<uint8_t> seed(header_bytes + 4, 1);  // media 2HD, every track stored
    seed[0] = 0;
    std::memcpy(seed.data() + 0xAB, "DIFC HEADER", 11);
    uint8_t* length = seed.data() + header_bytes;
    put_u32_le(length, 154 * 8 * 1024);
    write_seed_when_asked(seed);
    for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 7);
    if (!std::freopen("/dev/null", "w", stdout)) return 0;  // the decoder's lines
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < header_bytes + 4) return 0;
    std::memcpy(file.data(), data, header_bytes);
    const size_t length = header_bytes + get_u32_le(data + header_bytes) % (most_track_bytes + 1);
    if (!is_dim(file.data(), length)) return 0;
    const fat_geometry* geometry = nullptr;
    const int status = decode_dim(file.data(), length, "fuzz", sectors, geometry);
    if (status != 0 && status != -1) __builtin_trap();
    if (status == 0 && (!geometry || sectors.size() != geometry->image_bytes)) __builtin_trap();
    return 0;
}
