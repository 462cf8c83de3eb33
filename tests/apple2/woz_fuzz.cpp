// libFuzzer harness for the WOZ decoder (build lines in container_fuzz.hpp). The input is
// the file; bytes 8-11 (the CRC32) are zeroed unless byte 4 is 0 (the decoder does not read
// bytes 4-7), so that the check does not stop every input. The seed is a WOZ 2 file of one
// track of one 512-byte block holding sector 0, so that runs stay short.
// Fuzz seeds:
// Fuzz options: -max_len=4096
#include <algorithm>
#include <cstring>

#include "container_fuzz.hpp"
#include "fuzz/fuzz_support.hpp"

namespace {
std::vector<uint8_t> woz_seed()
{
    std::vector<uint8_t> file(2048, 0xFF);
    const auto put = [&](size_t at, std::initializer_list<uint8_t> bytes) { std::copy(bytes.begin(), bytes.end(), file.begin() + at); };
    put(0, {'W', 'O', 'Z', '2', 0xFF, '\n', '\r', '\n', 0, 0, 0, 0});
    put(12, {'I', 'N', 'F', 'O', 60, 0, 0, 0, 2, 1});
    std::fill(file.begin() + 22, file.begin() + 80, 0);
    put(80, {'T', 'M', 'A', 'P', 160, 0, 0, 0, 0});      // quarter track 0: entry 0
    put(248, {'T', 'R', 'K', 'S', 0, 7, 0, 0});          // 1280 bytes of entries, one block
    std::fill(file.begin() + 256, file.begin() + 1536, 0);
    put(256, {3, 0, 1, 0, 0, 16, 0, 0});                 // block 3, 1 block, 4096 bits
    put(1600, {0xD5, 0xAA, 0x96, 0xFF, 0xFE, 0xAA, 0xAA, 0xAA, 0xAA, 0xFF, 0xFE, 0xDE, 0xAA,
               0xFF, 0xFF, 0xD5, 0xAA, 0xAD});          // sector 0 of track 0, volume 254
    std::fill(file.begin() + 1618, file.begin() + 1618 + 343, 0x96);  // 256 zero bytes
    put(1961, {0xDE, 0xAA});
    return file;
}
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    write_seed_when_asked(woz_seed());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::vector<uint8_t> file;
    file.assign(data, data + size);
    if (size >= 12 && data[4] != 0) std::fill(file.begin() + 8, file.begin() + 12, 0);
    read_decoded_disk(file, decode_woz);
    return 0;
}
