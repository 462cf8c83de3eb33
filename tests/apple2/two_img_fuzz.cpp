// libFuzzer harness for the 2MG decoder (build lines in container_fuzz.hpp). The input is
// the file.
// Fuzz seeds: apple2-formats/*.2mg
// Fuzz options: -max_len=150000
#include "container_fuzz.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    read_decoded_disk(std::vector<uint8_t>(data, data + size), decode_2mg);
    return 0;
}
