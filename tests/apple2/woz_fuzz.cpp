// libFuzzer harness for the WOZ decoder (build lines in container_fuzz.hpp). The input is
// the file; bytes 8-11 are zeroed unless byte 0 is odd, so that the CRC32 check does not
// stop every input.
// Fuzz seeds: apple2-formats/*.woz
#include <algorithm>

#include "container_fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> file(data, data + size);
    if (size >= 12 && !(data[0] & 1)) std::fill(file.begin() + 8, file.begin() + 12, 0);
    read_decoded_disk(file, decode_woz);
    return 0;
}
