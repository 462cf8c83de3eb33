// libFuzzer harness for the NIB decoder (build lines in container_fuzz.hpp). Byte 0 picks
// the track length (bit 0: 6656, else 6384) and the fuzzed track (the rest of it, modulo 35);
// the other bytes, repeated, fill that track. The other tracks are sync bytes, so that each
// run decodes one track of fuzzed nibbles.
// Fuzz seeds:
// Fuzz options: -max_len=8192
#include <algorithm>

#include "container_fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    const size_t track_length = (data[0] & 1) ? 6656 : 6384, track = (data[0] >> 1) % 35;
    static std::vector<uint8_t> file;
    file.assign(35 * track_length, 0xFF);
    uint8_t* fuzzed = file.data() + track * track_length;
    for (size_t i = 0; i < track_length; i += size - 1) std::copy_n(data + 1, std::min(size - 1, track_length - i), fuzzed + i);
    read_decoded_disk(file, decode_nib);
    return 0;
}
