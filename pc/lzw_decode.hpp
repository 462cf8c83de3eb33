// Decoding the LZW-compressed tile files of the PC edition, as the game ships them.
//
// Layout of a compressed file:
//   offset 0  u32  decoded length in bytes (65536 for "TILES.16", 32768 for "TILES.4")
//   offset 4  ...  codes of 9 to 12 bits, packed least significant bit first: bit i of the
//                  stream is bit (i mod 8) of byte 4 + i / 8, each code low bit first
//
// Codes 0-255 are literal bytes, 0x100 resets the dictionary, 0x101 ends the data, 0x102 and
// up name dictionary entries. A reset sets the width to 9 bits, the next free code to 0x102
// and the limit to 0x200; the code after it is a literal (or another reset, or the end).
// Every later code outputs its string (or, when it equals the next free code, the previous
// string plus that string's first byte) and adds the previous string plus the first byte
// just output, until 4096 codes are defined. When the next free code reaches the limit
// below 12 bits, the width grows by one bit and the limit doubles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr size_t lzw_header_bytes = 4;  // u32 decoded length

// Results of lzw_decode: 0 or one of these.
inline constexpr int lzw_truncated = -1;        // input ends before the end code
inline constexpr int lzw_no_reset = -2;         // the first code is not a reset
inline constexpr int lzw_bad_code = -3;         // a code beyond the next free one
inline constexpr int lzw_wrong_length = -4;     // output longer or shorter than stated, or stated above the cap
inline constexpr int lzw_memory_exhausted = -5;

// The decoded length that the first four bytes of `input` state (0 when there are fewer).
uint32_t lzw_stated_length(const uint8_t* input, size_t size);

// Decodes `size` bytes of compressed data into `output`, which ends up exactly the stated
// length long. Refuses a stated length above `max_length`. Bytes after the end code are
// ignored. Prints nothing; on failure `output` is left empty. 0 or a negative result above.
int lzw_decode(const uint8_t* input, size_t size, size_t max_length, std::vector<uint8_t>& output);
