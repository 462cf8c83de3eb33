// libFuzzer harness for the NIB decoder (build lines in container_fuzz.hpp). Byte 0 picks
// the track length (bit 0: 6656, else 6384); the rest, repeated, fills the 35 tracks.
#include "container_fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    std::vector<uint8_t> file(35 * ((data[0] & 1) ? 6656 : 6384));
    for (size_t i = 0; i < file.size(); ++i) file[i] = data[1 + i % (size - 1)];
    read_decoded_disk(file, decode_nib);
    return 0;
}
