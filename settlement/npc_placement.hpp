// NPC schedules and placement: which schedule entry holds at an hour, where each NPC of a
// level stands (conflicts reported on the console and moved to a neighbouring cell), and
// which picture an NPC is drawn with (the pose change).
#pragma once

#include <array>
#include <cstdint>

#include "settlement/settlement_data.hpp"

// The kind of the NPC on each cell of a level (cell (x, y) at 32 * y + x), 0 for none.
using npc_grid = std::array<uint8_t, level_bytes>;

struct tile_range {
    uint8_t first;
    uint8_t last;
    uint8_t value;
};

// Walking classes: an NPC of kind k may stand on tile t when tile_class[t] & kind_class[k].
inline constexpr tile_range tile_class_ranges[] = {
    {1, 3, 1},     {96, 105, 1},  {108, 111, 1}, {4, 11, 2},    {14, 15, 2},   {28, 38, 2},   {44, 45, 2},
    {48, 51, 2},   {64, 64, 2},   {68, 69, 2},   {71, 73, 2},   {106, 107, 2}, {128, 129, 2}, {132, 135, 2},
    {139, 140, 2}, {143, 147, 2}, {170, 172, 2}, {196, 201, 2}, {221, 221, 2}, {52, 55, 3},   {87, 87, 4},
};

inline constexpr tile_range kind_class_ranges[] = {
    {32, 47, 1},    {128, 143, 1},  {236, 239, 1},  {1, 17, 2},     {27, 27, 2},    {30, 30, 2},
    {64, 95, 2},    {104, 127, 2},  {144, 147, 2},  {152, 155, 2},  {160, 183, 2},  {192, 211, 2},
    {224, 235, 2},  {244, 255, 2},  {148, 151, 3},  {156, 159, 3},  {188, 191, 3},  {212, 223, 3},
    {240, 243, 3},  {184, 187, 6},
};

template <size_t N>
constexpr std::array<uint8_t, 256> make_class_table(const tile_range (&ranges)[N])
{
    std::array<uint8_t, 256> table{};
    for (const tile_range& range : ranges)
        for (int i = range.first; i <= range.last; ++i) table[i] = range.value;
    return table;
}

inline constexpr std::array<uint8_t, 256> tile_class = make_class_table(tile_class_ranges);
inline constexpr std::array<uint8_t, 256> kind_class = make_class_table(kind_class_ranges);

inline bool may_stand_on(uint8_t kind, uint8_t tile) { return (tile_class[tile] & kind_class[kind]) != 0; }

// The schedule entry (0, 1 or 2) of `record` at `hour`.
int choose_entry(const npc_record& record, unsigned hour);

// Places the NPCs of `block` that stand on the level with code `level_code` at `hour`,
// printing the trace of conflicts and moves.
void place_npcs(const uint8_t* level, const uint8_t* block, uint8_t level_code, unsigned hour, npc_grid& grid);

// The picture of an NPC of `kind` on cell (x, y) of `level` after the pose change.
unsigned npc_picture(uint8_t kind, const uint8_t* level, int x, int y);
