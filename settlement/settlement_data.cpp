// Level names and NPC records.
#include "settlement_data.hpp"

const char* level_name(uint8_t level_code)
{
    switch (level_code) {
    case basement_level: return "B1F";
    case 0: return "1F";
    case 1: return "2F";
    case 2: return "3F";
    case 3: return "4F";
    default: return "unknown";
    }
}

npc_record read_npc_record(const uint8_t* block, int index)
{
    const uint8_t* p = block + 16 * index;
    npc_record record{};
    for (int e = 0; e < 3; ++e) {
        record.slot_code[e] = p[e];
        record.x[e] = p[3 + e];
        record.y[e] = p[6 + e];
        record.level[e] = p[9 + e];
    }
    record.window0_start = p[12];
    record.window0_end = p[13];
    record.window1_start = p[14];
    record.window1_end = p[15];
    return record;
}
