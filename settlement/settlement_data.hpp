// Settlement data: the four groups with their files and location names, the sixteen level
// slots of each group, and the layouts of a group's map data and NPC data in memory.
//
// Map data of a group: 16384 bytes, the level of slot s at 1024 * s, 32 rows of 32 tile
// bytes (tile (x, y) at 32 * y + x).
//
// NPC data of a group: one block per location, location L at L * block size (576 bytes,
// or 768 in the Apple II edition, whose first 576 bytes have the same layout):
//   offset  size     content
//   0       32 * 16  npc_record of NPC i at 16 * i
//   512     32       kind of NPC i at 512 + i (0: no NPC)
//   544     32       not read here
// npc_record (16 bytes):
//   0   3  slot_code, entries 0-2 (only printed in the placement trace)
//   3   3  x, entries 0-2
//   6   3  y, entries 0-2
//   9   3  level code, entries 0-2 (255 basement, 0-3 floors)
//   12  1  window 0 start hour (entry 0)      13  1  window 0 end hour (not included)
//   14  1  window 1 start hour (entry 2)      15  1  window 1 end hour (not included)
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int settlement_group_count = 4;
constexpr int settlement_locations = 8;
constexpr int settlement_slots = 16;
constexpr int level_size = 32;                      // tiles across and down
constexpr size_t level_bytes = 1024;
constexpr size_t settlement_map_bytes = level_bytes * settlement_slots;  // 16384
constexpr size_t npc_block_bytes = 576;             // PC, X68000 and PC-98 block size
constexpr size_t apple2_npc_block_bytes = 768;
constexpr size_t npc_data_bytes = npc_block_bytes * settlement_locations;  // 4608
constexpr int npcs_per_location = 32;
constexpr size_t npc_kind_offset = 512;
constexpr uint8_t basement_level = 255;

struct settlement_group {
    const char* map_file;
    const char* npc_file;
    const char* locations[settlement_locations];
};

// By group index; the selection bit of group g is 1 << g.
inline constexpr settlement_group settlement_groups[settlement_group_count] = {
    {"CASTLE.DAT", "CASTLE.NPC",
     {"Castle_Britannia", "Blackthorn's_Palace", "West_Britanny", "North_Britanny", "East_Britanny", "Paws", "Cove",
      "Buccaneer's_Den"}},
    {"DWELLING.DAT", "DWELLING.NPC",
     {"Fogsbane", "Stormcrow", "Grayhaven", "Waveguide", "Iolo's_Hut", "Sutek's_Hut", "Sin'Vraal's_Hut",
      "Grendel's_Hut"}},
    {"KEEP.DAT", "KEEP.NPC",
     {"Ararat", "Bordermarch", "Farthing", "Windemere", "Stonegate", "The_Lycaeum", "Empath_Abbey",
      "Serpent's_Hold"}},
    {"TOWNE.DAT", "TOWNE.NPC",
     {"Moonglow", "Britain", "Jhelom", "Yew", "Minoc", "Trinsic", "Skara_Brae", "New_Magincia"}},
};

struct map_slot {
    uint8_t location;
    uint8_t level;  // level code
};

// The level slots of each group: slot s is the s-th level of the group's map data.
inline constexpr map_slot map_slots[settlement_group_count][settlement_slots] = {
    {{0, 255}, {0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 255}, {1, 0}, {1, 1},
     {1, 2}, {1, 3}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}},
    {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 1},
     {2, 2}, {3, 0}, {3, 1}, {3, 2}, {4, 0}, {5, 0}, {6, 0}, {7, 0}},
    {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {3, 0}, {4, 0}, {5, 0},
     {5, 1}, {5, 2}, {6, 0}, {6, 1}, {6, 2}, {7, 255}, {7, 0}, {7, 1}},
    {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}, {3, 255}, {3, 0},
     {4, 0}, {4, 1}, {5, 0}, {5, 1}, {6, 0}, {6, 1}, {7, 0}, {7, 1}},
};

// "B1F", "1F" to "4F", or "unknown".
const char* level_name(uint8_t level_code);

// The 1024 bytes of level slot `slot`.
inline const uint8_t* level_view(const uint8_t* map_data, int slot) { return map_data + level_bytes * slot; }

// The NPC block of a location.
inline const uint8_t* block_view(const uint8_t* npc_data, int location, size_t block_size)
{
    return npc_data + block_size * location;
}

struct npc_record {
    uint8_t slot_code[3];
    uint8_t x[3];
    uint8_t y[3];
    uint8_t level[3];
    uint8_t window0_start;
    uint8_t window0_end;
    uint8_t window1_start;
    uint8_t window1_end;
};

npc_record read_npc_record(const uint8_t* block, int index);

inline uint8_t npc_kind(const uint8_t* block, int index) { return block[npc_kind_offset + index]; }
