// Settlement levels as the builders lay them out, with the places where
// NPCs can be put: the NPC schedules are written from these.
#pragma once

#include "sample_data.hpp"

#include <array>
#include <vector>

namespace sample {

struct cell_pos {
    int x, y;
};

struct level_plan {
    int group = 0, slot = 0, location = 0;
    uint8_t code = 0;  // level code: 255 basement, 0 ground floor, 1..3 above
    std::array<uint8_t, level_bytes> tiles{};
    // Cells of the scenario set pieces: ordinary NPCs keep off them.
    std::array<bool, level_bytes> reserved{};
    std::vector<cell_pos> posts;  // work places (behind counters, by anvils, ...)
    std::vector<cell_pos> beds, seats, floors, outdoors, waters;
};

struct slot_entry {
    int location;
    uint8_t code;
};

// The sixteen level slots of each group: which location and level each is.
extern const slot_entry map_slots[4][levels_per_group];

// Placement classes: an NPC of kind k may stand on tile t when
// tile_class(t) & kind_class(k) is non-zero.
int tile_class(int tile_number);
int kind_class(int kind);

// Lays out all 64 levels, index group * 16 + slot.
void build_levels(std::vector<level_plan>& levels);

// Fills the place lists (beds, seats, floors, ...) of a laid-out level,
// leaving out reserved cells.
void collect_places(level_plan& level);

}  // namespace sample
