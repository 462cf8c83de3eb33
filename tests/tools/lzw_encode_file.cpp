// lzw_encode_file [--reset-every N] IN OUT: compresses one file with the
// sample data's LZW encoder, for the round-trip check.

#include "lzw_encode.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv)
{
    sample::lzw_options options;
    int arg = 1;
    if (argc == 5 && std::strcmp(argv[1], "--reset-every") == 0) {
        options.reset_every = std::atoi(argv[2]);
        arg = 3;
    }
    if (argc - arg != 2) {
        std::printf("usage: %s [--reset-every N] IN OUT\n", argv[0]);
        return 1;
    }
    std::ifstream in(argv[arg], std::ios::binary);
    if (!in) {
        std::printf("error: open '%s'\n", argv[arg]);
        return 1;
    }
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint8_t> packed = sample::lzw_encode(data.data(), data.size(), options);
    std::ofstream out(argv[arg + 1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(packed.data()), std::streamsize(packed.size()));
    out.close();
    if (!out) {
        std::printf("error: write '%s'\n", argv[arg + 1]);
        return 1;
    }
    return 0;
}
