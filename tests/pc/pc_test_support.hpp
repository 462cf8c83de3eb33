// Fixtures of the PC tests: the generator's sample data and its LZW encoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/test_support.hpp"

// The sample PC data directory (decoded "TILES.16" and "TILES.4", "BRIT.DAT", ...), written
// once per test program by the sample data generator.
const std::string& sample_pc_data();

// The generator's decoded "TILES.4" (cga) or "TILES.16".
const std::vector<uint8_t>& sample_tile_file(bool cga);

// `data` compressed by the generator's encoder, with a reset every `reset_every` codes (0: never).
std::vector<uint8_t> lzw_compressed(const std::vector<uint8_t>& data, int reset_every = 0);
