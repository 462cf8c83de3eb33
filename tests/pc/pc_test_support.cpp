#include "pc_test_support.hpp"

#include "lzw_encode.hpp"

const std::string& sample_pc_data()
{
    static const std::string dir = sample_data(ZK_MAKE_SAMPLE_DATA) + "/pc";
    return dir;
}

const std::vector<uint8_t>& sample_tile_file(bool cga)
{
    static const std::vector<uint8_t> ega = read_file(sample_pc_data() + "/../pc-decoded/TILES.16");
    static const std::vector<uint8_t> cga_file = read_file(sample_pc_data() + "/../pc-decoded/TILES.4");
    return cga ? cga_file : ega;
}

std::vector<uint8_t> lzw_compressed(const std::vector<uint8_t>& data, int reset_every)
{
    sample::lzw_options options;
    options.reset_every = reset_every;
    return sample::lzw_encode(data.data(), data.size(), options);
}
