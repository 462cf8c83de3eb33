// The pseudo-random numbers behind the random-dot tiles: the C standard's sample
// generator, never seeded (the state starts at 1), results 0 to 32767. One state per run.
#pragma once

#include <cstdint>

struct rand15_state {
    uint32_t value = 1;
};

inline int next_rand15(rand15_state& state)
{
    state.value = state.value * 1103515245u + 12345u;
    return static_cast<int>((state.value >> 16) & 0x7FFF);
}
