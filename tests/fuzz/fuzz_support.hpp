// Helpers of the harnesses that fuzz a valid sample prepared once per process.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// With ZK_FUZZ_SEED naming a file, writes `seed` (the input that leaves the prepared sample
// as it is) there and ends the process, so that tests/fuzz/run.sh can seed the corpus.
inline void write_seed_when_asked(const std::vector<uint8_t>& seed)
{
    const char* path = std::getenv("ZK_FUZZ_SEED");
    if (!path) return;
    std::FILE* file = std::fopen(path, "wb");
    const bool written = file && std::fwrite(seed.data(), 1, seed.size(), file) == seed.size();
    const bool closed = file && std::fclose(file) == 0;
    std::exit(written && closed ? 0 : 1);
}

// Puts the sample's bytes at `to`, then as many of the input's as are left over them.
inline void overwrite(uint8_t* to, const std::vector<uint8_t>& sample, const uint8_t*& input, size_t& left)
{
    std::memcpy(to, sample.data(), sample.size());
    const size_t given = std::min(left, sample.size());
    if (given > 0) std::memcpy(to, input, given);
    input += given;
    left -= given;
}
