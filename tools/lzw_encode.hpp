// LZW encoder for the compressed tile files ("TILES.16", "TILES.4").
//
// Output: the decoded length as 4 bytes little-endian, then a bit stream,
// least significant bit first, of variable-width codes (9 to 12 bits):
// 0-255 literal bytes, 0x100 reset, 0x101 end of data, 0x102 and above
// dictionary entries. The stream starts with a reset, ends with 0x101, and
// the last byte is padded with zero bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sample {

struct lzw_options {
    // Emit a reset after this many codes since the last reset; 0: never
    // (the dictionary fills up and then stays full).
    int reset_every = 0;
};

std::vector<uint8_t> lzw_encode(const uint8_t* data, size_t size, const lzw_options& options = {});

}  // namespace sample
