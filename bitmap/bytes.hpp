// Little-endian byte access, one byte at a time, whatever the processor.
#pragma once

#include <cstdint>

inline uint16_t get_u16_le(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t get_u32_le(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Store a value lowest byte first and advance the write position.
inline void put_u16_le(uint8_t*& p, uint16_t value)
{
    *p++ = static_cast<uint8_t>(value);
    *p++ = static_cast<uint8_t>(value >> 8);
}

inline void put_u32_le(uint8_t*& p, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8) *p++ = static_cast<uint8_t>(value >> shift);
}
